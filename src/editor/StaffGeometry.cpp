#include "editor/StaffGeometry.h"

#include <array>
#include <cmath>

namespace vako {
namespace {

constexpr std::array<int, 7> kRowSemitone = {0, 2, 4, 5, 7, 9, 11};

// Remainder brought into 0..m-1, for table lookups of rows outside a band.
int tableIndex(int32_t v, int m) {
    return ((v % m) + m) % m;
}

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
    const int32_t x0 = roundHalfEven(X);
    c.snapX = (x0 / g) * g; // truncates toward zero
    if (g == 30 || g == 60) c.snapX += 30;
    if (g == 5) c.snapX -= 5;

    const int32_t y0 = roundHalfEven(Y);
    c.snapY = (y0 / 10) * 10 - 17;
    c.staff = c.snapY / 600 + 1;
    c.row = 5 + ((-c.snapY) / 10) % 60;
    c.naturalNote = naturalNoteOfRow(c.row);

    const int32_t q = quartersPerBar > 0 ? quartersPerBar : 4;
    c.pos = int64_t{page} * kStepsPerPage + c.snapX / 5 - 18;
    const int32_t d = (c.snapX - 93) / 5;
    c.barInPage = d / (12 * q) + 1;
    c.stepInBar = d % (12 * q) + 1;
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

int32_t RowOfNote(int note) {
    static constexpr std::array<int, 12> kRowInOctave = {0, 0, 1, 1, 2, 3, 3, 4, 4, 5, 5, 6};
    const int octave = note >= 0 ? note / 12 : (note - 11) / 12;
    return 7 * octave + kRowInOctave[tableIndex(note, 12)];
}

bool cursorShowsNote(const ScoreCursor& cursor, int note) {
    return note == cursor.naturalNote + (isBlackKey(note) ? 1 : 0);
}

const std::string& rowName(int32_t row) {
    static const std::array<std::string, 7> kNames = {"ド", "レ", "ミ", "ファ", "ソ", "ラ", "シ"};
    return kNames[tableIndex(row, 7)];
}

} // namespace vako
