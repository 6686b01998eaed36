// The score on paper: a 100-page song written as a PDF file (its size in the
// counters; the aim is at most 5 MB written in at most 2 s).
#include "platform/qt/ScorePaper.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

namespace vako {
namespace {

// 100 pages of sixteenth notes in part 1 with a chord of half notes in part 2
// under each bar's halves, and a drum hit on every beat.
Song hundredPageSong() {
    Song song;
    const int32_t end = 100 * kStepsPerPage;
    for (int32_t pos = 3; pos <= end - 12; pos += 3) {
        song.notes.push_back({pos, static_cast<uint8_t>(60 + (pos / 3) % 24), 3, 0, 120, 64, 0});
        if (pos % 24 == 3)
            for (const int key : {36, 43, 48})
                song.notes.push_back({pos, static_cast<uint8_t>(key), 24, 1, 120, 64, 0});
        if (pos % 12 == 3) song.notes.push_back({pos, 36, 3, 9, 120, 64, 0});
    }
    song.twiceNoteCount = 2 * static_cast<int32_t>(song.notes.size() - 1);
    song.sequenceNameText = "Hundred Pages";
    return song;
}

void BM_HundredPagePdf(benchmark::State& state) {
    static int argc = 1;
    static char name[] = "paper_bench";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    (void)app;
    const Song song = hundredPageSong();
    StaffPageLook look;
    look.bandParts = {0, 1};
    size_t bytes = 0;
    for (auto _ : state) {
        const PdfOutcome pdf = scorePdf(song, look, {}, kPaperA4);
        bytes = pdf.bytes.size();
        benchmark::DoNotOptimize(pdf.bytes.data());
    }
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["notes"] = song.twiceNoteCount / 2;
}
BENCHMARK(BM_HundredPagePdf)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
} // namespace vako
