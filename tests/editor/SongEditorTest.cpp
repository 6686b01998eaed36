// The editing layer: every operation is one step that undo and redo follow,
// works out its own scope (the scope check of the sanitizer build would
// throw otherwise), refuses what it cannot do without changing anything, and
// the song counts as modified while away from its saved point.
#include "editor/SongEditor.h"

#include "../song/SongTestSupport.h"

#include <gtest/gtest.h>

namespace vako {
namespace {

Note note(int32_t pos, int key, int part = 0) {
    return Note{pos, static_cast<uint8_t>(key), 12, static_cast<uint8_t>(part), 120, 64, 0};
}

std::vector<Note> notesOf(const Song& song) {
    return {song.notes.begin() + 1, song.notes.begin() + 1 + song.noteCount()};
}

class SongEditorTest : public ::testing::Test {
protected:
    SongEditorTest() { editor.checkScopes(true); }
    void setNotes(const std::vector<Note>& notes) {
        song.notes.assign(1, Note{});
        song.notes.insert(song.notes.end(), notes.begin(), notes.end());
        song.twiceNoteCount = static_cast<int32_t>(2 * notes.size());
    }
    Song song;
    SongEditor editor{song};
};

using test::contentOf;
using State = test::SongContent;

TEST_F(SongEditorTest, EveryOperationIsOneStepWithinItsOwnScopeThatUndoAndRedoFollow) {
    setNotes({note(3, 60), note(3, 64), note(15, 62), note(51, 65), note(99, 67, 9)});
    ChordNotes major;
    major.notes = {60, 64, 67, 0};
    major.count = 3;
    const std::vector<std::pair<const char*, std::function<void()>>> operations = {
        {"placeChord", [&] { editor.placeChord(15, major, 12, 0); }},
        {"enterKeys",
         [&] {
             editor.enterKeys(3, {{62, 90}, {72, 30}}, 6, 0);
         }},
        {"deleteNote", [&] { editor.deleteNote(2); }},
        {"setNoteLength", [&] { editor.setNoteLength(1, 48); }},
        {"setNoteKey", [&] { editor.setNoteKey(3, 61); }},
        {"setNoteStrength", [&] { editor.setNoteStrength(3, 31); }},
        {"setNoteBalance", [&] { editor.setNoteBalance(3, 128); }},
        {"setChange new",
         [&] {
             editor.setChange(0, {27, 90, kTempoChange});
         }},
        {"setChange",
         [&] {
             editor.setChange(2, {27, 40 * 16 + 3, kInstrumentChange});
         }},
        {"deleteChange", [&] { editor.deleteChange(2); }},
        {"setPartProgram", [&] { editor.setPartProgram(3, 40); }},
        {"setPartVolume", [&] { editor.setPartVolume(3, 2); }},
        {"setTempoText", [&] { editor.setTempoText("96"); }},
        {"setCopyrightText", [&] { editor.setCopyrightText("me"); }},
        {"setSequenceNameText", [&] { editor.setSequenceNameText("tune"); }},
        {"setGrid", [&] { editor.setGrid(5); }},
        {"setMeter", [&] { editor.setMeter(3); }},
        {"setInstrumentForAllParts", [&] { editor.setInstrumentForAllParts(73); }},
        {"reverse", [&] { editor.reverse(); }},
        {"shiftNotes",
         [&] {
             editor.shiftNotes({1, 2, 0}, 5);
         }},
        {"copyNotes",
         [&] {
             editor.copyNotes({1, 1, 0}, 3, 4);
         }},
        {"deleteNotes",
         [&] {
             editor.deleteNotes({2, 2, 0});
         }},
        {"moveSemitone",
         [&] {
             editor.moveSemitone({1, 3, 0}, 4, true);
         }},
        {"setStrength",
         [&] {
             editor.setStrength({1, 3, 0}, 60);
         }},
        {"setBalance",
         [&] {
             editor.setBalance({1, 3, 0}, 0);
         }},
    };
    for (const auto& [name, operation] : operations) {
        SCOPED_TRACE(name);
        const State before = contentOf(song);
        const size_t steps = editor.undoCount();
        ASSERT_NO_THROW(operation());
        const State after = contentOf(song);
        ASSERT_NE(after, before) << "the operation changed nothing";
        EXPECT_EQ(editor.undoCount(), steps + 1);
        EXPECT_TRUE(editor.isModified());
        ASSERT_TRUE(editor.undo());
        EXPECT_EQ(contentOf(song), before);
        ASSERT_TRUE(editor.redo());
        EXPECT_EQ(contentOf(song), after);
    }
}

TEST_F(SongEditorTest, WhatAnOperationCannotDoChangesNothingAndLeavesNoStep) {
    setNotes({note(3, 119), note(20, 60), note(INT32_MAX - 2, 62)});
    const State before = contentOf(song);
    // A semitone up from 119 would be a note end; a shift past the last
    // position a song holds; a note that does not exist.
    EXPECT_FALSE(editor.moveSemitone({1, 1, 0}, 11, true));
    EXPECT_TRUE(editor.lastOperationRefused());
    EXPECT_FALSE(editor.shiftNotes({1, 60000000, 0}, 10));
    EXPECT_TRUE(editor.lastOperationRefused());
    EXPECT_FALSE(editor.setNoteKey(1, 120));
    EXPECT_FALSE(editor.deleteNote(4));
    EXPECT_FALSE(editor.setPartVolume(0, 7));
    EXPECT_EQ(contentOf(song), before);
    EXPECT_EQ(editor.stepCount(), 0u);
    EXPECT_FALSE(editor.isModified());
    // One that finds nothing to change refuses nothing.
    EXPECT_FALSE(editor.setStrength({5, 6, 0}, 0));
    EXPECT_FALSE(editor.lastOperationRefused());
}

TEST_F(SongEditorTest, TheSongIsModifiedWhileAwayFromWhereItWasSaved) {
    editor.setTempoText("90");
    editor.markSaved();
    EXPECT_FALSE(editor.isModified());
    editor.setTempoText("80");
    EXPECT_TRUE(editor.isModified());
    editor.undo();
    EXPECT_FALSE(editor.isModified()) << "back at the saved song";
    editor.undo();
    EXPECT_TRUE(editor.isModified());
    // Setting what is there already is no change.
    editor.redo();
    editor.setTempoText("90");
    EXPECT_FALSE(editor.isModified());
    // The name is no edit of the music.
    editor.setSongName("tune");
    EXPECT_FALSE(editor.isModified());
}

TEST_F(SongEditorTest, BarsAreTheBarsTheStaffDraws) {
    // In 4/4 the bar lines lie at 3, 51, 99 …: bar 1 runs to 50 and holds the
    // steps before its line, bar 2 runs from 51 to 98.
    setNotes({note(1, 60), note(50, 61), note(51, 62), note(98, 63), note(99, 64)});
    EXPECT_EQ(editor.firstPositionOfBar(2), 51);
    EXPECT_EQ(editor.lastPositionOfBar(2), 98);
    editor.deleteNotes({2, 2, 0});
    std::vector<int> keys;
    for (const Note& n : notesOf(song)) keys.push_back(n.key);
    EXPECT_EQ(keys, (std::vector<int>{60, 61, 64}));
    editor.deleteNotes({1, 1, 0});
    EXPECT_EQ(song.noteCount(), 1);
    // In 3/4 bar 2 starts at 39.
    editor.setMeter(3);
    EXPECT_EQ(editor.firstPositionOfBar(2), 39);
}

TEST_F(SongEditorTest, AChordFromAKeyboardIntoALargeSongKeepsOnlyTheChordInTheHistory) {
    std::vector<Note> notes;
    for (int i = 0; i < 200000; ++i) notes.push_back(note(3 + 3 * i, 40 + i % 40));
    setNotes(notes);
    editor.checkScopes(false); // as in the program: the check copies the song
    editor.enterKeys(3 * 100000, {{60, 100}, {64, 90}, {67, 80}}, 12, 0);
    EXPECT_EQ(song.noteCount(), 200003);
    EXPECT_LT(editor.historyBytes(), 2000u);
    editor.placeChord(3 * 150000, ChordNotes{{60, 64, 67, 0}, 3}, 12, 0);
    EXPECT_LT(editor.historyBytes(), 4000u);
}

TEST_F(SongEditorTest, PlaybackRecordsOneStepAndWhatItSetsOnTheWayIsNoEdit) {
    setNotes({note(3, 60)});
    editor.beginPlayback();
    EXPECT_TRUE(editor.playing());
    EXPECT_FALSE(editor.canUndo());
    Song& played = editor.songForPlayback();
    played.partPrograms[0] = 40; // an instrument change the song reached
    played.tempoText = "90";
    played.notes.insert(played.notes.begin() + 1, note(1, 36, 9)); // a hit
    played.twiceNoteCount += 2;
    editor.endPlayback();
    EXPECT_EQ(editor.undoCount(), 1u);
    editor.undo();
    EXPECT_EQ(song.noteCount(), 1);
    EXPECT_EQ(song.partPrograms[0], 40) << "what playback set stays";
    EXPECT_EQ(song.tempoText, "90");
    // A playback without a recording leaves no step.
    editor.beginPlayback();
    editor.endPlayback();
    EXPECT_EQ(editor.stepCount(), 1u);
}

TEST_F(SongEditorTest, AFaultOfTheRedrawPutsTheNotesBackAndTheHistoryLetsTheEditGo) {
    setNotes({note(3, 60)});
    editor.setNoteLength(1, 24);
    editor.placeChord(15, ChordNotes{{62, 0, 0, 0}, 1}, 12, 0);
    editor.restoreNotesAfterFault();
    EXPECT_EQ(song.noteCount(), 1);
    EXPECT_EQ(song.notes[1].length, 24);
    EXPECT_EQ(editor.stepCount(), 1u);
    EXPECT_FALSE(editor.canRedo());
}

} // namespace
} // namespace vako
