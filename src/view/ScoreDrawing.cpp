// The full redraw of the score view and the note display it ends with. The
// staff itself is drawn by StaffPicture, as on paper; the window adds what
// only it shows (the selection, faint parts, the loop, the buttons).
#include "song/Messages.h"
#include "song/SongWriter.h"
#include "view/MainWindowModel.h"
#include "view/StaffPicture.h"

#include <algorithm>

namespace vako {
namespace {

// Raised inside the redraw for data it cannot draw (an index outside the note
// or control-change records, a zero grid). The redraw goes on and takes the
// error path at its end; nothing leaves `redrawScore`.
using DrawFailure = StaffDrawFailure;

} // namespace

StaffPageLook MainWindowModel::paperLook() const {
    StaffPageLook look;
    look.bandParts = {view.bandParts[0], view.bandParts[1]};
    look.noteNames = showNoteNamesMenu.checked;
    look.changeMarkers = showChangesMenu.checked;
    return look;
}

StaffPageLook MainWindowModel::staffLook() {
    StaffPageLook look = paperLook();
    look.page = view.page;
    look.divisionLines = stopped();
    for (int part = 0; part < kPartCount; ++part)
        look.faintParts[part] = !m_playbackOptions.partSounds(part);
    return look;
}

void MainWindowModel::pageReadOut() {
    pageLabels[1].caption =
        translated("{page} / {pages} ページ", {{"page", std::to_string(view.page + 1)},
                                               {"pages", std::to_string(staffPageCount(song))}});
}

void MainWindowModel::drawGrid() {
    const StaffPageLook look = staffLook();
    StaffPicture(canvas, song, look).drawGrid();
}

void MainWindowModel::redrawScore() {
    bool failed = false;
    auto step = [&failed](auto&& f) {
        try {
            f();
        } catch (const DrawFailure&) {
            failed = true;
        }
    };
    step([&] { pageReadOut(); });
    noteCountReadOut(); // an undo or a key changes the count without a hover
    canvas.clear();
    {
        const StaffPageLook look = staffLook();
        StaffPicture(canvas, song, look).drawSeparator();
    }
    step([&] { drawGrid(); });
    step([&] { drawNotes(); });
    step([&] {
        int64_t pages = 0;
        if (stopped()) {
            pages = staffPageCount(song);
        } else {
            // The play list's last event: the song's own note count may move
            // while playing (hits, edits), and an export reuses the work list.
            const std::vector<Note>& list = m_playback->playList();
            const int64_t i = m_playback->state().lastEvent;
            if (i < 0 || i >= static_cast<int64_t>(list.size())) throw DrawFailure{};
            pages = list[i].position / kStepsPerPage + 1;
        }
        // Positions are 32-bit, so the page count of any song fits the bar.
        pageScrollBar.setRange(0, static_cast<int>(std::clamp<int64_t>(pages, 0, INT32_MAX)));
    });
    pageScrollBar.setValue(view.page);
    showSelectionReadOut();
    if (failed) {
        // The notes go back to before the last edit of them, which the
        // history lets go, and the song is dumped for a report.
        editor.restoreNotesAfterFault();
        showUndoState();
        errorDump(song, folders, *this);
    }
}

void MainWindowModel::drawNotes() {
    StaffPageLook look = staffLook();
    look.selection = &selectedNotes();
    StaffPicture picture(canvas, song, look);
    picture.lastNoteX = view.lastNoteX;

    // The markers lie under the notes: a note name at the same place stays
    // readable. A marker that cannot be drawn fails the display after the notes.
    bool markersFailed = false;
    try {
        picture.drawChangeMarkers();
    } catch (const DrawFailure&) {
        markersFailed = true;
    }

    // Notes in position order: the page's run is found by binary search.
    // Otherwise every note is looked at, in the order the song holds them;
    // while playing the run is narrowed from both ends.
    m_notesOrdered = notesInPositionOrder(song);
    try {
        picture.drawNotes(m_notesOrdered, !stopped());
    } catch (const DrawFailure&) {
        view.lastNoteX = picture.lastNoteX;
        throw;
    }
    view.lastNoteX = picture.lastNoteX;

    const int64_t n = song.twiceNoteCount / 2;
    playButton.enabled = exportButton.enabled = false;
    if (n >= 1 && int64_t{song.notes[n].position} > int64_t{view.page} * kStepsPerPage)
        playButton.enabled = exportButton.enabled = true;
    picture.drawBarNumbers();
    drawLoopSpan();
    canvas.setForeColour(colour::kBlack);
    if (markersFailed) throw DrawFailure{};
}

} // namespace vako
