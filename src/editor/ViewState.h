// What the score view shows and where the editing cursor stands. The page, the
// note length, the chord pattern and the cursor live here; the grid, the meter
// and the parts on view travel with the song (Song::bytDivisions,
// bytQuartersPerBar, bytSelPart).
#pragma once

#include <cstdint>

namespace vako {

struct ViewState {
    int32_t intPage = 0;     // page on view, 0-based, 144 steps a page; the page scroll bar's value
    int16_t intNoteLen = 12; // length in steps of new notes
    int32_t lngChordCode = 1059; // chord pattern in base 12: tone count, then intervals
    int32_t varSelNote = 0;      // note under the cursor (index into udtNotes), 0 = none
    int32_t lngSelCC = 0;        // control change under the cursor, 0 = none
    int32_t varCursorPos = 0;    // song position of the cursor
    uint8_t varCursorPart = 0;   // part of the band under the cursor
    int32_t lngLastNoteX = 0;    // x of the note the note display handled last
};

} // namespace vako
