// The edit history in the main window: every kind of edit is one step that
// undo and redo follow, the modified mark follows the saved point, fault
// paths take the failed edit off, a playback's hits are one step, and loads
// start or keep the history.
#include "ViewTestSupport.h"
#include "song/SongTestSupport.h"

#include "midi/MidiImport.h"
#include "rangeedit/RangeWindowModel.h"
#include "song/OpenFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace vako::test {
namespace {

using SongState = test::SongContent;
SongState stateOf(const Song& s) {
    return test::contentOf(s);
}

class WindowHistory : public ::testing::Test {
protected:
    void SetUp() override {
        w.load();
        f().useClock(w.clock);
        w.markSaved();
    }
    MainWindowModel& f() { return *w.form; }

    Window w;
};

TEST_F(WindowHistory, EveryKindOfEditIsOneStepThatUndoAndRedoFollow) {
    // A song on disk for the merge.
    w.click(xAt(48), yAt(0, 33));
    w.ui.inputAnswer = "other";
    f().saveAsMenu.click();
    w.clickListed("other.txt"); // opened: the history starts afresh

    RecordingCanvas strip;
    f().showRangeWindow = [&](double, double) {
        RangeWindowModel range(f().editor, strip, f(), f().folders);
        range.load();
        range.setSourcePart(9);
        range.setStrength(5);
        range.applyOperation(RangeWindowModel::kStrength);
    };
    // A key over the note at 24, and the note panel's controls of the note at 12.
    auto key = [&](int code) {
        f().scoreMouseMove(0, 0, xAt(24), yAt(1, 35));
        f().scoreKeyDown(code, 0);
    };
    auto onNotePanel = [&](Control& control, int index) {
        w.rightPress(xAt(12), yAt(1, 37));
        ASSERT_TRUE(f().notePanel.visible);
        index < 0 ? control.click() : control.setListIndex(index);
    };
    // A text typed key by key, then Enter.
    auto typeInto = [](Control& box, const std::string& text) {
        for (size_t n = 1; n <= text.size(); ++n) box.setText(text.substr(0, n));
        box.commit();
    };
    // The position panel at 30 on the change `selected` (0: none), with a tempo.
    auto onPositionPanel = [&](int32_t selected, const std::string& value, Control& button) {
        f().view.changeUnderCursor = selected;
        f().view.cursorPosition = 30;
        f().positionPanel.kindList.listIndex = 0;
        f().positionPanel.valueBox.caption = value;
        button.click();
    };
    auto& panel = f().positionPanel;
    const std::vector<std::pair<std::string, std::function<void()>>> edits = {
        {"click adds a chord",
         [&] {
             f().chordInputMenu.checked = true;
             w.click(xAt(12), yAt(1, 35));
             f().chordInputMenu.checked = false;
         }},
        {"click adds a note", [&] { w.click(xAt(24), yAt(1, 35)); }},
        {"click deletes a note", [&] { w.click(xAt(12), yAt(1, 35)); }},
        {"key S", [&] { key('S'); }},
        {"length key", [&] { key('1'); }},
        {"Space deletes", [&] { key(' '); }},
        {"note panel strength", [&] { onNotePanel(f().notePanel.strengthList, 3); }},
        {"note panel length", [&] { onNotePanel(f().lengthTools[12], -1); }},
        {"note panel deletes", [&] { onNotePanel(f().notePanel.deleteButton, -1); }},
        {"position panel sets", [&] { onPositionPanel(0, "90", panel.setButton); }},
        {"position panel changes", [&] { onPositionPanel(2, "150", panel.setButton); }},
        {"position panel deletes", [&] { onPositionPanel(2, "0", panel.deleteButton); }},
        {"band instrument", [&] { f().bandInstrumentLists[0].setListIndex(40); }},
        {"band volume", [&] { f().bandVolumeScrollBars[0].setValue(2); }},
        {"tempo text", [&] { typeInto(f().tempoBox, "96"); }},
        {"copyright text", [&] { typeInto(f().copyrightBox, "me"); }},
        {"sequence name", [&] { typeInto(f().sequenceNameBox, "tune"); }},
        {"meter", [&] { f().meterThreeMenu.click(); }},
        {"grid", [&] { f().gridEighthsMenu.click(); }},
        {"one instrument for all", [&] { f().allFluteMenu.click(); }},
        {"range window", [&] { f().rangeEditingMenu.click(); }},
        {"reverse", [&] { f().reverseSongMenu.click(); }},
        {"merge",
         [&] {
             f().mergeMenu.click();
             w.clickListed("other.txt");
             f().mergeMenu.click();
         }},
    };
    for (const auto& [name, edit] : edits) {
        SCOPED_TRACE(name);
        const size_t steps = f().editor.undoCount();
        const SongState before = stateOf(w.song);
        edit();
        const SongState after = stateOf(w.song);
        ASSERT_NE(after, before) << "the edit changed nothing";
        EXPECT_EQ(f().editor.undoCount(), steps + 1);
        EXPECT_TRUE(f().undoStepMenu.enabled && f().undoMenu.enabled);
        EXPECT_FALSE(f().redoStepMenu.enabled);
        f().undoStepMenu.click();
        EXPECT_EQ(stateOf(w.song), before);
        EXPECT_FALSE(f().noteMarker.visible) << "the marker goes with what it marked";
        EXPECT_TRUE(f().redoStepMenu.enabled);
        f().redoStepMenu.click();
        EXPECT_EQ(stateOf(w.song), after);
    }

    // The band controls and the fields show what undo gives back.
    while (f().editor.canUndo()) f().undo();
    EXPECT_EQ(f().bandInstrumentLists[0].listIndex, 0);
    EXPECT_EQ(f().bandVolumeScrollBars[0].value, 5);
    EXPECT_EQ(f().tempoBox.caption, "120");
    EXPECT_NE(w.song.copyrightText, "me");
    EXPECT_EQ(f().copyrightBox.caption, w.song.copyrightText);
    EXPECT_EQ(w.song.noteCount(), 1);
    EXPECT_EQ(f().statusLine.caption.rfind("全音符数は 1 ", 0), 0u);
}

TEST_F(WindowHistory, TheSongIsModifiedWhileAwayFromTheSavedPoint) {
    w.click(xAt(12), yAt(1, 35));
    w.ui.inputAnswer = "tune";
    f().saveAsMenu.click();
    EXPECT_FALSE(w.modified());
    w.click(xAt(24), yAt(1, 35));
    EXPECT_TRUE(w.modified());
    f().undo();
    EXPECT_FALSE(w.modified()) << "back at the saved song";
    f().undo();
    EXPECT_TRUE(w.modified());
    f().redo();
    EXPECT_FALSE(w.modified());
    // A new edit after an undo drops the redo steps, and with them the saved point.
    f().undo();
    w.click(xAt(36), yAt(1, 35));
    EXPECT_FALSE(f().editor.canRedo());
    f().undo();
    EXPECT_TRUE(w.modified()) << "the saved song can no longer be reached";
    f().redo();
    f().saveMenu.click(); // the song has its name now
    EXPECT_FALSE(w.modified());
    f().undo();
    f().redo();
    // Back where it was saved: the closing question does not ask.
    EXPECT_EQ(w.positions(), (std::vector<int32_t>{36}));
    EXPECT_TRUE(f().files.queryClose());
    EXPECT_EQ(w.ui.questions.size(), 0u);
}

TEST_F(WindowHistory, AFaultAfterAnEditTakesThatEditOffTheHistory) {
    // The redraw fails on a control change record beyond those stored.
    w.song.changes = {
        ControlChange{}, {0, 120, kTempoChange}, {5, 90, kTempoChange}, {kEndMarkerPos, 0, 0}};
    w.song.changeCount = 2;
    w.click(xAt(12), yAt(1, 35));
    w.click(xAt(24), yAt(1, 35));
    f().showChangesMenu.checked = true;
    w.song.changes.resize(2);
    w.click(xAt(36), yAt(1, 35)); // its redraw fails
    EXPECT_EQ(w.ui.messages.size(), 1u);
    EXPECT_EQ(w.positions(), (std::vector<int32_t>{12, 24}));
    EXPECT_EQ(f().editor.undoCount(), 2u);
    EXPECT_FALSE(f().redoStepMenu.enabled) << "the failed edit is not kept to redo";
    w.song.changes = {
        ControlChange{}, {0, 120, kTempoChange}, {5, 90, kTempoChange}, {kEndMarkerPos, 0, 0}};
    f().undo();
    f().undo();
    EXPECT_EQ(w.song.noteCount(), 0);
    EXPECT_FALSE(f().editor.canUndo());
}

TEST_F(WindowHistory, ATextBoxEditIsOneStepTakenWhenTheTypingIsDone) {
    // Typing "90" over "120": no step and no change of the song until Enter.
    for (const char* typed : {"12", "1", "", "9", "90"}) f().tempoBox.setText(typed);
    EXPECT_EQ(w.song.tempoText, "120");
    EXPECT_FALSE(f().editor.canUndo());
    EXPECT_FALSE(w.modified());
    f().tempoBox.commit();
    EXPECT_EQ(w.song.tempoText, "90");
    EXPECT_EQ(f().editor.undoCount(), 1u);
    EXPECT_TRUE(w.modified());
    f().undo();
    EXPECT_EQ(w.song.tempoText, "120");
    EXPECT_EQ(f().tempoBox.caption, "120");
    EXPECT_FALSE(w.modified());

    // Ctrl+Z while typing takes back the whole word, not a keystroke; a
    // save while typing keeps what the box shows.
    f().sequenceNameBox.setText("my tune");
    EXPECT_TRUE(f().undoStepMenu.enabled);
    f().undoStepMenu.click();
    EXPECT_EQ(f().sequenceNameBox.caption, "曲名");
    EXPECT_TRUE(f().redoStepMenu.enabled);
    f().copyrightBox.setText("me");
    w.ui.inputAnswer = "saved";
    f().saveAsMenu.click();
    EXPECT_EQ(w.song.copyrightText, "me");
    Song back;
    ImportingSongHost quiet;
    ASSERT_EQ(openFile(back, (w.folder / "saved.txt").string(), quiet), OpenStatus::Loaded);
    EXPECT_EQ(back.copyrightText, "me");
}

TEST_F(WindowHistory, MeterAndGridChangesAreUndoneAndFollowTheSavedPoint) {
    f().meterThreeMenu.click();
    w.click(xAt(12), yAt(1, 35));
    f().undo();
    EXPECT_EQ(w.song.quartersPerBar, 3);
    EXPECT_TRUE(w.modified()) << "the meter is still changed";
    f().undo();
    EXPECT_EQ(w.song.quartersPerBar, 4);
    EXPECT_TRUE(f().meterFourMenu.checked) << "the menu shows what undo gave back";
    EXPECT_FALSE(f().meterThreeMenu.checked);
    EXPECT_FALSE(w.modified());
    // Choosing the grid the song has already is no change.
    f().gridSixteenthsMenu.click();
    EXPECT_FALSE(w.modified());
    f().quitMenu.click();
    EXPECT_TRUE(w.ui.questions.empty());
}

TEST_F(WindowHistory, TheHitsOfOnePlaybackAreOneStepAtTheStop) {
    // An instrument change that playback applies on its way is no edit.
    w.setNotes({note(1, 60, 12, 0), note(100, 62, 12, 0)});
    w.song.changes = {ControlChange{},
                      {0, 120, kTempoChange},
                      {2, 40 * 16 + 0, kInstrumentChange},
                      {kEndMarkerPos, 0, 0}};
    w.song.changeCount = 2;
    f().redrawScore();
    const SongState start = stateOf(w.song);
    f().playButton.click();
    w.playThrough(20);
    f().playButton.click();
    EXPECT_EQ(w.song.partPrograms[0], 40);
    EXPECT_FALSE(f().editor.canUndo());
    EXPECT_FALSE(w.modified());

    w.song.partPrograms[0] = 0;
    f().keyboardDrumsMenu.click();
    f().playButton.click();
    w.playThrough(20);
    ASSERT_TRUE(f().tapWhilePlaying(42));
    EXPECT_FALSE(f().undoStepMenu.enabled || f().undoMenu.enabled) << "not while playing";
    f().undo();
    w.playThrough(40);
    ASSERT_TRUE(f().tapWhilePlaying(44));
    w.playThrough(200); // to the end: playback stops by itself
    ASSERT_TRUE(f().stopped());
    EXPECT_EQ(w.song.noteCount(), 4);
    EXPECT_EQ(f().editor.undoCount(), 1u);
    EXPECT_TRUE(w.modified());
    EXPECT_TRUE(f().undoStepMenu.enabled);
    f().undo();
    EXPECT_EQ(stateOf(w.song).notes, start.notes);
    EXPECT_EQ(w.song.partPrograms[0], 40) << "what playback set stays";
    f().redo();
    EXPECT_EQ(w.song.noteCount(), 4);
}

TEST_F(WindowHistory, AFailedLoadKeepsTheHistoryAndAnotherSongStartsAnEmptyOne) {
    w.click(xAt(12), yAt(1, 35));
    w.click(xAt(24), yAt(1, 35));
    const SongState edited = stateOf(w.song);
    std::ofstream(w.folder / "broken.txt") << "vako6\r\n";
    w.ui.answers = {WindowSystem::Answer::No};
    w.clickListed("broken.txt");
    ASSERT_EQ(w.ui.messages.size(), 1u);
    // What the failed load changed is a step of its own; the edits before it
    // are still there to undo.
    if (stateOf(w.song) != edited) {
        f().undo();
        EXPECT_EQ(stateOf(w.song), edited);
    }
    EXPECT_EQ(f().editor.undoCount(), 2u);
    f().undo();
    f().undo();
    EXPECT_EQ(w.song.noteCount(), 0);

    // A failed merge changes nothing, so the history stays as it was.
    f().redo();
    const size_t steps = f().editor.stepCount();
    f().mergeMenu.click();
    w.clickListed("broken.txt");
    f().mergeMenu.click();
    EXPECT_EQ(f().editor.stepCount(), steps);
    EXPECT_TRUE(f().editor.canRedo());

    // A song that opens starts an empty history.
    w.ui.inputAnswer = "good";
    f().saveAsMenu.click();
    w.clickListed("good.txt");
    EXPECT_FALSE(f().editor.canUndo() || f().editor.canRedo());
    EXPECT_FALSE(f().undoStepMenu.enabled || f().redoStepMenu.enabled);
    EXPECT_FALSE(w.modified());
}

} // namespace
} // namespace vako::test
