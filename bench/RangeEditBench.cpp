// The range window's operations over a range of 50,000 notes in a song of
// 500,000 notes.
#include "platform/RecordingCanvas.h"
#include "rangeedit/RangeWindowModel.h"

#include <benchmark/benchmark.h>

namespace {

using namespace vako;

// 500,000 notes of part 0, about 10 a bar; bars 1001 to 6000 hold 50,000 of them.
Song bigSong() {
    Song song;
    const int notes = 500000;
    for (int i = 0; i < notes; ++i) {
        const int32_t pos = 1 + (i / 10) * 48 + (i % 10) * 4;
        song.notes.push_back(Note{pos, static_cast<uint8_t>(40 + i % 40), 4, 0, 120, 64, 0});
    }
    song.twiceNoteCount = 2 * notes;
    return song;
}

void BM_RangeOperation(benchmark::State& state) {
    const int op = static_cast<int>(state.range(0));
    const Song original = bigSong();
    RecordingCanvas strip;
    SongHost host;
    // One song, put back before each run as the window's song stays between
    // edits: its lists keep their memory, as they do in the window.
    Song song = original;
    for (auto _ : state) {
        state.PauseTiming();
        song = original;
        SongEditor editor(song);
        editor.checkScopes(false); // as in the program
        RangeWindowModel form(editor, strip, host, SongFolders{"/tmp", "/tmp"});
        form.load();
        form.stripMouseDown(RangeWindowModel::kRightButton, 0);
        form.selectedBars = {10001, 15000};
        form.setShiftSteps(3);
        form.setCopyTargetBar(20001);
        form.setPitchClass(4);
        strip.forget();
        state.ResumeTiming();
        form.applyOperation(op);
        benchmark::DoNotOptimize(song.twiceNoteCount);
    }
    static const char* kNames[] = {"shift", "copy", "delete", "semitone", "strength", "balance"};
    state.SetLabel(kNames[op]);
}
BENCHMARK(BM_RangeOperation)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);

} // namespace
