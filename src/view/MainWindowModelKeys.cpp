// Keys on the score view: editing help on the note under the pointer, or the
// drum pad that sounds percussion and records hits while the song plays.
#include "editor/Chords.h"
#include "editor/KeyCodes.h"
#include "editor/NoteEdits.h"
#include "midi/ShortMessage.h"
#include "view/MainWindowModel.h"

#include <algorithm>

namespace vako {
namespace {

constexpr uint8_t kPercussionNoteOn = kStatusNoteOn + kPercussionPart; // 0x99
constexpr int kVelocityStep = 6, kMaxKeyVelocity = 120;
constexpr int kPanStep = 16;

} // namespace

// The change one key of the editing help makes to a note: a length, a
// semitone, a step of strength or of balance. Notes stay within 0..119,
// strength within 0..120 by the keys and balance within 0..128; other keys
// change nothing.
void MainWindowModel::editingKey(int32_t i, int keyCode) {
    const Note& n = song.notes[i];
    switch (keyCode) {
    case '1':
        editor.setNoteLength(i, 48);
        break;
    case '2':
        editor.setNoteLength(i, 24);
        break;
    case '3':
        editor.setNoteLength(i, 12);
        break;
    case '4':
        editor.setNoteLength(i, 6);
        break;
    case '5':
        editor.setNoteLength(i, 3);
        break;
    case 'W':
        editor.setNoteLength(i, 36);
        break;
    case 'E':
        editor.setNoteLength(i, 18);
        break;
    case 'R':
        editor.setNoteLength(i, 9);
        break;
    case 'S':
        editor.setNoteKey(i, n.key + 1);
        break;
    case 'F':
        editor.setNoteKey(i, n.key - 1);
        break;
    case 'Q':
        if (n.velocity < kMaxKeyVelocity) editor.setNoteStrength(i, n.velocity + kVelocityStep);
        break;
    case 'Z':
        editor.setNoteStrength(i, std::max(n.velocity - kVelocityStep, 0));
        break;
    case 'V':
        if (n.pan < kMaxBalance) editor.setNoteBalance(i, std::min(n.pan + kPanStep, kMaxBalance));
        break;
    case 'X':
        editor.setNoteBalance(i, std::max(n.pan - kPanStep, 0));
        break;
    default:
        break;
    }
}

void MainWindowModel::scoreKeyDown(int keyCode, int shift, int padKeyCode) {
    // Ctrl combinations belong to the menus.
    if (shift & kCtrlBit) {
        scoreFocusRequested = true;
        return;
    }
    if (selectionKey(keyCode, shift)) {
        scoreFocusRequested = true;
        return;
    }
    if (keyboardEditsMenu.checked && noteMarker.visible) {
        if (const int32_t i = view.noteUnderCursor; isNoteIndex(song, i)) {
            // One key (each repeat of a held one) is one step.
            if (keyCode == kKeySpace) {
                editor.deleteNote(i);
                noteMarker.visible = false;
            } else {
                editingKey(i, keyCode);
            }
            showUndoState();
        }
        notePanel.showSelectedNote();
        redrawScore();
    }
    if (keyboardDrumsMenu.checked && keyCode != kKeyShift) {
        // The pad's drums sit at places on the keyboard; the character a key
        // types (which depends on the layout, and with Shift on its symbols)
        // only stands in when the place is not known.
        const int padKey = padKeyCode != 0 ? padKeyCode : keyCode;
        const int note = drumNoteOfKey(padKey) + 30 * shift;
        // With Alt the pad's note would leave the song's range: such keys
        // sound and record nothing.
        if (isStorableNote(note)) {
            midiOutShortMsg(packShortMessage(kPercussionNoteOn, note, kNewNoteVelocity));
            if (!stopped() && note >= 1) tapWhilePlaying(note);
        }
    }
    scoreFocusRequested = true;
}

} // namespace vako
