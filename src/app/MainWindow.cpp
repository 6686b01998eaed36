#include "app/MainWindow.h"

#include "app/RangeEditDialog.h"
#include "platform/qt/ScorePaper.h"

#include "editor/KeyCodes.h"
#include "song/Messages.h"
#include "app/Pictures.h"
#include "editor/KeyCodes.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QInputDialog>
#include <QInputMethod>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegion>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <iostream>

namespace vako {
namespace {

QColor qcolour(Rgb c) {
    return QColor((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
}

// A label that reports clicks (part buttons, toolbox pictures).
class ClickLabel : public QLabel {
public:
    explicit ClickLabel(Control& c, std::function<void()> onClick, QWidget* parent)
        : QLabel(parent), m_control(c), m_onClick(std::move(onClick)) {}
    Control& control() { return m_control; }
    // A right click offers the control's own menu (mute and solo on a part button).
    void setOnRightClick(std::function<void()> onRightClick) {
        m_onRightClick = std::move(onRightClick);
    }

protected:
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton && m_onClick) m_onClick();
        if (e->button() == Qt::RightButton && m_onRightClick) m_onRightClick();
    }

    // A sentence with blank gaps that other controls stand in ("この位置で
    // [list] を [box] に") is set around those controls, so the words meet
    // them whatever the font's width. A gap is a run of blanks with a
    // full-width one in it, or of two or more; a single blank stays between
    // the words of a piece ("Set [list] to [box] here" in English).
    void paintEvent(QPaintEvent* e) override {
        const QStringList words =
            text().split(QRegularExpression("[ \u3000]*\u3000[ \u3000]*| {2,}"), Qt::SkipEmptyParts);
        const std::vector<std::pair<int, int>> gaps = controlsOver();
        if (words.size() < 2 || static_cast<int>(gaps.size()) != words.size() - 1) {
            QLabel::paintEvent(e);
            return;
        }
        // Where a word has less room than the type needs (a very small
        // window), the whole sentence takes a smaller type.
        QFont type = font();
        int pad = 0;
        for (int tries = 0; tries < 8; ++tries) {
            const QFontMetrics metrics(type);
            pad = std::max(2, metrics.horizontalAdvance(QChar(0x3000)) / 4);
            double fit = 1;
            for (int i = 0; i < words.size(); ++i) {
                const int from = i == 0 ? 0 : gaps[i - 1].second + pad;
                const int to = i == words.size() - 1 ? width() : gaps[i].first - pad;
                fit = std::min(fit, (to - from) / double(metrics.horizontalAdvance(words[i])));
            }
            if (fit >= 1 || type.pixelSize() <= 6) break;
            type.setPixelSize(std::max(6, static_cast<int>(type.pixelSize() * fit)));
        }
        QPainter p(this);
        p.setFont(type);
        p.setPen(palette().color(QPalette::WindowText));
        const QFontMetrics metrics(type);
        for (int i = 0; i < words.size(); ++i) {
            const int w = metrics.horizontalAdvance(words[i]);
            int x = 0;
            if (i == 0)
                x = std::max(0, gaps.front().first - pad - w);
            else if (i == words.size() - 1)
                x = gaps.back().second + pad;
            else
                x = (gaps[i - 1].second + gaps[i].first - w) / 2;
            p.drawText(QRect(x, 0, w, height()), Qt::AlignVCenter | Qt::AlignLeft, words[i]);
        }
    }

private:
    // The x ranges, in this label's coordinates, of the visible sibling
    // controls standing over it, left to right.
    std::vector<std::pair<int, int>> controlsOver() const {
        std::vector<std::pair<int, int>> gaps;
        if (!parentWidget()) return gaps;
        for (QObject* o : parentWidget()->children()) {
            auto* w = qobject_cast<QWidget*>(o);
            if (!w || w == this || !w->isVisible() || qobject_cast<QLabel*>(w)) continue;
            if (!w->geometry().intersects(geometry())) continue;
            gaps.emplace_back(w->x() - x(), w->x() + w->width() - x());
        }
        std::sort(gaps.begin(), gaps.end());
        return gaps;
    }

    Control& m_control;
    std::function<void()> m_onClick;
    std::function<void()> m_onRightClick;
};

// `pitchBendStrip`: the pitch-bend strip, x 0..128 across.
class PitchStrip : public QWidget {
public:
    PitchStrip(MainWindowModel& form, std::function<void(float)> onMove, QWidget* parent)
        : QWidget(parent), m_form(form), m_onMove(std::move(onMove)) {
        setMouseTracking(true);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), Qt::white);
        p.setPen(QColor(160, 160, 160));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
        const double x = m_form.pitchBendIndicator.x1 * width() / 128.0;
        p.setPen(QPen(qcolour(m_form.pitchBendIndicator.borderColour), 2));
        p.drawLine(QPointF(x, 0), QPointF(x, height()));
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        m_onMove(static_cast<float>(e->position().x() * 128.0 / std::max(1, width())));
    }

private:
    MainWindowModel& m_form;
    std::function<void(float)> m_onMove;
};

// Japanese gothic faces, best first.
QString japaneseGothicFamily() {
    const QStringList families = QFontDatabase::families();
    for (const char* name : {"Noto Sans CJK JP", "Noto Sans JP", "IPAexGothic", "IPAGothic",
                             "TakaoPGothic", "VL PGothic", "Source Han Sans JP"})
        if (families.contains(QString::fromUtf8(name))) return QString::fromUtf8(name);
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
}

int shiftState(Qt::KeyboardModifiers m) {
    return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) |
           (m & Qt::AltModifier ? 4 : 0);
}

int buttonCode(Qt::MouseButtons b) {
    return (b & Qt::LeftButton ? 1 : 0) | (b & Qt::RightButton ? 2 : 0) |
           (b & Qt::MiddleButton ? 4 : 0);
}

// The key codes the key handler expects: letters and digits as their upper-case
// characters, Space, Shift and the editing keys by their usual numbers, and
// punctuation found by the character it types, so that the drum pad's keys
// work on Japanese and on other layouts alike.
int virtualKey(const QKeyEvent* e) {
    const int k = e->key();
    if ((k >= Qt::Key_A && k <= Qt::Key_Z) || (k >= Qt::Key_0 && k <= Qt::Key_9)) return k;
    switch (k) {
    case Qt::Key_Space:
        return kKeySpace;
    case Qt::Key_Shift:
        return kKeyShift;
    case Qt::Key_Backspace:
        return kKeyBackspace;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Down:
        return 40;
    case Qt::Key_Delete:
        return 46;
    default:
        break;
    }
    const QInputMethod* im = QGuiApplication::inputMethod();
    const bool japanese = im && im->locale().language() == QLocale::Japanese;
    const QString text = e->text();
    if (!text.isEmpty() && text.at(0).isPrint())
        return keyCodeOfCharacter(text.at(0).unicode(), japanese);
    // No printable text (Ctrl held, some platforms): Qt's codes of the Latin-1
    // symbols are their characters.
    if (k > 0 && k < 0x100) return keyCodeOfCharacter(static_cast<char32_t>(k), japanese);
    return 0;
}

// The drum pad's key by the key's place on the keyboard, from the scan code
// the system reports with the event; 0 where it reports none.
int padKeyOfPlace(const QKeyEvent* e) {
    const quint32 native = e->nativeScanCode();
    if (native == 0) return 0;
#if defined(Q_OS_WIN)
    // Set-1 scan codes; the Japanese backslash key is 0x73 there.
    const quint32 code = native & 0xFF;
    return keyCodeOfScanCode(code == 0x73 ? 89 : code);
#elif defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    // X and Wayland key codes: the input layer's code plus 8.
    return native > 8 ? keyCodeOfScanCode(native - 8) : 0;
#else
    return 0;
#endif
}

// A scroll bar's place from its top (left) end, as the toolkit counts it,
// as the model's value: the model's bar runs from `min` at the top to `max`
// at the bottom, either way round.
int modelValueOf(const Control& bar, int place) {
    return bar.min <= bar.max ? bar.min + place : bar.min - place;
}

} // namespace

bool SongShortcutsFirst::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo) ||
            key->keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_Y)) {
            event->ignore(); // the menu's shortcut takes it
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

// Message boxes and input boxes of the model.
class MainWindow::Ui : public WindowSystem {
public:
    Ui(MainWindow& w, bool quiet) : m_window(w), m_quiet(quiet) {}
    void messageBox(const std::string& text) override {
        if (m_quiet) {
            std::cerr << text << '\n';
            return;
        }
        QMessageBox::information(&m_window, QString::fromStdString(translated(msg::kProgramName)),
                                 QString::fromStdString(text));
    }
    std::string inputBox(const std::string& prompt, const std::string& title,
                         const std::string& defaultText) override {
        if (m_quiet) return {};
        bool ok = false;
        const QString text = QInputDialog::getText(
            &m_window, QString::fromStdString(title.empty() ? translated(msg::kProgramName) : title),
            QString::fromStdString(prompt), QLineEdit::Normal, QString::fromStdString(defaultText),
            &ok);
        return ok ? text.toStdString() : std::string{};
    }
    Answer askYesNo(const std::string& text) override {
        return ask(text, QMessageBox::Yes | QMessageBox::No, Answer::No);
    }
    Answer askYesNoCancel(const std::string& text) override {
        return ask(text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, Answer::Cancel);
    }
    std::string saveFileBox(const std::string& title, const std::string& suggested,
                            const std::string& filter) override {
        if (m_quiet) return {};
        // The model asks about a file already there, as every export does.
        return QFileDialog::getSaveFileName(&m_window, QString::fromStdString(title),
                                            QString::fromStdString(suggested),
                                            QString::fromStdString(filter), nullptr,
                                            QFileDialog::DontConfirmOverwrite)
            .toStdString();
    }
    std::string scorePdf(const Song& song, const StaffPageLook& look,
                         SongPageRange range) override {
        return vako::scorePdf(song, look, range, kPaperA4).bytes;
    }
    PrintOutcome printScore(const Song& song, const StaffPageLook& look,
                            int64_t pages) override {
        if (m_quiet) return PrintOutcome::Cancelled;
        QPrinter printer(QPrinter::HighResolution);
        printer.setFullPage(true); // the layout measures from the paper's corner
        printer.setDocName(QString::fromStdString(song.sequenceNameText));
        QPrintDialog dialog(&printer, &m_window);
        const int last = static_cast<int>(std::clamp<int64_t>(pages, 1, INT32_MAX));
        dialog.setMinMax(1, last);
        dialog.setFromTo(1, last);
        dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
        if (dialog.exec() != QDialog::Accepted) return PrintOutcome::Cancelled;
        SongPageRange range;
        if (printer.printRange() == QPrinter::PageRange)
            range = {printer.fromPage(), printer.toPage()};
        const QRectF paper = printer.pageLayout().fullRectPoints();
        const ScoreLayout layout =
            layOutScore(song, {paper.width(), paper.height()}, range, 1, paperTextWidth);
        if (layout.sheets.empty()) return PrintOutcome::Failed;
        // The sheets are counted by the layout, not by the printer's own range.
        printer.setPrintRange(QPrinter::AllPages);
        printer.setFromTo(0, 0);
        return paintScore(printer, song, look, layout) ? PrintOutcome::Printed
                                                       : PrintOutcome::Failed;
    }
    double screenWidth() const override {
        const QScreen* s = QGuiApplication::primaryScreen();
        return (s ? s->availableGeometry().width() : 1366) * kTwipsPerPixel;
    }
    double screenHeight() const override {
        const QScreen* s = QGuiApplication::primaryScreen();
        return (s ? s->availableGeometry().height() : 768) * kTwipsPerPixel;
    }
    void endProgram() override {
        QMetaObject::invokeMethod(qApp, &QApplication::quit, Qt::QueuedConnection);
    }

private:
    // Off screen (screenshots) nobody answers: Cancel where the box has it, else No.
    Answer ask(const std::string& text, QMessageBox::StandardButtons buttons, Answer quietAnswer) {
        if (m_quiet) {
            std::cerr << text << '\n';
            return quietAnswer;
        }
        const auto pressed =
            QMessageBox::question(&m_window, QString::fromStdString(translated(msg::kProgramName)),
                                  QString::fromStdString(text), buttons, QMessageBox::Yes);
        if (pressed == QMessageBox::Yes) return Answer::Yes;
        if (pressed == QMessageBox::No) return Answer::No;
        return buttons.testFlag(QMessageBox::Cancel) ? Answer::Cancel : Answer::No;
    }

    MainWindow& m_window;
    bool m_quiet;
};

// The client area: keeps the controls at their designed places, zoomed.
class MainWindow::Surface : public QWidget {
public:
    explicit Surface(MainWindow& w) : QWidget(&w), m_window(w) {}

protected:
    void resizeEvent(QResizeEvent*) override { m_window.layOut(); }

private:
    MainWindow& m_window;
};

// ---------------------------------------------------------------------------

ScoreView::ScoreView(MainWindow& window, QWidget* parent) : QWidget(parent), m_window(window) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

double ScoreView::scale() const {
    return std::min(width() / kViewWidth, height() / kViewHeight);
}

QPointF ScoreView::toWidget(double x, double y) const {
    return {(x - kViewLeft) * scale(), (y - kViewTop) * scale()};
}

QPointF ScoreView::toView(QPointF p) const {
    return {p.x() / scale() + kViewLeft, p.y() / scale() + kViewTop};
}

void ScoreView::showChanges() {
    QString look;
    const QRegion moving = movingItemsRegion(look);
    if (m_window.canvas().version() != m_shownCanvasVersion)
        update();
    else if (moving != m_movingItems || look != m_movingItemsLook)
        update(moving | m_movingItems);
    m_movingItems = moving;
    m_movingItemsLook = look;
}

QRegion ScoreView::movingItemsRegion(QString& look) const {
    MainWindowModel& f = m_window.form();
    const double s = scale();
    QRegion area;
    look.clear();
    for (const Control* c : f.controls()) {
        if (c->container != Container::ScoreView || !c->visible) continue;
        QRectF r;
        switch (c->kind) {
        case ControlKind::Shape:
            r = QRectF(toWidget(c->left, c->top), QSizeF(c->width * s, c->height * s));
            r.adjust(-s * 1.5 - 2, -s * 1.5 - 2, s * 1.5 + 2, s * 1.5 + 2);
            break;
        case ControlKind::Line: {
            r = QRectF(toWidget(c->x1, c->y1), toWidget(c->x2, c->y2)).normalized();
            const double pen = std::max(1.0, s * 2) + 2;
            r.adjust(-pen, -pen, pen, pen);
            break;
        }
        case ControlKind::Label: {
            QFont font = this->font();
            font.setPixelSize(std::max(8, static_cast<int>(22 * s)));
            r = QRectF(toWidget(c->left, c->top), QSizeF(c->width * s, c->height * s));
            // Text longer than its box runs out of it.
            r |= QFontMetricsF(font).boundingRect(r, Qt::AlignRight | Qt::AlignVCenter,
                                                  QString::fromStdString(c->caption));
            r.adjust(-2, -2, 2, 2);
            break;
        }
        default:
            continue;
        }
        area |= r.toAlignedRect();
        // Everything else the paint takes from the item: a change of colour or
        // text in the same place is a change too.
        look += QString::number(qcolour(c->borderColour).rgba()) + ' ' +
                QString::number(qcolour(c->foreColour).rgba()) + ' ' + QString::number(r.x()) +
                ' ' + QString::number(r.y()) + ' ' + QString::number(r.width()) + ' ' +
                QString::number(r.height()) + ' ' + QString::fromStdString(c->caption) + '\n';
    }
    return area;
}

void ScoreView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), qcolour(colour::kViewGrey));
    p.drawImage(QPointF(0, 0), m_window.canvas().image());
    m_shownCanvasVersion = m_window.canvas().version();
    // The moving items over the retained picture.
    MainWindowModel& f = m_window.form();
    const double s = scale();
    p.setRenderHint(QPainter::Antialiasing, true);
    for (const Control* c : f.controls()) {
        if (c->container != Container::ScoreView || !c->visible) continue;
        switch (c->kind) {
        case ControlKind::Shape: {
            p.setPen(QPen(qcolour(c->borderColour), std::max(1.0, s * 1.5)));
            p.setBrush(Qt::NoBrush);
            p.drawRect(QRectF(toWidget(c->left, c->top), QSizeF(c->width * s, c->height * s)));
            break;
        }
        case ControlKind::Line:
            p.setPen(QPen(qcolour(c->borderColour), std::max(1.0, s * 2)));
            p.drawLine(toWidget(c->x1, c->y1), toWidget(c->x2, c->y2));
            break;
        case ControlKind::Label: {
            QFont font = this->font();
            font.setPixelSize(std::max(8, static_cast<int>(22 * s)));
            p.setFont(font);
            p.setPen(qcolour(c->foreColour));
            p.drawText(QRectF(toWidget(c->left, c->top), QSizeF(c->width * s, c->height * s)),
                       Qt::AlignRight | Qt::AlignVCenter, QString::fromStdString(c->caption));
            break;
        }
        default:
            break;
        }
    }
}

void ScoreView::resizeEvent(QResizeEvent*) {
    const double dpr = devicePixelRatioF();
    m_window.canvas().resize(static_cast<int>(std::lround(kViewWidth * scale() * dpr)),
                             static_cast<int>(std::lround(kViewHeight * scale() * dpr)), dpr);
    // The retained picture has a new size: draw it again.
    if (m_window.form().shown) m_window.run([&] { m_window.form().redrawScore(); });
}

void ScoreView::mouseMoveEvent(QMouseEvent* e) {
    const QPointF v = toView(e->position());
    m_window.run([&] {
        m_window.form().scoreMouseMove(buttonCode(e->buttons()), shiftState(e->modifiers()),
                                       static_cast<float>(v.x()), static_cast<float>(v.y()));
    });
}

void ScoreView::mousePressEvent(QMouseEvent* e) {
    const QPointF v = toView(e->position());
    m_window.run([&] {
        m_window.form().scoreMouseDown(buttonCode(e->button()), shiftState(e->modifiers()),
                                       static_cast<float>(v.x()), static_cast<float>(v.y()));
    });
}

void ScoreView::mouseReleaseEvent(QMouseEvent* e) {
    const QPointF v = toView(e->position());
    m_window.run([&] {
        m_window.form().scoreMouseUp(buttonCode(e->button()), shiftState(e->modifiers()),
                                     static_cast<float>(v.x()), static_cast<float>(v.y()));
    });
}

void ScoreView::leaveEvent(QEvent*) {
    m_window.run([&] { m_window.form().scoreMouseLeft(); });
}

void ScoreView::keyPressEvent(QKeyEvent* e) {
    const int key = virtualKey(e);
    const int padKey = padKeyOfPlace(e);
    if (key == 0 && padKey == 0) return QWidget::keyPressEvent(e);
    m_window.run([&] { m_window.form().scoreKeyDown(key, shiftState(e->modifiers()), padKey); });
}

// ---------------------------------------------------------------------------

MainWindow::MainWindow(Song& song, MainWindowModel::DeviceOpener openDevice, SongFolders folders,
                       bool quiet)
    : m_song(song), m_ui(std::make_unique<Ui>(*this, quiet)),
      m_canvas(kViewLeft, kViewTop, kViewWidth, kViewHeight) {
    const QString family = japaneseGothicFamily();
    QFont appFont(family);
    appFont.setPixelSize(13);
    QApplication::setFont(appFont);
    m_canvas.setFontFamily(family);
    m_form = std::make_unique<MainWindowModel>(song, m_canvas, std::move(openDevice), *m_ui,
                                               std::move(folders));
    m_form->useClipboard(m_clipboard);
    m_form->showRangeWindow = [this](double, double) {
        // The range window opens modally at the main window's left and top.
        RangeEditDialog dialog(*m_form, this);
        dialog.move(pos());
        dialog.exec();
    };
    m_form->popUpMenu = [this](const std::vector<MenuItem*>& items) { popUp(items); };
    m_surface = new Surface(*this);
    setCentralWidget(m_surface);
    buildMenus();
}

void MainWindow::popUp(const std::vector<MenuItem*>& items) {
    // Shown once the handler that asked for it has finished, at the pointer.
    const QPoint at = QCursor::pos();
    QTimer::singleShot(0, this, [this, items, at] {
        QMenu menu(this);
        std::map<QAction*, MenuItem*> chosen;
        for (MenuItem* item : items) {
            if (item->isSeparator()) {
                menu.addSeparator();
                continue;
            }
            QAction* a = menu.addAction(QString::fromStdString(item->caption));
            a->setCheckable(item->checked);
            a->setChecked(item->checked);
            a->setEnabled(item->enabled);
            chosen[a] = item;
        }
        QAction* picked = menu.exec(at);
        if (picked && chosen.count(picked)) run([item = chosen[picked]] { item->click(); });
    });
}

MainWindow::~MainWindow() {
    // The keyboard's thread stops before the window it wakes goes.
    m_form->keyboard.choose("");
    // Widgets refer to the model: remove them first.
    delete takeCentralWidget();
}

void MainWindow::load(const std::string& commandLine) {
    // The form's size in window units, for centring it on the screen.
    m_form->width = width() * kTwipsPerPixel;
    m_form->height = height() * kTwipsPerPixel;
    m_form->load(commandLine);
    buildWidgets(); // the controls made at start-up are known now
    connectFilesAndPlayback();
    connectKeyboard();
    layOut();
    move(static_cast<int>(m_form->left / kTwipsPerPixel),
         static_cast<int>(m_form->top / kTwipsPerPixel));
    refresh();
}

void MainWindow::buildMenus() {
    std::function<void(QMenu*, MenuItem*)> addItem = [&](QMenu* parent, MenuItem* item) {
        if (item->isSeparator()) {
            m_actions[item] = parent->addSeparator();
            return;
        }
        if (!item->children.empty()) {
            QMenu* sub = parent->addMenu(QString::fromStdString(item->caption));
            m_actions[item] = sub->menuAction();
            for (MenuItem* child : item->children) addItem(sub, child);
            return;
        }
        QAction* a = parent->addAction(QString::fromStdString(item->caption));
        QList<QKeySequence> keys;
        for (const std::string* k : {&item->shortcut, &item->otherShortcut})
            if (!k->empty()) keys.append(QKeySequence(QString::fromStdString(*k)));
        a->setShortcuts(keys);
        connect(a, &QAction::triggered, this, [this, item] { run([item] { item->click(); }); });
        m_actions[item] = a;
    };
    for (MenuItem* top : m_form->menuBar()) {
        QMenu* menu = menuBar()->addMenu(QString::fromStdString(top->caption));
        m_actions[top] = menu->menuAction();
        for (MenuItem* child : top->children) addItem(menu, child);
    }
}

QWidget* MainWindow::containerFor(const Control& c) const {
    switch (c.container) {
    case Container::Form:
        return m_surface;
    case Container::ScoreView:
        return m_scoreView;
    case Container::NotePanel:
        return widgetFor("notePanel");
    case Container::PositionPanel:
        return widgetFor("positionPanel");
    case Container::PitchBendStrip:
        return widgetFor("pitchBendStrip");
    }
    return m_surface;
}

QWidget* MainWindow::widgetFor(const std::string& name) const {
    for (const auto& [control, widget] : m_widgets)
        if (control->name == name) return widget;
    return nullptr;
}

void MainWindow::buildWidgets() {
    MainWindowModel& f = *m_form;
    // Containers first, so that their children find them.
    m_scoreView = new ScoreView(*this, m_surface);
    m_widgets[&f.scoreView] = m_scoreView;
    for (Control* panel :
         {static_cast<Control*>(&f.notePanel), static_cast<Control*>(&f.positionPanel)}) {
        auto* frame = new QFrame(m_scoreView);
        frame->setFrameShape(QFrame::Box);
        frame->setAutoFillBackground(true);
        m_widgets[panel] = frame;
    }
    m_widgets[&f.pitchBendStrip] = new PitchStrip(
        f, [this](float x) { run([&] { m_form->pitchBendMouseMove(0, 0, x, 0.5f); }); }, m_surface);

    for (Control* cp : f.controls()) {
        Control& c = *cp;
        if (m_widgets.count(cp)) continue;
        if (c.container == Container::ScoreView &&
            (c.kind == ControlKind::Shape || c.kind == ControlKind::Line ||
             c.kind == ControlKind::Label))
            continue; // drawn by the score view over its picture
        if (c.container == Container::PitchBendStrip || &c == &f.backgroundPictureBox) continue;
        QWidget* parent = containerFor(c);
        QWidget* w = nullptr;
        switch (c.kind) {
        case ControlKind::Label:
        case ControlKind::Image: {
            auto* label = new ClickLabel(
                c, [this, cp] { run([cp] { cp->click(); }); }, parent);
            label->setWordWrap(true);
            if (c.onClick && c.kind == ControlKind::Label) {
                label->setAlignment(Qt::AlignCenter);
                label->setFrameShape(QFrame::Box);
                label->setCursor(Qt::PointingHandCursor);
            }
            if (c.kind == ControlKind::Image) label->setCursor(Qt::PointingHandCursor);
            if (!c.contextMenu.empty())
                label->setOnRightClick([this, cp] { popUp(cp->contextMenu); });
            // Only the part buttons paint their own background.
            label->setAutoFillBackground(c.kind == ControlKind::Label && c.onClick != nullptr);
            w = label;
            break;
        }
        case ControlKind::Button: {
            auto* b = new QPushButton(parent);
            connect(b, &QPushButton::clicked, this, [this, cp] {
                const bool shift = QGuiApplication::keyboardModifiers() & Qt::ShiftModifier;
                run([cp, shift] { shift ? cp->shiftClick() : cp->click(); });
            });
            w = b;
            break;
        }
        case ControlKind::ComboBox: {
            auto* box = new QComboBox(parent);
            box->setMaxVisibleItems(24);
            connect(box, &QComboBox::activated, this,
                    [this, cp](int i) { run([cp, i] { cp->setListIndex(i); }); });
            w = box;
            break;
        }
        case ControlKind::ListBox: {
            auto* list = new QListWidget(parent);
            connect(list, &QListWidget::itemClicked, this, [this, cp, list](QListWidgetItem* item) {
                run([cp, list, item] { cp->setListIndex(list->row(item)); });
            });
            w = list;
            break;
        }
        case ControlKind::HScrollBar:
        case ControlKind::VScrollBar: {
            auto* bar = new QScrollBar(
                c.kind == ControlKind::HScrollBar ? Qt::Horizontal : Qt::Vertical, parent);
            connect(bar, &QScrollBar::valueChanged, this, [this, cp](int v) {
                if (!m_refreshing) run([cp, v] { cp->setValue(modelValueOf(*cp, v)); });
            });
            w = bar;
            break;
        }
        case ControlKind::TextBox: {
            auto* edit = new QLineEdit(parent);
            connect(edit, &QLineEdit::textEdited, this, [this, cp](const QString& t) {
                run([cp, t] { cp->setText(t.toStdString()); });
            });
            connect(edit, &QLineEdit::editingFinished, this, [this, cp] {
                if (!m_refreshing) run([cp] { cp->commit(); });
            });
            // The song's undo and redo keys reach the menu, not the box's own
            // undo of single keystrokes.
            edit->installEventFilter(&m_songShortcutsFirst);
            w = edit;
            break;
        }
        case ControlKind::OptionButton: {
            auto* option = new QRadioButton(parent);
            option->setAutoExclusive(c.container == Container::Form);
            connect(option, &QRadioButton::clicked, this, [this, cp, &f] {
                run([cp, &f] {
                    if (cp->container == Container::Form)
                        for (int i = 0; i < 3; ++i)
                            f.accidentalOptions[i].checked = cp == &f.accidentalOptions[i];
                    else
                        cp->checked = true;
                    cp->click();
                });
            });
            w = option;
            break;
        }
        case ControlKind::Shape: {
            auto* frame = new QFrame(parent);
            frame->setFrameShape(QFrame::Box);
            frame->setAttribute(Qt::WA_TransparentForMouseEvents);
            w = frame;
            break;
        }
        case ControlKind::Line:
        case ControlKind::Panel:
            break;
        }
        if (w) m_widgets[cp] = w;
    }
    // The frame lies under the tool pictures.
    if (QWidget* frame = m_widgets[&f.toolboxFrame[0]]) frame->lower();
}

QRect MainWindow::formRect(const Control& c) const {
    const double z = m_zoom;
    const QPointF origin((m_surface->width() - kDesignWidth * z) / 2, 0);
    return QRectF(origin.x() + c.left / kTwipsPerPixel * z, origin.y() + c.top / kTwipsPerPixel * z,
                  c.width / kTwipsPerPixel * z, c.height / kTwipsPerPixel * z)
        .toAlignedRect();
}

void MainWindow::layOut() {
    if (!m_surface || !m_scoreView) return;
    m_zoom = std::min(m_surface->width() / double(kDesignWidth),
                      m_surface->height() / double(kDesignHeight));
    QFont f = QApplication::font();
    f.setPixelSize(std::max(9, static_cast<int>(std::lround(13 * m_zoom))));
    m_surface->setFont(f);
    refresh();
}

void MainWindow::mirror(Control& c, QWidget* w) {
    // Geometry.
    if (c.container == Container::Form) {
        w->setGeometry(formRect(c));
    } else if (c.kind == ControlKind::Panel) {
        const double s = m_scoreView->scale();
        const QPointF at = m_scoreView->toWidget(c.left, c.top);
        w->setGeometry(QRectF(at, QSizeF(c.width * s, c.height * s)).toAlignedRect());
    } else {
        const double s = m_scoreView->scale();
        w->setGeometry(QRectF(c.left * s, c.top * s, c.width * s, c.height * s).toAlignedRect());
    }
    w->setVisible(c.visible);
    w->setEnabled(c.enabled);
    const QString caption = QString::fromStdString(c.caption);
    const int fontPx =
        c.container == Container::Form
            ? std::max(9, static_cast<int>(std::lround(13 * m_zoom)))
            : std::max(9, static_cast<int>(22 * m_scoreView->scale() * c.fontSize / 9.0));
    if (w->font().pixelSize() != fontPx) {
        QFont font = w->font();
        font.setPixelSize(fontPx);
        w->setFont(font);
    }
    switch (c.kind) {
    case ControlKind::Label:
    case ControlKind::Image: {
        auto* label = static_cast<QLabel*>(w);
        if (c.kind == ControlKind::Image) {
            const int size = std::min(w->width(), w->height());
            const QString key = QString::number(int(c.picture)) + "/" + QString::number(size);
            if (label->property("pictureKey").toString() != key) {
                label->setPixmap(paintPicture(c.picture, size, devicePixelRatioF()));
                label->setProperty("pictureKey", key);
            }
        } else {
            if (label->text() != caption) label->setText(caption);
            // A palette set anew repaints the label: only a changed colour is set.
            QPalette pal = label->palette();
            if (pal.color(QPalette::Window) != qcolour(c.backColour) ||
                pal.color(QPalette::WindowText) != qcolour(c.foreColour)) {
                pal.setColor(QPalette::Window, qcolour(c.backColour));
                pal.setColor(QPalette::WindowText, qcolour(c.foreColour));
                label->setPalette(pal);
            }
        }
        break;
    }
    case ControlKind::Button: {
        auto* b = static_cast<QPushButton*>(w);
        if (c.picture != PictureId::None) {
            const int size = std::max(8, std::min(w->width(), w->height()) - 8);
            const QString key = QString::number(int(c.picture)) + "/" + QString::number(size);
            if (b->property("pictureKey").toString() != key) {
                b->setIcon(QIcon(paintPicture(c.picture, size, devicePixelRatioF())));
                b->setIconSize(QSize(size, size));
                b->setProperty("pictureKey", key);
            }
            if (!b->text().isEmpty()) b->setText(QString());
        } else if (b->text() != caption) {
            b->setText(caption);
        }
        break;
    }
    case ControlKind::ComboBox: {
        auto* box = static_cast<QComboBox*>(w);
        if (box->count() != static_cast<int>(c.items.size())) {
            box->clear();
            for (const std::string& item : c.items) box->addItem(QString::fromStdString(item));
        }
        if (box->currentIndex() != c.listIndex) box->setCurrentIndex(c.listIndex);
        break;
    }
    case ControlKind::ListBox: {
        auto* list = static_cast<QListWidget*>(w);
        QStringList items;
        for (const std::string& item : c.items) items << QString::fromStdString(item);
        QStringList shown;
        for (int i = 0; i < list->count(); ++i) shown << list->item(i)->text();
        if (shown != items) {
            list->clear();
            list->addItems(items);
        }
        break;
    }
    case ControlKind::HScrollBar:
    case ControlKind::VScrollBar: {
        auto* bar = static_cast<QScrollBar*>(w);
        bar->setRange(0, std::abs(c.max - c.min));
        bar->setPageStep(c.largeChange);
        bar->setSingleStep(c.smallChange);
        bar->setValue(std::abs(c.value - c.min));
        break;
    }
    case ControlKind::TextBox: {
        auto* edit = static_cast<QLineEdit*>(w);
        if (edit->text() != caption) edit->setText(caption);
        break;
    }
    case ControlKind::OptionButton: {
        auto* option = static_cast<QRadioButton*>(w);
        if (option->text() != caption) option->setText(caption);
        option->setChecked(c.checked);
        break;
    }
    case ControlKind::Panel: {
        if (w->palette().color(QPalette::Window) != qcolour(c.backColour)) {
            QPalette pal = w->palette();
            pal.setColor(QPalette::Window, qcolour(c.backColour));
            w->setPalette(pal);
        }
        break;
    }
    default:
        break;
    }
}

void MainWindow::mirrorMenus() {
    for (auto& [item, action] : m_actions) {
        if (!item->children.empty() || item->isSeparator()) {
            action->setEnabled(item->enabled);
            continue;
        }
        action->setCheckable(item->checked);
        action->setChecked(item->checked);
        action->setEnabled(item->enabled);
        action->setVisible(item->visible);
    }
}

void MainWindow::refresh() {
    if (m_refreshing) return;
    m_refreshing = true;
    setWindowTitle(QString::fromStdString(m_form->caption));
    if (m_scoreView) {
        for (auto& [control, widget] : m_widgets)
            if (control->container == Container::Form) mirror(*control, widget);
        for (auto& [control, widget] : m_widgets)
            if (control->container != Container::Form) mirror(*control, widget);
        m_scoreView->showChanges();
        if (QWidget* strip = widgetFor("pitchBendStrip")) strip->update();
        if (m_form->scoreFocusRequested) {
            m_form->scoreFocusRequested = false;
            m_scoreView->setFocus(Qt::OtherFocusReason);
        }
    }
    mirrorMenus();
    m_refreshing = false;
    armPlaybackTimer();
}

void MainWindow::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    layOut();
}

void MainWindow::closeEvent(QCloseEvent* e) {
    if (m_form->files.queryClose())
        e->accept();
    else
        e->ignore();
}

} // namespace vako
