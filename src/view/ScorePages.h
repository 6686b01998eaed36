// The score on paper: which song pages go on which sheet, where each staff
// stands, and the texts around it (the song's name and copyright text at the
// top of the first sheet, "page / pages" at the foot of each). Measures are
// points (1/72 inch) from the sheet's top-left corner; the toolkit layer only
// draws what this lays out.
#pragma once

#include "song/Song.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vako {

// The part of the score view a song page's staff fills on paper (view
// units): from the first step's notes to the right end of the staff, from
// the bar numbers to below the lower band.
constexpr double kPaperStaffLeft = 70, kPaperStaffTop = -1180;
constexpr double kPaperStaffWidth = 770, kPaperStaffHeight = 1200;

struct PaperSize {
    double width = 595.276, height = 841.89; // A4 portrait
};
constexpr PaperSize kPaperA4{595.276, 841.89};
constexpr PaperSize kPaperLetter{612, 792};

// Song pages 1-based, both included; 0 as the last runs to the song's end.
struct SongPageRange {
    int64_t first = 1;
    int64_t last = 0;
};

struct PaperText {
    std::string text;
    double x = 0, y = 0; // the text's top-left corner
    double points = 10;  // font size
};

struct PlacedStaff {
    int64_t songPage = 0;     // 0-based
    double left = 0, top = 0; // where the staff region's top-left corner lands
    double pointsPerUnit = 1; // one view unit on paper
    double width() const { return kPaperStaffWidth * pointsPerUnit; }
    double height() const { return kPaperStaffHeight * pointsPerUnit; }
};

struct PaperSheet {
    std::vector<PlacedStaff> staves;
    std::vector<PaperText> texts; // the header (first sheet), then the footer
};

// The most sheets one layout makes (about 100 MB of PDF): a song file may
// place a note billions of steps away, and nobody prints millions of sheets.
constexpr int64_t kMostPaperSheets = 10000;

struct ScoreLayout {
    // Empty when the range holds no page of the song, or too many (`tooMany`).
    std::vector<PaperSheet> sheets;
    bool tooMany = false;
    int64_t songPages = 0; // the song's page count, as the window counts them
    SongPageRange printed; // the range after clamping to the song
};

// Margins and the heights of the texts, in points.
constexpr double kPaperMargin = 36;
constexpr double kTitlePoints = 16, kCopyrightPoints = 10, kFooterPoints = 9;

// Lays out `range` of the song's pages, `staffsPerSheet` (at least 1) stacked
// on each sheet. Texts are measured by `textWidth(text, points)` (points), so
// that they can be centred; the estimate of the canvas serves where no font is.
using PaperTextWidth = double (*)(const std::string& text, double points);
double estimatedTextWidth(const std::string& text, double points);
ScoreLayout layOutScore(const Song& song, PaperSize paper, SongPageRange range,
                        int staffsPerSheet = 1, PaperTextWidth textWidth = estimatedTextWidth);

} // namespace vako
