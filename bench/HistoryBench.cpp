// The edit history on a song of 500,000 notes: what recording a click costs
// beyond the click itself, undo and redo of a click and of a range operation
// over 50,000 notes, and the memory 1,000 single-note edits take.
#include "editor/Chords.h"
#include "editor/EditHistory.h"
#include "editor/NoteEdits.h"
#include "editor/SongEditor.h"
#include "platform/RecordingCanvas.h"
#include "rangeedit/RangeWindowModel.h"

#include "HeapCount.h"

#include <benchmark/benchmark.h>

namespace vako {
namespace {

constexpr int kNotes = 500000;
constexpr int kRangeNotes = 50000;

Song bigSong() {
    Song song;
    song.notes.assign(kNotes + 11, Note{});
    for (int i = 0; i < kNotes; ++i) {
        Note& n = song.notes[i + 1];
        n.position = 1 + i / 4;
        n.key = static_cast<uint8_t>(48 + 5 * (i % 4));
        n.length = 12;
        n.part = static_cast<uint8_t>(i % 2 ? 9 : 0);
        n.velocity = 120;
        n.pan = 64;
    }
    song.twiceNoteCount = 2 * kNotes;
    return song;
}

// A click in the middle of the song that adds a note, and one that deletes it.
constexpr int32_t kClickPos = kNotes / 8;

void addNote(Song& song) {
    insertChord(song, kClickPos, chordNotes(61, 0, false), 12, 0);
}

int32_t addedIndex(const Song& song) {
    return insertionIndex(song, kClickPos, 61);
}

void BM_ClickWithoutHistory(benchmark::State& state) {
    Song song = bigSong();
    for (auto _ : state) {
        addNote(song);
        deleteNote(song, addedIndex(song));
    }
    state.SetLabel("add + delete");
}
BENCHMARK(BM_ClickWithoutHistory)->Unit(benchmark::kMicrosecond);

void BM_ClickWithHistory(benchmark::State& state) {
    Song song = bigSong();
    EditHistory history;
    for (auto _ : state) {
        const int32_t at = addedIndex(song);
        history.record(song, EditScope::notesIn(RecordSpan::insertAt(at)), [&] { addNote(song); });
        history.record(song, EditScope::notesIn(RecordSpan::one(at)),
                       [&] { deleteNote(song, at); });
    }
    state.SetLabel("add + delete, both recorded");
}
BENCHMARK(BM_ClickWithHistory)->Unit(benchmark::kMicrosecond);

// Recording alone: a key that changes one note's strength, where the edit
// itself is a single store, so the time is what the history adds.
void BM_RecordKeyEdit(benchmark::State& state) {
    Song song = bigSong();
    EditHistory history;
    uint8_t velocity = 0;
    for (auto _ : state) {
        velocity = static_cast<uint8_t>((velocity + 6) % 126);
        history.record(song, EditScope::notesIn(RecordSpan::one(kNotes / 2)),
                       [&] { song.notes[kNotes / 2].velocity = velocity; });
    }
    state.SetLabel("one recorded step");
}
BENCHMARK(BM_RecordKeyEdit)->Unit(benchmark::kMicrosecond);

// Through the editing layer, as the window runs them: a click that places a
// note, and a chord of three keys from a MIDI keyboard, each then undone. The
// counter is the history's size after one of them: a step keeps what changed,
// whatever the song's size.
void BM_EditorClickAndKeyboardChord(benchmark::State& state) {
    const bool keyboard = state.range(0) == 1;
    Song song = bigSong();
    SongEditor editor(song);
    editor.checkScopes(false); // as in the program
    const std::vector<EnteredKey> keys = {{60, 100}, {64, 90}, {67, 80}};
    auto edit = [&] {
        if (keyboard)
            editor.enterKeys(kClickPos, keys, 12, 0);
        else
            editor.placeChord(kClickPos, chordNotes(61, 0, false), 12, 0);
    };
    edit();
    state.counters["step_bytes"] = static_cast<double>(editor.historyBytes());
    editor.undo();
    for (auto _ : state) {
        edit();
        editor.undo();
    }
    state.SetLabel(keyboard ? "chord of 3 keys + undo" : "click + undo");
}
BENCHMARK(BM_EditorClickAndKeyboardChord)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_UndoRedoClick(benchmark::State& state) {
    Song song = bigSong();
    EditHistory history;
    const int32_t at = addedIndex(song);
    history.record(song, EditScope::notesIn(RecordSpan::insertAt(at)), [&] { addNote(song); });
    for (auto _ : state) {
        history.undo(song);
        history.redo(song);
    }
    state.SetLabel("one undo + one redo");
}
BENCHMARK(BM_UndoRedoClick)->Unit(benchmark::kMicrosecond);

// The range window's strength operation on 50,000 notes (whole scope, as the
// window's operations are recorded), then undo and redo of it.
void BM_UndoRedoRangeStrength(benchmark::State& state) {
    Song song = bigSong();
    EditHistory history;
    history.record(song, EditScope::everything(), [&] {
        for (int i = 200001; i <= 200000 + kRangeNotes; ++i) song.notes[i].velocity = 60;
    });
    for (auto _ : state) {
        history.undo(song);
        history.redo(song);
    }
    state.counters["step_MB"] = static_cast<double>(history.bytes()) / (1 << 20);
    state.SetLabel("one undo + one redo, 50,000 notes changed");
}
BENCHMARK(BM_UndoRedoRangeStrength)->Unit(benchmark::kMillisecond);

// The range window's delete operation on 50,000 notes: undo puts them back in.
void BM_UndoRedoRangeDelete(benchmark::State& state) {
    Song song = bigSong();
    EditHistory history;
    history.record(song, EditScope::everything(), [&] {
        song.notes.erase(song.notes.begin() + 200001, song.notes.begin() + 200001 + kRangeNotes);
        song.twiceNoteCount -= 2 * kRangeNotes;
    });
    for (auto _ : state) {
        history.undo(song);
        history.redo(song);
    }
    state.counters["step_MB"] = static_cast<double>(history.bytes()) / (1 << 20);
    state.SetLabel("one undo + one redo, 50,000 notes removed");
}
BENCHMARK(BM_UndoRedoRangeDelete)->Unit(benchmark::kMillisecond);

// The range window's own operations on 50,000 of 500,000 notes (about ten a
// bar, bars 10001 to 15000 selected), recorded, then undone and redone.
void BM_UndoRedoRangeWindow(benchmark::State& state) {
    const int op = static_cast<int>(state.range(0));
    Song song;
    for (int i = 0; i < kNotes; ++i) {
        const int32_t pos = 1 + (i / 10) * 48 + (i % 10) * 4;
        song.notes.push_back(Note{pos, static_cast<uint8_t>(40 + i % 40), 4, 0, 120, 64, 0});
    }
    song.twiceNoteCount = 2 * kNotes;
    RecordingCanvas strip;
    SongHost host;
    SongEditor editor(song);
    editor.checkScopes(false); // as in the program
    RangeWindowModel form(editor, strip, host, SongFolders{"/tmp", "/tmp"});
    form.load();
    form.selectedBars = {10001, 15000};
    form.setShiftSteps(3);
    form.setCopyTargetBar(20001);
    form.setPitchClass(4);
    form.setStrength(10);
    form.setBalance(0);
    form.applyOperation(op);
    for (auto _ : state) {
        editor.undo();
        editor.redo();
    }
    state.counters["step_MB"] = static_cast<double>(editor.historyBytes()) / (1 << 20);
    static const char* kNames[] = {"shift", "copy", "delete", "semitone", "strength", "balance"};
    state.SetLabel(std::string(kNames[op]) + ": one undo + one redo");
}
BENCHMARK(BM_UndoRedoRangeWindow)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);

// Recording the range operation itself, beyond the operation.
void BM_RecordRangeStrength(benchmark::State& state) {
    Song song = bigSong();
    EditHistory history;
    uint8_t velocity = 0;
    for (auto _ : state) {
        velocity = static_cast<uint8_t>((velocity + 6) % 126);
        history.record(song, EditScope::everything(), [&] {
            for (int i = 200001; i <= 200000 + kRangeNotes; ++i) song.notes[i].velocity = velocity;
        });
    }
    state.SetLabel("whole-song scope: a copy of 500,000 notes and a compare");
}
BENCHMARK(BM_RecordRangeStrength)->Unit(benchmark::kMillisecond);

// 1,000 clicks that each add one note: the history's size afterwards.
void BM_ThousandClicksMemory(benchmark::State& state) {
    Song song = bigSong();
    for (auto _ : state) {
        song.notes.reserve(2 * (kNotes + 1000) + 11); // the editor keeps 2N + 11 records
        const int64_t heapBefore = heapcount::inUse();
        EditHistory history;
        for (int i = 0; i < 1000; ++i) {
            const int32_t pos = 1 + (i * 7919) % (kNotes / 4);
            const int32_t at = insertionIndex(song, pos, 61);
            history.record(song, EditScope::notesIn(RecordSpan::insertAt(at)),
                           [&] { insertChord(song, pos, chordNotes(61, 0, false), 12, 0); });
        }
        state.counters["history_MB"] = static_cast<double>(history.bytes()) / (1 << 20);
        // The heap the history holds: the song's array has its room already.
        state.counters["heap_MB"] =
            static_cast<double>(heapcount::inUse() - heapBefore) / (1 << 20);
        state.PauseTiming();
        song = bigSong();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ThousandClicksMemory)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace
} // namespace vako
