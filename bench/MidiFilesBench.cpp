// Standard MIDI Files: importing a format-0 file and exporting a song, at
// 10,000, 100,000 and 1,000,000 note events, to show that both grow linearly.
// Targets: the import of 1,000,000 note events (500,000 notes, about 3.8 MB)
// within 250 ms and 100 MB of peak heap, the export of 500,000 notes within
// 150 ms. `peak_heap_MB` is the most heap held at once during one run beyond
// what was held before it (the file image itself excluded).
#include "midi/MidiFileWriter.h"
#include "midi/MidiImport.h"
#include "platform/AtomicFile.h"
#include "song/OpenFile.h"

#include "HeapCount.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

namespace {

using namespace vako;

// A format-0 file of `events` note events (half starts, half ends) on four
// channels, 480 ticks per quarter: runs of four-note chords, each chord ended
// by note-ons of velocity 0 under running status, a step or two apart.
std::string formatZeroFile(int64_t events) {
    std::string track;
    track.reserve(static_cast<size_t>(events) * 4 + 64);
    auto put = [&](int b) { track.push_back(static_cast<char>(b)); };
    for (int b : {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}) put(b);
    int64_t written = 0;
    for (int64_t chord = 0; written < events; ++chord) {
        const int channel = static_cast<int>(chord % 4);
        const int root = 40 + static_cast<int>(chord % 36);
        const int notes = static_cast<int>(std::min<int64_t>(4, (events - written) / 2));
        for (int i = 0; i < notes; ++i) {
            put(0x00);
            put(0x90 + channel);
            put(root + i * 4);
            put(80 + i);
        }
        for (int i = 0; i < notes; ++i) {
            put(i == 0 ? 0x78 : 0x00); // 120 ticks, then the rest of the chord at once
            if (i == 0) put(0x90 + channel);
            put(root + i * 4);
            put(0x00);
        }
        written += 2 * notes;
    }
    for (int b : {0x00, 0xFF, 0x2F, 0x00}) put(b);
    std::string image = "MThd";
    for (int b : {0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0}) image.push_back(static_cast<char>(b));
    image += "MTrk";
    const auto n = static_cast<uint32_t>(track.size());
    for (int shift : {24, 16, 8, 0}) image.push_back(static_cast<char>((n >> shift) & 0xFF));
    return image + track;
}

// Imports the image once per iteration; the most heap one import held at once.
int64_t timeImports(benchmark::State& state, const std::string& image) {
    int64_t peak = 0;
    for (auto _ : state) {
        const int64_t before = heapcount::inUse();
        heapcount::startPeak();
        Song song;
        if (!importStandardMidiFile(song, image).ok) state.SkipWithError("import failed");
        benchmark::DoNotOptimize(song.notes.data());
        peak = std::max(peak, heapcount::peak() - before);
    }
    return peak;
}

void BM_ImportMidiFile(benchmark::State& state) {
    const std::string image = formatZeroFile(state.range(0));
    const int64_t peak = timeImports(state, image);
    state.SetComplexityN(state.range(0));
    state.counters["file_MB"] = static_cast<double>(image.size()) / 1e6;
    state.counters["peak_heap_MB"] = static_cast<double>(peak) / 1e6;
}
BENCHMARK(BM_ImportMidiFile)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// A hostile file: one note-off, then a track of zero bytes, which reads as
// millions of note-offs of key 0 under running status that end no note. The
// import must hold no more than for an empty song (arg: track size in MB).
void BM_ImportZeroFilledTrack(benchmark::State& state) {
    const auto size = static_cast<size_t>(state.range(0)) * 1'000'000;
    std::string image = "MThd";
    for (int b : {0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0}) image.push_back(static_cast<char>(b));
    image += "MTrk";
    for (int shift : {24, 16, 8, 0}) image.push_back(static_cast<char>((size >> shift) & 0xFF));
    for (int b : {0x00, 0x80, 0x00, 0x00}) image.push_back(static_cast<char>(b));
    image.resize(image.size() + size - 4, '\0');
    const int64_t peak = timeImports(state, image);
    state.counters["file_MB"] = static_cast<double>(image.size()) / 1e6;
    state.counters["peak_heap_MB"] = static_cast<double>(peak) / 1e6;
}
BENCHMARK(BM_ImportZeroFilledTrack)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(3);

// The whole open as the file list does it: reading the file, the import,
// removing the note ends and sorting the chords.
void BM_OpenMidiFile(benchmark::State& state) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("vako-bench-" + std::to_string(state.range(0)) + ".mid");
    if (!writeFileAtomically(path, formatZeroFile(state.range(0))).ok)
        state.SkipWithError("cannot write");
    ImportingSongHost host;
    int64_t peak = 0;
    for (auto _ : state) {
        const int64_t before = heapcount::inUse();
        heapcount::startPeak();
        Song song;
        if (openFile(song, path.string(), host) != OpenStatus::Loaded)
            state.SkipWithError("open failed");
        benchmark::DoNotOptimize(song.notes.data());
        peak = std::max(peak, heapcount::peak() - before);
    }
    std::filesystem::remove(path);
    state.SetComplexityN(state.range(0));
    state.counters["peak_heap_MB"] = static_cast<double>(peak) / 1e6;
}
BENCHMARK(BM_OpenMidiFile)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// A song of `notes` notes over all parts: chords of four, a change of
// balance or modulation now and then, a tempo change every 64 notes.
Song songOf(int64_t notes) {
    Song song;
    song.notes.assign(1, Note{});
    song.notes.reserve(static_cast<size_t>(notes) + 1);
    for (int64_t i = 0; i < notes; ++i) {
        const auto part = static_cast<uint8_t>((i / 4) % 16);
        const auto pos = static_cast<int32_t>(1 + (i / 4) * 3);
        song.notes.push_back(Note{pos, static_cast<uint8_t>(36 + (i * 5) % 60), 6, part, 96,
                                  static_cast<uint8_t>(i % 97 == 0 ? 32 : 64),
                                  static_cast<uint8_t>(i % 89 == 0 ? 50 : 0)});
        if (i % 64 == 0) {
            ensureChangeRoom(song.changes, song.changeCount + 2);
            song.changes[++song.changeCount] =
                ControlChange{pos, static_cast<int32_t>(90 + i % 60), kTempoChange};
        }
    }
    song.twiceNoteCount = static_cast<int32_t>(notes * 2);
    return song;
}

void BM_ExportMidiFile(benchmark::State& state) {
    Song song = songOf(state.range(0));
    size_t bytes = 0;
    for (auto _ : state) {
        bool faulted = false;
        const std::string image = buildMidiFileImage(song, 0, faulted);
        if (faulted) state.SkipWithError("export faulted");
        bytes = image.size();
        benchmark::DoNotOptimize(image.data());
    }
    state.SetComplexityN(state.range(0));
    state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_ExportMidiFile)
    ->Arg(5'000)
    ->Arg(50'000)
    ->Arg(500'000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// Two shapes on which the shared quicksort's cost grows faster than linearly:
// a song of four-note chords of one length (the export's list is then two
// sorted runs, the note-ons and the note-offs, one after the other), and a
// format-1 file of two such tracks (the import's entries are two sorted runs).
// Kept small; the sizes show the growth.
void BM_ExportUniformChords(benchmark::State& state) {
    Song song;
    song.notes.assign(1, Note{});
    for (int64_t i = 0; i < state.range(0); ++i)
        song.notes.push_back(Note{static_cast<int32_t>(1 + (i / 4) * 3),
                                  static_cast<uint8_t>(36 + (i * 5) % 60), 6, 0, 96, 64, 0});
    song.twiceNoteCount = static_cast<int32_t>(state.range(0) * 2);
    for (auto _ : state) {
        bool faulted = false;
        benchmark::DoNotOptimize(buildMidiFileImage(song, 0, faulted).size());
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ExportUniformChords)
    ->Arg(4'000)
    ->Arg(16'000)
    ->Arg(64'000)
    ->Unit(benchmark::kMillisecond);

void BM_ImportTwoTracks(benchmark::State& state) {
    const std::string one = formatZeroFile(state.range(0) / 2);
    // Both tracks of the format-0 image after one header that counts two.
    std::string image = one.substr(0, 14);
    image[9] = 1;  // format 1
    image[11] = 2; // two tracks
    image += one.substr(14);
    image += one.substr(14);
    for (auto _ : state) {
        Song song;
        if (!importStandardMidiFile(song, image).ok) state.SkipWithError("import failed");
        benchmark::DoNotOptimize(song.notes.data());
    }
}
BENCHMARK(BM_ImportTwoTracks)
    ->Arg(10'000)
    ->Arg(40'000)
    ->Arg(160'000)
    ->Unit(benchmark::kMillisecond);

} // namespace
