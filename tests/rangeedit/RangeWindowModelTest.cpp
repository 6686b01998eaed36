#include "../song/SongTestSupport.h"

#include "platform/RecordingCanvas.h"
#include "rangeedit/RangeWindowModel.h"
#include "song/Messages.h"

#include <gtest/gtest.h>

#include <tuple>

namespace vako {
namespace {

Note note(int32_t pos, uint8_t key, uint8_t part = 0) {
    return Note{pos, key, 12, part, 120, 64, 0};
}

class RangeWindowModelTest : public ::testing::Test {
protected:
    void setNotes(std::initializer_list<Note> notes) {
        song.notes.assign(1, Note{});
        for (const Note& n : notes) song.notes.push_back(n);
        song.twiceNoteCount = static_cast<int32_t>(2 * notes.size());
    }
    RangeWindowModel& open() {
        form = std::make_unique<RangeWindowModel>(editor, canvas, host,
                                                  SongFolders{folder.path(), folder.path()});
        form->load();
        return *form;
    }
    template <typename Field> std::vector<int> each(Field field) const {
        std::vector<int> out;
        for (int i = 1; i <= song.noteCount(); ++i) out.push_back(song.notes[i].*field);
        return out;
    }
    std::vector<int> positions() const { return each(&Note::position); }
    std::vector<int> keys() const { return each(&Note::key); }

    test::TempFolder folder;
    Song song;
    SongEditor editor{song};
    RecordingCanvas canvas;
    test::RecordingSongHost host;
    std::unique_ptr<RangeWindowModel> form;
};

TEST_F(RangeWindowModelTest, LoadFillsTheListsAndSelectsBarOne) {
    setNotes({note(1, 60), note(200, 62)});
    RangeWindowModel& f = open();
    EXPECT_EQ(f.selectedBars, (std::array<int, 2>{1, 1}));
    EXPECT_EQ(f.targetPartList.items.size(), 16u);
    EXPECT_EQ(f.targetPartList.items[0], "パート 1");
    EXPECT_EQ(f.targetPartList.items[9], "打楽器");
    EXPECT_EQ(f.pitchClassList.items[3], "レ#、ミb ");
    EXPECT_EQ(f.strengthList.items.front(), "20");
    EXPECT_EQ(f.strengthList.items.back(), "0");
    EXPECT_EQ(f.balanceList.listIndex, 4);
    EXPECT_EQ(f.balanceList.items[4], "0");
    // The last note at 200 lies in bar 5 (200 \ 48 = 4), plus 5 bars to spare.
    EXPECT_EQ(f.stripScroll.max, 9);
    EXPECT_EQ(f.copyTargetScroll.max, 9);
    EXPECT_EQ(f.copyTargetScroll.value, 1);
    EXPECT_EQ(f.readOuts[1], "現在　1小節目　から　1小節目　を選択中");
    EXPECT_EQ(f.partLabel, "パート１");
    f.setSourcePart(9);
    EXPECT_EQ(f.partLabel, "打楽器パート");
    f.setSourcePart(2);
    EXPECT_EQ(f.partLabel, "パート 3");
}

TEST_F(RangeWindowModelTest, StartThenEndSelectsTheBarsClicked) {
    RangeWindowModel& f = open();
    // First bar on the strip, button, strip x, bars selected after the press.
    // Bar 100 \ 48 + 1 = 3 as start, after the end bar 1, moves the end with
    // it; an end before the start moves the start; other buttons change nothing.
    const std::tuple<int, int, double, int, int> presses[] = {
        {0, RangeWindowModel::kLeftButton, 50, 2, 2},   // the start on bar 2 …
        {0, RangeWindowModel::kRightButton, 100, 2, 3}, // … then the end on bar 3
        {0, RangeWindowModel::kLeftButton, 150, 4, 4},
        {0, RangeWindowModel::kRightButton, 10, 1, 1},
        {0, 4, 500, 1, 1},
        {2, RangeWindowModel::kRightButton, 10, 1, 3}, // the strip starts at bar 3
        {2, RangeWindowModel::kLeftButton, 50, 4, 4}};
    for (const auto& [firstBar, button, x, from, to] : presses) {
        f.setFirstBarOnStrip(firstBar);
        f.stripMouseDown(button, x);
        EXPECT_EQ(f.selectedBars, (std::array<int, 2>{from, to})) << button << " at " << x;
    }

    // In 3/4 a bar is 36 steps, and the shift's caption says so.
    f.setFirstBarOnStrip(0);
    song.quartersPerBar = 3;
    f.stripMouseDown(RangeWindowModel::kLeftButton, 100);
    EXPECT_EQ(f.selectedBars[0], 3);
    EXPECT_EQ(f.designTexts()[1], "        区切り分右にずらす（36区切りで１小節）");
}

TEST_F(RangeWindowModelTest, DeletingTheBarsClickedAsTheGuideSaysLeavesTheOthers) {
    setNotes({note(10, 60), note(60, 62), note(110, 64), note(160, 65)});
    RangeWindowModel& f = open();
    f.stripMouseDown(RangeWindowModel::kLeftButton, 50);   // bar 2 …
    f.stripMouseDown(RangeWindowModel::kRightButton, 100); // … to bar 3
    f.applyOperation(RangeWindowModel::kDelete);
    EXPECT_EQ(keys(), (std::vector<int>{60, 65})) << "bars 1 and 4 stay";
}

TEST_F(RangeWindowModelTest, StripShowsBarsSelectionAndTheChosenPartsNotes) {
    setNotes({note(10, 60), note(20, 64, 3), note(600, 70)});
    RangeWindowModel& f = open();
    f.stripMouseDown(RangeWindowModel::kRightButton, 60); // bars 1 to 2
    const auto boxes = canvas.ofKind(DrawOp::Box);
    ASSERT_EQ(boxes.size(), 4u); // two selected bars, two staff ranges
    EXPECT_TRUE(boxes[0].filled);
    EXPECT_EQ(boxes[0].colour, colour::kLightRed);
    EXPECT_EQ(boxes[1].x1, 96);
    const auto circles = canvas.ofKind(DrawOp::Circle);
    ASSERT_EQ(circles.size(), 1u); // part 0 only, and 600 lies beyond x = 576
    EXPECT_EQ(circles[0].x1, 7) << "the first bar line, position 3, is the strip's left edge";
    EXPECT_EQ(circles[0].y1, -60);
    EXPECT_DOUBLE_EQ(circles[0].aspect, 0.7);
    const auto texts = canvas.texts();
    ASSERT_EQ(texts.size(), 23u);
    EXPECT_EQ(texts[0].text, "1");
    EXPECT_EQ(texts[0].x1, 16);
    EXPECT_EQ(texts[0].y1, -100);
}

TEST_F(RangeWindowModelTest, InTwoFourTimeOnlyTwentyThreeBarsAreDrawn) {
    song.quartersPerBar = 2;
    open();
    EXPECT_EQ(canvas.ofKind(DrawOp::Line).size(), 23u);
    EXPECT_EQ(canvas.texts().back().text, "23");
}

TEST_F(RangeWindowModelTest, ShiftMovesTheRangeOfOnePartAndSorts) {
    setNotes({note(10, 60), note(30, 62, 1), note(60, 64)});
    RangeWindowModel& f = open();
    f.setShiftSteps(-48);
    EXPECT_EQ(f.readOuts[2], "-48");
    f.applyOperation(RangeWindowModel::kShift);
    // Nothing keeps positions above zero.
    EXPECT_EQ(positions(), (std::vector<int>{-38, 30, 60}));
    EXPECT_TRUE(editor.canUndo());
    EXPECT_TRUE(editor.isModified());
}

TEST_F(RangeWindowModelTest, RangeOfBarsTwoToThreeCoversTheirDrawnStepsAndItemsMapToValues) {
    // In 4/4 the staff draws bar 2 from position 51 and bar 4 from 147.
    setNotes({note(50, 60), note(51, 60), note(146, 60), note(147, 60)});
    RangeWindowModel& f = open();
    f.stripMouseDown(RangeWindowModel::kRightButton, 100);
    f.stripMouseDown(RangeWindowModel::kLeftButton, 50);
    ASSERT_EQ(f.selectedBars, (std::array<int, 2>{2, 3}));
    f.setStrength(20);
    f.applyOperation(RangeWindowModel::kStrength);
    std::vector<int> strengths;
    for (int i = 1; i <= 4; ++i) strengths.push_back(song.notes[i].velocity);
    EXPECT_EQ(strengths, (std::vector<int>{120, 0, 0, 120}));

    // The strength and balance items map to their values.
    f.setStrength(0);
    f.applyOperation(RangeWindowModel::kStrength);
    EXPECT_EQ(song.notes[2].velocity, 120);
    for (auto [item, pan] : {std::pair{8, 128}, {0, 0}}) {
        f.setBalance(item);
        f.applyOperation(RangeWindowModel::kBalance);
        EXPECT_EQ(song.notes[2].pan, pan) << item;
    }
}

TEST_F(RangeWindowModelTest, CopyToAnotherPartAndBarAddsSortedCopies) {
    setNotes({note(1, 60), note(13, 62), note(100, 64), note(200, 65)});
    RangeWindowModel& f = open();
    f.setTargetPart(9);
    f.setCopyTargetBar(5);
    f.applyOperation(RangeWindowModel::kCopy);
    ASSERT_EQ(song.twiceNoteCount, 12);
    EXPECT_EQ(positions(), (std::vector<int>{1, 13, 100, 193, 200, 205}));
    EXPECT_EQ(song.notes[4].part, 9);
    EXPECT_EQ(song.notes[6].part, 9);
}

TEST_F(RangeWindowModelTest, CopyOntoAnOverlappingRangeEnds) {
    setNotes({note(1, 60), note(20, 62), note(50, 64)});
    RangeWindowModel& f = open();
    f.stripMouseDown(RangeWindowModel::kRightButton, 60); // bars 1 to 2
    f.setCopyTargetBar(2);                                // one bar later: overlaps
    f.applyOperation(RangeWindowModel::kCopy);
    EXPECT_EQ(positions(), (std::vector<int>{1, 20, 49, 50, 68, 98}));
}

TEST_F(RangeWindowModelTest, DeleteRemovesAdjacentSelectedNotesAndKeepsTheOrder) {
    setNotes({note(1, 60), note(1, 64), note(5, 60, 2), note(6, 61), note(60, 62)});
    RangeWindowModel& f = open();
    f.applyOperation(RangeWindowModel::kDelete);
    EXPECT_EQ(song.twiceNoteCount, 4);
    EXPECT_EQ(positions(), (std::vector<int>{5, 60}));
    EXPECT_EQ(song.notes[1].part, 2);
}

TEST_F(RangeWindowModelTest, SemitoneMovesOnePitchClassButNeverPercussion) {
    setNotes({note(1, 59), note(2, 47), note(3, 60), note(4, 59, 9)});
    RangeWindowModel& f = open();
    f.setPitchClass(11); // シ
    f.applyOperation(RangeWindowModel::kSemitone);
    EXPECT_EQ(keys(), (std::vector<int>{60, 48, 60, 59}));
    // A second run with the same choice leaves the moved notes alone.
    f.applyOperation(RangeWindowModel::kSemitone);
    EXPECT_EQ(keys(), (std::vector<int>{60, 48, 60, 59}));

    f.setSourcePart(9);
    f.applyOperation(RangeWindowModel::kSemitone);
    EXPECT_EQ(song.notes[4].key, 59);
}

TEST_F(RangeWindowModelTest, SemitoneOutOfTheNoteRangeTakesTheErrorPath) {
    setNotes({note(1, 119), note(2, 60), note(3, 107)});
    song.fileName = "mine";
    RangeWindowModel& f = open();
    f.setPitchClass(11); // 119 is a シ; up would be 120, a note end
    f.applyOperation(RangeWindowModel::kSemitone);
    // What the operation did is put back: the notes as they were.
    EXPECT_EQ(keys(), (std::vector<int>{119, 60, 107}));
    EXPECT_EQ(host.messages, std::vector<std::string>{msg::errorSaved("err.txt")});
    const std::string firstDump = test::readBytes(folder / "err.txt");
    EXPECT_EQ(song.fileName, "mine") << "the dump is no save of the song";

    // A second fault never replaces the first dump: it takes the next free name.
    f.setSemitoneDirection(1);
    setNotes({note(1, 0)});
    f.setPitchClass(0);
    f.applyOperation(RangeWindowModel::kSemitone);
    EXPECT_EQ(keys(), std::vector<int>{0});
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[1], msg::errorSaved("err-2.txt"));
    EXPECT_EQ(test::readBytes(folder / "err.txt"), firstDump);
    EXPECT_TRUE(std::filesystem::exists(folder / "err-2.txt"));
}

TEST_F(RangeWindowModelTest, EveryOperationIsOneStepThatUndoTakesBack) {
    setNotes({note(1, 60), note(20, 62)});
    RangeWindowModel& f = open();
    f.applyOperation(RangeWindowModel::kDelete);
    EXPECT_EQ(song.noteCount(), 0);
    ASSERT_TRUE(editor.undo());
    EXPECT_EQ(positions(), (std::vector<int>{1, 20}));
}

} // namespace
} // namespace vako

namespace vako {
namespace {

// Runs of three or more blanks: where the window puts the controls of a text.
int controlGaps(const std::string& text) {
    int gaps = 0, run = 0;
    for (size_t i = 0; i < text.size();) {
        const bool fullWidthBlank = text.compare(i, 3, "\u3000") == 0;
        if (text[i] == ' ' || fullWidthBlank) {
            if (++run == 3) ++gaps;
            i += fullWidthBlank ? 3 : 1;
        } else {
            run = 0;
            ++i;
        }
    }
    return gaps;
}

bool hasKanaOrKanji(const std::string& text) {
    // Every kana and kanji of UTF-8 starts with E3 81..E3 83 or E4..E9.
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        const auto n = static_cast<unsigned char>(text[i + 1]);
        if ((b == 0xE3 && n >= 0x81 && n <= 0x83) || (b >= 0xE4 && b <= 0xE9)) return true;
    }
    return false;
}

TEST_F(RangeWindowModelTest, InEnglishEveryTextIsTranslatedAndKeepsItsControlGaps) {
    const std::vector<std::string> japanese = open().designTexts();
    useLanguage("en");
    RangeWindowModel& f = open();
    f.setSourcePart(kPercussionPart);
    const std::vector<std::string> english = f.designTexts();
    ASSERT_EQ(english.size(), japanese.size());
    for (size_t i = 0; i < english.size(); ++i) {
        EXPECT_FALSE(hasKanaOrKanji(english[i])) << english[i];
        EXPECT_EQ(controlGaps(english[i]), controlGaps(japanese[i]))
            << "the controls of \"" << japanese[i] << "\" would stand elsewhere in \""
            << english[i] << "\"";
    }
    std::vector<std::string> shown{f.caption, f.partLabel};
    shown.insert(shown.end(), f.readOuts.begin(), f.readOuts.end());
    shown.insert(shown.end(), f.runButtons.begin(), f.runButtons.end());
    for (const ListState* list :
         {&f.targetPartList, &f.pitchClassList, &f.strengthList, &f.balanceList})
        shown.insert(shown.end(), list->items.begin(), list->items.end());
    for (const std::string& t : shown) EXPECT_FALSE(hasKanaOrKanji(t)) << t;
    EXPECT_EQ(f.partLabel, "Percussion part");
    EXPECT_EQ(f.readOuts[1], "Selected: bars 1 to 1");
    EXPECT_EQ(f.pitchClassList.items[1], "C#/Db");
    useLanguage("ja");
}

} // namespace
} // namespace vako
