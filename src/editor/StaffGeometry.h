// The one mapping between points of the score view and song positions and
// notes. View units: x to the right, y downwards, top-left corner (-140, -1180);
// the upper band covers y -1200..-600, the lower band -600..0. A step is 5
// units; the cursors of steps 1..144 of a page stand at x = 95, 100, ... 810,
// 5 units right of the x their notes are drawn from, so step 3, the page's
// first beat, is drawn on the first bar line (x 100).
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
    // 1-based bar of the page and step in it, counted from the page's first
    // bar line (its first beat, step 3 of the page); the two steps before it
    // are the last of bar 0.
    int32_t barInPage = 0;
    int32_t stepInBar = 0;

    // False above the upper band (snapY -1207 and less): no part belongs to the point.
    bool hasBand() const { return staff == 0 || staff == 1; }
    // The position as note placement and hit tests compute it.
    int64_t placedPos(int page, int quartersPerBar) const {
        return int64_t{page} * kStepsPerPage + kFirstBeatPosition - 1 +
               int64_t{barInPage - 1} * 12 * quartersPerBar + stepInBar;
    }
};

// Where step `stepOnPage` (1..144) of a page is drawn: the x of its beat
// line and the left edge of a note that starts on it. The first bar line,
// step 3, stands at x = 100.
constexpr int32_t xOfStep(int64_t stepOnPage) {
    return static_cast<int32_t>(90 + 5 * (stepOnPage - 1));
}
// The steps of one cell of the input grid (the song's grid is in staff units,
// five a step); at least one.
constexpr int stepsPerGridCell(int grid) {
    return grid / 5 > 1 ? grid / 5 : 1;
}
// The line the rows of a band count from: -600 for the upper band (0), 0 for
// the lower (1).
constexpr int32_t bandBase(int staff) {
    return staff == 0 ? -600 : 0;
}

// Where the head of a note is drawn, from the cursor's snapped point: its
// middle lies 3 units right of snapX and 7 below snapY (the note drawing
// starts 5 units left of snapX, the head 8 units right of that).
constexpr int32_t kHeadMiddleRightOfSnapX = 3;
constexpr int32_t kHeadMiddleBelowSnapY = 7;

// Control-change marks stand in the space above each band's treble staff, a
// row each for tempo, instrument and volume from the top: clear of the note
// names, which stack up from the foot of the band, and of the bar numbers. The
// snapped y of a kind's row within its band (snapY Mod 600); 0 for a kind the
// song does not define.
constexpr int32_t changeMarkRowY(int kind) {
    return kind >= kTempoChange && kind <= kVolumeChange ? -557 + 30 * kind : 0;
}

// The last position a note or control change can have (positions are 32-bit).
// The scroll bar reaches the page of a note there, so the steps after it on
// that page point past what a song can hold: nothing is placed there.
constexpr int64_t kLastSongPos = INT32_MAX;

// Snaps a mouse point (view units) to the grid. Reads the grid, the meter and
// the page only. The quarter, eighth and sixteenth grids take the cells they
// draw from the first bar line on, a note going to its cell's start (steps 3,
// 15, 27, ...; 3, 9, 15, ...; 3, 6, 9, ... of a page); the finest grid, whose
// cells are narrower than a note head, takes the 5 units around the middle of
// the head it would draw. A row is picked by the 10 units around the middle
// of its drawn heads.
ScoreCursor ComputeCursor(float X, float Y, int grid, int quartersPerBar, int page);
ScoreCursor ComputeCursor(float X, float Y, const Song& song, const ViewState& view);

// True for note numbers of black keys; they are shown as sharps of the white
// key one semitone below.
bool isBlackKey(int note);
// The diatonic row on which a stored note is shown (7 an octave, 35 is middle C).
int32_t rowOfNote(int note);
// The white-key note number of a row (12 a octave, rows 7 an octave).
int32_t naturalNoteOfRow(int32_t row);
// True when the row of the white key `naturalNote` shows `note` (a black key
// shows on the row of the white key below it).
bool rowShowsNote(int32_t naturalNote, int note);

// Name of a row: "ド", "レ", "ミ", "ファ", "ソ", "ラ", "シ" (the letters C to B in
// English).
std::string rowName(int32_t row);

// Whole-number helpers with the rounding the view relies on: halves to the
// even neighbour.
int32_t roundHalfEven(double v);

} // namespace vako
