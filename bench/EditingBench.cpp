// Mouse editing on a song of 500,000 notes: one hover move (cursor, ledger
// lines, note and marker hit tests, read-outs), and a whole click that adds a
// note and a second that deletes it (undo copy, insertion, redraw of a page).
#include "QuietWindowSystem.h"
#include "platform/RecordingCanvas.h"
#include "view/MainWindowModel.h"

#include <benchmark/benchmark.h>

#include <filesystem>

namespace vako {
namespace {

constexpr int kNotes = 500000;
constexpr int kNotesPerStep = 4; // a chord on every step of every page
constexpr int kPage = 800;       // a page in the middle of the song

struct Fixture {
    Fixture()
        : form(song, canvas, nullptr, ui,
               SongFolders{std::filesystem::temp_directory_path(),
                           std::filesystem::temp_directory_path()}) {
        form.load("");
        song.notes.assign(kNotes + 11, Note{});
        for (int i = 0; i < kNotes; ++i) {
            Note& n = song.notes[i + 1];
            n.position = 1 + i / kNotesPerStep;
            n.key = static_cast<uint8_t>(48 + 5 * (i % kNotesPerStep));
            n.length = 12;
            n.part = static_cast<uint8_t>(i % 2 ? 9 : 0);
            n.velocity = 120;
            n.pan = 64;
        }
        song.twiceNoteCount = 2 * kNotes;
        form.redrawScore();
        form.pageScrollBar.setValue(kPage);
    }
    Song song;
    RecordingCanvas canvas;
    QuietWindowSystem ui;
    MainWindowModel form;
};

void BM_MouseMoveOver500kNotes(benchmark::State& state) {
    Fixture f;
    int k = 0;
    for (auto _ : state) {
        // Across the page and both bands, on and off the notes.
        const float X = 100.0f + static_cast<float>((k * 37) % 715);
        const float Y = -1170.0f + static_cast<float>((k * 53) % 1165);
        f.form.scoreMouseMove(0, 0, X, Y);
        ++k;
    }
    benchmark::DoNotOptimize(f.form.view.noteUnderCursor);
}
BENCHMARK(BM_MouseMoveOver500kNotes);

void BM_ClickAddThenDeleteIn500kNotes(benchmark::State& state) {
    Fixture f;
    const float X = 5.0f * (72 + 18) + 7, Y = -600.0f - 10 * (35 - 6) - 5; // upper band, row 35
    for (auto _ : state) {
        for (int i = 0; i < 2; ++i) {
            f.form.scoreMouseMove(0, 0, X, Y);
            f.form.scoreMouseDown(1, 0, X, Y);
            f.form.scoreMouseUp(1, 0, X, Y);
        }
    }
    if (f.song.noteCount() != kNotes) state.SkipWithError("the click pair did not undo itself");
}
BENCHMARK(BM_ClickAddThenDeleteIn500kNotes)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace vako
