// Real-time playback through a real audio path: the built-in synthesizer plays
// through FluidSynth's JACK driver on a dummy JACK server the test starts
// itself, and a JACK client of the test listens to what comes out. Where jackd
// is missing or will not start, the test says so and skips.
#include "DummyJackServer.h"
#include "midi/Playback.h"
#include "platform/Clock.h"
#include "platform/fluidsynth/FluidSynthMidiOut.h"
#include "platform/fluidsynth/PeakLimiter.h"
#include "platform/fluidsynth/SoundFont.h"

#include <gtest/gtest.h>
#include <jack/jack.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <string>
#include <memory>
#include <thread>
#include <vector>

namespace vako {
namespace {

using namespace std::chrono_literals;

// A JACK client with two audio inputs that keeps the loudest sample it heard.
class JackListener {
public:
    ~JackListener() {
        if (m_client) jack_client_close(m_client);
    }
    bool open(std::string& why) {
        jack_status_t status{};
        m_client = jack_client_open("vako-listener", JackNoStartServer, &status);
        if (!m_client) {
            why = "no JACK client (status " + std::to_string(status) + ")";
            return false;
        }
        for (size_t i = 0; i < m_in.size(); ++i)
            m_in[i] = jack_port_register(m_client, ("in_" + std::to_string(i + 1)).c_str(),
                                         JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(m_client, &JackListener::process, this);
        return jack_activate(m_client) == 0;
    }
    // Connects the output ports of the client `from` to the inputs; how many.
    int connectFrom(const std::string& from) {
        const char** ports = jack_get_ports(m_client, ("^" + from + ":").c_str(),
                                            JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
        if (!ports) return 0;
        int connected = 0;
        for (size_t i = 0; ports[i] && i < m_in.size(); ++i)
            if (jack_connect(m_client, ports[i], jack_port_name(m_in[i])) == 0) ++connected;
        jack_free(ports);
        return connected;
    }
    // The loudest sample since the last call.
    float takePeak() { return m_peak.exchange(0); }

    // From now on every period's loudest sample is kept with the time on
    // `clock` it was heard, as long as there is room.
    struct Period {
        double timeMs = 0;
        float peak = 0;
    };
    void keepPeriods(const Clock& clock) {
        m_periodClock.store(&clock);
    }
    std::vector<Period> periods() const {
        const size_t n = std::min(m_periodCount.load(), m_periods.size());
        return {m_periods.begin(), m_periods.begin() + static_cast<std::ptrdiff_t>(n)};
    }

private:
    static int process(jack_nframes_t frames, void* self) {
        auto* l = static_cast<JackListener*>(self);
        float peak = 0;
        for (jack_port_t* port : l->m_in) {
            const auto* samples = static_cast<const float*>(jack_port_get_buffer(port, frames));
            for (jack_nframes_t i = 0; i < frames; ++i)
                peak = std::max(peak, std::fabs(samples[i]));
        }
        float old = l->m_peak.load();
        while (peak > old && !l->m_peak.compare_exchange_weak(old, peak)) {}
        if (const Clock* clock = l->m_periodClock.load()) {
            const size_t k = l->m_periodCount.load();
            if (k < l->m_periods.size()) {
                l->m_periods[k] = {clock->nowMs(), peak};
                l->m_periodCount.store(k + 1);
            }
        }
        return 0;
    }

    jack_client_t* m_client = nullptr;
    std::array<jack_port_t*, 2> m_in{};
    std::atomic<float> m_peak{0};
    std::atomic<const Clock*> m_periodClock{nullptr};
    std::array<Period, 8192> m_periods{}; // 44 s of 256-frame periods at 48 kHz
    std::atomic<size_t> m_periodCount{0};
};

// Passes everything on to the synthesizer and notes when each metronome
// click was sent.
class ClickTimes final : public MidiOut {
public:
    ClickTimes(MidiOut& device, const Clock& clock) : m_device(device), m_clock(clock) {}
    void send(uint32_t message) override {
        const uint32_t key = (message >> 8) & 0x7F;
        if ((message & 0xFF) == 0x99 && ((message >> 16) & 0x7F) > 0 &&
            (key == kClickKey || key == kAccentClickKey))
            times.push_back(m_clock.nowMs());
        m_device.send(message);
    }
    void reset() override { m_device.reset(); }
    void close() override { m_device.close(); }
    std::string name() const override { return m_device.name(); }

    std::vector<double> times;

private:
    MidiOut& m_device;
    const Clock& m_clock;
};

// Opens the synthesizer on JACK and connects its outputs to the listener.
std::unique_ptr<FluidSynthMidiOut> openSynthHeardBy(JackListener& listener, std::string& why) {
    auto synth = FluidSynthMidiOut::open(findSoundFont(), why, "jack");
    if (!synth) return nullptr;
    const auto giveUp = std::chrono::steady_clock::now() + 5s;
    while (listener.connectFrom("fluidsynth") == 0) {
        if (std::chrono::steady_clock::now() >= giveUp) {
            why = "the synthesizer's JACK ports never came";
            return nullptr;
        }
        std::this_thread::sleep_for(50ms);
    }
    return synth;
}

constexpr float kSilent = 1e-3f;

TEST(FluidSynthJack, PlaybackSoundsThroughJackWhileItPlaysAndFallsSilentAfterTheStop) {
    ASSERT_FALSE(findSoundFont().empty()) << "a General MIDI SoundFont must be installed";
    test::DummyJackServer server;
    std::string why;
    if (!server.start(why)) GTEST_SKIP() << "skipped: no dummy JACK server: " << why;

    JackListener listener;
    ASSERT_TRUE(listener.open(why)) << why;
    std::string error;
    auto synth = FluidSynthMidiOut::open(findSoundFont(), error, "jack");
    ASSERT_TRUE(synth) << error;
    int connected = 0;
    const auto giveUp = std::chrono::steady_clock::now() + 5s;
    while (connected == 0 && std::chrono::steady_clock::now() < giveUp) {
        connected = listener.connectFrom("fluidsynth");
        if (connected == 0) std::this_thread::sleep_for(50ms);
    }
    ASSERT_GE(connected, 1) << "the synthesizer's JACK ports";

    std::this_thread::sleep_for(300ms);
    EXPECT_LT(listener.takePeak(), kSilent) << "nothing plays yet";

    // A chord of half a second at tempo 120.
    Song song;
    song.notes = {
        Note{}, {1, 60, 12, 0, 120, 64, 0}, {1, 64, 12, 0, 120, 64, 0}, {1, 67, 12, 0, 120, 64, 0}};
    song.twiceNoteCount = 6;
    song.changes = {ControlChange{}, ControlChange{0, 120, kTempoChange},
                    ControlChange{kEndMarkerPos, 0, 0}};
    song.changeCount = 1;
    SteadyClock clock;
    PlaybackListener hooks;
    Playback playback(song, *synth, clock, hooks);
    playback.press();
    ASSERT_TRUE(playback.isPlaying());
    playUntilStopped(playback, clock, [] { return true; });
    EXPECT_FALSE(playback.isPlaying()) << "the song ended by itself";
    // As loud as the same chord rendered, and no sample beyond the ceiling.
    const float played = listener.takePeak();
    EXPECT_GE(played, 0.5f) << "the chord came out of JACK";
    EXPECT_LE(played, PeakLimiter::kCeiling);

    // The stop silenced the synthesizer; what is left of the release dies away.
    std::this_thread::sleep_for(1s);
    listener.takePeak();
    std::this_thread::sleep_for(300ms);
    EXPECT_LT(listener.takePeak(), kSilent) << "silent after the stop";
    synth->close();
}

// The metronome through the real audio path, over a part that is muted and a
// percussion part at volume 0: the clicks sound on their beats, and between
// them the muted part's chord stays silent.
TEST(FluidSynthJack, TheMetronomeSoundsOnItsBeatsOverAMutedPartAndASilentPercussionPart) {
    ASSERT_FALSE(findSoundFont().empty()) << "a General MIDI SoundFont must be installed";
    test::DummyJackServer server;
    std::string why;
    if (!server.start(why)) GTEST_SKIP() << "skipped: no dummy JACK server: " << why;
    JackListener listener;
    ASSERT_TRUE(listener.open(why)) << why;
    auto synth = openSynthHeardBy(listener, why);
    ASSERT_TRUE(synth) << why;

    // Six beats at tempo 120 (a quarter every 500 ms): part 1 holds a loud
    // chord throughout, part 10 hits every beat at volume 0.
    Song song;
    song.notes = {Note{}, {3, 48, 72, 0, 127, 64, 0}, {3, 55, 72, 0, 127, 64, 0},
                  {3, 60, 72, 0, 127, 64, 0}};
    for (int32_t beat = 0; beat < 6; ++beat)
        song.notes.push_back({3 + 12 * beat, 38, 3, kPercussionPart, 127, 64, 0});
    song.twiceNoteCount = static_cast<int32_t>(2 * (song.notes.size() - 1));
    song.changes = {ControlChange{}, ControlChange{0, 120, kTempoChange},
                    ControlChange{kEndMarkerPos, 0, 0}};
    song.changeCount = 1;
    song.partVolumes.fill(5);
    song.partVolumes[kPercussionPart] = 0;
    song.partPrograms[0] = 19; // an organ: the chord holds its loudness

    SteadyClock clock;
    ClickTimes device(*synth, clock);
    PlaybackListener hooks;
    Playback playback(song, device, clock, hooks);
    PlaybackOptions options;
    options.metronome = true;
    options.muted[0] = true;
    playback.setOptions(options);
    std::this_thread::sleep_for(200ms);
    listener.keepPeriods(clock);
    playback.press();
    playUntilStopped(playback, clock, [] { return true; });
    std::this_thread::sleep_for(300ms);
    const std::vector<JackListener::Period> heard = listener.periods();
    // Six beats and the step where the chord ends, whose click the stop cuts.
    ASSERT_EQ(device.times.size(), 7u);

    // The loudest period within [from, to) ms of a time.
    auto loudest = [&](double time, double from, double to) {
        float peak = 0;
        for (const auto& p : heard)
            if (p.timeMs >= time + from && p.timeMs < time + to) peak = std::max(peak, p.peak);
        return peak;
    };
    // Each click is heard soon after it is sent (a loaded machine may hold the
    // audio back a little), and the muted chord never between the clicks.
    for (size_t k = 0; k + 1 < device.times.size(); ++k) {
        const double t = device.times[k];
        const float click = loudest(t, 0, 120);
        EXPECT_GE(click, 0.1f) << "click " << k << " heard within 120 ms of its sending";
        EXPECT_LT(loudest(t, 150, 450), click / 4) << "quiet after click " << k;
    }
    synth->close();
}

// The JACK server quits under the synthesizer's audio. Closing it used to
// crash once any other client of the program had failed to connect (the
// output menu looking for ports), taking the unsaved song with it.
TEST(FluidSynthJack, AVanishedJackServerLeavesTheSynthesizerToCloseWithoutACrash) {
    ASSERT_FALSE(findSoundFont().empty()) << "a General MIDI SoundFont must be installed";
    test::DummyJackServer server;
    std::string why;
    if (!server.start(why)) GTEST_SKIP() << "skipped: no dummy JACK server: " << why;
    std::string error;
    auto synth = FluidSynthMidiOut::open(findSoundFont(), error, "jack");
    ASSERT_TRUE(synth) << error;
    synth->send(0x643C90u);

    server.stop();
    std::this_thread::sleep_for(200ms);
    jack_status_t status{};
    EXPECT_EQ(jack_client_open("vako-menu", JackNoStartServer, &status), nullptr)
        << "a menu looks for ports";
    for (int i = 0; i < 5000; ++i) synth->send(0x643C90u + (i % 100) * 256);
    synth->reset();
    synth->close();
    synth.reset();
    std::string none;
    EXPECT_FALSE(FluidSynthMidiOut::open(findSoundFont(), none, "jack")) << "no server, no sound";
}

} // namespace
} // namespace vako
