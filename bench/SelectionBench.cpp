// Working on a selection in a song of 500,000 notes, five parts of 100,000
// each: select every note of the upper band's part and move it by a grid
// step (one key), and copy those notes and paste them elsewhere. Each counts
// the history's bytes for its step: they grow with the notes moved.
#include "QuietWindowSystem.h"
#include "platform/RecordingCanvas.h"
#include "view/MainWindowModel.h"

#include <benchmark/benchmark.h>

#include <filesystem>

namespace vako {
namespace {

constexpr int kNotes = 500000;
constexpr int kParts = 5;
constexpr int kKeyLeft = 37, kKeyRight = 39;

struct Fixture {
    Fixture()
        : form(song, canvas, nullptr, ui,
               SongFolders{std::filesystem::temp_directory_path(),
                           std::filesystem::temp_directory_path()}) {
        form.load("");
        Song built;
        built.notes.assign(kNotes + 1, Note{});
        for (int i = 0; i < kNotes; ++i) {
            Note& n = built.notes[i + 1];
            n.position = 3 + 3 * (i / kParts);
            n.key = static_cast<uint8_t>(48 + 3 * (i % kParts));
            n.length = 12;
            n.part = static_cast<uint8_t>(i % kParts);
            n.velocity = 120;
            n.pan = 64;
        }
        built.twiceNoteCount = 2 * kNotes;
        form.editor.replaceSong(std::move(built));
        form.redrawScore();
    }
    Song song;
    RecordingCanvas canvas;
    QuietWindowSystem ui;
    MainWindowModel form;
};

void BM_SelectAPartOf100kAndMoveAStep(benchmark::State& state) {
    Fixture f;
    // One step on an empty history: what it keeps.
    f.form.selectUpperPartMenu.click();
    f.form.scoreKeyDown(kKeyRight, 0);
    const size_t bytes = f.form.editor.historyBytes();
    int k = 1;
    for (auto _ : state) {
        f.form.selectUpperPartMenu.click();
        f.form.scoreKeyDown(k++ % 2 ? kKeyLeft : kKeyRight, 0);
    }
    if (f.form.selectedNotes().size() != kNotes / kParts) state.SkipWithError("not one part");
    state.counters["history_bytes_per_step"] = static_cast<double>(bytes);
}
BENCHMARK(BM_SelectAPartOf100kAndMoveAStep)->Unit(benchmark::kMillisecond);

void BM_CopyAndPaste100k(benchmark::State& state) {
    Fixture f;
    f.form.selectUpperPartMenu.click();
    // The paste goes to the second page of the upper band.
    f.form.pageScrollBar.setValue(1);
    f.form.scoreMouseMove(0, 0, 5.0f * (12 + 18) + 3, -600.0f - 10 * 30);
    f.form.copyMenu.click();
    f.form.pasteMenu.click();
    const size_t bytes = f.form.editor.historyBytes();
    f.form.undo();
    for (auto _ : state) {
        f.form.selectUpperPartMenu.click();
        f.form.copyMenu.click();
        f.form.pasteMenu.click();
        state.PauseTiming();
        f.form.undo();
        state.ResumeTiming();
    }
    if (f.song.noteCount() != kNotes) state.SkipWithError("the paste was not undone");
    state.counters["history_bytes_per_step"] = static_cast<double>(bytes);
}
BENCHMARK(BM_CopyAndPaste100k)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace vako
