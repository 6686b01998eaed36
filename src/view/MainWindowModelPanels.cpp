// The two panels on the score view: the note panel `notePanel` (strength,
// balance, semitone up and down, length, delete, close) for the note a right
// press found, and the position panel `positionPanel` that sets, changes and
// deletes tempo, instrument and volume changes at a position.
#include "editor/ControlChanges.h"
#include "editor/NoteEdits.h"
#include "view/MainWindowModel.h"

#include <algorithm>

namespace vako {
namespace {

const std::string kChooseAnOperation = "操作を選んでください。";
const std::string kWaitForTheStop = "停止してから押してください。";

// The number a box of digits holds; saturates far above any valid value, so
// that a long run of digits is out of range rather than wrapped.
int64_t digitsValue(const std::string& digits) {
    int64_t v = 0;
    for (char ch : digits) {
        if (ch < '0' || ch > '9') continue;
        v = std::min<int64_t>(v * 10 + (ch - '0'), int64_t{1} << 40);
    }
    return v;
}

} // namespace

// ---------------------------------------------------------------------------
// The note panel

void MainWindowModel::showSelectedNoteInPanel() {
    if (!isNoteIndex(song, view.noteUnderCursor)) return;
    const Note& n = song.notes[view.noteUnderCursor];
    // Chosen without running the lists' handlers: showing a note changes nothing.
    const int strength = 20 - n.velocity / 6;
    const int balance = n.pan / 16;
    noteStrengthList.listIndex =
        strength >= 0 && strength < int(noteStrengthList.items.size()) ? strength : -1;
    noteBalanceList.listIndex =
        balance >= 0 && balance < int(noteBalanceList.items.size()) ? balance : -1;
}

void MainWindowModel::openNotePanel(float X, float Y) {
    // The hover may have left the marker up while the pointer moved off the
    // page; without a note under it there is nothing to work on.
    if (!isNoteIndex(song, view.noteUnderCursor)) return;
    showSelectedNoteInPanel();
    const int32_t x0 = roundHalfEven(X);
    const int32_t y1 = roundHalfEven(double(Y) + 1200);
    notePanel.move(X + 10 - 400 * (x0 / 500), Y + 20 - 400 * (y1 / 600));
    notePanel.visible = true;
}

void MainWindowModel::noteStrengthChosen() {
    const int entry = noteStrengthList.listIndex;
    if (entry >= 0 && isNoteIndex(song, view.noteUnderCursor)) {
        song.notes[view.noteUnderCursor].velocity = static_cast<uint8_t>((20 - entry) * 6);
        userChangedSong();
    }
    notePanel.visible = false;
    redrawScore();
}

void MainWindowModel::noteBalanceChosen() {
    const int entry = noteBalanceList.listIndex;
    if (entry >= 0 && isNoteIndex(song, view.noteUnderCursor)) {
        song.notes[view.noteUnderCursor].pan = static_cast<uint8_t>(entry * 16);
        userChangedSong();
    }
    notePanel.visible = false;
    redrawScore();
}

void MainWindowModel::accidentalChosen(int index) {
    if ((index == 4 || index == 5) && isNoteIndex(song, view.noteUnderCursor)) {
        Note& n = song.notes[view.noteUnderCursor];
        // A note stays within 0..119: 120 and above mark note ends.
        const int moved = n.key + (index == 4 ? 1 : -1);
        if (isStorableNote(moved)) {
            n.key = static_cast<uint8_t>(moved);
            userChangedSong();
        }
    }
    if (index == 4 || index == 5) accidentalOptions[index].checked = false;
    notePanel.visible = false;
    redrawScore();
}

void MainWindowModel::deleteSelectedNote() {
    if (deleteNote(song, view.noteUnderCursor)) userChangedSong();
    notePanel.visible = false;
    redrawScore();
}

void MainWindowModel::notePanelLength(int index) {
    static constexpr int32_t kPanelLength[] = {9, 18, 36, 3, 6, 12, 24, 48};
    if (index < 10 || index > 17) return;
    if (isNoteIndex(song, view.noteUnderCursor)) {
        song.notes[view.noteUnderCursor].length = kPanelLength[index - 10];
        userChangedSong();
    }
    redrawScore();
    notePanel.visible = false;
}

// ---------------------------------------------------------------------------
// The position panel

void MainWindowModel::openPositionPanel(const ScoreCursor& c) {
    const int32_t sel = view.changeUnderCursor;
    const bool onMarker =
        sel >= 1 && sel <= song.changeCount && static_cast<size_t>(sel) < song.changes.size();
    if (!onMarker) view.changeUnderCursor = 0;
    deleteChangeButton.visible = positionPanelSentence[1].visible = onMarker;
    if (onMarker) {
        const ControlChange& cc = song.changes[sel];
        changeKindList.listIndex = cc.kind >= 1 && cc.kind <= 3 ? cc.kind - 1 : -1;
        positionSetButton.caption = "変更";
        changeValueBox.caption = std::to_string(shownCCValue(cc));
    } else {
        positionSetButton.caption = "設定";
        changeKindList.listIndex = 0;
        changeValueBox.caption = "0";
    }
    m_changeValueAccepted = changeValueBox.caption;
    positionPanel.move(c.snapX + 10 - 400 * (c.snapX / 400),
                       c.snapY + 20 - 400 * ((c.snapY + 1200) / 600));
    view.cursorPosition = static_cast<int32_t>(c.pos); // the press checked that it fits
    positionPanel.visible = true;
}

void MainWindowModel::hidePositionPanel() {
    positionPanel.visible = false;
    view.changeUnderCursor = 0;
}

void MainWindowModel::positionPanelWhilePlaying(bool playing) {
    positionSetButton.enabled = deleteChangeButton.enabled = !playing;
    positionPanelPrompt.caption = playing ? kWaitForTheStop : kChooseAnOperation;
}

void MainWindowModel::setChangeAtPosition() {
    if (!stopped()) {
        // The buttons are disabled while playing; a click that slips through
        // keeps the panel and its entry for the stop.
        return;
    }
    if (changeValueBox.caption.empty()) {
        showMessage(msg::kChooseWhatToChange);
    } else {
        const int entry = changeKindList.listIndex;
        const CCValue v =
            encodeCCValue(entry, digitsValue(changeValueBox.caption), view.cursorPart);
        if (v.message) showMessage(*v.message);
        if (v.value) {
            const ControlChange cc{view.cursorPosition, *v.value, static_cast<uint8_t>(entry + 1)};
            const int32_t sel = view.changeUnderCursor;
            if (sel == 0) {
                insertCC(song, cc);
                userChangedSong();
            } else if (sel >= 2 && sel <= song.changeCount) {
                ensureChangeRoom(song.changes, song.changeCount + 2);
                song.changes[sel] = cc;
                userChangedSong();
            }
        }
    }
    hidePositionPanel();
    redrawScore();
}

void MainWindowModel::deleteChangeAtPosition() {
    if (!stopped()) return; // disabled while playing, as positionSetButton
    if (deleteCC(song, view.changeUnderCursor)) userChangedSong();
    redrawScore();
    hidePositionPanel();
}

} // namespace vako
