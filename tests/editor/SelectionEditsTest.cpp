// Operations on a selection of notes: each is one step that undo and redo
// follow, the notes stay in position order (a note put in before an equal
// one, as a click puts it), a refused move changes nothing, and a step keeps
// only the notes it moved.
#include "editor/SongEditor.h"

#include <gtest/gtest.h>

namespace vako {
namespace {

Note note(int32_t pos, int key, int part = 0, int length = 12) {
    return Note{pos, static_cast<uint8_t>(key), length, static_cast<uint8_t>(part), 120, 64, 0};
}

std::vector<Note> notesOf(const Song& song) {
    return {song.notes.begin() + 1, song.notes.begin() + 1 + song.noteCount()};
}

bool inPositionOrder(const std::vector<Note>& notes) {
    for (size_t i = 1; i < notes.size(); ++i) {
        const Note& a = notes[i - 1];
        const Note& b = notes[i];
        if (a.position > b.position || (a.position == b.position && a.key > b.key)) return false;
    }
    return true;
}

class SelectionEditsTest : public ::testing::Test {
protected:
    SelectionEditsTest() { editor.checkScopes(true); }
    void setNotes(const std::vector<Note>& notes) {
        Song fresh;
        fresh.notes.assign(1, Note{});
        fresh.notes.insert(fresh.notes.end(), notes.begin(), notes.end());
        fresh.twiceNoteCount = static_cast<int32_t>(2 * notes.size());
        editor.replaceSong(fresh);
    }
    // Undo gives `before` back and redo `after`, each once.
    void expectUndoRedo(const std::vector<Note>& before) {
        const std::vector<Note> after = notesOf(song);
        ASSERT_TRUE(editor.undo());
        EXPECT_EQ(notesOf(song), before);
        ASSERT_TRUE(editor.redo());
        EXPECT_EQ(notesOf(song), after);
        EXPECT_EQ(editor.undoCount(), 1u);
    }
    Song song;
    SongEditor editor{song};
};

TEST_F(SelectionEditsTest, MovingInTimePassesOtherNotesAndKeepsTheSelectionOnTheMovedNotes) {
    // Part 0 and part 1 interleaved; the part 0 notes jump past part 1's.
    setNotes({note(3, 60), note(6, 50, 1), note(9, 62), note(12, 52, 1), note(15, 64)});
    const auto before = notesOf(song);
    std::vector<int32_t> selection{1, 3};
    EXPECT_EQ(editor.moveNotes(selection, 12, 0), SongEditor::MoveRefusal::None);
    const auto after = notesOf(song);
    EXPECT_TRUE(inPositionOrder(after));
    ASSERT_EQ(selection.size(), 2u);
    EXPECT_EQ(song.notes[selection[0]], note(15, 60));
    EXPECT_EQ(song.notes[selection[1]], note(21, 62));
    // Of two equal positions the moved note, put in, stands before the higher key.
    EXPECT_EQ(after[2], note(15, 60));
    EXPECT_EQ(after[3], note(15, 64));
    expectUndoRedo(before);
}

TEST_F(SelectionEditsTest, MovingAChordByASemitoneOrAnOctaveKeepsItsOrder) {
    setNotes({note(3, 60), note(3, 64), note(3, 67), note(15, 62)});
    const auto before = notesOf(song);
    std::vector<int32_t> chord{1, 2, 3};
    ASSERT_EQ(editor.moveNotes(chord, 0, 12), SongEditor::MoveRefusal::None);
    EXPECT_EQ(notesOf(song), (std::vector<Note>{note(3, 72), note(3, 76), note(3, 79),
                                                note(15, 62)}));
    EXPECT_EQ(chord, (std::vector<int32_t>{1, 2, 3}));
    expectUndoRedo(before);
}

TEST_F(SelectionEditsTest, AMoveOutOfTheSongIsRefusedWholeAndLeavesNoStep) {
    setNotes({note(3, 118), note(4, 1), note(27, 60)});
    const auto before = notesOf(song);
    std::vector<int32_t> all{1, 2, 3};
    EXPECT_EQ(editor.moveNotes(all, -3, 0), SongEditor::MoveRefusal::BeforeFirstPosition);
    EXPECT_EQ(editor.moveNotes(all, 0, 2), SongEditor::MoveRefusal::KeyOutOfRange);
    EXPECT_EQ(editor.moveNotes(all, 0, -2), SongEditor::MoveRefusal::KeyOutOfRange);
    EXPECT_EQ(notesOf(song), before);
    EXPECT_EQ(all, (std::vector<int32_t>{1, 2, 3}));
    EXPECT_FALSE(editor.canUndo());
    // To the very edges is allowed.
    EXPECT_EQ(editor.moveNotes(all, -2, 1), SongEditor::MoveRefusal::None);
    EXPECT_EQ(song.notes[1], note(1, 119));
}

TEST_F(SelectionEditsTest, InsertedNotesOverEqualNotesAreKeptBesideThemAsTwoClicksWould) {
    setNotes({note(3, 60), note(15, 64)});
    const auto before = notesOf(song);
    const auto placed = editor.insertNotes({note(15, 64), note(3, 60), note(9, 62, 4)});
    EXPECT_EQ(placed, (std::vector<int32_t>{1, 3, 4}));
    EXPECT_EQ(notesOf(song), (std::vector<Note>{note(3, 60), note(3, 60), note(9, 62, 4),
                                                note(15, 64), note(15, 64)}));
    expectUndoRedo(before);
    // What no song holds is refused.
    EXPECT_TRUE(editor.insertNotes({note(0, 60)}).empty());
    EXPECT_TRUE(editor.insertNotes({note(3, 120)}).empty());
    EXPECT_TRUE(editor.insertNotes({note(3, 60, 16)}).empty());
    EXPECT_EQ(editor.undoCount(), 1u);
}

TEST_F(SelectionEditsTest, DuplicateLandsOnTheBarAfterTheLastNoteKeepingItsPlaceInTheBar) {
    // 4/4: bars of 48 steps, lines at 3, 51, 99, 147. A phrase from beat 2 of
    // bar 1 whose last note ends on the line of bar 3 goes to beat 2 of bar 3.
    setNotes({note(15, 60), note(27, 62), note(39, 64, 0, 60), note(60, 70, 1)});
    std::vector<int32_t> selection{1, 2, 3};
    const auto copies = editor.duplicateNotes(selection);
    ASSERT_EQ(copies.size(), 3u);
    EXPECT_EQ(song.notes[copies[0]], note(111, 60));
    EXPECT_EQ(song.notes[copies[1]], note(123, 62));
    EXPECT_EQ(song.notes[copies[2]], note(135, 64, 0, 60));
    EXPECT_EQ(song.noteCount(), 7);
    EXPECT_TRUE(inPositionOrder(notesOf(song)));
}

TEST_F(SelectionEditsTest, DeleteAndTheNotePanelValuesChangeOnlyTheSelectedNotes) {
    setNotes({note(3, 60), note(3, 64), note(3, 67), note(15, 62, 1)});
    const auto before = notesOf(song);
    EXPECT_TRUE(editor.setSelectedStrength({1, 3}, 60));
    EXPECT_TRUE(editor.setSelectedBalance({1, 3}, 0));
    EXPECT_TRUE(editor.setSelectedLength({1, 3}, 48));
    Note changed = note(3, 60, 0, 48);
    changed.velocity = 60;
    changed.pan = 0;
    EXPECT_EQ(song.notes[1], changed);
    EXPECT_EQ(song.notes[2], note(3, 64));
    EXPECT_EQ(editor.undoCount(), 3u);
    EXPECT_FALSE(editor.setSelectedBalance({1, 3}, 129));
    EXPECT_FALSE(editor.setSelectedLength({1, 3}, 0));

    EXPECT_TRUE(editor.deleteSelectedNotes({2, 4}));
    EXPECT_EQ(song.noteCount(), 2);
    EXPECT_EQ(song.notes[2].key, 67);
    for (int k = 0; k < 4; ++k) ASSERT_TRUE(editor.undo());
    EXPECT_EQ(notesOf(song), before);
    // A selection that does not name notes of this song does nothing.
    EXPECT_FALSE(editor.deleteSelectedNotes({3, 2}));
    EXPECT_FALSE(editor.deleteSelectedNotes({5}));
    EXPECT_FALSE(editor.deleteSelectedNotes({}));
}

TEST_F(SelectionEditsTest, AStepKeepsTheNotesItMovedNotTheSongBetweenThem) {
    // Two notes at either end of a song of 20,000 notes of another part.
    std::vector<Note> notes{note(1, 60)};
    for (int32_t k = 0; k < 20000; ++k) notes.push_back(note(2 + k, 40, 1));
    notes.push_back(note(30000, 60));
    setNotes(notes);
    std::vector<int32_t> selection{1, 20002};
    ASSERT_EQ(editor.moveNotes(selection, 1, 0), SongEditor::MoveRefusal::None);
    EXPECT_LT(editor.historyBytes(), 1000u);
    ASSERT_TRUE(editor.undo());
    EXPECT_EQ(notesOf(song), notes);
}

TEST_F(SelectionEditsTest, EveryChangeOfTheSongCountsARevisionAndARefusalNone) {
    setNotes({note(3, 60), note(15, 62)});
    const uint64_t start = editor.revision();
    std::vector<int32_t> selection{1};
    editor.moveNotes(selection, -5, 0);
    EXPECT_EQ(editor.revision(), start);
    editor.moveNotes(selection, 1, 0);
    EXPECT_EQ(editor.revision(), start + 1);
    editor.undo();
    EXPECT_EQ(editor.revision(), start + 2);
}

TEST_F(SelectionEditsTest, AFailedRedrawAfterAMoveTakesTheMoveBackAndItsStep) {
    setNotes({note(3, 60), note(15, 62, 1), note(27, 64)});
    const auto before = notesOf(song);
    editor.deleteNote(2);
    std::vector<int32_t> selection{1, 2};
    ASSERT_EQ(editor.moveNotes(selection, 24, 0), SongEditor::MoveRefusal::None);
    editor.restoreNotesAfterFault();
    EXPECT_EQ(editor.undoCount(), 1u); // the delete stays
    ASSERT_TRUE(editor.undo());
    EXPECT_EQ(notesOf(song), before);
}

} // namespace
} // namespace vako
