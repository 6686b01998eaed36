#include "editor/StaffGeometry.h"

#include <gtest/gtest.h>

namespace vako {
namespace {

ScoreCursor at(float x, float y, int grid, int quarters = 4, int page = 0) {
    return ComputeCursor(x, y, grid, quarters, page);
}

TEST(ComputeCursor, SnapsXToEachGridAndGivesThePosition) {
    // Quarter grid: the cell [120, 180) gives 150, position 12.
    EXPECT_EQ(at(130, -300, 60).snapX, 150);
    EXPECT_EQ(at(130, -300, 60).pos, 12);
    EXPECT_EQ(at(100, -300, 60).snapX, 90); // left of the first step
    // Sixteenth grid.
    EXPECT_EQ(at(104, -300, 15).snapX, 90);
    EXPECT_EQ(at(105, -300, 15).snapX, 105);
    EXPECT_EQ(at(105, -300, 15).pos, 3);
    EXPECT_EQ(at(820, -300, 15).snapX, 810);
    EXPECT_EQ(at(820, -300, 15).pos, 144);
    // Finest grid.
    EXPECT_EQ(at(97, -300, 5).snapX, 90);
    EXPECT_EQ(at(102, -300, 5).snapX, 95);
    EXPECT_EQ(at(102, -300, 5).pos, 1);
    // Eighth grid: [30k, 30k + 30) gives 30k + 30.
    EXPECT_EQ(at(119, -300, 30).snapX, 120);
}

TEST(ComputeCursor, RoundsHalvesToEvenAndTruncatesTowardZero) {
    // 104.5 rounds to 104 (even), 105.5 to 106.
    EXPECT_EQ(at(104.5f, -300, 15).snapX, 90);
    EXPECT_EQ(at(105.5f, -300, 15).snapX, 105);
    // Negative x truncates toward zero: -7 / 5 is -1, so -5 - 5 = -10.
    EXPECT_EQ(at(-7, -300, 5).snapX, -10);
}

TEST(ComputeCursor, SnapsYToBandsRowsAndNotes) {
    for (float y : {5.0f, -5.0f}) {
        const ScoreCursor c = at(200, y, 15);
        EXPECT_EQ(c.snapY, -17);
        EXPECT_EQ(c.staff, 1);
        EXPECT_EQ(c.row, 6);
        EXPECT_EQ(c.naturalNote, 11);
    }
    ScoreCursor c = at(200, -600, 15);
    EXPECT_EQ(c.snapY, -617);
    EXPECT_EQ(c.staff, 0);
    EXPECT_EQ(c.row, 6);
    c = at(200, -595, 15);
    EXPECT_EQ(c.snapY, -607);
    EXPECT_EQ(c.staff, 0);
    EXPECT_EQ(c.row, 5);
    EXPECT_EQ(c.naturalNote, 9);
    // Middle C on the lower band: row 35 (snapY -307 for y -291 down to -300 exclusive).
    c = at(200, -295, 15);
    EXPECT_EQ(c.row, 35);
    EXPECT_EQ(c.naturalNote, 60);
    // Top row of a band.
    EXPECT_EQ(at(200, -1185, 15).row, 64);
    EXPECT_EQ(at(200, -1185, 15).naturalNote, 110);
}

TEST(ComputeCursor, ReportsNoBandAboveTheUpperBand) {
    EXPECT_TRUE(at(200, -1185, 15).hasBand());  // snapY -1197
    EXPECT_FALSE(at(200, -1190, 15).hasBand()); // snapY -1207
    const ScoreCursor c = at(200, -1205, 15);   // snapY -1217
    EXPECT_FALSE(c.hasBand());
}

TEST(ComputeCursor, BarAndStepInBarGiveThePlacedPosition) {
    // Page 2, 3/4 time, third step of the second bar.
    const int x = 5 * (12 * 3 + 3 + 18) + 5; // the finest grid snaps 5 units left
    const ScoreCursor c = at(x, -300, 5, 3, 2);
    EXPECT_EQ(c.barInPage, 2);
    EXPECT_EQ(c.stepInBar, 3);
    EXPECT_EQ(c.placedPos(2, 3), 327);
    EXPECT_EQ(c.pos, 327);
}

TEST(RowOfNote, BlackKeysShareTheRowOfTheWhiteKeyBelow) {
    EXPECT_EQ(RowOfNote(60), 35);
    EXPECT_EQ(RowOfNote(61), 35);
    EXPECT_EQ(RowOfNote(64), 37);
    EXPECT_EQ(RowOfNote(81), 47);
    EXPECT_EQ(RowOfNote(40), 23);
    for (int note = 0; note < 120; ++note) {
        const int32_t row = RowOfNote(note);
        EXPECT_EQ(naturalNoteOfRow(row) + (isBlackKey(note) ? 1 : 0), note) << note;
    }
    const ScoreCursor c = at(200, -295, 15); // row 35
    EXPECT_TRUE(cursorShowsNote(c, 61));
    EXPECT_TRUE(cursorShowsNote(c, 60));
    EXPECT_FALSE(cursorShowsNote(c, 62));
}

TEST(RowOfNote, RowNamesRunThroughTheOctave) {
    EXPECT_EQ(rowName(35), "ド");
    EXPECT_EQ(rowName(38), "ファ");
    EXPECT_EQ(rowName(41), "シ");
}

} // namespace
} // namespace vako
