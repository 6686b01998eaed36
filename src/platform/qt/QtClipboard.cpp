#include "platform/qt/QtClipboard.h"

#include <QByteArray>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QString>

namespace vako {

void QtClipboard::put(const std::vector<ClipboardForm>& forms) {
    auto* data = new QMimeData;
    for (const ClipboardForm& f : forms)
        data->setData(QString::fromStdString(f.mimeType),
                      QByteArray(f.bytes.data(), static_cast<qsizetype>(f.bytes.size())));
    QGuiApplication::clipboard()->setMimeData(data); // the clipboard owns it
}

std::optional<std::string> QtClipboard::get(const std::string& mimeType) const {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    const QString type = QString::fromStdString(mimeType);
    if (!data || !data->hasFormat(type)) return std::nullopt;
    const QByteArray bytes = data->data(type);
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

} // namespace vako
