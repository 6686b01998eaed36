// Playback timing against the real clock, beside a bare loop that does nothing
// but sleep to absolute deadlines (the best any sleeping loop can do on this
// machine), both measured in the same run; and offline rendering beside
// FluidSynth's own command-line renderer on the same song.
//
// VAKO_BENCH_SECONDS sets the length of the timed playback (default 60).
#include "midi/MidiFileWriter.h"
#include "midi/Playback.h"
#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "platform/MidiOut.h"
#include "song/SongWriter.h"

#ifdef VAKO_HAVE_FLUIDSYNTH
#include "platform/fluidsynth/SoundFont.h"
#endif

#include "PlayingSongs.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace vako;
using bench::everyStepSong;
using bench::percentile;

double benchSeconds() {
    const char* text = std::getenv("VAKO_BENCH_SECONDS");
    const double seconds = text ? std::atof(text) : 60;
    return seconds > 0 ? seconds : 60;
}

double threadCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

void BM_RealTimePlayback(benchmark::State& state) {
    const int tempo = static_cast<int>(state.range(0));
    const double step = 5000.0 / tempo;
    const auto steps = static_cast<int32_t>(benchSeconds() * 1000 / step);
    for (auto _ : state) {
        Song song = everyStepSong(steps, tempo);
        SteadyClock clock;
        RecordingMidiOut out(clock);
        out.reserve(static_cast<size_t>(steps) * 6 + 200);
        PlaybackListener listener;
        Playback playback(song, out, clock, listener);

        // The bare loop, running alongside for the same number of passes.
        std::vector<double> bareLate;
        bareLate.reserve(static_cast<size_t>(steps) + 3);
        std::thread bare([&] {
            SteadyClock bareClock;
            const double t0 = bareClock.nowMs();
            for (int64_t k = 1; k <= steps + 3; ++k) {
                const double ideal = t0 + static_cast<double>(k) * step;
                bareClock.sleepUntil(ideal);
                bareLate.push_back(bareClock.nowMs() - ideal);
            }
        });

        const double cpuBefore = threadCpuMs();
        playback.press();
        const double t0 = playback.nextDeadline() - step;
        playUntilStopped(playback, clock, [] { return true; });
        const double wall = clock.nowMs() - t0;
        const double cpu = threadCpuMs() - cpuBefore;
        bare.join();

        // The note-on of position p is sounded by pass p + 2.
        std::vector<double> late;
        late.reserve(static_cast<size_t>(steps));
        int64_t position = 0;
        for (const auto& e : out.entries()) {
            if (e.kind != RecordingMidiOut::Kind::Message || (e.message & 0xF0) != 0x90) continue;
            ++position;
            late.push_back(e.timeMs - (t0 + static_cast<double>(position + 2) * step));
        }
        // The stop comes in the pass of the last note's end, position steps + 1.
        const double lastIdeal = t0 + static_cast<double>(steps + 3) * step;
        state.counters["notes"] = static_cast<double>(late.size());
        state.counters["late_median_ms"] = percentile(late, 0.5);
        state.counters["late_p99_ms"] = percentile(late, 0.99);
        state.counters["bare_median_ms"] = percentile(bareLate, 0.5);
        state.counters["bare_p99_ms"] = percentile(bareLate, 0.99);
        state.counters["last_msg_error_ms"] = out.entries().back().timeMs - lastIdeal;
        state.counters["cpu_percent"] = 100 * cpu / wall;
    }
}
BENCHMARK(BM_RealTimePlayback)
    ->Arg(120)
    ->Arg(600)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

// The same song with the metronome on and a loop over bars 1 to 4 (195
// steps): how late the clicks come beside the notes, and the first pass of
// each round after the loop goes back. Every pass is due one step after the
// last (one tempo), so a message's lateness is its time past the last
// deadline.
void BM_RealTimePlaybackWithClicksAndLoop(benchmark::State& state) {
    const int tempo = static_cast<int>(state.range(0));
    const double step = 5000.0 / tempo;
    const auto passes = static_cast<int64_t>(benchSeconds() * 1000 / step);
    struct JumpWatch : PlaybackListener {
        const Clock* clock = nullptr;
        bool jumped = false;
        std::vector<double> firstPassAfterJump; // clock times
        void loopJumped(int32_t) override { jumped = true; }
        void moveCursorLine(int) override {
            if (jumped) firstPassAfterJump.push_back(clock->nowMs());
            jumped = false;
        }
    };
    for (auto _ : state) {
        Song song = everyStepSong(4 * 48 + 3, tempo);
        SteadyClock clock;
        RecordingMidiOut out(clock);
        out.reserve(static_cast<size_t>(passes) * 8 + 200);
        JumpWatch listener;
        listener.clock = &clock;
        Playback playback(song, out, clock, listener);
        PlaybackOptions options;
        options.metronome = true;
        options.loopFirstBar = 1;
        options.loopLastBar = 4;
        playback.setOptions(options);
        playback.press();
        const double t0 = playback.nextDeadline() - step;
        int64_t run = 0;
        playUntilStopped(playback, clock, [&] { return ++run < passes; });
        const auto lateness = [&](double timeMs) { return std::fmod(timeMs - t0, step); };
        std::vector<double> notes, clicks, jumps;
        for (const auto& e : out.entries()) {
            if (e.kind != RecordingMidiOut::Kind::Message || (e.message & 0xF0) != 0x90) continue;
            ((e.message & 0x0F) == kPercussionPart ? clicks : notes).push_back(lateness(e.timeMs));
        }
        for (double t : listener.firstPassAfterJump) jumps.push_back(lateness(t));
        state.counters["notes"] = static_cast<double>(notes.size());
        state.counters["clicks"] = static_cast<double>(clicks.size());
        state.counters["jumps"] = static_cast<double>(jumps.size());
        state.counters["late_median_ms"] = percentile(notes, 0.5);
        state.counters["late_p99_ms"] = percentile(notes, 0.99);
        state.counters["click_late_median_ms"] = percentile(clicks, 0.5);
        state.counters["click_late_p99_ms"] = percentile(clicks, 0.99);
        state.counters["jump_late_max_ms"] = percentile(jumps, 1);
    }
}
BENCHMARK(BM_RealTimePlaybackWithClicksAndLoop)
    ->Arg(120)
    ->Arg(600)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

#if defined(VAKO_HAVE_FLUIDSYNTH) && defined(VAKO_TOOL_PATH)
// Wall time of a shell command, in seconds; negative when it failed.
double timeCommand(const std::string& command) {
    const auto began = std::chrono::steady_clock::now();
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    return status == 0 ? took : -1;
}

// Two minutes of music at tempo 120, a note every step on four parts.
void BM_RenderBesideFluidsynth(benchmark::State& state) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "vako-render-bench";
    std::filesystem::create_directories(dir);
    Song song = everyStepSong(2880, 120);
    const double musicSeconds = (2880 + 3) * 5000.0 / 120 / 1000;
    saveSongTo(song, dir / "song.txt");
    bool faulted = false;
    writeFileAtomically(dir / "song.mid", buildMidiFileImage(song, 0, faulted));
    const std::string soundFont = findSoundFont();
    for (auto _ : state) {
        const double ours =
            timeCommand(std::string(VAKO_TOOL_PATH) + " render " + (dir / "song.txt").string() +
                        " " + (dir / "ours.wav").string());
        const double theirs = timeCommand("fluidsynth -F " + (dir / "theirs.wav").string() +
                                          " -ni " + soundFont + " " + (dir / "song.mid").string());
        state.counters["vako_render_s"] = ours;
        state.counters["fluidsynth_cli_s"] = theirs;
        state.counters["vako_x_realtime"] = ours > 0 ? musicSeconds / ours : 0;
        state.counters["fluidsynth_x_realtime"] = theirs > 0 ? musicSeconds / theirs : 0;
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_RenderBesideFluidsynth)->Iterations(3)->UseRealTime()->Unit(benchmark::kSecond);
#endif

} // namespace
