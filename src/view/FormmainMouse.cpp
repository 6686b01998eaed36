// Note editing with the mouse on the score view: the hover cursor and hit
// tests, the press that sounds the note (and its chord), the release that
// silences it and places or deletes notes, and the pitch-bend strip.
#include "editor/Chords.h"
#include "editor/NoteEdits.h"
#include "midi/ShortMessage.h"
#include "view/Formmain.h"

#include <algorithm>

namespace vako {
namespace {

const std::string kCannotDelete = "その音符は削除できません。";

// Edges of the editing region in view units: the first and the last step of a
// page lie at x = 95 and 810; a release may reach 815, the first step of the
// next page on the finest grid.
constexpr int32_t kFirstStepX = 95;
constexpr int32_t kLastHoverX = 810;
constexpr int32_t kLastReleaseX = 815;

// The band's base line: 0 for the lower band, -600 for the upper.
int32_t bandBase(int staff) {
    return staff == 0 ? -600 : 0;
}

} // namespace

void Formmain::Picture1_MouseMove(int, int, float X, float Y) {
    // 1. The manual pitch bend lasts only while the pointer is on its strip.
    midiOutShortMsg(pitchBendCentre(song.bytSelPart[0] % kPartCount));
    Line4.setLine(kPitchBendLineX, Line4.y1, kPitchBendLineX, Line4.y2);

    const ScoreCursor c = ComputeCursor(X, Y, song, view);
    if (!Picture2.visible) view.varSelNote = 0;
    if (!Picture3.visible) view.lngSelCC = 0;

    if (c.hasBand() && c.snapX >= kFirstStepX && c.snapX <= kLastHoverX && !panelOpen()) {
        Shape6.move(c.snapX - 4, c.snapY);
        Label7.move(c.snapX - 70, c.snapY - 10);

        const int32_t base = bandBase(c.staff);
        for (int i = 0; i <= 8; ++i) {
            Line2[i].setLine(c.snapX - 15, base - 420 - 20 * i, c.snapX + 20, base - 420 - 20 * i);
            Line2[i].visible = c.row >= 47 + 2 * i;
            Line3[i].setLine(c.snapX - 15, base - 180 + 20 * i, c.snapX + 20, base - 180 + 20 * i);
            Line3[i].visible = c.row <= 23 - 2 * i;
        }

        // The note under the pointer; of several equal notes the last wins.
        const int part = song.bytSelPart[c.staff];
        const int64_t pos = c.placedPos(view.intPage, song.bytQuartersPerBar);
        Shape3.visible = false;
        if (const int32_t i = pos <= kLastSongPos
                                  ? findNoteOnRow(song, static_cast<int32_t>(pos), c.naturalNote,
                                                  part, true, m_notesOrdered)
                                  : 0;
            i != 0) {
            Shape3.move(c.snapX - 4, c.snapY - 33);
            Shape3.visible = true;
            scoreFocusRequested = true;
            view.varSelNote = i;
        }

        view.varCursorPart = static_cast<uint8_t>(part);
        view.varCursorPos = static_cast<int32_t>(std::min(c.pos, kLastSongPos));

        // The control-change marker under the pointer. Record 1, the start
        // tempo, is the tempo field's and is never picked here.
        Shape4.visible = false;
        const int32_t rowInBand = c.snapY % 600;
        int wantedType = 0;
        if (rowInBand == -27) wantedType = kTempoChange;
        if (rowInBand == -57) wantedType = kInstrumentChange;
        if (rowInBand == -87) wantedType = kVolumeChange;
        const int32_t m = std::min<int64_t>(song.varCCCount, int64_t(song.udtCCs.size()) - 1);
        for (int32_t j = 2; wantedType != 0 && j <= m; ++j) {
            const CCRec& cc = song.udtCCs[j];
            if (cc.lngPos != view.varCursorPos || cc.bytType != wantedType) continue;
            const bool onBand =
                cc.bytType == kTempoChange ? c.staff == 0 : cc.lngValue % 16 == view.varCursorPart;
            if (!onBand) continue;
            view.lngSelCC = j;
            Shape4.move(c.snapX, c.snapY);
            Shape4.visible = true;
        }

        m_cursorDivision = (c.stepInBar - 1) % 12 + 1;
        noteCountReadOut();
        Label7.caption = rowName(c.row);
    }
    if (!Picture3.visible) scoreFocusRequested = true;
}

void Formmain::noteCountReadOut() {
    if (m_cursorDivision == 0) return; // shown from the first hover on
    Label1.caption = "全音符数は " + std::to_string(song.noteCount()) +
                     " 　　　　　　　　　　　　　カーソル位置は " +
                     std::to_string(m_cursorDivision) + " 区切り目";
}

void Formmain::Picture1_MouseDown(int button, int, float X, float Y) {
    if (panelOpen()) return;
    const ScoreCursor c = ComputeCursor(X, Y, song, view);
    if (button == 1) {
        if (!c.hasBand()) return;
        int note = c.naturalNote;
        if (Option1[2].checked) note -= 1;
        if (Option1[1].checked) note += 1;
        const int part = song.bytSelPart[c.staff] % kPartCount;
        // Tones that would leave 0..119 are not sounded: midiP reads 120 and
        // above as note ends.
        const ChordNotes chord = chordNotes(note, view.lngChordCode, 和音入力有効.checked);
        m_previewKeyCount = 0;
        for (int tone : chord) {
            const auto message = midiPMessage(tone, part, kNewNoteVelocity, VScroll3.value);
            if (!message) continue;
            midiOutShortMsg(*message);
            m_previewKeys[m_previewKeyCount++] = static_cast<int>((*message >> 8) & 0x7F);
        }
        lngPreviewNote = note;
        varPreviewPart = static_cast<uint8_t>(part);
        intPreviewOn = true;
    } else if (button == 2) {
        if (Shape3.visible) {
            openNotePanel(X, Y);
        } else if (c.snapX >= kFirstStepX && c.pos <= kLastSongPos && blnStopped()) {
            // Playback counts on the control changes staying as they were
            // when it started; they are edited while it is stopped.
            openPositionPanel(c);
        }
    }
}

void Formmain::Picture1_MouseUp(int button, int shift, float X, float Y) {
    // 1. Silence exactly the keys the press sounded.
    if (intPreviewOn) {
        for (int i = 0; i < m_previewKeyCount; ++i)
            midiOutShortMsg(packShortMessage(static_cast<uint8_t>(kStatusNoteOff + varPreviewPart),
                                             m_previewKeys[i], 0));
        m_previewKeyCount = 0;
        intPreviewOn = false;
    }
    if (panelOpen()) return;

    // 3. Every release over the staff takes the undo copy.
    song.takeUndoCopy();
    やり直し.enabled = true;
    song.bytModified = 1;

    const ScoreCursor c = ComputeCursor(X, Y, song, view);
    const bool editable = c.hasBand() && c.snapX >= kFirstStepX && c.snapX <= kLastReleaseX &&
                          Y > -1180 && Y < -1 && 編集中.checked && blnStopped() &&
                          c.placedPos(view.intPage, song.bytQuartersPerBar) <= kLastSongPos;
    if (editable && button == 1) {
        const int part = song.bytSelPart[c.staff];
        const auto pos = static_cast<int32_t>(c.placedPos(view.intPage, song.bytQuartersPerBar));
        if (Shape3.visible) {
            // The sharp and flat options play no part in deleting.
            const int32_t i =
                findNoteOnRow(song, pos, c.naturalNote, part, false, notesInPositionOrder(song));
            if (i == 0)
                showMessage(kCannotDelete);
            else
                deleteNote(song, i);
        } else {
            int note = c.naturalNote;
            if (Option1[2].checked) note -= 1;
            if (Option1[1].checked) note += 1;
            insertChord(song, pos, chordNotes(note, view.lngChordCode, 和音入力有効.checked),
                        view.intNoteLen, part);
        }
    }
    線引き();
    Picture1_MouseMove(button, shift, X, Y);
}

void Formmain::Picture4_MouseMove(int, int, float X, float) {
    // The strip's x is the bend value; the data byte stays within 0..127.
    const int x0 = std::clamp(roundHalfEven(X), 0, kMaxDataByte);
    midiOutShortMsg(packShortMessage(
        static_cast<uint8_t>(kStatusPitchBend + song.bytSelPart[0] % kPartCount), 0, x0));
    Line4.setLine(x0, Line4.y1, x0, Line4.y2);
}

} // namespace vako
