// Every text of the main window is whole, measured with the font's own metrics,
// at the sizes the window has on common small screens, with the longest
// read-outs a song can produce, in each language.
#include "OffscreenApplication.h"
#include "app/MainWindow.h"

#include "platform/MidiOut.h"
#include "platform/Translation.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>

namespace vako {
namespace {

// The widest read-outs: the last page of a song whose last note lies at the
// last position a song can hold, one page past it, and the largest note count.
constexpr int kLastPage = (INT32_MAX - 1) / 144;
std::string largestCount() {
    return translated("全音符数は {notes} 　　　　　　　　　　　　　カーソル位置は {step} 区切り目",
                      {{"notes", "1073741823"}, {"step", "12"}});
}

// Each test runs with the window in Japanese and in English.
class TextsFit : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        useLanguage(GetParam());
        window = test::openMainWindow(song, std::filesystem::temp_directory_path() / "vako-qt-fit",
                                      [] { return std::make_unique<NullMidiOut>(); });
        MainWindowModel& f = window->form();
        song.notes.assign(3, Note{});
        song.notes[1] = Note{1, 60, 12, 0, 120, 64, 0};
        song.notes[2] = Note{INT32_MAX, 62, 12, 0, 120, 64, 0};
        song.twiceNoteCount = 4;
        f.redrawScore();
        f.pageScrollBar.setValue(kLastPage + 1);
        // The pointer once over the staff, then the largest count of notes.
        f.scoreMouseMove(0, 0, 400, -905);
        f.statusLine.caption = largestCount();
        window->refresh();
    }
    void TearDown() override {
        window.reset();
        useLanguage("ja");
    }

    // The texts of the visible labels and buttons that do not fit their
    // control, with what they need and have.
    std::vector<std::string> cutTexts() {
        std::vector<std::string> cut;
        for (Control* c : window->form().controls()) {
            QWidget* w = window->widgetFor(c->name);
            if (!w || !w->isVisible()) continue;
            QString text;
            bool wraps = false;
            if (auto* label = qobject_cast<QLabel*>(w)) {
                if (label->text().isEmpty()) continue;
                text = label->text();
                wraps = label->wordWrap();
            } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
                if (button->text().isEmpty()) continue;
                text = button->text();
            } else {
                continue;
            }
            // A sentence set around the controls in its gaps fits itself.
            if (text.contains(QChar(0x3000)) && c == &window->form().positionPanel.sentence[0])
                continue;
            const QFontMetrics metrics(w->font());
            const QRect room = w->contentsRect();
            const int flags = wraps ? Qt::TextWordWrap : Qt::TextSingleLine;
            const QRect need = metrics.boundingRect(QRect(0, 0, room.width(), 100000), flags, text);
            // Buttons and option buttons keep a margin and their mark beside the text.
            int margin = 0;
            if (qobject_cast<QAbstractButton*>(w))
                margin = c->kind == ControlKind::OptionButton ? 22 : 6;
            // A text may take as many lines as its control shows, and one line
            // always (the font's line spacing is a little taller than its letters).
            const int lines = (need.height() + metrics.lineSpacing() / 2) / metrics.lineSpacing();
            const int shown = std::max(1, (room.height() + 2) / metrics.lineSpacing());
            if (need.width() + margin > room.width() || lines > shown)
                cut.push_back(c->name + " \"" + c->caption + "\" needs " +
                              std::to_string(need.width() + margin) + " pixels and " +
                              std::to_string(lines) + " lines, has " +
                              std::to_string(room.width()) + " and " + std::to_string(shown));
        }
        return cut;
    }

    Song song;
    std::unique_ptr<MainWindow> window;
};

TEST_P(TextsFit, TheWidestReadOutsAreWholeOnSmallAndCommonScreens) {
    ASSERT_EQ(window->form().pageLabels[1].caption,
              translated("{page} / {pages} ページ", {{"page", "14913082"}, {"pages", "14913081"}}));
    MainWindowModel& f = window->form();
    // Full screens, the room left beside a panel or a taskbar, and the sizes
    // the program opens at on 1366 x 768 and 1024 x 600 screens.
    for (const QSize size : {QSize(1366, 768), QSize(1366, 728), QSize(1297, 684), QSize(1024, 600),
                             QSize(1024, 560), QSize(973, 513), QSize(1920, 1080)}) {
        window->resize(size);
        QApplication::processEvents();
        window->refresh();
        std::vector<std::string> cut = cutTexts();
        // The position panel, also as it reads while a song plays.
        f.pageScrollBar.setValue(0);
        f.scoreMouseMove(0, 0, 400, -905);
        f.scoreMouseDown(2, 0, 400, -905);
        EXPECT_TRUE(f.positionPanel.visible);
        f.playButton.click();
        EXPECT_FALSE(f.stopped());
        window->refresh();
        for (const std::string& c : cutTexts()) cut.push_back(c);
        f.playButton.click();
        f.positionPanel.closeButton.click();
        f.pageScrollBar.setValue(kLastPage + 1);
        f.statusLine.caption = largestCount();
        window->refresh();
        std::string all;
        for (const std::string& c : cut) all += "\n  " + c;
        EXPECT_TRUE(cut.empty()) << size.width() << "x" << size.height() << ":" << all;
    }
}

TEST_P(TextsFit, CaptionsKeepApartFromTheControlsBesideThemOnSmallScreens) {
    // Where a caption's text ends and where the control to its right begins.
    const std::pair<const char*, const char*> besides[] = {
        {"fieldCaptions(2)", "tempoBox"},
        {"fieldCaptions(3)", "copyrightBox"},
        {"fieldCaptions(4)", "sequenceNameBox"},
        {"accidentalOptions(0)", "accidentalOptions(1)"},
        {"accidentalOptions(1)", "accidentalOptions(2)"}};
    for (const QSize size : {QSize(1024, 600), QSize(1024, 560), QSize(1366, 768)}) {
        window->resize(size);
        QApplication::processEvents();
        window->refresh();
        for (const auto& [left, right] : besides) {
            QWidget* a = window->widgetFor(left);
            QWidget* b = window->widgetFor(right);
            ASSERT_TRUE(a && b) << left;
            QString text;
            int mark = 0; // an option button's mark stands before its text
            if (auto* label = qobject_cast<QLabel*>(a)) text = label->text();
            if (auto* button = qobject_cast<QAbstractButton*>(a)) text = button->text(), mark = 22;
            const int textEnd = a->x() + mark + QFontMetrics(a->font()).horizontalAdvance(text);
            EXPECT_GE(b->x() - textEnd, 4) << left << " against " << right << " at "
                                           << size.width() << "x" << size.height();
        }
    }
}

TEST_P(TextsFit, PartButtonsMarkedMutedAndSoloedStayWhole) {
    MainWindowModel& f = window->form();
    for (int part = 0; part < kPartCount; ++part) {
        f.setPartMuted(part, true);
        f.setPartSoloed(part, true);
    }
    ASSERT_EQ(f.upperPartButtons[15].caption, "16MS");
    ASSERT_EQ(f.lowerPartButtons[kPercussionPart].caption, translated("打") + "MS");
    for (const QSize size : {QSize(1366, 768), QSize(1024, 600), QSize(1024, 560), QSize(973, 513)}) {
        window->resize(size);
        QApplication::processEvents();
        window->refresh();
        std::string all;
        for (const std::string& c : cutTexts()) all += "\n  " + c;
        EXPECT_TRUE(all.empty()) << size.width() << "x" << size.height() << ":" << all;
    }
    // Unmuted and unsoloed, the captions are the parts' own again.
    for (int part = 0; part < kPartCount; ++part) {
        f.setPartMuted(part, false);
        f.setPartSoloed(part, false);
    }
    EXPECT_EQ(f.upperPartButtons[15].caption, "16");
}

TEST_P(TextsFit, TheSaveConfirmationIsWholeInTheStatusLine) {
    MainWindowModel& f = window->form();
    for (const QSize size : {QSize(1366, 768), QSize(1024, 600)}) {
        window->resize(size);
        QApplication::processEvents();
        for (const std::string& name : {std::string("うた"), std::string(60, 'W'),
                                        std::string("とても長い名前の曲") + std::string(40, 'M')}) {
            f.showSavedConfirmation(name);
            window->refresh();
            EXPECT_EQ(cutTexts(), std::vector<std::string>{}) << name.size() << " bytes at "
                                                              << size.width();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(InEachLanguage, TextsFit, ::testing::Values("ja", "en"),
                         [](const auto& info) { return info.param; });

} // namespace
} // namespace vako
