#include "editor/StaffGeometry.h"
#include "platform/Translation.h"

#include <array>
#include <cmath>

namespace vako {
namespace {

constexpr std::array<int, 7> kRowSemitone = {0, 2, 4, 5, 7, 9, 11};

// Keeps snapped coordinates (cells of up to 60 units) within 32 bits.
constexpr int32_t kFarOutsideCells = 10'000'000;

// Remainder brought into 0..m-1, for table lookups of rows outside a band.
int tableIndex(int32_t v, int m) {
    return ((v % m) + m) % m;
}

// The cell of `width` units that `offset` lies in, counted from 0 at offset 0
// and rounded down, so that the cells left of the first bar line do not fold
// onto the first one. Points far outside the view (or not a number) give a
// cell far outside it, which every caller refuses.
int32_t cellIndex(double offset, int32_t width) {
    const double cell = std::floor(offset / width);
    if (!(cell > -kFarOutsideCells)) return -kFarOutsideCells;
    if (!(cell < kFarOutsideCells)) return kFarOutsideCells;
    return static_cast<int32_t>(cell);
}

// Division rounding toward minus infinity.
int32_t floorDiv(int32_t v, int32_t m) {
    return v / m - ((v % m != 0 && (v < 0) != (m < 0)) ? 1 : 0);
}

constexpr int32_t kFirstBarLineX = 100; // the first beat's time on every page
// The snapped x of the first beat: the cursor of position p stands at
// 5 * (p + 18), 5 units right of the x its note is drawn from.
constexpr int32_t kFirstBeatSnapX = 5 * (kFirstBeatPosition + 18);
constexpr int32_t kHeadWidth = 15; // a head and its margins: grids this wide hold it whole
constexpr int32_t kRowHeight = 10;

} // namespace

int32_t roundHalfEven(double v) {
    const double r = std::nearbyint(v); // the default rounding mode is to nearest, ties to even
    if (r >= 2147483647.0) return INT32_MAX;
    if (r <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(r);
}

ScoreCursor ComputeCursor(float X, float Y, int grid, int quartersPerBar, int page) {
    ScoreCursor c;
    const int32_t g = grid > 0 ? grid : 15;
    if (g >= kHeadWidth) {
        // The cells the grid draws, from the first bar line on: a click
        // anywhere in one places its note at the cell's start, the step the
        // cell's lines begin at. The cell holds the whole head of that note.
        c.snapX = kFirstBeatSnapX + cellIndex(X - kFirstBarLineX, g) * g;
    } else {
        // Cells narrower than a head: the one around the head's middle, so
        // that a click on a drawn head finds its note.
        c.snapX = cellIndex(X - kHeadMiddleRightOfSnapX + g / 2.0, g) * g;
    }

    // Rows are 10 units apart, each head drawn around the middle of its
    // row's 10 units. Below the lowest row of the lower band there is no
    // other row (the band ends at y 0), so what lies below it is that row.
    const int32_t middle = std::min(cellIndex(Y + kRowHeight / 2.0, kRowHeight), 0);
    c.snapY = middle * kRowHeight - kHeadMiddleBelowSnapY;
    c.staff = c.snapY / 600 + 1;
    c.row = 5 + ((-c.snapY) / 10) % 60;
    c.naturalNote = naturalNoteOfRow(c.row);

    const int32_t q = quartersPerBar > 0 ? quartersPerBar : 4;
    c.pos = int64_t{page} * kStepsPerPage + c.snapX / 5 - 18;
    // Bars count from the first beat of the page (its first bar line); the
    // two steps before it are the end of the bar before.
    const int32_t d = c.snapX / 5 - 18 - kFirstBeatPosition;
    c.barInPage = floorDiv(d, 12 * q) + 1;
    c.stepInBar = d - (c.barInPage - 1) * 12 * q + 1;
    return c;
}

ScoreCursor ComputeCursor(float X, float Y, const Song& song, const ViewState& view) {
    return ComputeCursor(X, Y, song.grid, song.quartersPerBar, view.page);
}

bool isBlackKey(int note) {
    switch (tableIndex(note, 12)) {
    case 1:
    case 3:
    case 6:
    case 8:
    case 10:
        return true;
    default:
        return false;
    }
}

int32_t naturalNoteOfRow(int32_t row) {
    return 12 * (row / 7) + kRowSemitone[tableIndex(row, 7)];
}

int32_t rowOfNote(int note) {
    static constexpr std::array<int, 12> kRowInOctave = {0, 0, 1, 1, 2, 3, 3, 4, 4, 5, 5, 6};
    const int octave = note >= 0 ? note / 12 : (note - 11) / 12;
    return 7 * octave + kRowInOctave[tableIndex(note, 12)];
}

bool rowShowsNote(int32_t naturalNote, int note) {
    return note == naturalNote + (isBlackKey(note) ? 1 : 0);
}

std::string rowName(int32_t row) {
    static constexpr std::array<const char*, 7> kNames = {
        markForTranslation("ド"), markForTranslation("レ"), markForTranslation("ミ"),
        markForTranslation("ファ"), markForTranslation("ソ"), markForTranslation("ラ"),
        markForTranslation("シ")};
    return translated(kNames[tableIndex(row, 7)]);
}

} // namespace vako
