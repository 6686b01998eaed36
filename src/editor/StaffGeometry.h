// The one mapping between points of the score view and song positions and
// notes. View units: x to the right, y downwards, top-left corner (-140, -1180);
// the upper band covers y -1200..-600, the lower band -600..0. A step is 5
// units; steps 1..144 of a page lie at x = 95, 100, ... 810.
#pragma once

#include "editor/ViewState.h"
#include "song/Song.h"

#include <cstdint>
#include <string>

namespace vako {

struct ScoreCursor {
    int32_t snapX = 0;       // x snapped to the input grid, a multiple of 5
    int32_t snapY = 0;       // y snapped to a row, ending in 3 or 7
    int staff = 0;           // 0 upper band, 1 lower band; see hasBand()
    int32_t row = 0;         // diatonic row, 5..64 inside a band
    int32_t naturalNote = 0; // white-key note number of the row
    int64_t pos = 0;         // song position of snapX on the page; see kLastSongPos
    int32_t barInPage = 0;   // 1-based bar of the page
    int32_t stepInBar = 0;   // 1-based step in the bar

    // False above the upper band (snapY -1207 and less): no part belongs to the point.
    bool hasBand() const { return staff == 0 || staff == 1; }
    // The position as note placement and hit tests compute it.
    int64_t placedPos(int page, int quartersPerBar) const {
        return int64_t{page} * kStepsPerPage + (barInPage - 1) * 12 * quartersPerBar + stepInBar;
    }
};

// The last position a note or control change can have (positions are 32-bit).
// The scroll bar reaches the page of a note there, so the steps after it on
// that page point past what a song can hold: nothing is placed there.
constexpr int64_t kLastSongPos = INT32_MAX;

// Snaps a mouse point (view units) to the grid. Reads the grid, the meter and
// the page only.
ScoreCursor ComputeCursor(float X, float Y, int grid, int quartersPerBar, int page);
ScoreCursor ComputeCursor(float X, float Y, const Song& song, const ViewState& view);

// True for note numbers of black keys; they are shown as sharps of the white
// key one semitone below.
bool isBlackKey(int note);
// The diatonic row on which a stored note is shown.
int32_t RowOfNote(int note);
// The white-key note number of a row (12 a octave, rows 7 an octave).
int32_t naturalNoteOfRow(int32_t row);
// True when the cursor's row shows `note` (a black key on the row below it).
bool cursorShowsNote(const ScoreCursor& cursor, int note);

// Name of a row: "ド", "レ", "ミ", "ファ", "ソ", "ラ", "シ".
const std::string& rowName(int32_t row);

// Whole-number helpers with the rounding the view relies on: halves to the
// even neighbour.
int32_t roundHalfEven(double v);

} // namespace vako
