// The note panel: strength, balance, semitone up and down, length, delete and
// close for the note a right press found.
#include "view/NotePanel.h"

#include "editor/NoteEdits.h"
#include "view/MainWindowModel.h"

namespace vako {
namespace {

// The panel's buttons change the one note it was opened on.
EditScope noteScope(const MainWindowModel& window) {
    return EditScope::notesIn(RecordSpan::one(window.view.noteUnderCursor));
}

} // namespace

void NotePanel::wire() {
    strengthList.onClick = [this] { strengthChosen(); };
    balanceList.onClick = [this] { balanceChosen(); };
    auto& options = m_window.accidentalOptions;
    for (int i = 0; i < static_cast<int>(options.size()); ++i)
        options[i].onClick = [this, i] { accidentalChosen(i); };
    deleteButton.onClick = [this] { deleteSelectedNote(); };
    closeButton.onClick = [this] { close(); };
}

void NotePanel::showSelectedNote() {
    const Song& song = m_window.song;
    const ViewState& view = m_window.view;
    if (!isNoteIndex(song, view.noteUnderCursor)) return;
    const Note& n = song.notes[view.noteUnderCursor];
    // Chosen without running the lists' handlers: showing a note changes nothing.
    const int strength = 20 - n.velocity / 6;
    const int balance = n.pan / 16;
    strengthList.listIndex =
        strength >= 0 && strength < int(strengthList.items.size()) ? strength : -1;
    balanceList.listIndex = balance >= 0 && balance < int(balanceList.items.size()) ? balance : -1;
}

void NotePanel::close() {
    visible = false;
    m_window.panelClosed();
}

void NotePanel::open(float X, float Y) {
    // The hover may have left the marker up while the pointer moved off the
    // page; without a note under it there is nothing to work on.
    if (!isNoteIndex(m_window.song, m_window.view.noteUnderCursor)) return;
    showSelectedNote();
    const int32_t x0 = roundHalfEven(X);
    const int32_t y1 = roundHalfEven(double(Y) + 1200);
    move(X + 10 - 400 * (x0 / 500), Y + 20 - 400 * (y1 / 600));
    visible = true;
}

void NotePanel::strengthChosen() {
    Song& song = m_window.song;
    const int entry = strengthList.listIndex;
    if (entry >= 0 && isNoteIndex(song, m_window.view.noteUnderCursor)) {
        m_window.recordEdit(noteScope(m_window), [&] {
            song.notes[m_window.view.noteUnderCursor].velocity =
                static_cast<uint8_t>((20 - entry) * 6);
        });
    }
    close();
    m_window.redrawScore();
}

void NotePanel::balanceChosen() {
    Song& song = m_window.song;
    const int entry = balanceList.listIndex;
    if (entry >= 0 && isNoteIndex(song, m_window.view.noteUnderCursor)) {
        m_window.recordEdit(noteScope(m_window), [&] {
            song.notes[m_window.view.noteUnderCursor].pan = static_cast<uint8_t>(entry * 16);
        });
    }
    close();
    m_window.redrawScore();
}

void NotePanel::accidentalChosen(int index) {
    Song& song = m_window.song;
    const int32_t selected = m_window.view.noteUnderCursor;
    if ((index == 4 || index == 5) && isNoteIndex(song, selected)) {
        Note& n = song.notes[selected];
        // A note stays within 0..119: 120 and above mark note ends.
        const int moved = n.key + (index == 4 ? 1 : -1);
        if (isStorableNote(moved)) {
            m_window.recordEdit(noteScope(m_window), [&] { n.key = static_cast<uint8_t>(moved); });
        }
    }
    if (index == 4 || index == 5) m_window.accidentalOptions[index].checked = false;
    close();
    m_window.redrawScore();
}

void NotePanel::deleteSelectedNote() {
    m_window.recordEdit(noteScope(m_window),
                        [&] { return deleteNote(m_window.song, m_window.view.noteUnderCursor); });
    close();
    m_window.redrawScore();
}

void NotePanel::lengthToolClicked(int index) {
    static constexpr int32_t kPanelLength[] = {9, 18, 36, 3, 6, 12, 24, 48};
    if (index < 10 || index > 17) return;
    Song& song = m_window.song;
    if (isNoteIndex(song, m_window.view.noteUnderCursor)) {
        m_window.recordEdit(noteScope(m_window), [&] {
            song.notes[m_window.view.noteUnderCursor].length = kPanelLength[index - 10];
        });
    }
    m_window.redrawScore();
    close();
}

} // namespace vako
