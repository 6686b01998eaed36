// One page of the song's staff as the score view shows it, drawn onto any
// canvas: the window's view and printed paper share this drawing. Both bands
// with their parts, the note heads, stems, flags and dots, the note names, the
// bar numbers and the change markers. What only the window shows (the
// selection's rings, faint parts that do not sound) comes in through the look.
#pragma once

#include "platform/Canvas.h"
#include "song/Song.h"

#include <array>
#include <cstdint>
#include <vector>

namespace vako {

// Raised for data the drawing cannot show (an index outside the note or
// control-change records, a zero grid).
struct StaffDrawFailure {};

struct StaffPageLook {
    int64_t page = 0;                       // 0-based song page
    std::array<uint8_t, 2> bandParts{0, 1}; // the parts of the upper and the lower band
    bool noteNames = true;
    bool changeMarkers = true;
    bool divisionLines = true; // the grid's division lines (the window hides them while playing)
    // Parts drawn faint because they do not sound; none on paper.
    std::array<bool, kPartCount> faintParts{};
    // Ascending note indices drawn with a ring behind their heads; none on paper.
    const std::vector<int32_t>* selection = nullptr;
};

// The number of pages the song's staff runs to (the read-out's and the page
// scroll bar's count). Throws StaffDrawFailure on a note count beyond the records.
int64_t staffPageCount(const Song& song);

class StaffPicture {
public:
    StaffPicture(Canvas& canvas, const Song& song, const StaffPageLook& look)
        : m_canvas(canvas), m_song(song), m_look(look) {}

    // The whole page for paper: the separator of the bands, the grid, the
    // change markers, the notes and the bar numbers. Whatever can be drawn is
    // drawn; true when nothing failed.
    bool drawPage();

    // The parts; each throws StaffDrawFailure after what it could draw.
    void drawSeparator();
    void drawGrid();
    void drawChangeMarkers();
    // `ordered`: the notes stand in position order (the page's run is found by
    // binary search). `narrowFromEnds`: otherwise the run is narrowed from both
    // ends as far as the notes there lie on other pages (as while playing).
    void drawNotes(bool ordered, bool narrowFromEnds);
    void drawBarNumbers();

    // x of the note the note drawing handled last.
    int32_t lastNoteX = 0;

private:
    Canvas& m_canvas;
    const Song& m_song;
    const StaffPageLook& m_look;
};

} // namespace vako
