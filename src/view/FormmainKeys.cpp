// Keys on the score view: editing help on the note under the pointer, or the
// drum pad that sounds percussion and records hits while the song plays.
#include "editor/Chords.h"
#include "editor/KeyCodes.h"
#include "editor/NoteEdits.h"
#include "midi/ShortMessage.h"
#include "view/Formmain.h"

#include <algorithm>

namespace vako {
namespace {

constexpr uint8_t kPercussionNoteOn = kStatusNoteOn + kPercussionPart; // 0x99
constexpr int kVelocityStep = 6, kMaxKeyVelocity = 120;
constexpr int kPanStep = 16, kMaxPan = 128;

// The change one key of the editing help makes to a note; false for keys that
// change nothing. Notes stay within 0..119, strength and balance within
// 0..127 and 0..128.
bool applyEditingKey(NoteRec& n, int keyCode) {
    switch (keyCode) {
    case '1':
        n.lngLen = 48;
        return true;
    case '2':
        n.lngLen = 24;
        return true;
    case '3':
        n.lngLen = 12;
        return true;
    case '4':
        n.lngLen = 6;
        return true;
    case '5':
        n.lngLen = 3;
        return true;
    case 'W':
        n.lngLen = 36;
        return true;
    case 'E':
        n.lngLen = 18;
        return true;
    case 'R':
        n.lngLen = 9;
        return true;
    case 'S':
        if (!isStorableNote(n.bytNote + 1)) return false;
        n.bytNote += 1;
        return true;
    case 'F':
        if (!isStorableNote(n.bytNote - 1)) return false;
        n.bytNote -= 1;
        return true;
    case 'Q':
        if (n.bytVelocity >= kMaxKeyVelocity) return false;
        n.bytVelocity = static_cast<uint8_t>(n.bytVelocity + kVelocityStep);
        return true;
    case 'Z':
        if (n.bytVelocity == 0) return false;
        n.bytVelocity = static_cast<uint8_t>(std::max(n.bytVelocity - kVelocityStep, 0));
        return true;
    case 'V':
        if (n.bytPan >= kMaxPan) return false;
        n.bytPan = static_cast<uint8_t>(std::min(n.bytPan + kPanStep, kMaxPan));
        return true;
    case 'X':
        if (n.bytPan == 0) return false;
        n.bytPan = static_cast<uint8_t>(std::max(n.bytPan - kPanStep, 0));
        return true;
    default:
        return false;
    }
}

} // namespace

void Formmain::Picture1_KeyDown(int keyCode, int shift, int padKeyCode) {
    // Ctrl combinations belong to the menus.
    if (shift & kCtrlBit) {
        scoreFocusRequested = true;
        return;
    }
    if (編集の助け.checked && Shape3.visible) {
        if (isNoteIndex(song, view.varSelNote)) {
            if (keyCode == kKeySpace) {
                deleteNote(song, view.varSelNote);
                Shape3.visible = false;
            } else {
                applyEditingKey(song.udtNotes[view.varSelNote], keyCode);
            }
        }
        showSelectedNoteInPanel();
        線引き();
    }
    if (打楽器をたたく.checked && keyCode != kKeyShift) {
        // The pad's drums sit at places on the keyboard; the character a key
        // types (which depends on the layout, and with Shift on its symbols)
        // only stands in when the place is not known.
        const int padKey = padKeyCode != 0 ? padKeyCode : keyCode;
        const int note = drumNoteOfKey(padKey) + 30 * shift;
        // With Alt the pad's note would leave the song's range: such keys
        // sound and record nothing.
        if (isStorableNote(note)) {
            midiOutShortMsg(packShortMessage(kPercussionNoteOn, note, kNewNoteVelocity));
            if (!blnStopped() && note >= 1) tapWhilePlaying(note);
        }
    }
    song.bytModified = 1; // any key counts as a change
    scoreFocusRequested = true;
}

} // namespace vako
