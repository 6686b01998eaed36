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
constexpr int kPanStep = 16, kMaxPan = 128;

// The change one key of the editing help makes to a note; false for keys that
// change nothing. Notes stay within 0..119, strength and balance within
// 0..127 and 0..128.
bool applyEditingKey(Note& n, int keyCode) {
    switch (keyCode) {
    case '1':
        n.length = 48;
        return true;
    case '2':
        n.length = 24;
        return true;
    case '3':
        n.length = 12;
        return true;
    case '4':
        n.length = 6;
        return true;
    case '5':
        n.length = 3;
        return true;
    case 'W':
        n.length = 36;
        return true;
    case 'E':
        n.length = 18;
        return true;
    case 'R':
        n.length = 9;
        return true;
    case 'S':
        if (!isStorableNote(n.key + 1)) return false;
        n.key += 1;
        return true;
    case 'F':
        if (!isStorableNote(n.key - 1)) return false;
        n.key -= 1;
        return true;
    case 'Q':
        if (n.velocity >= kMaxKeyVelocity) return false;
        n.velocity = static_cast<uint8_t>(n.velocity + kVelocityStep);
        return true;
    case 'Z':
        if (n.velocity == 0) return false;
        n.velocity = static_cast<uint8_t>(std::max(n.velocity - kVelocityStep, 0));
        return true;
    case 'V':
        if (n.pan >= kMaxPan) return false;
        n.pan = static_cast<uint8_t>(std::min(n.pan + kPanStep, kMaxPan));
        return true;
    case 'X':
        if (n.pan == 0) return false;
        n.pan = static_cast<uint8_t>(std::max(n.pan - kPanStep, 0));
        return true;
    default:
        return false;
    }
}

} // namespace

void MainWindowModel::scoreKeyDown(int keyCode, int shift, int padKeyCode) {
    // Ctrl combinations belong to the menus.
    if (shift & kCtrlBit) {
        scoreFocusRequested = true;
        return;
    }
    if (keyboardEditsMenu.checked && noteMarker.visible) {
        if (const int32_t i = view.noteUnderCursor; isNoteIndex(song, i)) {
            // One key (each repeat of a held one) is one step.
            if (keyCode == kKeySpace) {
                recordEdit(EditScope::notesIn(RecordSpan::one(i)),
                           [&] { return deleteNote(song, i); });
                noteMarker.visible = false;
            } else {
                recordEdit(EditScope::notesIn(RecordSpan::one(i)),
                           [&] { return applyEditingKey(song.notes[i], keyCode); });
            }
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
