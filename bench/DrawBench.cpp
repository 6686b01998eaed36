// The full redraw of one page: 2,000 notes on the page in a song of 500,000
// notes, on the recording canvas and into a full-HD image through Qt.
#include "QuietWindowSystem.h"
#include "platform/RecordingCanvas.h"
#include "view/MainWindowModel.h"

#ifdef VAKO_BENCH_WITH_QT
#include "platform/qt/QtCanvas.h"

#include <QGuiApplication>
#endif

#include <benchmark/benchmark.h>

#include <filesystem>

namespace vako {
namespace {

constexpr int kNotes = 500000;
constexpr int kNotesPerPage = 2000;
constexpr int kPage = 125;

// Pages of 2,000 notes: chords of several lengths on the two parts on view.
void fillSong(Song& song) {
    static constexpr int kLengths[] = {12, 6, 3, 24, 48, 9, 18, 13};
    song.notes.assign(kNotes + 1, Note{});
    for (int i = 0; i < kNotes; ++i) {
        const int page = i / kNotesPerPage, k = i % kNotesPerPage;
        Note& n = song.notes[i + 1];
        n.position = page * 144 + 1 + k * 144 / kNotesPerPage;
        n.key = static_cast<uint8_t>(40 + (k * 7) % 45);
        n.length = kLengths[k % 8];
        n.part = static_cast<uint8_t>(k % 2 ? 9 : 0);
        n.velocity = 120;
        n.pan = 64;
    }
    // Keep each position's chord in ascending pitch, as the song requires.
    for (size_t i = 2; i < song.notes.size(); ++i) {
        size_t j = i;
        while (j > 1 && song.notes[j - 1].position == song.notes[j].position &&
               song.notes[j - 1].key > song.notes[j].key) {
            std::swap(song.notes[j - 1], song.notes[j]);
            --j;
        }
    }
    song.twiceNoteCount = kNotes * 2;
}

struct Fixture {
    explicit Fixture(Canvas& canvas)
        : form(song, canvas, nullptr, ui,
               SongFolders{std::filesystem::temp_directory_path(),
                           std::filesystem::temp_directory_path()}) {
        form.load("");
        form.showChangesMenu.click();
        fillSong(song);
        form.redrawScore();
        form.pageScrollBar.setValue(kPage);
    }
    Song song;
    QuietWindowSystem ui;
    MainWindowModel form;
};

void BM_RedrawRecordingCanvas(benchmark::State& state) {
    RecordingCanvas canvas;
    Fixture f(canvas);
    for (auto _ : state) {
        f.form.redrawScore();
        benchmark::DoNotOptimize(canvas.ops().data());
    }
    state.counters["ops"] = static_cast<double>(canvas.ops().size());
}
BENCHMARK(BM_RedrawRecordingCanvas)->Unit(benchmark::kMillisecond);

#ifdef VAKO_BENCH_WITH_QT
void BM_RedrawFullHdImage(benchmark::State& state) {
    static int argc = 1;
    static char name[] = "draw_bench";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    (void)app;
    QtCanvas canvas(kViewLeft, kViewTop, kViewWidth, kViewHeight);
    // The view fitted into 1920 x 1080 with its proportions kept.
    canvas.resize(static_cast<int>(1080 * kViewWidth / kViewHeight), 1080, 1.0);
    Fixture f(canvas);
    for (auto _ : state) {
        f.form.redrawScore();
        benchmark::DoNotOptimize(canvas.image().constBits()); // finishes the painting
    }
}
BENCHMARK(BM_RedrawFullHdImage)->Unit(benchmark::kMillisecond);
#endif

} // namespace
} // namespace vako
