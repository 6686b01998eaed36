// What the score view shows and where the editing cursor stands: the parts on
// the two bands, the page, the note length, the chord pattern and the cursor.
// The grid and the meter travel with the song (Song::grid, quartersPerBar).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace vako {

struct ViewState {
    std::array<uint8_t, 2> bandParts{0, 9}; // part (0-15) shown on the upper and the lower band
    int32_t page = 0; // page on view, 0-based, 144 steps a page; the page scroll bar's value
    int16_t newNoteLength = 12;    // length in steps of new notes
    int32_t chordCode = 1059;      // chord pattern in base 12: tone count, then intervals
    int32_t noteUnderCursor = 0;   // note under the cursor (index into notes), 0 = none
    int32_t changeUnderCursor = 0; // control change under the cursor, 0 = none
    int32_t cursorPosition = 0;    // song position of the cursor
    uint8_t cursorPart = 0;        // part of the band under the cursor
    int32_t lastNoteX = 0;         // x of the note the note display handled last
    // The selected notes: indices 1..N, ascending, of the song as it stood at
    // the editor's revision `selectionRevision`; any other revision clears them.
    std::vector<int32_t> selectedNotes;
    uint64_t selectionRevision = 0;
};

} // namespace vako
