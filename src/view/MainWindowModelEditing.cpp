// The editing commands around the score view: wiring of the editing controls,
// undo, the length box, the instrument of every part, the band controls' text
// boxes and the range editing window.
#include "editor/NoteEdits.h"
#include "midi/ShortMessage.h"
#include "view/MainWindowModel.h"

#include <algorithm>

namespace vako {
namespace {

const char* const kOneTo128 = markForTranslation("1～128の範囲で数字を入れてください。");
constexpr size_t kLengthBoxDigits = 3;

// A whole number 1..128 typed into the input box (blanks around it allowed).
std::optional<int> programNumber(const std::string& text) {
    const auto b = text.find_first_not_of(' ');
    if (b == std::string::npos) return std::nullopt;
    const auto e = text.find_last_not_of(' ');
    const std::string t = text.substr(b, e - b + 1);
    if (t.empty() || t.size() > 3 || digitsOnly(t) != t) return std::nullopt;
    const int n = std::stoi(t);
    if (n < 1 || n > 128) return std::nullopt;
    return n;
}

} // namespace

void MainWindowModel::wireEditing() {
    undoMenu.onClick = [this] { undo(); };
    undoStepMenu.onClick = [this] { undo(); };
    redoStepMenu.onClick = [this] { redo(); };
    rangeEditingMenu.onClick = [this] { openRangeWindow(); };
    const std::pair<MenuItem*, int> instruments[] = {{&allGrandPianoMenu, 0},
                                                     {&allMusicBoxMenu, 10},
                                                     {&allFluteMenu, 73},
                                                     {&allBrightnessMenu, 100}};
    for (auto [menu, program] : instruments)
        menu->onClick = [this, program = program] { unifyInstruments(program); };
    allOtherInstrumentMenu.onClick = [this] { chooseOtherInstrumentForAll(); };

    notePanel.wire();
    positionPanel.wire();

    // Text boxes. The digit-only ones take the digits of whatever arrives,
    // typed or pasted; the toolkit shows the corrected text again. The song
    // takes a box's text when the typing is done: one edit, one step.
    m_tempoAccepted = tempoBox.caption;
    tempoBox.onChange = [this] {
        tempoBox.caption = m_tempoAccepted = digitsOnly(tempoBox.caption);
        showUndoState();
    };
    copyrightBox.onChange = sequenceNameBox.onChange = [this] { showUndoState(); };
    tempoBox.onCommit = [this] {
        if (tempoBox.caption == song.tempoText) return;
        editor.setTempoText(tempoBox.caption); // playback starts at the tempo the text gives
        showUndoState();
    };
    copyrightBox.onCommit = [this] {
        if (copyrightBox.caption == song.copyrightText) return;
        editor.setCopyrightText(copyrightBox.caption);
        showUndoState();
    };
    sequenceNameBox.onCommit = [this] {
        if (sequenceNameBox.caption == song.sequenceNameText) return;
        editor.setSequenceNameText(sequenceNameBox.caption);
        showUndoState();
    };
    m_lengthAccepted = lengthBox.caption;
    lengthBox.onChange = [this] {
        const std::string digits = digitsOnly(lengthBox.caption);
        // One to three digits: a longer entry is refused as a whole, and so is
        // a length of 0 (a note lasts at least one step).
        const bool zero = !digits.empty() && digits.find_first_not_of('0') == std::string::npos;
        if (digits.size() <= kLengthBoxDigits && !zero) m_lengthAccepted = digits;
        lengthBox.caption = m_lengthAccepted;
        if (!m_lengthAccepted.empty())
            view.newNoteLength = static_cast<int16_t>(std::stoi(m_lengthAccepted));
    };
    for (int k = 0; k < 2; ++k) {
        // The volume read-out takes no typing.
        bandVolumeBoxes[k].onChange = [this, k] {
            bandVolumeBoxes[k].caption = std::to_string(bandVolumeScrollBars[k].value);
        };
    }
}

void MainWindowModel::commitTextBoxes() {
    for (Control* box : {&tempoBox, &copyrightBox, &sequenceNameBox}) box->commit();
}

void MainWindowModel::undo() {
    // Typing not yet done is the last edit: it becomes a step, and the undo
    // takes it back whole.
    commitTextBoxes();
    if (!editor.undo()) return;
    showUndoneSong();
}

void MainWindowModel::redo() {
    commitTextBoxes();
    if (!editor.redo()) return;
    showUndoneSong();
}

void MainWindowModel::showUndoneSong() {
    // The note under the pointer may be gone or be another one now.
    noteMarker.visible = false;
    view.noteUnderCursor = 0;
    showSongFields();
    m_tempoAccepted = tempoBox.caption;
    showBandSettings();
    syncMeterAndGridMenus();
    redrawScore(); // the note count read-out too
    showUndoState();
}

void MainWindowModel::showBandSettings() {
    ProgramSetting setting(*this); // shows the parts' settings, changes none
    for (int k = 0; k < 2; ++k) {
        const int part = view.bandParts[k] % kPartCount;
        bandInstrumentLists[k].setListIndex(song.partPrograms[part]);
        bandVolumeScrollBars[k].setValue(song.partVolumes[part]);
        bandVolumeBoxes[k].caption = std::to_string(bandVolumeScrollBars[k].value);
    }
}

bool MainWindowModel::textBoxesTyping() const {
    return tempoBox.caption != song.tempoText || copyrightBox.caption != song.copyrightText ||
           sequenceNameBox.caption != song.sequenceNameText;
}

void MainWindowModel::showUndoState() {
    // Not while the song plays: its recording becomes a step at the stop.
    // Typing not yet handed to the song can be taken back too.
    const bool playing = editor.playing();
    undoMenu.enabled = undoStepMenu.enabled = !playing && (editor.canUndo() || textBoxesTyping());
    redoStepMenu.enabled = !playing && editor.canRedo();
}

void MainWindowModel::showNewSong() {
    m_notesOrdered = notesInPositionOrder(song);
    showSongFields();
    m_tempoAccepted = tempoBox.caption;
    showBandSettings();
    syncMeterAndGridMenus();
    showUndoState();
}

void MainWindowModel::unifyInstruments(int program) {
    editor.setInstrumentForAllParts(program);
    for (int part = 0; part < kPartCount; ++part)
        if (part != kPercussionPart) midiOutShortMsg(programChange(part, program));
    for (int k = 0; k < 2; ++k) {
        if (view.bandParts[k] == kPercussionPart) continue;
        ProgramSetting setting(*this); // shows the song's new program
        bandInstrumentLists[k].setListIndex(program);
    }
    showUndoState();
}

void MainWindowModel::chooseOtherInstrumentForAll() {
    const auto n = programNumber(inputBox(translated(kOneTo128), "", ""));
    if (!n) {
        showMessage(translated(kOneTo128));
        return;
    }
    unifyInstruments(*n - 1);
}

void MainWindowModel::openRangeWindow() {
    commitTextBoxes();
    // Each of the window's operations is a step of its own (RangeWindowModel).
    if (showRangeWindow) showRangeWindow(left, top);
    showUndoState();
    redrawScore();
}

} // namespace vako
