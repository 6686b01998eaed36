// Selecting notes on the staff and working on them with the window model:
// Shift + drag and Shift + click, the menu "選択", the keys, dragging the
// selection, the note panel on a selected note, and the clipboard in both
// forms between two windows.
#include "ViewTestSupport.h"

#include "editor/KeyCodes.h"
#include "midi/MidiFileWriter.h"
#include "song/NoteLines.h"

#include <gtest/gtest.h>

#include <set>

namespace vako::test {
namespace {

constexpr int kLeft = 37, kUp = 38, kRight = 39, kDown = 40, kDelete = 46;

struct Selecting : ::testing::Test {
    void SetUp() override {
        w.load();
        w.form->useClipboard(clipboard);
    }
    MainWindowModel& f() { return *w.form; }
    void shiftDrag(float x1, float y1, float x2, float y2) {
        f().scoreMouseMove(0, kShiftBit, x1, y1);
        f().scoreMouseDown(1, kShiftBit, x1, y1);
        f().scoreMouseMove(1, kShiftBit, (x1 + x2) / 2, (y1 + y2) / 2);
        f().scoreMouseMove(1, kShiftBit, x2, y2);
        f().scoreMouseUp(1, kShiftBit, x2, y2);
    }
    void shiftClick(float x, float y) { shiftDrag(x, y, x, y); }
    void hover(float x, float y) { f().scoreMouseMove(0, 0, x, y); }
    std::vector<int32_t> selected() { return f().selectedNotes(); }
    // How many heads are drawn with the selection's ring.
    size_t ringsDrawn() const {
        size_t rings = 0;
        for (const DrawOp& op : w.canvas.ofKind(DrawOp::Circle))
            if (op.fillColour == colour::kSelectedNote && op.fillStyle == FillStyle::Solid) ++rings;
        return rings;
    }
    Window w;
    MemoryClipboard clipboard;
};

// Upper band part 0, lower band part 9 (the start-up bands).
TEST_F(Selecting, AShiftDragSelectsTheHeadsInsideItOfOneBandOrOfBoth) {
    w.setNotes({note(3, 60, 12, 0), note(15, 60, 12, 9), note(15, 64, 12, 0), note(27, 72, 12, 0),
                note(200, 60, 12, 0)});
    f().redrawScore();
    // Around the first two notes of the upper band (rows 35 and 37), not the high C.
    shiftDrag(xAt(1), yAt(0, 39), xAt(20), yAt(0, 33));
    EXPECT_EQ(selected(), (std::vector<int32_t>{1, 3}));
    EXPECT_EQ(f().selectionReadOut.caption, "2 個選択中");
    EXPECT_TRUE(f().selectionReadOut.visible);
    EXPECT_FALSE(f().selectionBand.visible);
    EXPECT_EQ(ringsDrawn(), 2u);
    // Nothing was placed, and the song is as it was.
    EXPECT_EQ(w.song.noteCount(), 5);
    EXPECT_FALSE(f().editor.canUndo());

    // A band over both staves takes both shown parts; the note on page 2 stays out.
    f().clearSelectionMenu.click();
    EXPECT_TRUE(selected().empty());
    EXPECT_FALSE(f().selectionReadOut.visible);
    shiftDrag(xAt(1), yAt(0, 60), xAt(140), yAt(1, 20));
    EXPECT_EQ(selected(), (std::vector<int32_t>{1, 2, 3, 4}));
    // A plain click (here: placing a note) ends the selection.
    w.click(xAt(60), yAt(0, 35));
    EXPECT_TRUE(selected().empty());
    EXPECT_EQ(w.song.noteCount(), 6);
}

TEST_F(Selecting, AShiftClickTakesANoteInOrOutAndOnAnotherPageSpansTheTimeBetween) {
    // Part 0 on pages 0, 1 and 2, and one note of part 9 between.
    w.setNotes({note(15, 60, 12, 0), note(100, 62, 12, 0), note(150, 64, 12, 9),
                note(200, 64, 12, 0), note(300, 65, 12, 0), note(400, 67, 12, 0)});
    f().redrawScore();
    shiftClick(xAt(15), yAt(0, 35));
    EXPECT_EQ(selected(), (std::vector<int32_t>{1}));
    shiftClick(xAt(15), yAt(0, 35));
    EXPECT_TRUE(selected().empty());
    shiftClick(xAt(15), yAt(0, 35));
    // Page 2 (positions 289..432), an empty place at position 309.
    f().pageScrollBar.setValue(2);
    shiftClick(xAt(309 - 288), yAt(0, 50));
    EXPECT_EQ(selected(), (std::vector<int32_t>{1, 2, 4, 5}));
    EXPECT_EQ(f().selectionReadOut.caption, "4 個選択中");
}

TEST_F(Selecting, TheMenuSelectsTheBandsPartsAndItsShortcutsTakeNoKeyInUse) {
    w.setNotes({note(3, 60, 12, 0), note(3, 40, 12, 9), note(15, 62, 12, 3)});
    f().selectUpperPartMenu.click();
    EXPECT_EQ(selected(), (std::vector<int32_t>{1}));
    f().selectLowerPartMenu.click();
    EXPECT_EQ(selected(), (std::vector<int32_t>{2}));
    f().selectBothPartsMenu.click();
    EXPECT_EQ(selected(), (std::vector<int32_t>{1, 2}));

    const auto& bar = f().menuBar();
    ASSERT_GE(bar.size(), 3u);
    EXPECT_EQ(bar[1]->caption, "編集");
    EXPECT_EQ(bar[2]->caption, "選択");
    std::multiset<std::string> shortcuts;
    std::function<void(const MenuItem*)> collect = [&](const MenuItem* m) {
        for (const std::string* k : {&m->shortcut, &m->otherShortcut})
            if (!k->empty()) shortcuts.insert(*k);
        for (const MenuItem* child : m->children) collect(child);
    };
    for (const MenuItem* top : bar) collect(top);
    for (const std::string& k : shortcuts) EXPECT_EQ(shortcuts.count(k), 1u) << k;
    for (const MenuItem* item : bar[2]->children) {
        const std::string& k = item->shortcut;
        if (k.empty()) continue;
        // Only combinations with Ctrl (or Esc): the editing help and the drum
        // pad take the plain letters and digits.
        EXPECT_TRUE(k == "Esc" || k.rfind("Ctrl+", 0) == 0) << k;
    }
}

TEST_F(Selecting, ArrowsMoveTheSelectionAsOneStepEachAndARefusedMoveSaysWhy) {
    w.setNotes({note(6, 60, 12, 0), note(6, 64, 12, 0), note(30, 50, 12, 9)});
    f().selectUpperPartMenu.click();
    f().scoreKeyDown(kRight, 0); // the sixteenth grid: 3 steps
    EXPECT_EQ(w.positions(), (std::vector<int32_t>{9, 9, 30}));
    f().scoreKeyDown(kUp, 0);
    f().scoreKeyDown(kUp, kShiftBit);
    EXPECT_EQ(w.keys(), (std::vector<int>{73, 77, 50}));
    f().scoreKeyDown(kDown, kShiftBit);
    f().scoreKeyDown(kLeft, 0);
    EXPECT_EQ(w.keys(), (std::vector<int>{61, 65, 50}));
    EXPECT_EQ(selected().size(), 2u);
    EXPECT_EQ(f().editor.undoCount(), 5u);

    f().scoreKeyDown(kLeft, 0);
    f().scoreKeyDown(kLeft, 0); // position 0 would be before the song
    EXPECT_EQ(w.positions(), (std::vector<int32_t>{3, 3, 30}));
    EXPECT_EQ(f().selectionReadOut.caption, "2 個選択中　曲の最初より前には動かせません");
    EXPECT_EQ(f().editor.undoCount(), 6u);
    for (int k = 0; k < 5; ++k) f().scoreKeyDown(kUp, kShiftBit);
    EXPECT_EQ(f().selectionReadOut.caption, "2 個選択中　音の高さは0から119までです");
    EXPECT_EQ(w.keys(), (std::vector<int>{109, 113, 50}));

    f().scoreKeyDown(kDelete, 0);
    EXPECT_EQ(w.song.noteCount(), 1);
    EXPECT_TRUE(selected().empty());
    f().undo();
    EXPECT_EQ(w.song.noteCount(), 3);
    // Without a selection the arrows and Delete do nothing.
    f().scoreKeyDown(kDelete, 0);
    EXPECT_EQ(w.song.noteCount(), 3);
}

TEST_F(Selecting, CopyAndPasteLandsAtThePointerInItsBandsPartBesideTheNotesThere) {
    // A chord and a note of part 0; part 5 on the lower band holds a note where
    // the paste goes.
    w.setNotes({note(3, 60, 12, 0), note(3, 64, 12, 0), note(15, 67, 6, 0), note(51, 64, 12, 5)});
    f().lowerPartButtons[5].click();
    f().selectUpperPartMenu.click();
    f().copyMenu.click();
    EXPECT_EQ(w.song.noteCount(), 4);
    hover(xAt(51), yAt(1, 20)); // the height does not transpose
    f().pasteMenu.click();
    EXPECT_EQ(w.song.noteCount(), 7);
    std::vector<Note> part5;
    for (int i = 1; i <= w.song.noteCount(); ++i)
        if (w.song.notes[i].part == 5) part5.push_back(w.song.notes[i]);
    EXPECT_EQ(part5, (std::vector<Note>{note(51, 60, 12, 5), note(51, 64, 12, 5),
                                        note(51, 64, 12, 5), note(63, 67, 6, 5)}));
    // The pasted notes are the selection: the arrows move them at once.
    ASSERT_EQ(selected().size(), 3u);
    for (int32_t i : selected()) EXPECT_EQ(w.song.notes[i].part, 5);
    f().scoreKeyDown(kUp, 0);
    EXPECT_EQ(f().editor.undoCount(), 2u);
    f().undo();
    f().undo();
    EXPECT_EQ(w.song.noteCount(), 4);

    // Cut takes them out; a paste without a hover since start-up says where to point.
    f().selectUpperPartMenu.click();
    f().cutMenu.click();
    EXPECT_EQ(w.song.noteCount(), 1);
    Window other;
    other.load();
    other.form->useClipboard(clipboard);
    other.form->pasteMenu.click();
    EXPECT_EQ(other.song.noteCount(), 0);
    EXPECT_EQ(other.form->selectionReadOut.caption,
              "貼り付ける位置に譜面の上でポインタを置いてください");
}

TEST_F(Selecting, AnotherWindowPastesWithStrengthAndBalanceAndAMidiFileOfAnotherProgram) {
    Note loud = note(27, 60, 24, 0);
    loud.velocity = 60;
    loud.pan = 16;
    loud.modulation = 100;
    w.setNotes({loud, note(39, 62, 12, 0)});
    f().selectUpperPartMenu.click();
    f().copyMenu.click();

    Window other;
    other.load();
    other.form->useClipboard(clipboard);
    other.form->scoreMouseMove(0, 0, xAt(6), yAt(0, 35));
    other.form->pasteMenu.click();
    ASSERT_EQ(other.song.noteCount(), 2);
    Note expected = loud;
    expected.position = 6;
    EXPECT_EQ(other.song.notes[1], expected);
    EXPECT_EQ(other.song.notes[2], note(18, 62, 12, 0));

    // Another program put only a MIDI file there: a phrase of two notes.
    Song phrase;
    phrase.notes = {Note{}, note(3, 48, 12, 2), note(15, 50, 12, 2)};
    phrase.twiceNoteCount = 4;
    bool faulted = false;
    clipboard.put({{"audio/midi", buildMidiFileImage(phrase, 0, faulted)}});
    other.form->scoreMouseMove(0, 0, xAt(99), yAt(0, 35));
    other.form->pasteMenu.click();
    ASSERT_EQ(other.song.noteCount(), 4);
    EXPECT_EQ(other.song.notes[3].position, 99);
    EXPECT_EQ(other.song.notes[3].key, 48);
    EXPECT_EQ(other.song.notes[4].position, 111);
    EXPECT_EQ(other.song.notes[4].part, 0);

    // Both forms are put on the clipboard by a copy; the MIDI file holds the notes.
    f().copyMenu.click();
    ASSERT_TRUE(clipboard.get("audio/midi").has_value());
    EXPECT_EQ(clipboard.get("audio/midi")->substr(0, 4), "MThd");
    EXPECT_TRUE(readNoteLines(*clipboard.get(kNoteLinesMimeType)).has_value());
}

TEST_F(Selecting, DraggingASelectedHeadMovesTheSelectionAndAStillClickStaysAClick) {
    w.setNotes({note(3, 60, 12, 0), note(15, 40, 12, 9), note(15, 62, 12, 0)});
    f().selectUpperPartMenu.click();
    // From the head at 15 (row 36) to position 27, row 38: 12 steps, D to F.
    hover(xAt(15), yAt(0, 36));
    f().scoreMouseDown(1, 0, xAt(15), yAt(0, 36));
    f().scoreMouseMove(1, 0, xAt(21), yAt(0, 37));
    f().scoreMouseMove(1, 0, xAt(27), yAt(0, 38));
    f().scoreMouseUp(1, 0, xAt(27), yAt(0, 38));
    EXPECT_EQ(w.positions(), (std::vector<int32_t>{15, 15, 27}));
    EXPECT_EQ(w.keys(), (std::vector<int>{40, 63, 65}));
    EXPECT_EQ(f().editor.undoCount(), 1u);
    EXPECT_EQ(selected().size(), 2u);
    // A press and release on a selected head without moving deletes it, as a click does.
    w.click(xAt(27), yAt(0, 38));
    EXPECT_EQ(w.song.noteCount(), 2);
    EXPECT_TRUE(selected().empty());
}

TEST_F(Selecting, DuplicateAndTheNotePanelWorkOnTheWholeSelection) {
    w.setNotes({note(3, 60, 12, 0), note(15, 62, 12, 0), note(27, 64, 12, 9)});
    f().selectUpperPartMenu.click();
    f().duplicateMenu.click();
    EXPECT_EQ(w.positions(), (std::vector<int32_t>{3, 15, 27, 51, 63}));
    EXPECT_EQ(selected(), (std::vector<int32_t>{4, 5}));

    w.rightPress(xAt(63), yAt(0, 36));
    ASSERT_TRUE(f().notePanel.visible);
    f().notePanel.strengthList.setListIndex(10); // 60
    EXPECT_EQ(w.song.notes[4].velocity, 60);
    EXPECT_EQ(w.song.notes[5].velocity, 60);
    EXPECT_EQ(w.song.notes[1].velocity, 120);
    EXPECT_EQ(selected(), (std::vector<int32_t>{4, 5}));
    // An undo ends the selection: it named the notes of another song.
    f().undo();
    EXPECT_TRUE(selected().empty());
    EXPECT_EQ(w.song.notes[4].velocity, 120);
    // Outside the selection the panel works on its own note.
    f().selectUpperPartMenu.click();
    w.rightPress(xAt(27), yAt(1, 37));
    f().notePanel.balanceList.setListIndex(0);
    EXPECT_EQ(w.song.notes[3].pan, 0);
    EXPECT_EQ(w.song.notes[1].pan, 64);
}

} // namespace
} // namespace vako::test
