// The note panel: strength, balance, semitone up and down, length, delete and
// close for the note a right press found.
#include "view/NotePanel.h"

#include "editor/NoteEdits.h"
#include "view/MainWindowModel.h"

#include <algorithm>

namespace vako {

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
    const int strength = entryOfStrength(n.velocity);
    const int balance = entryOfBalance(n.pan);
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

const std::vector<int32_t>* NotePanel::selectionOfNote() const {
    const std::vector<int32_t>& selection = m_window.selectedNotes();
    if (std::binary_search(selection.begin(), selection.end(), m_window.view.noteUnderCursor))
        return &selection;
    return nullptr;
}

template <class Edit>
void NotePanel::keepSelectionAfter(const std::vector<int32_t>& selection, Edit&& edit) {
    // The notes keep their places: the selection names the same notes after it.
    std::vector<int32_t> kept = selection;
    edit(kept);
    m_window.setSelection(std::move(kept));
}

void NotePanel::strengthChosen() {
    if (strengthList.listIndex >= 0) {
        const int velocity = strengthOfEntry(strengthList.listIndex);
        if (const auto* selection = selectionOfNote())
            keepSelectionAfter(*selection, [&](const auto& s) { m_window.editor.setSelectedStrength(s, velocity); });
        else
            m_window.editor.setNoteStrength(m_window.view.noteUnderCursor, velocity);
    }
    done();
}

void NotePanel::balanceChosen() {
    if (balanceList.listIndex >= 0) {
        const int pan = balanceOfEntry(balanceList.listIndex);
        if (const auto* selection = selectionOfNote())
            keepSelectionAfter(*selection, [&](const auto& s) { m_window.editor.setSelectedBalance(s, pan); });
        else
            m_window.editor.setNoteBalance(m_window.view.noteUnderCursor, pan);
    }
    done();
}

void NotePanel::accidentalChosen(int index) {
    if (index != 4 && index != 5) return done();
    const int32_t selected = m_window.view.noteUnderCursor;
    if (isNoteIndex(m_window.song, selected)) {
        // A note stays within 0..119: the editor refuses the step past it.
        const int key = m_window.song.notes[selected].key;
        m_window.editor.setNoteKey(selected, key + (index == 4 ? 1 : -1));
    }
    m_window.accidentalOptions[index].checked = false;
    done();
}

void NotePanel::deleteSelectedNote() {
    m_window.editor.deleteNote(m_window.view.noteUnderCursor);
    done();
}

void NotePanel::lengthToolClicked(int index) {
    static constexpr int32_t kPanelLength[] = {9, 18, 36, 3, 6, 12, 24, 48};
    if (index < 10 || index > 17) return;
    const int32_t length = kPanelLength[index - 10];
    if (const auto* selection = selectionOfNote())
        keepSelectionAfter(*selection, [&](const auto& s) { m_window.editor.setSelectedLength(s, length); });
    else
        m_window.editor.setNoteLength(m_window.view.noteUnderCursor, length);
    done();
}

void NotePanel::done() {
    close();
    m_window.showUndoState();
    m_window.redrawScore();
}

} // namespace vako
