// How the song is heard, in the main window on a fake clock: mute and solo from
// the part buttons' menu, the metronome and count-in menu items, the start
// at a bar and the loop from the bar numbers' menu, and what the staff shows.
#include "ViewTestSupport.h"

#include "midi/ShortMessage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace vako::test {
namespace {

class Listening : public ::testing::Test {
protected:
    void SetUp() override {
        w.load();
        f().useClock(w.clock);
        f().popUpMenu = [this](const std::vector<MenuItem*>& items) { poppedUp = items; };
    }
    MainWindowModel& f() { return *w.form; }

    // The item of the last menu popped up with this caption.
    MenuItem& popped(const std::string& caption) {
        const auto it = std::find_if(poppedUp.begin(), poppedUp.end(),
                                     [&](const MenuItem* m) { return m->caption == caption; });
        EXPECT_NE(it, poppedUp.end()) << caption;
        return **it;
    }
    // Note circles drawn with this fill colour.
    size_t headsFilled(Rgb fill) const {
        size_t n = 0;
        for (const DrawOp& op : w.canvas.ofKind(DrawOp::Circle))
            if (op.fillStyle == FillStyle::Solid && op.fillColour == fill) ++n;
        return n;
    }

    Window w;
    std::vector<MenuItem*> poppedUp;
};

TEST_F(Listening, ThePartButtonsMenuMutesAndSolosAndTheButtonsAndStaffShowIt) {
    w.setNotes({note(3, 60, 12, 0), note(3, 36, 12, 9), note(15, 62, 12, 0)});
    w.markSaved();
    f().redrawScore();
    // Part 1 is on the upper band, part 10 on the lower.
    ASSERT_EQ(f().upperPartButtons[0].contextMenu.size(), 2u);
    EXPECT_EQ(f().upperPartButtons[0].contextMenu[0]->caption, "ミュート");
    EXPECT_EQ(f().lowerPartButtons[9].contextMenu[1]->caption, "ソロ");
    EXPECT_EQ(headsFilled(colour::kBlack), 3u);

    f().upperPartButtons[0].contextMenu[0]->click(); // mute part 1
    EXPECT_TRUE(f().muteMenus[0].checked);
    for (auto* column : {&f().upperPartButtons, &f().lowerPartButtons}) {
        EXPECT_EQ((*column)[0].caption, "1M");
        EXPECT_EQ((*column)[0].foreColour, colour::kSilentPartCaption);
        EXPECT_EQ((*column)[1].foreColour, colour::kBlack);
    }
    EXPECT_EQ(headsFilled(colour::kFadedBlack), 2u) << "part 1's notes drawn faint";
    EXPECT_EQ(headsFilled(colour::kBlack), 1u);

    f().lowerPartButtons[9].contextMenu[1]->click(); // solo the percussion part
    EXPECT_EQ(f().lowerPartButtons[9].caption, "打S");
    EXPECT_EQ(f().upperPartButtons[2].foreColour, colour::kSilentPartCaption) << "beside a solo";
    EXPECT_EQ(f().upperPartButtons[9].foreColour, colour::kBlack);
    EXPECT_FALSE(w.modified()) << "none of it is an edit of the song";

    f().clearMuteAndSoloMenu.click();
    EXPECT_EQ(f().upperPartButtons[0].caption, "1");
    EXPECT_EQ(f().lowerPartButtons[9].caption, "打");
    EXPECT_EQ(headsFilled(colour::kBlack), 3u);
}

// Contrast of two colours as the usual legibility guidelines measure it (1 to 21).
double contrast(Rgb a, Rgb b) {
    const auto luminance = [](Rgb c) {
        const auto channel = [](int v) {
            const double s = v / 255.0;
            return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel((c >> 16) & 0xFF) + 0.7152 * channel((c >> 8) & 0xFF) +
               0.0722 * channel(c & 0xFF);
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

TEST_F(Listening, ASilentPartsButtonStaysLegibleOnBothButtonColours) {
    f().setPartMuted(0, true); // part 1's upper button is the chosen one, light red
    f().setPartMuted(1, true);
    const Control& chosen = f().upperPartButtons[0];
    const Control& plain = f().upperPartButtons[1];
    ASSERT_EQ(chosen.backColour, colour::kLightRed);
    ASSERT_EQ(plain.backColour, colour::kWhite);
    for (const Control* button : {&chosen, &plain}) {
        EXPECT_NE(button->foreColour, colour::kBlack);
        EXPECT_GE(contrast(button->foreColour, button->backColour), 4.5) << button->caption;
    }
}

TEST_F(Listening, MutingWhilePlayingEndsThePartsNoteAtOnceAndTheRestPlaysOn) {
    w.setNotes({note(3, 60, 48, 0), note(3, 64, 48, 1)});
    f().redrawScore();
    f().playButton.click();
    w.playThrough(10);
    w.midi->clear();
    EXPECT_TRUE(f().muteMenus[0].enabled);
    f().muteMenus[0].click();
    EXPECT_EQ(w.sent(), (std::vector<uint32_t>{pack(0x80, 60, 0)}));
    while (w.playbackStep()) {}
    const std::vector<uint32_t> sent = w.sent();
    EXPECT_NE(std::find(sent.begin(), sent.end(), pack(0x81, 64, 0)), sent.end());
    EXPECT_EQ(
        std::count_if(sent.begin(), sent.end(), [](uint32_t m) { return (m & 0xFF) == 0x80; }), 1)
        << "part 1's note ends once, when it was muted";
}

TEST_F(Listening, TheBarNumbersMenuStartsAtABarAndSetsAndClearsTheLoop) {
    w.setNotes({note(3, 60, 12, 0), note(400, 62, 12, 0)});
    f().pageScrollBar.setValue(1); // bars 4 to 6 in 4/4
    f().redrawScore();
    // Bar 5 starts at 3 + 4 * 48 = 195, step 51 of page 1, at x 340.
    w.rightPress(360, -1170);
    ASSERT_EQ(poppedUp.size(), 4u);
    EXPECT_FALSE(popped("ループを解除").enabled);
    EXPECT_FALSE(f().positionPanel.visible);
    popped("この小節からループ").click();
    w.rightPress(600, -1170); // bar 6
    popped("この小節までループ").click();
    EXPECT_EQ(f().playbackOptions().loopFirstBar, 5);
    EXPECT_EQ(f().playbackOptions().loopLastBar, 6);
    EXPECT_TRUE(f().clearLoopMenu.enabled);
    // The loop's span on the bar-number row, from bar 5's line to the page's end.
    std::vector<DrawOp> spans;
    for (const DrawOp& op : w.canvas.ofKind(DrawOp::Line))
        if (op.colour == colour::kLoopSpan) spans.push_back(op);
    ASSERT_EQ(spans.size(), 1u);
    EXPECT_EQ(spans[0].x1, 340);
    EXPECT_EQ(spans[0].x2, 820);
    // Under the numbers' text, not through their digits, and well above the staff.
    const double halfWidth = spans[0].drawWidth / 2.0;
    int numbers = 0;
    for (const DrawOp& op : w.canvas.ofKind(DrawOp::Text)) {
        if (op.text != " 5 " && op.text != " 6 ") continue;
        ++numbers;
        EXPECT_GE(spans[0].y1 - halfWidth, op.y1 + op.fontSize * kViewUnitsPerPoint * 1.25)
            << op.text;
    }
    EXPECT_EQ(numbers, 2);
    EXPECT_LT(spans[0].y1, kBarNumberRowBottom + 12);

    // A start before the loop plays on into it.
    w.rightPress(150, -1170); // bar 4
    popped("この小節から再生").click();
    ASSERT_FALSE(f().stopped());
    EXPECT_EQ(f().playback().state().playPosition, 146);
    int passes = 0;
    while (f().playback().state().loopJumps < 2 && passes < 1000 && w.playbackStep()) ++passes;
    // 146 to 290, then bar 5 (195 to 290) again.
    EXPECT_EQ(passes, (290 - 146 + 1) + (290 - 195 + 1));
    EXPECT_EQ(f().playback().state().playPosition, 195);
    EXPECT_EQ(f().view.page, 1);

    // Cleared from the same place; the playback then ends with the song.
    w.rightPress(360, -1170);
    popped("ループを解除").click();
    EXPECT_FALSE(f().playbackOptions().hasLoop());
    while (w.playbackStep()) {}
    EXPECT_TRUE(f().stopped());
    for (const DrawOp& op : w.canvas.ofKind(DrawOp::Line)) EXPECT_NE(op.colour, colour::kLoopSpan);
}

TEST_F(Listening, TheCountInComesOnlyWhenSomethingIsPlayedInAndTheMetronomeOnlyWhenChecked) {
    w.setNotes({note(3, 60, 12, 0)});
    f().redrawScore();
    f().countInMenu.click();
    EXPECT_TRUE(f().countInMenu.checked);
    f().playButton.click();
    EXPECT_FALSE(f().playback().countingIn()) << "nothing is recorded: no count-in";
    f().playButton.click();

    f().keyboardDrumsMenu.checked = true;
    f().playButton.click();
    EXPECT_TRUE(f().playback().countingIn());
    EXPECT_FALSE(f().tapWhilePlaying(36));
    while (f().playback().countingIn()) w.playbackStep();
    w.playThrough(3);
    EXPECT_TRUE(f().tapWhilePlaying(36));
    f().playButton.click();
    ASSERT_EQ(w.song.noteCount(), 2);

    f().metronomeMenu.click();
    EXPECT_TRUE(f().metronomeMenu.checked);
    EXPECT_TRUE(f().playbackOptions().metronome);
    f().keyboardDrumsMenu.checked = false;
    w.midi->clear();
    f().playButton.click();
    while (w.playbackStep()) {}
    const std::vector<uint32_t> sent = w.sent();
    EXPECT_NE(
        std::find(sent.begin(), sent.end(), pack(0x99, kAccentClickKey, kAccentClickVelocity)),
        sent.end());
    EXPECT_EQ(w.song.noteCount(), 2) << "the clicks never reach the song";
}


TEST_F(Listening, ShiftAndThePlayButtonStartAtTheHoveredBarOfThePageOnView) {
    w.setNotes({note(3, 60, 12, 0), note(400, 62, 12, 0)});
    f().redrawScore();
    const auto startedAt = [&] { return f().playback().state().playPosition; };
    f().playButton.shiftClick();
    ASSERT_FALSE(f().stopped());
    EXPECT_EQ(startedAt(), -1) << "never hovered: the page's start, as a plain click";
    f().playButton.click();

    // Page 1 holds bars 4 to 6; the pointer rests on bar 5 (195-242) at 144 + 63.
    f().pageScrollBar.setValue(1);
    f().redrawScore();
    f().scoreMouseMove(0, 0, xAt(63), yAt(0, 30));
    f().playButton.click();
    EXPECT_EQ(startedAt(), 143) << "a plain click still starts at the page";
    f().playButton.click();
    ASSERT_TRUE(f().stopped());
    EXPECT_EQ(f().view.page, 1) << "a stop before the first pass stays on the page shown";
    f().playButton.shiftClick();
    ASSERT_FALSE(f().stopped());
    EXPECT_EQ(startedAt(), 194) << "the pass before bar 5's first step";
    w.playThrough(230);
    f().playButton.shiftClick(); // while playing: from the bar again
    ASSERT_FALSE(f().stopped());
    EXPECT_EQ(startedAt(), 194);
    f().playButton.click();
    ASSERT_TRUE(f().stopped());

    // The last hover lies on another page than the one on view: the page's start.
    f().pageScrollBar.setValue(0);
    f().redrawScore();
    f().playButton.shiftClick();
    EXPECT_EQ(startedAt(), -1);
    f().playButton.click();
}

} // namespace
} // namespace vako::test
