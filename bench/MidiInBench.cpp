// Thru latency: from a keyboard message's arrival at the input queue (its
// stamp, taken on the device's thread) to the output call that sends it on,
// measured on the recording output's clock. The device thread wakes the
// consumer through an eventfd, as a toolkit's event loop is woken, and the
// consumer routes what it takes; once with nothing else to do (the window
// idle) and once running playback's due steps in the same loop (the window
// playing). Counters: p50_us, p99_us, max_us over every message.
#include "midi/KeyboardInput.h"
#include "midi/Playback.h"
#include "midi/ShortMessage.h"
#include "platform/Clock.h"
#include "platform/MidiIn.h"
#include "platform/MidiOut.h"

#include "PlayingSongs.h"

#include <benchmark/benchmark.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace vako;
using bench::everyStepSong;
using bench::percentile;

// The consumer's wake-up: the device thread writes, never waits.
class EventFdWaker {
public:
    EventFdWaker() : m_fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~EventFdWaker() { close(m_fd); }
    void wake() {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = write(m_fd, &one, sizeof one);
    }
    // Until woken or `deadlineMs` on `clock` has come.
    void waitUntil(const Clock& clock, double deadlineMs) {
        const double left = std::clamp(deadlineMs - clock.nowMs(), 0.0, 50.0);
        const timespec timeout{0, static_cast<long>(left * 1e6)};
        pollfd p{m_fd, POLLIN, 0};
        if (ppoll(&p, 1, &timeout, nullptr) > 0) {
            uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = read(m_fd, &count, sizeof count);
        }
    }

private:
    int m_fd;
};

void thruLatency(benchmark::State& state, bool playing) {
    constexpr int kMessages = 3000; // three seconds of a busy player, 1,000 a second
    std::vector<double> latenciesUs;
    latenciesUs.reserve(kMessages * 4);
    for (auto _ : state) {
        SteadyClock clock;
        EventFdWaker waker;
        ScriptedMidiIn keyboard(clock, [&] { waker.wake(); });
        RecordingMidiOut out(clock);
        out.reserve(kMessages + 16);
        MidiThru thru;
        ChordGatherer gatherer;
        Song song = everyStepSong(4000, 120);
        NullMidiOut playbackOut;
        PlaybackListener listener;
        Playback playback(song, playbackOut, clock, listener);
        if (playing) playback.press();

        std::thread device([&] {
            const auto start = std::chrono::steady_clock::now();
            for (int i = 0; i < kMessages; ++i) {
                std::this_thread::sleep_until(start + std::chrono::microseconds(i * 1000));
                const int key = 36 + (i / 2) % 60;
                keyboard.deliver(i % 2 == 0 ? packShortMessage(0x90, key, 100)
                                            : packShortMessage(0x80, key, 0));
            }
            waker.wake();
        });

        std::vector<MidiInMessage> taken;
        taken.reserve(kMessages);
        size_t routed = 0;
        while (routed + keyboard.dropped() < static_cast<size_t>(kMessages)) {
            const double deadline =
                playing && playback.isPlaying() ? playback.nextDeadline() : clock.nowMs() + 50;
            waker.waitUntil(clock, deadline);
            keyboard.take(taken);
            for (; routed < taken.size(); ++routed) {
                thru.route(taken[routed].message, 0, 0, out);
                latenciesUs.push_back((out.entries().back().timeMs - taken[routed].timeMs) * 1e3);
                gatherer.take(taken[routed]);
            }
            while (gatherer.poll(clock.nowMs())) {}
            if (playing) playback.runDueSteps(clock.nowMs());
        }
        device.join();
        if (playing) playback.stop();
        state.counters["dropped"] = static_cast<double>(keyboard.dropped());
    }
    state.counters["p50_us"] = percentile(latenciesUs, 0.50);
    state.counters["p99_us"] = percentile(latenciesUs, 0.99);
    state.counters["max_us"] = percentile(latenciesUs, 1.0);
}

void BM_ThruLatencyIdle(benchmark::State& state) { thruLatency(state, false); }
void BM_ThruLatencyWhilePlaying(benchmark::State& state) { thruLatency(state, true); }

BENCHMARK(BM_ThruLatencyIdle)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ThruLatencyWhilePlaying)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
