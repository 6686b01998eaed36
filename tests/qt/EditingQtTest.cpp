// Writing music in the real window, off screen: mouse clicks on the score
// view place and delete notes and chords, keys reach the key handler by their
// characters, and the position panel sets a tempo change.
#include "OffscreenApplication.h"
#include "app/MainWindow.h"

#include "platform/Clock.h"

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QPaintEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>
#include <vector>

namespace vako {
namespace {

// View x of a position on page 0 (sixteenth grid, multiples of 3) and view y
// of a row of the upper (0) or lower (1) band: the middle of a head drawn there.
double xAt(int pos) {
    return 5.0 * (pos + 18) + 3;
}
double yAt(int staff, int row) {
    return (staff == 0 ? -600.0 : 0.0) - 10.0 * (row - 5);
}

class EditingWindow : public ::testing::Test {
protected:
    void SetUp() override {
        window = test::openMainWindow(
            song, std::filesystem::temp_directory_path() / "vako-qt-editing", [this] {
                auto device = std::make_unique<RecordingMidiOut>(clock);
                midi = device.get();
                return device;
            });
    }
    ScoreView& view() { return window->scoreView(); }
    void mouse(QEvent::Type type, Qt::MouseButton button, double x, double y) {
        test::sendMouse(view(), type, button, x, y);
    }
    void click(double x, double y, Qt::MouseButton button = Qt::LeftButton) {
        test::clickStaff(view(), x, y, button);
    }
    void key(int qtKey, const QString& text, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QKeyEvent e(QEvent::KeyPress, qtKey, mods, text);
        QApplication::sendEvent(&view(), &e);
    }
    QAction* menuAction(const QString& caption) {
        for (QAction* a : window->menuBar()->findChildren<QAction*>())
            if (a->text() == caption) return a;
        return nullptr;
    }
    std::vector<int> notes() const {
        std::vector<int> out;
        for (int i = 1; i <= song.noteCount(); ++i) out.push_back(song.notes[i].key);
        return out;
    }

    FakeClock clock;
    RecordingMidiOut* midi = nullptr;
    Song song;
    std::unique_ptr<MainWindow> window;
};

// The keys of the menus: the one action that has `keys` among its shortcuts
// runs when it is enabled, as the shortcut would run it.
void pressShortcut(QWidget& window, const QKeySequence& keys) {
    std::vector<QAction*> found;
    for (QAction* a : window.findChildren<QAction*>())
        if (a->shortcuts().contains(keys)) found.push_back(a);
    ASSERT_EQ(found.size(), 1u) << keys.toString().toStdString() << " is not one action's";
    if (found[0]->isEnabled()) found[0]->trigger();
    QApplication::processEvents();
}

TEST_F(EditingWindow, CtrlZAndCtrlYStepThroughTheClicksOnTheStaffAndInTheSong) {
    auto staff = [this] { return window->canvas().image().copy(); };
    std::vector<QImage> shown{staff()};
    for (int pos : {12, 24, 36}) {
        click(xAt(pos), yAt(0, 35));
        shown.push_back(staff());
    }
    auto positions = [this] { return test::positionsOf(song); };
    ASSERT_EQ(positions(), (std::vector<int32_t>{12, 24, 36}));
    ASSERT_NE(shown[2], shown[3]);
    QAction* undo = menuAction(QStringLiteral("元に戻す"));
    QAction* redo = menuAction(QStringLiteral("再実行"));
    ASSERT_TRUE(undo && redo);
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_FALSE(redo->isEnabled());

    pressShortcut(*window, QKeySequence(QStringLiteral("Ctrl+Z")));
    pressShortcut(*window, QKeySequence(QStringLiteral("Ctrl+Z")));
    EXPECT_EQ(positions(), (std::vector<int32_t>{12}));
    EXPECT_TRUE(staff() == shown[1]) << "the staff shows the one note left";
    EXPECT_TRUE(redo->isEnabled());

    pressShortcut(*window, QKeySequence(QStringLiteral("Ctrl+Y")));
    EXPECT_EQ(positions(), (std::vector<int32_t>{12, 24}));
    EXPECT_TRUE(staff() == shown[2]);
    EXPECT_TRUE(window->form().editor.isModified());

    // Ctrl+Shift+Z redoes as well; with nothing left to redo the item is greyed.
    pressShortcut(*window, QKeySequence(QStringLiteral("Ctrl+Shift+Z")));
    EXPECT_EQ(positions(), (std::vector<int32_t>{12, 24, 36}));
    EXPECT_FALSE(redo->isEnabled());
    EXPECT_TRUE(staff() == shown[3]);
}

TEST_F(EditingWindow, CtrlZInATextBoxTakesBackTheTypingWholeThenTheSong) {
    click(xAt(12), yAt(0, 35));
    auto* tempo = qobject_cast<QLineEdit*>(window->widgetFor("tempoBox"));
    ASSERT_TRUE(tempo);
    window->activateWindow();
    QApplication::setActiveWindow(window.get());
    tempo->setFocus();
    tempo->selectAll();
    QTest::keyClicks(tempo, "90");
    EXPECT_EQ(song.tempoText, "120") << "the song takes the text when the typing is done";
    QTest::keyClick(tempo, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(tempo->text(), "120");
    EXPECT_EQ(song.tempoText, "120");
    EXPECT_EQ(test::positionsOf(song), std::vector<int32_t>{12}) << "one undo, the typing";
    QTest::keyClick(tempo, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(test::positionsOf(song).empty());

    // Enter hands the text over as one step.
    tempo->selectAll();
    QTest::keyClicks(tempo, "96");
    QTest::keyClick(tempo, Qt::Key_Return);
    EXPECT_EQ(song.tempoText, "96");
    EXPECT_EQ(window->form().editor.undoCount(), 1u);
}

TEST_F(EditingWindow, TheVolumeBarsUpArrowRaisesAndItsDownArrowLowers) {
    auto* bar = qobject_cast<QScrollBar*>(window->widgetFor("bandVolumeScrollBars(0)"));
    ASSERT_TRUE(bar);
    ASSERT_EQ(song.partVolumes[0], 5);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd); // the arrow at the bottom
    QApplication::processEvents();
    EXPECT_EQ(song.partVolumes[0], 4);
    EXPECT_EQ(window->form().bandVolumeBoxes[0].caption, "4");
    bar->triggerAction(QAbstractSlider::SliderToMinimum); // the top end
    QApplication::processEvents();
    EXPECT_EQ(song.partVolumes[0], 6);
    EXPECT_EQ(bar->value(), bar->minimum()) << "the loudest sits at the top";
}

TEST_F(EditingWindow, ClicksPlaceAndDeleteNotesOnBothBandsAndAChordFromTheMenu) {
    click(xAt(12), yAt(0, 35));
    click(xAt(24), yAt(1, 30));
    ASSERT_EQ(song.noteCount(), 2);
    EXPECT_EQ(std::tuple(song.notes[1].position, song.notes[1].key, song.notes[1].part),
              std::tuple(12, 60, 0));
    EXPECT_EQ(std::tuple(song.notes[2].position, song.notes[2].key, song.notes[2].part),
              std::tuple(24, 52, 9));
    EXPECT_TRUE(window->form().editor.isModified());
    // The hover marks the note under the pointer; a click there deletes it.
    mouse(QEvent::MouseMove, Qt::NoButton, xAt(12), yAt(0, 35));
    EXPECT_TRUE(window->form().noteMarker.visible);
    EXPECT_TRUE(view().hasFocus() || !window->isActiveWindow());
    click(xAt(12), yAt(0, 35));
    EXPECT_EQ(notes(), (std::vector<int>{52}));
    // Undo from the menu brings it back.
    QAction* undo = menuAction(QStringLiteral("やり直し"));
    ASSERT_NE(undo, nullptr);
    ASSERT_TRUE(undo->isEnabled());
    undo->trigger();
    EXPECT_EQ(notes(), (std::vector<int>{60, 52}));
    EXPECT_TRUE(undo->isEnabled()) << "the two clicks before are there to undo";

    // A chord from the menu, sounded as a preview and placed.
    QAction* chords = menuAction(QStringLiteral("和音入力有効"));
    ASSERT_NE(chords, nullptr);
    chords->trigger();
    EXPECT_TRUE(window->form().chordInputMenu.checked);
    midi->clear();
    click(xAt(36), yAt(0, 35));
    EXPECT_EQ(notes(), (std::vector<int>{60, 52, 60, 64, 67}));
    int noteOns = 0, noteOffs = 0;
    for (uint32_t m : midi->messages()) {
        noteOns += (m & 0xF0) == 0x90;
        noteOffs += (m & 0xF0) == 0x80;
    }
    EXPECT_EQ(std::pair(noteOns, noteOffs), std::pair(3, 3));
}

// Mended: the row under the middle of a drawn head was the row above, so a
// click there added a note over the one shown instead of deleting it. The
// middle is found in the picture of the staff: the dark pixels of the rows
// that hold the head (a staff line crosses the whole search box and is no head).
TEST_F(EditingWindow, AClickOnTheMiddleOfADrawnHeadDeletesItsNote) {
    // Heads on lines and in spaces, a sharp, on both bands; one note a step.
    const std::vector<Note> drawn = {{15, 62, 12, 0, 120, 64, 0}, {27, 64, 12, 0, 120, 64, 0},
                                     {39, 71, 12, 0, 120, 64, 0}, {51, 61, 12, 0, 120, 64, 0},
                                     {63, 48, 12, 0, 120, 64, 0}, {75, 40, 3, 9, 120, 64, 0},
                                     {87, 55, 3, 9, 120, 64, 0},  {99, 84, 12, 0, 120, 64, 0}};
    song.notes.assign(1, Note{});
    song.notes.insert(song.notes.end(), drawn.begin(), drawn.end());
    song.twiceNoteCount = static_cast<int32_t>(2 * drawn.size());
    window->form().redrawScore();
    QApplication::processEvents();
    const QImage shot = view().grab().toImage();
    const double ratio = shot.devicePixelRatio();

    static constexpr int kStep[12] = {0, 0, 1, 1, 2, 3, 3, 4, 4, 5, 5, 6};
    for (const Note& n : drawn) {
        SCOPED_TRACE(testing::Message() << "note " << int(n.key) << " at " << n.position);
        // Search 12 units around where the note is drawn from.
        const double left = 90 + 5 * (n.position - 1), right = left + 16;
        const double base = 43 - 70 * (n.key / 12) - 10 * kStep[n.key % 12] + 7 -
                            (n.part == window->form().view.bandParts[0] ? 600 : 0);
        const QPoint from = (view().toWidget(left, base - 12) * ratio).toPoint();
        const QPoint to = (view().toWidget(right, base + 12) * ratio).toPoint();
        double sumX = 0, sumY = 0, count = 0;
        for (int y = from.y(); y <= to.y(); ++y) {
            std::vector<int> dark;
            for (int x = from.x(); x <= to.x(); ++x)
                if (qGray(shot.pixel(x, y)) < 100) dark.push_back(x);
            if (dark.size() < 3 || dark.size() > 0.9 * (to.x() - from.x())) continue;
            for (int x : dark) sumX += x, sumY += y, ++count;
        }
        ASSERT_GT(count, 0) << "no head drawn";
        // A pixel covers the square right of and below its coordinates.
        const QPointF middle =
            view().toView(QPointF(sumX / count + 0.5, sumY / count + 0.5) / ratio);
        EXPECT_NEAR(middle.y(), base, 2.5) << "the head is drawn where the note's row lies";

        const int before = song.noteCount();
        mouse(QEvent::MouseMove, Qt::NoButton, middle.x(), middle.y());
        EXPECT_TRUE(window->form().noteMarker.visible);
        click(middle.x(), middle.y());
        EXPECT_EQ(song.noteCount(), before - 1);
        for (int i = 1; i <= song.noteCount(); ++i)
            EXPECT_FALSE(song.notes[i].position == n.position && song.notes[i].part == n.part);
    }
    EXPECT_EQ(song.noteCount(), 0);
}

TEST_F(EditingWindow, KeysArriveByTheirCharacters) {
    click(xAt(12), yAt(1, 35));
    mouse(QEvent::MouseMove, Qt::NoButton, xAt(12), yAt(1, 35));
    key(Qt::Key_1, "1"); // editing help: a whole note
    EXPECT_EQ(song.notes[1].length, 48);
    key(Qt::Key_S, "s");
    EXPECT_EQ(song.notes[1].key, 61);

    QAction* pad = menuAction(QStringLiteral("打楽器をたたく（再生時にはリアルタイム録音）"));
    ASSERT_NE(pad, nullptr);
    pad->trigger();
    midi->clear();
    key(Qt::Key_Z, "z");
    key(Qt::Key_Semicolon, ";");
    key(Qt::Key_Z, "Z", Qt::ShiftModifier);
    key(Qt::Key_Backslash, "\\");
    std::vector<uint32_t> drums;
    for (int drum : {24, 39, 54, 41}) drums.push_back(0x99u + drum * 256 + 120 * 65536);
    EXPECT_EQ(midi->messages(), drums);
}

// Share of the view each paint covers, by paint.
class PaintLog : public QObject {
public:
    explicit PaintLog(QWidget& widget) : m_widget(widget) { widget.installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) {
            double area = 0;
            for (const QRect& r : static_cast<QPaintEvent*>(e)->region())
                area += double(r.width()) * r.height();
            shares.push_back(area / (double(m_widget.width()) * m_widget.height()));
        }
        return false;
    }
    std::vector<double> shares;

private:
    QWidget& m_widget;
};

TEST_F(EditingWindow, AHoverRepaintsWhereItsMarksWereAndAreAndTheScreenStaysRight) {
    click(xAt(12), yAt(0, 35));
    PaintLog log(view());
    QScreen* screen = window->screen();
    for (const auto& [pos, staff, row] : std::vector<std::tuple<int, int, int>>{
             {30, 0, 20}, {12, 0, 35}, {60, 1, 28}, {90, 0, 50}}) {
        log.shares.clear();
        mouse(QEvent::MouseMove, Qt::NoButton, xAt(pos), yAt(staff, row));
        QApplication::processEvents();
        // The marks move: a small part of the view is painted again.
        ASSERT_EQ(log.shares.size(), 1u) << pos;
        EXPECT_LT(log.shares[0], 0.2) << pos;
        // What the screen shows is what a fresh paint of the whole view gives.
        const QPoint origin = view().mapTo(window.get(), QPoint(0, 0));
        const QImage shown = screen
                                 ->grabWindow(window->winId(), origin.x(), origin.y(),
                                              view().width(), view().height())
                                 .toImage()
                                 .convertToFormat(QImage::Format_RGB32);
        const QImage fresh = view().grab().toImage().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(shown.size(), fresh.size());
        EXPECT_TRUE(shown == fresh) << "stale pixels after the move to " << pos;
    }
}

TEST_F(EditingWindow, ShiftedDrumKeysFollowTheKeysPlaceWhateverTheLayout) {
    QAction* pad = menuAction(QStringLiteral("打楽器をたたく（再生時にはリアルタイム録音）"));
    ASSERT_NE(pad, nullptr);
    pad->trigger();
    // X key codes (the input layer's code + 8) of the number row's 2 and 9,
    // the key right of L, the key left of Enter and the key left of the right
    // Shift, with what a Japanese and a US layout type on them.
    struct Press {
        quint32 scanCode;
        Qt::KeyboardModifiers mods;
        int jisKey;
        QString jisText;
        int usKey;
        QString usText;
        int drum;
    };
    const Press presses[] = {
        {11, Qt::ShiftModifier, Qt::Key_QuoteDbl, "\"", Qt::Key_At, "@", 44 + 30},
        {18, Qt::ShiftModifier, Qt::Key_ParenRight, ")", Qt::Key_ParenLeft, "(", 56 + 30},
        {47, Qt::ShiftModifier, Qt::Key_Plus, "+", Qt::Key_Colon, ":", 39 + 30},
        {51, Qt::NoModifier, Qt::Key_BracketRight, "]", Qt::Key_Backslash, "\\", 42},
        {97, Qt::ShiftModifier, Qt::Key_Underscore, "_", Qt::Key_Underscore, "_", 41 + 30},
    };
    for (const bool japanese : {true, false}) {
        for (const Press& p : presses) {
            midi->clear();
            QKeyEvent e(QEvent::KeyPress, japanese ? p.jisKey : p.usKey, p.mods, p.scanCode, 0, 0,
                        japanese ? p.jisText : p.usText);
            QApplication::sendEvent(&view(), &e);
            ASSERT_EQ(midi->messages().size(), 1u) << p.scanCode;
            EXPECT_EQ(midi->messages()[0], 0x99u + p.drum * 256 + 120 * 65536)
                << (japanese ? "JIS " : "US ") << p.scanCode;
        }
    }
}

TEST_F(EditingWindow, ThePositionPanelSetsATempoChange) {
    click(xAt(48), yAt(0, 30), Qt::RightButton);
    QWidget* panel = window->widgetFor("positionPanel");
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isVisible());
    auto* text = qobject_cast<QLineEdit*>(window->widgetFor("changeValueBox"));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text(), "0");
    // The words of "この位置で … を … に" stand clear of the list and the box,
    // on both sides of each, at full size and on a 1024 x 600 screen.
    for (const double zoom : {1.0, 0.75}) {
        window->resize(int(kDesignWidth * zoom), int(kDesignHeight * zoom) + 30);
        QApplication::processEvents();
        QWidget* sentence = window->widgetFor("positionPanelSentence(0)");
        ASSERT_NE(sentence, nullptr);
        const QImage words = sentence->grab().toImage();
        const auto inkIn = [&](int from, int to) {
            int columns = 0;
            for (int x = std::max(0, from); x < std::min(words.width(), to); ++x)
                for (int y = 0; y < words.height(); ++y)
                    if (qGray(words.pixel(x, y)) < 128) {
                        ++columns;
                        break;
                    }
            return columns;
        };
        const double ratio = words.devicePixelRatio();
        const auto span = [&](const char* name) {
            const QRect r = window->widgetFor(name)->geometry().translated(-sentence->pos());
            return std::pair<int, int>(int(r.left() * ratio), int((r.right() + 1) * ratio));
        };
        const auto [listLeft, listRight] = span("changeKindList");
        const auto [boxLeft, boxRight] = span("changeValueBox");
        EXPECT_GT(inkIn(0, listLeft), 0) << zoom;
        EXPECT_EQ(inkIn(listLeft, listRight), 0) << zoom;
        EXPECT_GT(inkIn(listRight, boxLeft), 0) << zoom;
        EXPECT_EQ(inkIn(boxLeft, boxRight), 0) << zoom;
        EXPECT_GT(inkIn(boxRight, words.width()), 0) << zoom;
    }
    text->setText("9a0"); // as pasted: the box keeps the digits
    emit text->textEdited(text->text());
    EXPECT_EQ(text->text(), "90");
    auto* set = qobject_cast<QPushButton*>(window->widgetFor("positionSetButton"));
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->text(), QStringLiteral("設定"));
    set->click();
    EXPECT_FALSE(panel->isVisible());
    ASSERT_EQ(song.changeCount, 2);
    EXPECT_EQ(song.changes[2], (ControlChange{48, 90, kTempoChange}));
    EXPECT_EQ(song.changes[3].position, kEndMarkerPos);
}

} // namespace
} // namespace vako
