#include "editor/EditHistory.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

namespace vako {
namespace {

Note note(int32_t pos, uint8_t key) {
    return Note{pos, key, 12, 0, 120, 64, 0};
}

Song songOf(int count) {
    Song song;
    song.notes.assign(1, Note{});
    for (int i = 0; i < count; ++i)
        song.notes.push_back(note(1 + 12 * i, static_cast<uint8_t>(60 + i % 12)));
    song.twiceNoteCount = 2 * count;
    song.notes.resize(song.notes.size() + 10);
    return song;
}

// A note inserted at `index` as the editor inserts one: later notes move up.
void insertNote(Song& song, int32_t index, const Note& n) {
    song.notes.insert(song.notes.begin() + index, n);
    song.twiceNoteCount += 2;
}

// The notes 0..N as the editor's fault path keeps them.
struct NotesCopy {
    std::vector<Note> notes;
    int32_t twiceNoteCount = 0;
};
NotesCopy copyOf(const Song& song) {
    return {{song.notes.begin(), song.notes.begin() + 1 + song.noteCount()}, song.twiceNoteCount};
}
void restore(Song& song, const NotesCopy& copy) {
    song.notes = copy.notes;
    song.twiceNoteCount = copy.twiceNoteCount;
}

std::vector<Note> notesOf(const Song& song) {
    return {song.notes.begin() + 1, song.notes.begin() + 1 + song.noteCount()};
}

TEST(EditHistoryTest, AnEditThatChangesNothingAddsNoStep) {
    Song song = songOf(3);
    EditHistory history;
    EXPECT_FALSE(history.record(song, EditScope::everything(), [] {}));
    EXPECT_FALSE(history.record(song, EditScope::notesIn(RecordSpan::one(2)),
                                [&] { song.notes[2].velocity = song.notes[2].velocity; }));
    EXPECT_EQ(history.stepCount(), 0u);
    EXPECT_FALSE(history.isAwayFromSaved());
}

TEST(EditHistoryTest, AStepKeepsOnlyWhatChangedEvenWhenTheScopeIsTheWholeSong) {
    Song song = songOf(100000);
    EditHistory history;
    history.record(song, EditScope::everything(), [&] { song.notes[5000].key = 30; });
    EXPECT_LT(history.bytes(), 1000u);
    history.record(song, EditScope::everything(), [&] { insertNote(song, 7, note(70, 40)); });
    EXPECT_LT(history.bytes(), 2000u);
}

TEST(EditHistoryTest, TwinNotesSideBySideComeBackInTheirPlaces) {
    // A note inserted beside an equal one, and one of two equal notes deleted:
    // what the records share at the head and the tail must not overlap.
    for (const EditScope& scope :
         {EditScope::everything(), EditScope::notesIn(RecordSpan::range(2, 4))}) {
        Song song = songOf(4);
        song.notes[3] = song.notes[2];
        const auto start = notesOf(song);
        EditHistory history;
        history.record(song, scope, [&] { insertNote(song, 3, song.notes[2]); });
        const auto three = notesOf(song);
        history.record(song, scope, [&] {
            song.notes.erase(song.notes.begin() + 2);
            song.twiceNoteCount -= 2;
        });
        history.undo(song);
        EXPECT_EQ(notesOf(song), three);
        history.undo(song);
        EXPECT_EQ(notesOf(song), start);
        EXPECT_EQ(song.twiceNoteCount, 8);
    }
}

TEST(EditHistoryTest, TheOldestStepsGoFirstBeyondTheStepBound) {
    Song song = songOf(3);
    EditHistory history(4, EditHistory::kMaxBytes);
    for (int i = 0; i < 6; ++i)
        history.record(song, EditScope::notesIn(RecordSpan::one(1)),
                       [&] { song.notes[1].key = static_cast<uint8_t>(i); });
    EXPECT_EQ(history.stepCount(), 4u);
    while (history.undo(song)) {}
    EXPECT_EQ(song.notes[1].key, 1); // the steps to 0 and 1 went
    // The saved point (the open) went with them: the song stays modified.
    EXPECT_TRUE(history.isAwayFromSaved());
}

TEST(EditHistoryTest, TheOldestStepsGoFirstBeyondTheByteBound) {
    Song song = songOf(2000);
    EditHistory history(EditHistory::kMaxSteps, 64 * 1024);
    // Each step rewrites 1,500 notes: about 48 kB.
    for (int round = 0; round < 5; ++round)
        history.record(song, EditScope::everything(), [&] {
            for (int i = 1; i <= 1500; ++i) song.notes[i].velocity = static_cast<uint8_t>(round);
        });
    EXPECT_LE(history.bytes(), 64u * 1024);
    EXPECT_EQ(history.stepCount(), 1u);
    history.undo(song);
    EXPECT_EQ(song.notes[1].velocity, 3);
    // A step larger than the whole bound is not kept at all.
    EditHistory tiny(EditHistory::kMaxSteps, 100);
    tiny.record(song, EditScope::everything(), [&] { song.notes[1].key = 1; });
    EXPECT_FALSE(tiny.canUndo());
}

TEST(EditHistoryTest, AFailedEditIsPutBackAndLeavesNoStep) {
    Song song = songOf(4);
    const Song start = song;
    EditHistory history;
    EXPECT_FALSE(history.record(song, EditScope::notesIn(RecordSpan::insertAt(2)), [&] {
        insertNote(song, 2, note(3, 3));
        song.tempoText = "90";
        return false;
    }));
    EXPECT_EQ(notesOf(song), notesOf(start));
    EXPECT_EQ(song.tempoText, start.tempoText);
    EXPECT_THROW(history.record(song, EditScope::everything(),
                                [&] {
                                    insertNote(song, 2, note(3, 3));
                                    throw std::runtime_error("no room");
                                }),
                 std::runtime_error);
    EXPECT_EQ(notesOf(song), notesOf(start));
    EXPECT_FALSE(history.canUndo());
}

TEST(EditHistoryTest, ASongClaimingMoreNotesThanItHoldsIsPutBackAsItWas) {
    Song song = songOf(4);
    song.notes.resize(5);
    song.twiceNoteCount = 20; // a file's count beyond the notes it gave
    const Song start = song;
    EditHistory history;
    history.record(song, EditScope::notesIn(RecordSpan::insertAt(2)), [&] {
        insertNote(song, 2, note(3, 3));
        return false;
    });
    EXPECT_EQ(song.twiceNoteCount, 20);
    EXPECT_EQ(song.notes, start.notes);
}

TEST(EditHistoryTest, AFaultAfterTheEditDropsItsStepOnly) {
    Song song = songOf(4);
    EditHistory history;
    NotesCopy copy;
    history.record(song, EditScope::notesIn(RecordSpan::one(1)), [&] { song.notes[1].key = 1; });
    const auto kept = notesOf(song);
    copy = copyOf(song);
    history.record(song, EditScope::notesIn(RecordSpan::insertAt(2)),
                   [&] { insertNote(song, 2, note(3, 3)); });
    // The redraw failed: the fault path puts the undo copy back.
    EXPECT_TRUE(history.dropFailedEdit(song, copy.notes, copy.twiceNoteCount));
    restore(song, copy);
    EXPECT_EQ(history.stepCount(), 1u);
    EXPECT_FALSE(history.canRedo());
    // A second fault finds the copy equal to the song: nothing goes.
    EXPECT_TRUE(history.dropFailedEdit(song, copy.notes, copy.twiceNoteCount));
    EXPECT_EQ(history.stepCount(), 1u);
    EXPECT_EQ(notesOf(song), kept);
    history.undo(song);
    EXPECT_EQ(notesOf(song), notesOf(songOf(4)));
}

TEST(EditHistoryTest, AFaultThatRestoresAnOlderCopyEmptiesTheHistory) {
    // Key edits take no undo copy: the copy is older than the last step.
    Song song = songOf(4);
    EditHistory history;
    NotesCopy copy = copyOf(song);
    history.record(song, EditScope::notesIn(RecordSpan::one(1)), [&] { song.notes[1].key = 1; });
    history.record(song, EditScope::notesIn(RecordSpan::one(3)), [&] { song.notes[3].key = 3; });
    history.markSaved();
    EXPECT_FALSE(history.dropFailedEdit(song, copy.notes, copy.twiceNoteCount));
    restore(song, copy);
    EXPECT_FALSE(history.canUndo());
    EXPECT_TRUE(history.isAwayFromSaved());

    // After an undo the last step is no longer the failed edit: the same.
    song = songOf(4);
    history.clear();
    history.record(song, EditScope::notesIn(RecordSpan::one(1)), [&] { song.notes[1].key = 1; });
    copy = copyOf(song);
    history.record(song, EditScope::notesIn(RecordSpan::one(2)), [&] { song.notes[2].key = 2; });
    history.undo(song);
    song.notes[4].key = 99; // a change the history never saw
    EXPECT_FALSE(history.dropFailedEdit(song, copy.notes, copy.twiceNoteCount));
    EXPECT_FALSE(history.canRedo());
}

TEST(EditHistoryTest, AnEditOutsideItsScopeEmptiesTheHistoryRatherThanUndoWrongly) {
    Song song = songOf(4);
    EditHistory history;
    history.checkScopes(false); // as in the program
    history.record(song, EditScope::notesIn(RecordSpan::one(1)), [&] { song.notes[1].key = 1; });
    EXPECT_FALSE(
        history.record(song, EditScope::settingsOnly(), [&] { insertNote(song, 1, note(1, 1)); }));
    EXPECT_FALSE(history.canUndo());
    EXPECT_TRUE(history.isAwayFromSaved());
}

TEST(EditHistoryTest, AWriteOutsideTheScopeIsCaughtNamingTheOperationEvenWhenTheCountStays) {
    EditHistory history;
    history.checkScopes(true);
    auto violation = [&](Song& song, const char* operation, const EditScope& scope,
                         const std::function<void()>& edit) -> std::string {
        try {
            history.record(song, operation, scope, edit);
        } catch (const EditScopeViolation& e) {
            return e.what();
        }
        return "";
    };
    // Scope "note 1", the edit changes notes 1 and 3.
    Song song = songOf(4);
    EXPECT_EQ(violation(song, "changeNote", EditScope::notesIn(RecordSpan::one(1)),
                        [&] { song.notes[1].key = 1, song.notes[3].key = 3; }),
              "changeNote changed a note outside its scope");
    EXPECT_EQ(song.notes[1].key, 60) << "what the step watched is put back";
    // Settings only, the edit moves a note.
    EXPECT_EQ(violation(song, "setProgram", EditScope::settingsOnly(),
                        [&] { song.notes[2].position += 1; }),
              "setProgram changed a note outside its scope");
    // An insert, and a change behind it that moved along with it.
    song = songOf(4);
    EXPECT_EQ(violation(song, "placeNote", EditScope::notesIn(RecordSpan::insertAt(2)),
                        [&] {
                            insertNote(song, 2, note(5, 40));
                            song.notes[4].velocity = 1;
                        }),
              "placeNote changed a note outside its scope");
    // The changes are checked as the notes are; a write within the scope is none.
    EXPECT_EQ(violation(song, "setChange", EditScope::changesIn(RecordSpan::none()),
                        [&] { song.changes[1].value = 90; }),
              "setChange changed a control change outside its scope");
    EXPECT_EQ(violation(song, "placeNote", EditScope::notesIn(RecordSpan::insertAt(2)),
                        [&] { insertNote(song, 2, note(5, 40)); }),
              "");
    EXPECT_EQ(history.stepCount(), 1u);
}

TEST(EditHistoryTest, AnEditInsideAnOpenStepJoinsItAndIsPutBackWhenItFails) {
    Song song = songOf(3);
    EditHistory history;
    history.begin(song, EditScope::everything());
    EXPECT_FALSE(history.record(song, EditScope::notesIn(RecordSpan::one(2)), [&] {
        song.notes[2].key = 99;
        return false;
    }));
    EXPECT_EQ(song.notes[2].key, 61) << "the failed inner edit is put back";
    EXPECT_THROW(history.record(song, EditScope::notesIn(RecordSpan::one(1)),
                                [&] {
                                    song.notes[1].key = 98;
                                    throw std::runtime_error("fault");
                                }),
                 std::runtime_error);
    EXPECT_EQ(song.notes[1].key, 60);
    history.record(song, EditScope::notesIn(RecordSpan::one(3)), [&] { song.notes[3].key = 97; });
    EXPECT_TRUE(history.commit(song));
    EXPECT_EQ(history.stepCount(), 1u) << "one step: the open one";
    history.undo(song);
    EXPECT_EQ(song.notes[3].key, 62);
}

TEST(EditHistoryTest, TheHitsOfOnePlaybackAndTheEditsBetweenThemAreOneStep) {
    Song song = songOf(3);
    const auto start = notesOf(song);
    EditHistory history;
    history.record(song, EditScope::settingsOnly(), [&] { song.partPrograms[0] = 5; });
    history.begin(song, EditScope::everything()); // playback starts
    insertNote(song, 1, note(1, 36));
    EXPECT_FALSE(history.undo(song)); // not while the step is open
    history.begin(song, EditScope::everything());
    history.record(song, EditScope::settingsOnly(), [&] { song.partPrograms[1] = 7; });
    insertNote(song, 4, note(30, 38));
    EXPECT_TRUE(history.commit(song)); // playback stops
    EXPECT_EQ(history.stepCount(), 2u);
    history.undo(song);
    EXPECT_EQ(notesOf(song), start);
    EXPECT_EQ(song.partPrograms[1], 0);
    EXPECT_EQ(song.partPrograms[0], 5);
    history.redo(song);
    EXPECT_EQ(song.noteCount(), 5);
    EXPECT_EQ(song.partPrograms[1], 7);

    // A playback without hits leaves no step.
    history.begin(song, EditScope::everything());
    EXPECT_FALSE(history.commit(song));
    EXPECT_EQ(history.stepCount(), 2u);
}

} // namespace
} // namespace vako
