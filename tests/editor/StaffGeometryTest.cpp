#include "editor/StaffGeometry.h"

#include <gtest/gtest.h>

#include <tuple>

namespace vako {
namespace {

ScoreCursor at(float x, float y, int grid, int quarters = 4, int page = 0) {
    return ComputeCursor(x, y, grid, quarters, page);
}

TEST(ComputeCursor, SnapsXToEachGridAndGivesThePosition) {
    // x, grid, snapped x, position (-1: not asked).
    const std::tuple<float, int, int, int> cases[] = {
        {130, 60, 150, 12}, // quarter grid: the cell [120, 180) gives 150
        {100, 60, 90, -1},  // left of the first step
        {104, 15, 90, -1},
        {105, 15, 105, 3},
        {820, 15, 810, 144}, // sixteenths
        {97, 5, 90, -1},
        {102, 5, 95, 1},    // the finest grid
        {119, 30, 120, -1}, // eighths: [30k, 30k + 30) gives 30k + 30
        // Halves round to even (104.5 to 104, 105.5 to 106); negative x truncates
        // toward zero: -7 / 5 is -1, so -5 - 5 = -10.
        {104.5f, 15, 90, -1},
        {105.5f, 15, 105, -1},
        {-7, 5, -10, -1}};
    for (const auto& [x, grid, snapX, pos] : cases) {
        const ScoreCursor c = at(x, -300, grid);
        EXPECT_EQ(c.snapX, snapX) << x << " on grid " << grid;
        if (pos >= 0) {
            EXPECT_EQ(c.pos, pos) << x << " on grid " << grid;
        }
    }
}

TEST(ComputeCursor, SnapsYToBandsRowsAndNotes) {
    // y, snapped y (0: not asked), band, row, natural note (-1: not asked).
    const std::tuple<float, int, int, int, int> cases[] = {
        {5, -17, 1, 6, 11},
        {-5, -17, 1, 6, 11},
        {-600, -617, 0, 6, -1},
        {-595, -607, 0, 5, 9},
        // Middle C on the lower band: row 35 (snapY -307 for y -291 down to -300 exclusive).
        {-295, 0, 1, 35, 60},
        {-1185, 0, 0, 64, 110}}; // the top row of a band
    for (const auto& [y, snapY, staff, row, natural] : cases) {
        const ScoreCursor c = at(200, y, 15);
        if (snapY != 0) {
            EXPECT_EQ(c.snapY, snapY) << y;
        }
        EXPECT_EQ(c.staff, staff) << y;
        EXPECT_EQ(c.row, row) << y;
        if (natural >= 0) {
            EXPECT_EQ(c.naturalNote, natural) << y;
        }
    }
    // No band above the upper band.
    EXPECT_TRUE(at(200, -1185, 15).hasBand());  // snapY -1197
    EXPECT_FALSE(at(200, -1190, 15).hasBand()); // snapY -1207
    EXPECT_FALSE(at(200, -1205, 15).hasBand()); // snapY -1217
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
    for (auto [note, row] : {std::pair{60, 35}, {61, 35}, {64, 37}, {81, 47}, {40, 23}})
        EXPECT_EQ(RowOfNote(note), row) << note;
    for (int note = 0; note < 120; ++note) {
        const int32_t row = RowOfNote(note);
        EXPECT_EQ(naturalNoteOfRow(row) + (isBlackKey(note) ? 1 : 0), note) << note;
    }
    const ScoreCursor c = at(200, -295, 15); // row 35
    EXPECT_TRUE(cursorShowsNote(c, 61));
    EXPECT_TRUE(cursorShowsNote(c, 60));
    EXPECT_FALSE(cursorShowsNote(c, 62));
    // The row names run through the octave.
    EXPECT_EQ(rowName(35), "ド");
    EXPECT_EQ(rowName(38), "ファ");
    EXPECT_EQ(rowName(41), "シ");
}

} // namespace
} // namespace vako
