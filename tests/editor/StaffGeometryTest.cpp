#include "editor/StaffGeometry.h"

#include <gtest/gtest.h>

#include <tuple>

namespace vako {
namespace {

ScoreCursor at(float x, float y, int grid, int quarters = 4, int page = 0) {
    return ComputeCursor(x, y, grid, quarters, page);
}

// The staff draws its first bar line at x 100 and a grid line every `grid`
// units after it; a note of position p is drawn from x 5 (p - 1) + 90, so the
// first beat (position 3) on the first bar line.
constexpr int kFirstBarLineX = 100;

TEST(ComputeCursor, ACellOfTheQuarterEighthAndSixteenthGridPlacesItsNoteAtItsStart) {
    for (int grid : {60, 30, 15}) {
        for (int cell = 0; cell < 720 / grid; ++cell) {
            const int left = kFirstBarLineX + grid * cell;
            const int start = 3 + cell * grid / 5; // 3, 15, 27 ...; 3, 9, 15 ...; 3, 6, 9 ...
            for (float x : {float(left), left + grid / 2.0f, left + grid - 0.1f}) {
                const ScoreCursor c = at(x, -300, grid);
                EXPECT_EQ(c.pos, start) << x << " on grid " << grid;
                EXPECT_EQ(c.snapX, 5 * (start + 18)) << x << " on grid " << grid;
            }
        }
        // Left of the first bar line there is no cell of the page.
        EXPECT_LT(at(99, -300, grid).snapX, 95) << grid;
        EXPECT_LT(at(40, -300, grid).snapX, 95) << grid;
    }
    // Mended: a click in the first beat's cell went to position 12 on the
    // quarter grid, drawn at the end of that beat.
    EXPECT_EQ(at(130, -300, 60).pos, 3);
    EXPECT_EQ(at(125, -300, 30).pos, 3);
}

TEST(ComputeCursor, TheFinestGridTakesTheFiveUnitsAroundTheMiddleOfTheHead) {
    // The head of position p is drawn around x 5 (p - 1) + 98.
    for (int pos = 1; pos <= 145; ++pos) {
        const float middle = 5.0f * (pos - 1) + 98;
        EXPECT_EQ(at(middle - 2, -300, 5).pos, pos);
        EXPECT_EQ(at(middle + 2, -300, 5).pos, pos);
    }
    // Positions 1 and 2 lie left of the first bar line; the release at the
    // right edge reaches the next page.
    EXPECT_EQ(at(97, -300, 5).snapX, 95);
    EXPECT_EQ(at(92, -300, 5).snapX, 90);
    EXPECT_EQ(at(817, -300, 5).snapX, 815);
    EXPECT_EQ(at(-7, -300, 5).snapX, -10);
    // Two zones meet half-way between the middles of two heads.
    EXPECT_EQ(at(105.4f, -300, 5).snapX, 100);
    EXPECT_EQ(at(105.5f, -300, 5).snapX, 105);
}

TEST(ComputeCursor, ARowIsPickedByTheTenUnitsAroundTheMiddleOfItsHeads) {
    // A head of row r is drawn around y 50 - 10 r on the lower band and 600
    // units higher on the upper one, 4.2 units high each way.
    for (int staff : {0, 1}) {
        const float base = staff == 0 ? -600.0f : 0.0f;
        for (int row = 6; row <= 64; ++row) {
            const float middle = base + 50.0f - 10.0f * row;
            for (float y : {middle - 4.9f, middle - 4.2f, middle, middle + 4.2f, middle + 4.9f}) {
                const ScoreCursor c = at(200, y, 15);
                EXPECT_EQ(c.staff, staff) << y;
                EXPECT_EQ(c.row, row) << y;
                EXPECT_EQ(c.snapY, middle - 7) << y; // the cursor is drawn from there
            }
        }
    }
    // The fixed points: middle C, the lowest and the top row of the bands.
    EXPECT_EQ(at(200, -300, 15).naturalNote, 60);
    EXPECT_EQ(at(200, -600, 15).row, 5);
    EXPECT_EQ(at(200, -600, 15).naturalNote, 9);
    EXPECT_EQ(at(200, -590, 15).row, 64);
    EXPECT_EQ(at(200, -590, 15).naturalNote, 110);
    // Below the lowest row of the lower band is that row, on the row's place.
    for (float y : {-4.0f, 0.0f, 8.0f, 30.0f}) {
        EXPECT_EQ(at(200, y, 15).row, 5) << y;
        EXPECT_EQ(at(200, y, 15).snapY, -7) << y;
    }
    // No band above the upper band.
    EXPECT_TRUE(at(200, -1190, 15).hasBand());  // snapY -1197
    EXPECT_FALSE(at(200, -1196, 15).hasBand()); // snapY -1207
    EXPECT_FALSE(at(200, -1205, 15).hasBand());
}

TEST(ComputeCursor, BarsAndStepsCountFromTheFirstBarLine) {
    // Page 2, 3/4 time, the third step of the second bar: the bar begins at
    // step 3 + 36 of the page.
    const ScoreCursor c = at(5.0f * (41 + 18) + 2, -300, 5, 3, 2);
    EXPECT_EQ(c.barInPage, 2);
    EXPECT_EQ(c.stepInBar, 3);
    EXPECT_EQ(c.placedPos(2, 3), 2 * 144 + 41);
    EXPECT_EQ(c.pos, 2 * 144 + 41);
    // The two steps before the first bar line end the bar before.
    for (int quarters : {2, 3, 4, 6}) {
        const ScoreCursor before = at(5.0f * (2 + 18) + 2, -300, 5, quarters, 1);
        EXPECT_EQ(before.barInPage, 0) << quarters;
        EXPECT_EQ(before.stepInBar, 12 * quarters) << quarters;
        EXPECT_EQ(before.placedPos(1, quarters), 144 + 2) << quarters;
    }
}

TEST(RowOfNote, BlackKeysShareTheRowOfTheWhiteKeyBelow) {
    for (auto [note, row] : {std::pair{60, 35}, {61, 35}, {64, 37}, {81, 47}, {40, 23}})
        EXPECT_EQ(rowOfNote(note), row) << note;
    for (int note = 0; note < 120; ++note) {
        const int32_t row = rowOfNote(note);
        EXPECT_EQ(naturalNoteOfRow(row) + (isBlackKey(note) ? 1 : 0), note) << note;
    }
    const ScoreCursor c = at(200, -300, 15); // row 35
    EXPECT_TRUE(rowShowsNote(c.naturalNote, 61));
    EXPECT_TRUE(rowShowsNote(c.naturalNote, 60));
    EXPECT_FALSE(rowShowsNote(c.naturalNote, 62));
    // The row names run through the octave.
    EXPECT_EQ(rowName(35), "ド");
    EXPECT_EQ(rowName(38), "ファ");
    EXPECT_EQ(rowName(41), "シ");
}

} // namespace
} // namespace vako
