// Opening and saving large song text files (100,000 notes).
#include "song/OpenFile.h"
#include "song/SongReader.h"
#include "song/SongWriter.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>

namespace {

using namespace vako;

Song bigSong(int notes) {
    Song song;
    std::mt19937 random(42);
    int32_t pos = 1;
    for (int i = 0; i < notes; ++i) {
        if (random() % 3 == 0) pos += 3;
        song.notes.push_back(Note{pos, static_cast<uint8_t>(36 + i % 60), 12,
                                  static_cast<uint8_t>(random() % 16), 120, 64, 0});
    }
    song.twiceNoteCount = 2 * notes;
    sortChords(song);
    song.sequenceNameText = "大きな曲";
    return song;
}

std::filesystem::path benchFile() {
    return std::filesystem::temp_directory_path() / "vako-bench-song.txt";
}

void BM_SaveSong100k(benchmark::State& state) {
    Song song = bigSong(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const std::string error = saveSongTo(song, benchFile());
        benchmark::DoNotOptimize(error);
    }
    state.counters["notes"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_SaveSong100k)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_OpenSong100k(benchmark::State& state) {
    Song song = bigSong(static_cast<int>(state.range(0)));
    saveSongTo(song, benchFile());
    const std::string path = benchFile().string();
    SongHost host;
    for (auto _ : state) {
        Song loaded;
        benchmark::DoNotOptimize(openFile(loaded, path, host));
    }
    state.counters["notes"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_OpenSong100k)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_FormatSongText(benchmark::State& state) {
    Song song = bigSong(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(formatSongText(song));
}
BENCHMARK(BM_FormatSongText)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace
