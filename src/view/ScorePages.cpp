#include "view/ScorePages.h"

#include "platform/Translation.h"
#include "view/StaffPicture.h"

#include <algorithm>

namespace vako {
namespace {

// The song's page count; a note count beyond the records counts the stored notes.
int64_t songPageCount(const Song& song) {
    try {
        return staffPageCount(song);
    } catch (const StaffDrawFailure&) {
        int64_t last = 0;
        for (size_t i = 1; i < song.notes.size(); ++i)
            last = std::max<int64_t>(last, song.notes[i].position);
        return last / kStepsPerPage + 1;
    }
}

// The title of the score: the song's name field, else the name it was opened
// or saved under.
std::string scoreTitle(const Song& song) {
    if (!song.sequenceNameText.empty()) return song.sequenceNameText;
    return song.songName.value_or("");
}

} // namespace

double estimatedTextWidth(const std::string& text, double points) {
    double ems = 0;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80 || (b >= 0xC0 && b < 0xE0))
            ems += 0.6;
        else if (b >= 0xE0)
            ems += 1.0;
    }
    return ems * points;
}

ScoreLayout layOutScore(const Song& song, PaperSize paper, SongPageRange range, int staffsPerSheet,
                        PaperTextWidth textWidth) {
    ScoreLayout layout;
    layout.songPages = songPageCount(song);
    const int64_t first = std::max<int64_t>(range.first, 1);
    const int64_t last =
        range.last <= 0 ? layout.songPages : std::min(range.last, layout.songPages);
    layout.printed = {first, last};
    if (first > last) return layout;

    staffsPerSheet = std::max(staffsPerSheet, 1);
    const int64_t pages = last - first + 1;
    const int64_t sheetCount = (pages + staffsPerSheet - 1) / staffsPerSheet;
    if (sheetCount > kMostPaperSheets) {
        layout.tooMany = true;
        return layout;
    }
    const double contentWidth = paper.width - 2 * kPaperMargin;
    const double footerTop = paper.height - kPaperMargin - kFooterPoints * 1.25;
    // Every sheet leaves room for the header, so the staves stand alike on all.
    const double headerHeight = (kTitlePoints + kCopyrightPoints) * 1.25 + 8;
    const double staffTop = kPaperMargin + headerHeight;
    const double slotHeight = (footerTop - 8 - staffTop) / staffsPerSheet;
    const double scale =
        std::max(0.0, std::min(contentWidth / kPaperStaffWidth, slotHeight / kPaperStaffHeight));
    const double staffLeft = (paper.width - kPaperStaffWidth * scale) / 2;

    auto centred = [&](std::string text, double y, double points) {
        const double x = (paper.width - textWidth(text, points)) / 2;
        return PaperText{std::move(text), std::max(x, kPaperMargin), y, points};
    };
    layout.sheets.resize(static_cast<size_t>(sheetCount));
    for (int64_t s = 0; s < sheetCount; ++s) {
        PaperSheet& sheet = layout.sheets[static_cast<size_t>(s)];
        for (int k = 0; k < staffsPerSheet; ++k) {
            const int64_t songPage = first - 1 + s * staffsPerSheet + k;
            if (songPage > last - 1) break;
            sheet.staves.push_back({songPage, staffLeft, staffTop + k * slotHeight, scale});
        }
        if (s == 0) {
            sheet.texts.push_back(centred(scoreTitle(song), kPaperMargin, kTitlePoints));
            sheet.texts.push_back(
                centred(song.copyrightText, kPaperMargin + kTitlePoints * 1.25, kCopyrightPoints));
        }
        sheet.texts.push_back(
            centred(translated("{page} / {pages}", {{"page", std::to_string(s + 1)},
                                                    {"pages", std::to_string(sheetCount)}}),
                    footerTop, kFooterPoints));
    }
    return layout;
}

} // namespace vako
