// Selecting notes on the staff and working on the selection: Shift + drag
// (the rubber band), Shift + click, the menu "選択", the keys (Delete,
// the arrows), dragging selected heads, and the clipboard in two forms: the
// program's own note lines and a Standard MIDI File for other programs.
#include "editor/KeyCodes.h"
#include "editor/NoteEdits.h"
#include "midi/MidiFileWriter.h"
#include "midi/MidiImport.h"
#include "song/Messages.h"
#include "song/NoteLines.h"
#include "view/MainWindowModel.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vako {
namespace {

const std::string kMidiMimeType = "audio/midi";

constexpr int kKeyEscape = 27, kKeyLeft = 37, kKeyUp = 38, kKeyRight = 39, kKeyDown = 40,
              kKeyDelete = 46;

// A press and release closer than this (view units, either way) is a click.
constexpr float kClickSlack = 4;

// Page of a position as the staff draws it: positions 1..144 are page 0.
int64_t pageOfPosition(int64_t pos) {
    return (pos - 1) / kStepsPerPage;
}

// The notes of the selection, in song order.
std::vector<Note> notesAt(const Song& song, const std::vector<int32_t>& indices) {
    std::vector<Note> notes;
    notes.reserve(indices.size());
    for (const int32_t i : indices) notes.push_back(song.notes[i]);
    return notes;
}

// A Standard MIDI File of `notes`, the earliest at its first beat, with the
// song's instruments, volumes and tempo.
std::string midiFileOf(const Song& song, std::vector<Note> notes) {
    Song phrase;
    phrase.partPrograms = song.partPrograms;
    phrase.partVolumes = song.partVolumes;
    phrase.tempoText = song.tempoText;
    phrase.quartersPerBar = song.quartersPerBar;
    int32_t earliest = std::numeric_limits<int32_t>::max();
    for (const Note& n : notes) earliest = std::min(earliest, n.position);
    for (Note& n : notes) n.position = n.position - earliest + kFirstBeatPosition;
    phrase.notes.assign(1, Note{});
    phrase.notes.insert(phrase.notes.end(), notes.begin(), notes.end());
    phrase.twiceNoteCount = static_cast<int32_t>(2 * notes.size());
    MidiImageReport report;
    return buildMidiFileImage(std::move(phrase), 0, report);
}

} // namespace

void MainWindowModel::buildSelectionMenus() {
    auto entry = [this](MenuItem& m, const char* caption, const char* shortcut) {
        m.name = caption;
        m.caption = translated(caption);
        m.shortcut = shortcut;
        m_allMenus.push_back(&m);
    };
    entry(selectUpperPartMenu, markForTranslation("上段のパートの音符をすべて選択"), "Ctrl+Shift+Up");
    entry(selectLowerPartMenu, markForTranslation("下段のパートの音符をすべて選択"), "Ctrl+Shift+Down");
    entry(selectBothPartsMenu, markForTranslation("両段のパートの音符をすべて選択"), "Ctrl+Shift+A");
    entry(clearSelectionMenu, markForTranslation("選択を解除"), "Esc");
    entry(selectionSeparator, "-", "");
    selectionSeparator.name = "selectionSeparator";
    entry(copyMenu, markForTranslation("コピー"), "Ctrl+C");
    entry(cutMenu, markForTranslation("切り取り"), "Ctrl+X");
    entry(pasteMenu, markForTranslation("貼り付け"), "Ctrl+V");
    entry(duplicateMenu, markForTranslation("複製"), "Ctrl+D");
    // Delete and Backspace reach the staff as keys: in a text box they stay its own.
    entry(deleteSelectionMenu, markForTranslation("削除"), "");
    entry(selectionMenu, markForTranslation("選択"), "");
    selectionMenu.children = {&selectUpperPartMenu, &selectLowerPartMenu, &selectBothPartsMenu,
                              &clearSelectionMenu,  &selectionSeparator,  &copyMenu,
                              &cutMenu,             &pasteMenu,           &duplicateMenu,
                              &deleteSelectionMenu};
}

void MainWindowModel::wireSelection() {
    selectUpperPartMenu.onClick = [this] { selectPartsOfBands(true, false); };
    selectLowerPartMenu.onClick = [this] { selectPartsOfBands(false, true); };
    selectBothPartsMenu.onClick = [this] { selectPartsOfBands(true, true); };
    clearSelectionMenu.onClick = [this] { clearSelection(); };
    copyMenu.onClick = [this] { copySelection(); };
    cutMenu.onClick = [this] { cutSelection(); };
    pasteMenu.onClick = [this] { pasteClipboard(); };
    duplicateMenu.onClick = [this] { duplicateSelection(); };
    deleteSelectionMenu.onClick = [this] { deleteSelection(); };
}

std::vector<int32_t>& MainWindowModel::selectedNotes() {
    if (view.selectionRevision != editor.revision()) {
        view.selectedNotes.clear();
        view.selectionRevision = editor.revision();
    }
    return view.selectedNotes;
}

void MainWindowModel::setSelection(std::vector<int32_t> notes) {
    view.selectedNotes = std::move(notes);
    view.selectionRevision = editor.revision();
}

void MainWindowModel::showSelectionReadOut(const std::string& reason) {
    const auto count = static_cast<int64_t>(selectedNotes().size());
    selectionReadOut.visible = count > 0 || !reason.empty();
    selectionReadOut.caption =
        reason.empty() ? msg::selectedCount(count) : msg::selectionRefused(count, reason);
}

void MainWindowModel::selectPartsOfBands(bool upper, bool lower) {
    std::vector<int32_t> chosen;
    const int32_t n = std::min<int32_t>(song.noteCount(), int32_t(song.notes.size()) - 1);
    for (int32_t i = 1; i <= n; ++i) {
        const uint8_t part = song.notes[i].part;
        if ((upper && part == view.bandParts[0]) || (lower && part == view.bandParts[1]))
            chosen.push_back(i);
    }
    setSelection(std::move(chosen));
    redrawScore();
}

void MainWindowModel::clearSelection() {
    setSelection({});
    redrawScore();
}

void MainWindowModel::copySelection() {
    const std::vector<int32_t>& selection = selectedNotes();
    if (selection.empty()) return;
    std::vector<Note> notes = notesAt(song, selection);
    m_clipboard->put({{kNoteLinesMimeType, formatNoteLines(notes)},
                      {kMidiMimeType, midiFileOf(song, notes)}});
}

void MainWindowModel::cutSelection() {
    if (selectedNotes().empty() || !stopped()) return;
    copySelection();
    deleteSelection();
}

void MainWindowModel::deleteSelection() {
    if (!stopped()) return;
    const std::vector<int32_t> selection = selectedNotes();
    if (selection.empty()) return;
    editor.deleteSelectedNotes(selection);
    noteMarker.visible = false;
    view.noteUnderCursor = 0;
    setSelection({});
    showUndoState();
    redrawScore();
}

void MainWindowModel::pasteClipboard() {
    if (!stopped()) return;
    commitTextBoxes();
    if (!m_pasteTargetKnown) {
        redrawScore();
        showSelectionReadOut(msg::kPasteWhere);
        return;
    }
    // The program's own form first: it keeps what a song file keeps.
    std::optional<std::vector<Note>> notes;
    if (const auto lines = m_clipboard->get(kNoteLinesMimeType)) notes = readNoteLines(*lines);
    if (!notes || notes->empty()) {
        if (const auto midi = m_clipboard->get(kMidiMimeType)) {
            Song imported;
            if (importStandardMidiFile(imported, *midi).ok)
                notes = std::vector<Note>(imported.notes.begin() + 1,
                                          imported.notes.begin() + 1 + imported.noteCount());
        }
    }
    if (!notes || notes->empty()) {
        redrawScore();
        showSelectionReadOut(msg::kNothingToPaste);
        return;
    }
    int32_t earliest = std::numeric_limits<int32_t>::max();
    for (const Note& n : *notes) earliest = std::min(earliest, n.position);
    for (Note& n : *notes) {
        const int64_t pos = int64_t{n.position} - earliest + m_pastePosition;
        // Past the last position a song holds: the editor refuses position 0.
        n.position = pos > std::numeric_limits<int32_t>::max() ? 0 : static_cast<int32_t>(pos);
        n.part = m_pastePart;
    }
    std::vector<int32_t> placed = editor.insertNotes(std::move(*notes));
    const bool refused = placed.empty();
    if (!refused) setSelection(std::move(placed));
    showUndoState();
    redrawScore();
    if (refused) showSelectionReadOut(msg::kTooManyNotes);
}

void MainWindowModel::duplicateSelection() {
    if (!stopped()) return;
    const std::vector<int32_t> selection = selectedNotes();
    if (selection.empty()) return;
    std::vector<int32_t> copies = editor.duplicateNotes(selection);
    const bool refused = copies.empty();
    if (!refused) setSelection(std::move(copies));
    showUndoState();
    redrawScore();
    if (refused) showSelectionReadOut(msg::kTooManyNotes);
}

void MainWindowModel::moveSelection(int64_t steps, int semitones) {
    if (!stopped()) return;
    std::vector<int32_t> selection = selectedNotes();
    if (selection.empty()) return;
    const auto refusal = editor.moveNotes(selection, steps, semitones);
    if (refusal == SongEditor::MoveRefusal::None) {
        setSelection(std::move(selection));
        noteMarker.visible = false;
        view.noteUnderCursor = 0;
    }
    showUndoState();
    redrawScore();
    if (refusal == SongEditor::MoveRefusal::BeforeFirstPosition)
        showSelectionReadOut(msg::kMoveBeforeStart);
    else if (refusal == SongEditor::MoveRefusal::KeyOutOfRange)
        showSelectionReadOut(msg::kMoveKeyRange);
}

bool MainWindowModel::selectionKey(int keyCode, int shift) {
    if (selectedNotes().empty()) return false;
    const int gridSteps = stepsPerGridCell(song.grid);
    switch (keyCode) {
    case kKeyEscape:
        clearSelection();
        return true;
    case kKeyDelete:
    case kKeyBackspace:
        deleteSelection();
        return true;
    case kKeyLeft:
        moveSelection(-gridSteps, 0);
        return true;
    case kKeyRight:
        moveSelection(gridSteps, 0);
        return true;
    case kKeyUp:
        moveSelection(0, (shift & kShiftBit) ? 12 : 1);
        return true;
    case kKeyDown:
        moveSelection(0, (shift & kShiftBit) ? -12 : -1);
        return true;
    default:
        return false;
    }
}

// ---------------------------------------------------------------------------
// The mouse

bool MainWindowModel::startSelectionGesture(int shift, float X, float Y) {
    m_gesture = Gesture::None;
    const ScoreCursor c = ComputeCursor(X, Y, song, view);
    if (!c.hasBand()) return false;
    m_pressX = X, m_pressY = Y;
    m_pressCursor = c;
    if (shift & kShiftBit) {
        m_gesture = Gesture::Band;
        return true; // nothing sounds: the press selects
    }
    const std::vector<int32_t>& selection = selectedNotes();
    if (noteMarker.visible && stopped() &&
        std::binary_search(selection.begin(), selection.end(), view.noteUnderCursor))
        m_gesture = Gesture::Drag;
    return false;
}

void MainWindowModel::dragSelectionBand(float X, float Y) {
    if (m_gesture != Gesture::Band) return;
    selectionBand.move(std::min(X, m_pressX), std::min(Y, m_pressY));
    selectionBand.width = std::abs(X - m_pressX);
    selectionBand.height = std::abs(Y - m_pressY);
    selectionBand.visible = true;
}

bool MainWindowModel::finishSelectionGesture(float X, float Y) {
    const Gesture gesture = m_gesture;
    m_gesture = Gesture::None;
    selectionBand.visible = false;
    const bool moved = std::abs(X - m_pressX) > kClickSlack || std::abs(Y - m_pressY) > kClickSlack;
    if (gesture == Gesture::Band) {
        if (moved)
            selectInBand(m_pressX, m_pressY, X, Y);
        else
            shiftClick(m_pressCursor);
        redrawScore();
        return true;
    }
    if (gesture == Gesture::Drag) {
        const ScoreCursor c = ComputeCursor(X, Y, song, view);
        const int64_t steps = c.placedPos(view.page, song.quartersPerBar) -
                              m_pressCursor.placedPos(view.page, song.quartersPerBar);
        const int semitones =
            c.staff == m_pressCursor.staff ? c.naturalNote - m_pressCursor.naturalNote : 0;
        if (steps == 0 && semitones == 0) return false; // a click, as always
        moveSelection(steps, semitones);
        return true;
    }
    return false;
}

void MainWindowModel::selectInBand(float x1, float y1, float x2, float y2) {
    const double left = std::min(x1, x2), right = std::max(x1, x2);
    const double top = std::min(y1, y2), bottom = std::max(y1, y2);
    std::vector<int32_t> chosen = selectedNotes();
    const uint8_t upper = view.bandParts[0], lower = view.bandParts[1];
    const int32_t n = std::min<int32_t>(song.noteCount(), int32_t(song.notes.size()) - 1);
    for (int32_t i = 1; i <= n; ++i) {
        const Note& note = song.notes[i];
        if ((note.part != upper && note.part != lower) || pageOfPosition(note.position) != view.page)
            continue;
        // The middle of the head as the staff draws it.
        const double x = xOfStep((int64_t{note.position} - 1) % kStepsPerPage + 1) + 8;
        const double y = 43 - 10 * rowOfNote(note.key) + 7 - (note.part == upper ? 600 : 0);
        if (x >= left && x <= right && y >= top && y <= bottom) chosen.push_back(i);
    }
    std::sort(chosen.begin(), chosen.end());
    chosen.erase(std::unique(chosen.begin(), chosen.end()), chosen.end());
    setSelection(std::move(chosen));
}

void MainWindowModel::shiftClick(const ScoreCursor& c) {
    const int part = view.bandParts[c.staff];
    const int64_t pos = c.placedPos(view.page, song.quartersPerBar);
    std::vector<int32_t> chosen = selectedNotes();
    if (pos < 1 || pos > kLastSongPos) return;
    const int32_t hit = findNoteOnRow(song, static_cast<int32_t>(pos), c.naturalNote, part, true,
                                      notesInPositionOrder(song));
    if (hit != 0) {
        // A note: in or out of the selection.
        const auto at = std::lower_bound(chosen.begin(), chosen.end(), hit);
        if (at != chosen.end() && *at == hit)
            chosen.erase(at);
        else
            chosen.insert(at, hit);
    } else if (!chosen.empty()) {
        // An empty place: the selection grows over the time up to it, with
        // every note of this band's part in between.
        int64_t first = pos, last = pos;
        for (const int32_t i : chosen) {
            first = std::min<int64_t>(first, song.notes[i].position);
            last = std::max<int64_t>(last, song.notes[i].position);
        }
        const int32_t n = std::min<int32_t>(song.noteCount(), int32_t(song.notes.size()) - 1);
        for (int32_t i = 1; i <= n; ++i) {
            const Note& note = song.notes[i];
            if (note.part == part && note.position >= first && note.position <= last)
                chosen.push_back(i);
        }
        std::sort(chosen.begin(), chosen.end());
        chosen.erase(std::unique(chosen.begin(), chosen.end()), chosen.end());
    }
    setSelection(std::move(chosen));
}

} // namespace vako
