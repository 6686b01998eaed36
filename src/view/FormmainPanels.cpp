// The two panels on the score view: the note panel `Picture2` (strength,
// balance, semitone up and down, length, delete, close) for the note a right
// press found, and the position panel `Picture3` that sets, changes and
// deletes tempo, instrument and volume changes at a position.
#include "editor/ControlChanges.h"
#include "editor/NoteEdits.h"
#include "view/Formmain.h"

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

void Formmain::showSelectedNoteInPanel() {
    if (!isNoteIndex(song, view.varSelNote)) return;
    const NoteRec& n = song.udtNotes[view.varSelNote];
    // Chosen without running the lists' handlers: showing a note changes nothing.
    const int strength = 20 - n.bytVelocity / 6;
    const int balance = n.bytPan / 16;
    Combo2.listIndex = strength >= 0 && strength < int(Combo2.items.size()) ? strength : -1;
    Combo3.listIndex = balance >= 0 && balance < int(Combo3.items.size()) ? balance : -1;
}

void Formmain::openNotePanel(float X, float Y) {
    // The hover may have left the marker up while the pointer moved off the
    // page; without a note under it there is nothing to work on.
    if (!isNoteIndex(song, view.varSelNote)) return;
    showSelectedNoteInPanel();
    const int32_t x0 = roundHalfEven(X);
    const int32_t y1 = roundHalfEven(double(Y) + 1200);
    Picture2.move(X + 10 - 400 * (x0 / 500), Y + 20 - 400 * (y1 / 600));
    Picture2.visible = true;
}

void Formmain::Combo2_Click() {
    const int entry = Combo2.listIndex;
    if (entry >= 0 && isNoteIndex(song, view.varSelNote)) {
        song.udtNotes[view.varSelNote].bytVelocity = static_cast<uint8_t>((20 - entry) * 6);
        userChangedSong();
    }
    Picture2.visible = false;
    線引き();
}

void Formmain::Combo3_Click() {
    const int entry = Combo3.listIndex;
    if (entry >= 0 && isNoteIndex(song, view.varSelNote)) {
        song.udtNotes[view.varSelNote].bytPan = static_cast<uint8_t>(entry * 16);
        userChangedSong();
    }
    Picture2.visible = false;
    線引き();
}

void Formmain::Option1_Click(int index) {
    if ((index == 4 || index == 5) && isNoteIndex(song, view.varSelNote)) {
        NoteRec& n = song.udtNotes[view.varSelNote];
        // A note stays within 0..119: 120 and above mark note ends.
        const int moved = n.bytNote + (index == 4 ? 1 : -1);
        if (isStorableNote(moved)) {
            n.bytNote = static_cast<uint8_t>(moved);
            userChangedSong();
        }
    }
    if (index == 4 || index == 5) Option1[index].checked = false;
    Picture2.visible = false;
    線引き();
}

void Formmain::Command7_Click() {
    if (deleteNote(song, view.varSelNote)) userChangedSong();
    Picture2.visible = false;
    線引き();
}

void Formmain::notePanelLength(int index) {
    static constexpr int32_t kPanelLength[] = {9, 18, 36, 3, 6, 12, 24, 48};
    if (index < 10 || index > 17) return;
    if (isNoteIndex(song, view.varSelNote)) {
        song.udtNotes[view.varSelNote].lngLen = kPanelLength[index - 10];
        userChangedSong();
    }
    線引き();
    Picture2.visible = false;
}

// ---------------------------------------------------------------------------
// The position panel

void Formmain::openPositionPanel(const ScoreCursor& c) {
    const int32_t sel = view.lngSelCC;
    const bool onMarker =
        sel >= 1 && sel <= song.varCCCount && static_cast<size_t>(sel) < song.udtCCs.size();
    if (!onMarker) view.lngSelCC = 0;
    Command3.visible = Label11[1].visible = onMarker;
    if (onMarker) {
        const CCRec& cc = song.udtCCs[sel];
        Combo4.listIndex = cc.bytType >= 1 && cc.bytType <= 3 ? cc.bytType - 1 : -1;
        Command5.caption = "変更";
        Text5.caption = std::to_string(shownCCValue(cc));
    } else {
        Command5.caption = "設定";
        Combo4.listIndex = 0;
        Text5.caption = "0";
    }
    m_text5Accepted = Text5.caption;
    Picture3.move(c.snapX + 10 - 400 * (c.snapX / 400),
                  c.snapY + 20 - 400 * ((c.snapY + 1200) / 600));
    view.varCursorPos = static_cast<int32_t>(c.pos); // the press checked that it fits
    Picture3.visible = true;
}

void Formmain::hidePositionPanel() {
    Picture3.visible = false;
    view.lngSelCC = 0;
}

void Formmain::positionPanelWhilePlaying(bool playing) {
    Command5.enabled = Command3.enabled = !playing;
    Label8.caption = playing ? kWaitForTheStop : kChooseAnOperation;
}

void Formmain::Command5_Click() {
    if (!blnStopped()) {
        // The buttons are disabled while playing; a click that slips through
        // keeps the panel and its entry for the stop.
        return;
    }
    if (Text5.caption.empty()) {
        showMessage(msg::kChooseWhatToChange);
    } else {
        const int entry = Combo4.listIndex;
        const CCValue v = encodeCCValue(entry, digitsValue(Text5.caption), view.varCursorPart);
        if (v.message) showMessage(*v.message);
        if (v.value) {
            const CCRec cc{view.varCursorPos, *v.value, static_cast<uint8_t>(entry + 1)};
            const int32_t sel = view.lngSelCC;
            if (sel == 0) {
                insertCC(song, cc);
                userChangedSong();
            } else if (sel >= 2 && sel <= song.varCCCount) {
                ensureCCRoom(song.udtCCs, song.varCCCount + 2);
                song.udtCCs[sel] = cc;
                userChangedSong();
            }
        }
    }
    hidePositionPanel();
    線引き();
}

void Formmain::Command3_Click() {
    if (!blnStopped()) return; // disabled while playing, as Command5
    if (deleteCC(song, view.lngSelCC)) userChangedSong();
    線引き();
    hidePositionPanel();
}

} // namespace vako
