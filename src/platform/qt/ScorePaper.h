// The score on paper through the toolkit: the sheets the page model lays out,
// each staff drawn by the window's own staff drawing onto a paper canvas.
#pragma once

#include "view/ScorePages.h"
#include "view/StaffPicture.h"

#include <QPagedPaintDevice>

#include <string>

namespace vako {

// The width of a text on paper in points, in the font the paper uses.
double paperTextWidth(const std::string& text, double points);

// Paints `layout`'s sheets onto `device`, one page of the device a sheet; the
// device's painter origin must be the paper's top-left corner. `look` gives
// the band parts and the menus' choices (its page is each staff's own). False
// when the device cannot be painted on or a staff could not be drawn whole
// (what could be drawn is there).
bool paintScore(QPagedPaintDevice& device, const Song& song, const StaffPageLook& look,
                const ScoreLayout& layout);

// The score as the bytes of a PDF file: `range` of the song's pages on
// `paper`. Empty when the range holds no page; `layout` (if given) receives
// the sheets as laid out.
struct PdfOutcome {
    std::string bytes;
    bool complete = true; // false when some staff could not be drawn whole
};
PdfOutcome scorePdf(const Song& song, const StaffPageLook& look, SongPageRange range,
                    PaperSize paper, ScoreLayout* layout = nullptr);

} // namespace vako
