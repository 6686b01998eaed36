#include "platform/qt/ScorePaper.h"

#include "platform/qt/QtCanvas.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

namespace vako {
namespace {

const QString kPaperFontFamily = QStringLiteral("Noto Sans CJK JP");

// The paper's font at `pixels` device units.
QFont paperFont(double pixels) {
    QFont font(kPaperFontFamily);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(std::max(1, static_cast<int>(pixels + 0.5)));
    return font;
}

} // namespace

double paperTextWidth(const std::string& text, double points) {
    // Measured at a hundred times the size, so rounding to whole pixels does not show.
    const QFontMetricsF metrics(paperFont(points * 100));
    return metrics.horizontalAdvance(QString::fromStdString(text)) / 100;
}

bool paintScore(QPagedPaintDevice& device, const Song& song, const StaffPageLook& look,
                const ScoreLayout& layout) {
    QPainter painter;
    if (!painter.begin(&device)) return false;
    const double perPoint = device.logicalDpiX() / 72.0;
    bool complete = true;
    for (size_t s = 0; s < layout.sheets.size(); ++s) {
        if (s > 0 && !device.newPage()) {
            complete = false;
            break;
        }
        const PaperSheet& sheet = layout.sheets[s];
        for (const PlacedStaff& staff : sheet.staves) {
            StaffPageLook page = look;
            page.page = staff.songPage;
            const QRectF target(staff.left * perPoint, staff.top * perPoint,
                                staff.width() * perPoint, staff.height() * perPoint);
            QtCanvas canvas(painter, kPaperStaffLeft, kPaperStaffTop, kPaperStaffWidth,
                            kPaperStaffHeight, target);
            canvas.setFontFamily(kPaperFontFamily);
            if (!StaffPicture(canvas, song, page).drawPage()) complete = false;
        }
        painter.setPen(Qt::black);
        for (const PaperText& text : sheet.texts) {
            const QFont font = paperFont(text.points * perPoint);
            painter.setFont(font);
            const double ascent = QFontMetricsF(font).ascent();
            painter.drawText(QPointF(text.x * perPoint, text.y * perPoint + ascent),
                             QString::fromStdString(text.text));
        }
    }
    painter.end();
    return complete;
}

PdfOutcome scorePdf(const Song& song, const StaffPageLook& look, SongPageRange range,
                    PaperSize paper, ScoreLayout* layout) {
    PdfOutcome outcome;
    const ScoreLayout laidOut = layOutScore(song, paper, range, 1, paperTextWidth);
    if (layout) *layout = laidOut;
    if (laidOut.sheets.empty()) return outcome;
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setCreator(QStringLiteral("vakomidi"));
        writer.setTitle(QString::fromStdString(
            laidOut.sheets[0].texts.empty() ? std::string() : laidOut.sheets[0].texts[0].text));
        writer.setPageLayout(
            QPageLayout(QPageSize(QSizeF(paper.width, paper.height), QPageSize::Point, QString(),
                                  QPageSize::FuzzyMatch),
                        QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
        outcome.complete = paintScore(writer, song, look, laidOut);
    }
    outcome.bytes.assign(bytes.constData(), static_cast<size_t>(bytes.size()));
    return outcome;
}

} // namespace vako
