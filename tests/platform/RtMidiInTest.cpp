// The system's MIDI input ports through RtMidi. The real path runs on a JACK
// server of its own (jackd's dummy driver needs no sound card), under a server
// name no one else uses; where jackd is missing or will not start the test
// says so and skips.
#include "platform/rtmidi/RtMidiIn.h"
#include "platform/rtmidi/RtMidiPortOut.h"

#include "DummyJackServer.h"
#include "midi/KeyboardInput.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>
#include <rtmidi/RtMidi.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace vako {
namespace {

using namespace std::chrono_literals;
using test::DummyJackServer;

TEST(RtMidiInPorts, AMissingServiceListsNoPortsAndOpeningSaysWhy) {
    // No ALSA sequencer here (or any), and a JACK server name nobody runs.
    setenv("JACK_DEFAULT_SERVER", "vako-test-nobody-runs-this", 1);
    setenv("JACK_NO_START_SERVER", "1", 1);
    EXPECT_TRUE(RtMidiIn::portNames(RtMidiIn::Service::Jack).empty());
    const std::vector<std::string> all = RtMidiIn::portNames(); // never throws
    SteadyClock clock;
    std::string error;
    EXPECT_FALSE(RtMidiIn::open("no such keyboard", clock, {}, error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(RtMidiIn::open("no such keyboard (JACK)", clock, {}, error));
    EXPECT_FALSE(error.empty());
    auto backend = makeRtMidiInBackend(clock, {});
    EXPECT_FALSE(openMidiIn(*backend, parseMidiInChoice("port:no such keyboard"), error));
    EXPECT_NE(error.find("no such keyboard"), std::string::npos);
}

// A keyboard on JACK plays a chord into the program's input: the chord comes
// out of the gatherer whole, and unplugging the keyboard is noticed.
TEST(RtMidiInJack, AChordPlayedOnAJackPortArrivesAsOneChordAndPortLossIsSeen) {
    DummyJackServer server;
    std::string why;
    if (!server.start(why)) GTEST_SKIP() << "skipped: no dummy JACK server: " << why;

    std::unique_ptr<::RtMidiOut> keys;
    try {
        keys = std::make_unique<::RtMidiOut>(RtMidi::UNIX_JACK, "vakokeys");
        keys->openVirtualPort("out");
    } catch (const RtMidiError& e) {
        FAIL() << "the sending port would not open: " << e.getMessage();
    }

    SteadyClock clock;
    std::atomic<int> wakeUps{0};
    auto backend = makeRtMidiInBackend(clock, [&] { wakeUps.fetch_add(1); });
    std::string error;
    std::unique_ptr<MidiIn> in;
    const auto giveUp = std::chrono::steady_clock::now() + 5s;
    while (!in && std::chrono::steady_clock::now() < giveUp) {
        in = openMidiIn(*backend, parseMidiInChoice("port:vakokeys:out"), error);
        if (!in) std::this_thread::sleep_for(50ms);
    }
    ASSERT_TRUE(in) << error;
    EXPECT_EQ(in->name(), "vakokeys:out (JACK)");
    EXPECT_EQ(in->state(), MidiInState::Open);

    // RtMidi connects the port as it opens it; give JACK a few cycles.
    std::this_thread::sleep_for(100ms);
    const std::vector<std::vector<unsigned char>> chord = {
        {0x90, 60, 100}, {0x90, 64, 80}, {0x90, 67, 127}};
    for (const auto& m : chord) keys->sendMessage(&m);
    std::this_thread::sleep_for(100ms);
    for (const auto& m : chord) {
        const std::vector<unsigned char> off = {0x80, m[1], 0};
        keys->sendMessage(&off);
    }

    ChordGatherer gatherer;
    std::vector<MidiInMessage> taken;
    std::optional<GatheredChord> played;
    const auto waitUntil = std::chrono::steady_clock::now() + 5s;
    while ((!played || taken.size() < 6) && std::chrono::steady_clock::now() < waitUntil) {
        const size_t before = taken.size();
        in->take(taken);
        for (size_t i = before; i < taken.size(); ++i) gatherer.take(taken[i]);
        if (!played) played = gatherer.poll(clock.nowMs());
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_TRUE(played) << taken.size() << " messages arrived";
    EXPECT_EQ(played->keys, (std::vector<EnteredKey>{{60, 102}, {64, 78}, {67, 120}}));
    EXPECT_EQ(taken.size(), 6u);
    EXPECT_EQ(wakeUps.load(), 6);
    EXPECT_EQ(in->dropped(), 0u);

    keys.reset(); // unplugged
    EXPECT_EQ(in->state(), MidiInState::Lost);
    in->close();
    EXPECT_EQ(in->state(), MidiInState::Closed);
}

// Waits up to five seconds for `done`.
template <typename Done> bool waitFor(Done done) {
    const auto giveUp = std::chrono::steady_clock::now() + 5s;
    while (!done() && std::chrono::steady_clock::now() < giveUp) std::this_thread::sleep_for(20ms);
    return done();
}

// The JACK server quits while the program has a keyboard port and an output
// port on it. The window used to crash when the input menu opened afterwards
// (closing the keyboard's port on a client of the vanished server), never
// said the input was lost, and a playback on the output port would hang once
// the port's queue was full.
TEST(RtMidiInJack, AVanishedJackServerIsALostPortAndNothingCrashesOrHangs) {
    DummyJackServer server;
    std::string why;
    if (!server.start(why)) GTEST_SKIP() << "skipped: no dummy JACK server: " << why;

    // The test's own keyboard and synthesizer ports: JACK clients whose server
    // goes too, so they are left alone at the end like the program's.
    auto keys = std::make_unique<::RtMidiOut>(RtMidi::UNIX_JACK, "vakokeys");
    keys->openVirtualPort("out");
    auto synth = std::make_unique<::RtMidiIn>(RtMidi::UNIX_JACK, "vakosynth");
    synth->openVirtualPort("in");

    SteadyClock clock;
    auto backend = makeRtMidiInBackend(clock, {});
    std::string error;
    std::unique_ptr<MidiIn> in;
    ASSERT_TRUE(waitFor([&] {
        return (in = openMidiIn(*backend, parseMidiInChoice("port:vakokeys:out"), error)) !=
               nullptr;
    })) << error;
    std::unique_ptr<RtMidiPortOut> out;
    ASSERT_TRUE(waitFor([&] {
        return (out = RtMidiPortOut::open("vakosynth:in (JACK)", error)) != nullptr;
    })) << error;
    out->send(0x643C90u);

    const double stoppedAt = clock.nowMs();
    server.stop();
    EXPECT_TRUE(waitFor([&] { return in->state() == MidiInState::Lost; })) << "told it is lost";
    EXPECT_GE(in->lostAtMs(), stoppedAt);
    EXPECT_LT(in->lostAtMs(), stoppedAt + 1000) << "when it went, not when someone looked";

    // The menus look for ports with new clients, which cannot connect.
    EXPECT_TRUE(RtMidiIn::portNames(RtMidiIn::Service::Jack).empty());
    (void)backend->portNames();
    (void)rtMidiPortNames();

    // A playback's worth of messages to the output port, then both close.
    std::atomic<bool> sent{false};
    std::thread player([&] {
        for (int i = 0; i < 20000; ++i) out->send(0x643C90u + (i % 100) * 256);
        out->reset();
        sent = true;
    });
    if (!waitFor([&] { return sent.load(); })) {
        ADD_FAILURE() << "sending to the port of a vanished server hangs";
        std::_Exit(1);
    }
    player.join();
    in->close();
    out->close();
    in.reset();
    out.reset();
    (void)keys.release();
    (void)synth.release();
}

} // namespace
} // namespace vako
