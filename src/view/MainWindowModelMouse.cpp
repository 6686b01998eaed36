// Note editing with the mouse on the score view: the hover cursor and hit
// tests, the press that sounds the note (and its chord), the release that
// silences it and places or deletes notes, and the pitch-bend strip.
#include "editor/Chords.h"
#include "editor/NoteEdits.h"
#include "midi/ShortMessage.h"
#include "view/MainWindowModel.h"

#include <algorithm>

namespace vako {
namespace {

const char* const kCannotDelete = markForTranslation("その音符は削除できません。");

// Edges of the editing region in view units: the first and the last step of a
// page lie at x = 95 and 810; a release may reach 815, the first step of the
// next page on the finest grid.
constexpr int32_t kFirstStepX = 95;
constexpr int32_t kLastHoverX = 810;
constexpr int32_t kLastReleaseX = 815;

} // namespace

void MainWindowModel::scoreMouseMove(int button, int, float X, float Y) {
    // 1. The manual pitch bend lasts only while the pointer is on its strip.
    midiOutShortMsg(pitchBendCentre(view.bandParts[0] % kPartCount));
    pitchBendIndicator.setLine(kPitchBendLineX, pitchBendIndicator.y1, kPitchBendLineX,
                               pitchBendIndicator.y2);

    const ScoreCursor c = ComputeCursor(X, Y, song, view);
    if (!notePanel.visible) view.noteUnderCursor = 0;
    if (!positionPanel.visible) view.changeUnderCursor = 0;

    if (c.hasBand() && c.snapX >= kFirstStepX && c.snapX <= kLastHoverX && !panelOpen()) {
        noteCursor.visible = pitchNameLabel.visible = stopped(); // playback hides them
        // The cursor frames the head the note would be drawn with, the row's
        // name stands left of it at the same height.
        const int32_t headX = c.snapX + kHeadMiddleRightOfSnapX;
        const int32_t headY = c.snapY + kHeadMiddleBelowSnapY;
        noteCursor.move(headX - noteCursor.width / 2, headY - noteCursor.height / 2);
        pitchNameLabel.move(c.snapX - 70, headY - pitchNameLabel.height / 2);

        const int32_t base = bandBase(c.staff);
        for (int i = 0; i <= 8; ++i) {
            ledgerLinesAbove[i].setLine(c.snapX - 15, base - 420 - 20 * i, c.snapX + 20,
                                        base - 420 - 20 * i);
            ledgerLinesAbove[i].visible = c.row >= 47 + 2 * i;
            ledgerLinesBelow[i].setLine(c.snapX - 15, base - 180 + 20 * i, c.snapX + 20,
                                        base - 180 + 20 * i);
            ledgerLinesBelow[i].visible = c.row <= 23 - 2 * i;
        }

        // The note under the pointer; of several equal notes the last wins.
        const int part = view.bandParts[c.staff];
        const int64_t pos = c.placedPos(view.page, song.quartersPerBar);
        noteMarker.visible = false;
        if (const int32_t i = pos <= kLastSongPos
                                  ? findNoteOnRow(song, static_cast<int32_t>(pos), c.naturalNote,
                                                  part, true, m_notesOrdered)
                                  : 0;
            i != 0) {
            noteMarker.move(headX - noteMarker.width / 2, c.snapY - 33);
            noteMarker.visible = true;
            scoreFocusRequested = true;
            view.noteUnderCursor = i;
        }

        view.cursorPart = static_cast<uint8_t>(part);
        view.cursorPosition = static_cast<int32_t>(std::min(c.pos, kLastSongPos));

        // The control-change marker under the pointer. Record 1, the start
        // tempo, is the tempo field's and is never picked here.
        changeMarker.visible = false;
        const int32_t rowInBand = c.snapY % 600;
        int wantedType = 0;
        for (int kind : {kTempoChange, kInstrumentChange, kVolumeChange})
            if (rowInBand == changeMarkRowY(kind)) wantedType = kind;
        const int32_t m = std::min<int64_t>(song.changeCount, int64_t(song.changes.size()) - 1);
        for (int32_t j = 2; wantedType != 0 && j <= m; ++j) {
            const ControlChange& cc = song.changes[j];
            if (cc.position != view.cursorPosition || cc.kind != wantedType) continue;
            const bool onBand =
                cc.kind == kTempoChange ? c.staff == 0 : cc.value % 16 == view.cursorPart;
            if (!onBand) continue;
            view.changeUnderCursor = j;
            changeMarker.move(c.snapX, c.snapY);
            changeMarker.visible = true;
        }

        keyboard.pointerOverBand(c.staff, pos);
        if (pos >= 1 && pos <= kLastSongPos) {
            m_pasteTargetKnown = true;
            m_pastePosition = static_cast<int32_t>(pos);
            m_pastePart = static_cast<uint8_t>(part);
        }
        m_cursorDivision = (c.stepInBar - 1) % 12 + 1;
        noteCountReadOut();
        pitchNameLabel.caption = rowName(c.row);
    } else if (!panelOpen()) {
        hideHover();
    }
    if (button & 1) dragSelectionBand(X, Y);
    if (!positionPanel.visible) scoreFocusRequested = true;
}

void MainWindowModel::scoreMouseLeft() {
    // An open panel keeps the note or the change it works on marked.
    if (!panelOpen()) hideHover();
}

void MainWindowModel::hideHover() {
    noteCursor.visible = pitchNameLabel.visible = false;
    noteMarker.visible = changeMarker.visible = false;
    view.noteUnderCursor = view.changeUnderCursor = 0;
    for (auto* lines : {&ledgerLinesAbove, &ledgerLinesBelow})
        for (Control& l : *lines) l.visible = false;
    keyboard.pointerOffStaff();
}

void MainWindowModel::noteCountReadOut() {
    if (m_cursorDivision == 0) return; // shown from the first hover on
    statusLine.caption =
        translated("全音符数は {notes} 　　　　　　　　　　　　　カーソル位置は {step} 区切り目",
                   {{"notes", std::to_string(song.noteCount())},
                    {"step", std::to_string(m_cursorDivision)}});
}

void MainWindowModel::scoreMouseDown(int button, int shift, float X, float Y) {
    m_releaseIsThePanels = false;
    if (panelOpen()) return;
    const ScoreCursor c = ComputeCursor(X, Y, song, view);
    if (button == 1) {
        if (!c.hasBand()) return;
        if (startSelectionGesture(shift, X, Y)) return;
        const int note = noteToEnter(c);
        const int part = view.bandParts[c.staff] % kPartCount;
        // Tones that would leave 0..119 are not sounded: midiP reads 120 and
        // above as note ends.
        const ChordNotes chord = chordNotes(note, view.chordCode, chordInputMenu.checked);
        m_previewKeyCount = 0;
        for (int tone : chord) {
            const auto message =
                midiPMessage(tone, part, kNewNoteVelocity, transposeScrollBar.value);
            if (!message) continue;
            midiOutShortMsg(*message);
            m_previewKeys[m_previewKeyCount++] = static_cast<int>((*message >> 8) & 0x7F);
        }
        previewNote = note;
        previewPart = static_cast<uint8_t>(part);
        previewSounding = true;
    } else if (button == 2) {
        if (noteMarker.visible) {
            notePanel.open(X, Y);
        } else if (Y < kBarNumberRowBottom) {
            barNumbersRightClicked(X); // play from a bar, the loop
        } else if (c.snapX >= kFirstStepX && c.pos <= kLastSongPos && stopped()) {
            // Playback counts on the control changes staying as they were
            // when it started; they are edited while it is stopped.
            positionPanel.open(c);
        }
    }
}

void MainWindowModel::scoreMouseUp(int button, int shift, float X, float Y) {
    // 1. Silence exactly the keys the press sounded.
    if (previewSounding) {
        for (int i = 0; i < m_previewKeyCount; ++i)
            midiOutShortMsg(packShortMessage(static_cast<uint8_t>(kStatusNoteOff + previewPart),
                                             m_previewKeys[i], 0));
        m_previewKeyCount = 0;
        previewSounding = false;
    }
    if (panelOpen()) return;
    // A press on a panel never reaches the staff, nor does its release.
    if (m_releaseIsThePanels) {
        m_releaseIsThePanels = false;
        return;
    }

    // A rubber band, a Shift + click or a drag of the selection places and
    // deletes nothing.
    if (button == 1 && finishSelectionGesture(X, Y)) {
        scoreMouseMove(0, shift, X, Y);
        return;
    }

    // Only an edit the editor makes marks the song changed: a click in the
    // margin changes nothing.
    const ScoreCursor c = ComputeCursor(X, Y, song, view);
    if (button == 1 && c.hasBand()) setSelection({}); // a plain click ends the selection
    const bool editable = c.hasBand() && c.snapX >= kFirstStepX && c.snapX <= kLastReleaseX &&
                          Y > -1180 && Y < -1 && editingMenu.checked && stopped() &&
                          c.placedPos(view.page, song.quartersPerBar) <= kLastSongPos;
    if (editable && button == 1) {
        const int part = view.bandParts[c.staff];
        const auto pos = static_cast<int32_t>(c.placedPos(view.page, song.quartersPerBar));
        if (noteMarker.visible) {
            // The sharp and flat options play no part in deleting.
            const int32_t i =
                findNoteOnRow(song, pos, c.naturalNote, part, false, notesInPositionOrder(song));
            if (i == 0)
                showMessage(translated(kCannotDelete));
            else
                editor.deleteNote(i);
        } else {
            const ChordNotes chord =
                chordNotes(noteToEnter(c), view.chordCode, chordInputMenu.checked);
            editor.placeChord(pos, chord, view.newNoteLength, part);
        }
        showUndoState();
    }
    redrawScore();
    scoreMouseMove(button, shift, X, Y);
}

int MainWindowModel::noteToEnter(const ScoreCursor& c) const {
    // "入力する音": the row's white key, a semitone up with #, down with b.
    if (accidentalOptions[1].checked) return c.naturalNote + 1;
    if (accidentalOptions[2].checked) return c.naturalNote - 1;
    return c.naturalNote;
}

void MainWindowModel::pitchBendMouseMove(int, int, float X, float) {
    // The strip's x is the bend value; the data byte stays within 0..127.
    const int x0 = std::clamp(roundHalfEven(X), 0, kMaxDataByte);
    midiOutShortMsg(packShortMessage(
        static_cast<uint8_t>(kStatusPitchBend + view.bandParts[0] % kPartCount), 0, x0));
    pitchBendIndicator.setLine(x0, pitchBendIndicator.y1, x0, pitchBendIndicator.y2);
}

} // namespace vako
