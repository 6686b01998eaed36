// The editing commands around the score view: wiring of the editing controls,
// undo, the length box, the instrument of every part, the band controls' text
// boxes and the range editing window.
#include "editor/NoteEdits.h"
#include "midi/ShortMessage.h"
#include "view/MainWindowModel.h"

#include <algorithm>

namespace vako {
namespace {

const std::string kOneTo128 = "1～128の範囲で数字を入れてください。";
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
    const std::pair<MenuItem*, uint8_t> instruments[] = {{&allGrandPianoMenu, 0},
                                                         {&allMusicBoxMenu, 10},
                                                         {&allFluteMenu, 73},
                                                         {&allBrightnessMenu, 100}};
    for (auto [menu, program] : instruments) {
        menu->onClick = [this, program = program] {
            uint8_t p = program;
            unifyInstruments(p);
        };
    }
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
        // Playback starts at the tempo the text gives, record 1.
        recordEdit(EditScope{RecordSpan::none(), RecordSpan::one(1)},
                   [&] { song.tempoText = tempoBox.caption; });
    };
    copyrightBox.onCommit = [this] {
        if (copyrightBox.caption == song.copyrightText) return;
        recordEdit(EditScope::settingsOnly(), [&] { song.copyrightText = copyrightBox.caption; });
    };
    sequenceNameBox.onCommit = [this] {
        if (sequenceNameBox.caption == song.sequenceNameText) return;
        recordEdit(EditScope::settingsOnly(),
                   [&] { song.sequenceNameText = sequenceNameBox.caption; });
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
    if (!history.undo(song)) return;
    showUndoneSong();
}

void MainWindowModel::redo() {
    commitTextBoxes();
    if (!history.redo(song)) return;
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
        const int part = song.bandParts[k] % kPartCount;
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
    const bool open = history.inEdit(); // a playback's step waits for the stop
    // Typing not yet handed to the song can be taken back too.
    undoMenu.enabled = undoStepMenu.enabled = !open && (history.canUndo() || textBoxesTyping());
    redoStepMenu.enabled = !open && history.canRedo();
}

void MainWindowModel::dropFailedEdit() {
    history.dropFailedEdit(song);
    showUndoState();
}

void MainWindowModel::unifyInstruments(uint8_t& p) {
    recordEdit(EditScope{RecordSpan::none(), RecordSpan::all()}, [&] {
        const int32_t m = std::min<int64_t>(song.changeCount, int64_t(song.changes.size()) - 1);
        for (int32_t j = 1; j <= m; ++j) {
            ControlChange& cc = song.changes[j];
            if (cc.kind == kInstrumentChange && cc.value % 16 != kPercussionPart)
                cc.value = p * 16 + cc.value % 16;
        }
        for (int i = 0; i < kPartCount; ++i) {
            if (i == kPercussionPart) continue;
            song.partPrograms[i] = p;
            midiOutShortMsg(programChange(i, p));
        }
        for (int k = 0; k < 2; ++k)
            if (song.bandParts[k] != kPercussionPart) bandInstrumentLists[k].setListIndex(p);
    });
}

void MainWindowModel::chooseOtherInstrumentForAll() {
    const auto n = programNumber(inputBox(kOneTo128, "", ""));
    if (!n) {
        showMessage(kOneTo128);
        return;
    }
    uint8_t p = static_cast<uint8_t>(*n - 1);
    unifyInstruments(p);
}

void MainWindowModel::openRangeWindow() {
    commitTextBoxes();
    // Each of the window's operations is a step of its own (RangeWindowModel).
    if (showRangeWindow) showRangeWindow(left, top);
    showUndoState();
    redrawScore();
}

} // namespace vako
