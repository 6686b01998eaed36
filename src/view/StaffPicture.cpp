// The staff of one song page, shared by the score view and paper.
#include "view/StaffPicture.h"

#include "editor/StaffGeometry.h"
#include "platform/Translation.h"

#include <algorithm>
#include <string>

namespace vako {
namespace {

// How a note of a given length is drawn.
struct NoteShape {
    bool known = false; // false: a blue head only
    bool hollow = false;
    int stem = 0; // stem length in view units, 0 = none
    int flags = 0;
    bool dot = false;
};

NoteShape shapeOf(int32_t len) {
    auto s = [](bool hollow, int stem, int flags, bool dot) {
        return NoteShape{true, hollow, stem, flags, dot};
    };
    if (len == 48) return s(true, 0, 0, false);
    if (len >= 33 && len <= 36) return s(true, 50, 0, true);
    if (len >= 21 && len <= 24) return s(true, 50, 0, false);
    if (len >= 15 && len <= 18) return s(false, 50, 0, true);
    switch (len) {
    case 12:
        return s(false, 50, 0, false);
    case 11:
        return s(false, 43, 0, false);
    case 10:
        return s(false, 37, 0, false);
    case 9:
        return s(false, 50, 1, true);
    case 8:
        return s(false, 43, 1, true);
    case 7:
        return s(false, 37, 1, true);
    case 6:
        return s(false, 50, 1, false);
    case 5:
        return s(false, 43, 1, false);
    case 4:
        return s(false, 37, 1, false);
    case 3:
        return s(false, 50, 2, false);
    case 2:
        return s(false, 43, 2, false);
    case 1:
        return s(false, 37, 2, false);
    default:
        return NoteShape{};
    }
}

// The one kana (one letter in English) a note's name is drawn with under the
// staff: its row's (sharps take the name of the white key below). Looked up
// once for each language, not for each note drawn.
const std::string& noteKana(int note) {
    static constexpr const char* kNames[7] = {markForTranslation("ド"), markForTranslation("レ"),
                                              markForTranslation("ミ"), markForTranslation("フ"),
                                              markForTranslation("ソ"), markForTranslation("ラ"),
                                              markForTranslation("シ")};
    static std::string namesLanguage;
    static std::array<std::string, 7> names;
    if (names[0].empty() || namesLanguage != languageInUse()) {
        for (int i = 0; i < 7; ++i) names[i] = translated(kNames[i]);
        namesLanguage = languageInUse();
    }
    return names[rowOfNote(note) % 7];
}

// The y the rows of a band are counted from: row r's snapped y is
// base - 10 (r - 5) - 7.
constexpr int kUpperBandBase = -600, kLowerBandBase = 0;
constexpr int kMarkTextAboveRow = 8; // a change mark's text stands this far above its row

// Page of a note position: positions 1..144 are page 0. Truncating division,
// so the few positions 0 and below (which a song file can hold) fall on page 0
// too.
int64_t notePage(int64_t pos) {
    return (pos - 1) / kStepsPerPage;
}

// The positions whose notes lie on `page` (page >= 0): a contiguous range,
// since notePage is monotonic.
std::pair<int64_t, int64_t> positionsOfPage(int64_t page) {
    const int64_t hi = page * kStepsPerPage + kStepsPerPage;
    const int64_t lo = page == 0 ? -(kStepsPerPage - 2) : page * kStepsPerPage + 1;
    return {lo, hi};
}

int64_t lastNotePosition(const Song& song) {
    const int64_t n = song.twiceNoteCount / 2;
    if (n < 0 || n >= static_cast<int64_t>(song.notes.size())) throw StaffDrawFailure{};
    return song.notes[n].position;
}

} // namespace

int64_t staffPageCount(const Song& song) {
    return lastNotePosition(song) / kStepsPerPage + 1;
}

bool StaffPicture::drawPage() {
    bool failed = false;
    auto step = [&failed](auto&& f) {
        try {
            f();
        } catch (const StaffDrawFailure&) {
            failed = true;
        }
    };
    m_canvas.clear();
    drawSeparator();
    step([&] { drawGrid(); });
    step([&] { drawChangeMarkers(); });
    step([&] { drawNotes(notesInPositionOrder(m_song), false); });
    drawBarNumbers();
    m_canvas.setForeColour(colour::kBlack);
    return !failed;
}

void StaffPicture::drawSeparator() {
    m_canvas.line(-200, -595, 1100, -595);
}

void StaffPicture::drawGrid() {
    bool failed = false;
    for (int y0 : {0, 600}) {
        auto vertical = [&](int x, Rgb c) { m_canvas.line(x, -200 - y0, x, -400 - y0, c); };
        if (m_look.divisionLines) {
            const int g = m_song.grid;
            if (g == 0) {
                failed = true;
            } else {
                for (int n = 1; n <= 18; ++n)
                    for (int i = 1; i <= 60 / g - 1; ++i)
                        vertical(100 + 60 * (n - 1) + i * g, colour::kLightGrey);
            }
        }
        for (int n = 1; n <= 18; ++n) vertical(100 + 60 * n, colour::kGrey);
        for (int k = 0; k <= 6; ++k) vertical(100 + 60 * m_song.quartersPerBar * k, colour::kBlack);
        // The staff lines go over the time grid, so that they read as
        // unbroken lines however fine the grid is.
        for (int j = 0; j <= 10; ++j) {
            if (j == 5) continue; // the line position of middle C stays empty
            m_canvas.line(100, -200 - 20 * j - y0, 820, -200 - 20 * j - y0, colour::kBlack);
        }
    }
    if (failed) throw StaffDrawFailure{};
}

void StaffPicture::drawNotes(bool ordered, bool narrowFromEnds) {
    Canvas& canvas = m_canvas;
    const Song& song = m_song;
    const int64_t n = song.twiceNoteCount / 2;
    const int64_t stored = static_cast<int64_t>(song.notes.size()) - 1;
    const int64_t last = std::min(n, stored);
    const int64_t page = m_look.page;
    const auto [lo, hi] = positionsOfPage(page);

    const auto begin = song.notes.begin() + 1;
    const auto end = song.notes.begin() + 1 + std::max<int64_t>(last, 0);
    auto first = begin, stop = end;
    if (ordered) {
        first = std::lower_bound(begin, end, lo,
                                 [](const Note& r, int64_t p) { return r.position < p; });
        stop = std::upper_bound(first, end, hi,
                                [](int64_t p, const Note& r) { return p < r.position; });
    } else if (narrowFromEnds) {
        while (first != stop && notePage(first->position) < page) ++first;
        while (stop != first && notePage((stop - 1)->position) > page) --stop;
    }

    static const std::vector<int32_t> kNoSelection;
    const std::vector<int32_t>& selection = m_look.selection ? *m_look.selection : kNoSelection;
    auto nextSelected = selection.begin();
    std::array<int, kPartCount> labelCount{};
    const uint8_t upper = m_look.bandParts[0], lower = m_look.bandParts[1];
    for (auto it = first; it != stop; ++it) {
        const Note& note = *it;
        if (notePage(note.position) != page) continue;
        if (note.part != lower && note.part != upper) continue;
        const int32_t x = xOfStep((int64_t{note.position} - 1) % kStepsPerPage + 1);
        int32_t y = 43 - 10 * rowOfNote(note.key);
        const bool sharp = isBlackKey(note.key);
        if (x != lastNoteX) labelCount.fill(0);
        lastNoteX = x;
        const NoteShape shape = shapeOf(note.length);
        const bool onUpper = note.part == upper;
        if (onUpper) y -= 600;
        const bool faint = m_look.faintParts[note.part % kPartCount];
        const Rgb ink = faint ? colour::kFadedBlack : colour::kBlack;
        const Rgb outline = sharp ? (faint ? colour::kFadedRed : colour::kRed) : ink;
        const auto index = static_cast<int32_t>(it - song.notes.begin());
        if (ordered) {
            while (nextSelected != selection.end() && *nextSelected < index) ++nextSelected;
        } else {
            nextSelected = std::lower_bound(selection.begin(), selection.end(), index);
        }
        if (nextSelected != selection.end() && *nextSelected == index) {
            // A ring in a colour of its own behind the head, wide enough to
            // show on white and on a picture alike.
            canvas.setFillStyle(FillStyle::Solid);
            canvas.setFillColour(colour::kSelectedNote);
            canvas.circle(x + 8, y + 7, 11, colour::kBlack, 0.7);
        }
        if (shape.known) {
            canvas.setFillStyle(shape.hollow ? FillStyle::Transparent : FillStyle::Solid);
            canvas.setFillColour(ink);
            canvas.setForeColour(ink);
            canvas.circle(x + 8, y + 7, 6, outline, 0.7);
            if (shape.stem > 0) canvas.line(x + 14, y + 7, x + 14, y + 7 - shape.stem);
            canvas.setDrawWidth(3);
            if (shape.dot) canvas.point(x + 20, y + 7);
            canvas.setDrawWidth(2);
            const int t = y + 7 - shape.stem;
            if (shape.flags >= 1) canvas.line(x + 21, t + 13, x + 16, t + 8);
            if (shape.flags >= 2) canvas.line(x + 21, t + 23, x + 16, t + 18);
            canvas.setDrawWidth(1);
        } else {
            canvas.setFillStyle(FillStyle::Solid);
            canvas.setFillColour(faint ? colour::kFadedBlue : colour::kBlue);
            canvas.circle(x + 8, y + 7, 6, outline, 0.7);
        }
        const int m = ++labelCount[note.part % kPartCount];
        if (m_look.noteNames && note.part != kPercussionPart) {
            canvas.setCurrentX(x + 2);
            canvas.setCurrentY((onUpper ? -600 : 10) - 30 * m);
            canvas.setForeColour(outline);
            canvas.print(noteKana(note.key));
        }
    }
    canvas.setForeColour(colour::kBlack);
    // A count beyond the stored records: the visit of the missing ones fails.
    if (n > stored) throw StaffDrawFailure{};
}

void StaffPicture::drawBarNumbers() {
    const int q = m_song.quartersPerBar;
    int bars = 0;
    switch (q) {
    case 2:
        bars = 6;
        break;
    case 3:
        bars = 4;
        break;
    case 4:
        bars = 3;
        break;
    case 6:
        bars = 2;
        break;
    default:
        return;
    }
    for (int b = 0; b < bars; ++b) {
        m_canvas.setCurrentX(135 + 20 * q + b * (720 / bars));
        m_canvas.setCurrentY(-1175);
        m_canvas.print(" " + std::to_string(b + 1 + m_look.page * bars) + " ");
    }
}

void StaffPicture::drawChangeMarkers() {
    if (!m_look.changeMarkers) return;
    Canvas& canvas = m_canvas;
    canvas.setDrawWidth(1);
    for (int64_t k = 1; k <= m_song.changeCount; ++k) {
        if (k >= static_cast<int64_t>(m_song.changes.size())) throw StaffDrawFailure{};
        const ControlChange& cc = m_song.changes[k];
        if (cc.position / kStepsPerPage != m_look.page) continue;
        canvas.setCurrentX(88 + 5 * (cc.position % kStepsPerPage));
        // On its kind's row above the treble staff, where the hover finds it:
        // the text's top a little above the row's snapped y.
        const double y = changeMarkRowY(cc.kind) - kMarkTextAboveRow;
        if (cc.kind == kTempoChange) {
            canvas.setCurrentY(y + kUpperBandBase);
            canvas.setForeColour(colour::kLightCyan);
            canvas.print(translated("■テンポ{value}", {{"value", std::to_string(cc.value)}}));
        } else if (cc.kind == kInstrumentChange || cc.kind == kVolumeChange) {
            const int part = cc.value % 16;
            int base = 600; // a part on neither band lands below the view
            if (part == m_look.bandParts[0]) base = kUpperBandBase;
            if (part == m_look.bandParts[1]) base = kLowerBandBase;
            canvas.setCurrentY(y + base);
            if (cc.kind == kInstrumentChange) {
                canvas.setForeColour(colour::kMagenta);
                canvas.print(
                    translated("■楽器{program}", {{"program", std::to_string(cc.value / 16 + 1)}}));
            } else {
                canvas.setForeColour(colour::kYellow);
                canvas.print(
                    translated("■ボリューム{volume}", {{"volume", std::to_string(cc.value / 16)}}));
            }
        }
    }
}

} // namespace vako
