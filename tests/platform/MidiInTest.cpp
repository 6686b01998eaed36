#include "platform/MidiIn.h"

#include "midi/KeyboardInput.h"
#include "midi/ShortMessage.h"
#include "platform/Clock.h"
#include "platform/MidiOut.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace vako {
namespace {

TEST(MidiInQueue, KeepsChannelMessagesInOrderIgnoresTheRestAndNothingAfterClose) {
    FakeClock clock(7);
    int wakeUps = 0;
    ScriptedMidiIn in(clock, [&] { ++wakeUps; });
    in.deliverBytes({0x90, 60, 100});
    in.deliverBytes({0xF8});             // clock
    in.deliverBytes({0xFE});             // active sensing
    in.deliverBytes({0xF0, 0x7E, 0xF7}); // a short system exclusive
    in.deliverBytes({0x3C, 0x40});       // a stray data byte
    in.deliverBytes({0xC1, 5});
    in.deliverBytes({});
    std::vector<MidiInMessage> taken;
    EXPECT_EQ(in.take(taken), 2u);
    EXPECT_EQ(taken, (std::vector<MidiInMessage>{{7, 0x643C90u}, {7, 0x05C1u}}));
    EXPECT_EQ(wakeUps, 2);
    EXPECT_EQ(in.take(taken), 0u);
    EXPECT_EQ(in.state(), MidiInState::Open);
    // Nothing arrives after the close.
    in.deliverBytes({0x90, 62, 100});
    in.close();
    in.deliverBytes({0x90, 64, 100});
    EXPECT_EQ(in.take(taken), 1u);
    EXPECT_EQ(in.state(), MidiInState::Closed);
}

// A flood of note-ons whose data bytes are 0x80 and above (9n 8k FF) used to
// be masked into valid notes whose note-offs never came.
TEST(MidiInQueue, MessagesWhoseDataBytesAreNotDataAreDroppedNotMasked) {
    FakeClock clock;
    ScriptedMidiIn in(clock);
    in.deliverBytes({0x90, 0x85, 0xFF});
    in.deliverBytes({0x93, 60, 0x80});
    in.deliverBytes({0xC0, 0x90});
    in.deliverBytes({0x90, 60}); // cut short
    in.deliverBytes({0xE0});
    in.deliverAt(0xFF8591u, 3);
    std::vector<MidiInMessage> taken;
    EXPECT_EQ(in.take(taken), 0u);
    // The bytes a message does not use do not matter.
    in.deliverBytes({0xC2, 5, 0x99});
    in.deliverAt(0xAB7F3C80u, 3);
    EXPECT_EQ(in.take(taken), 2u);
    EXPECT_EQ(taken, (std::vector<MidiInMessage>{{0, 0x05C2u}, {3, 0x7F3C80u}}));
}

TEST(MidiInQueue, AFullQueueCountsWhatItDropsAndKeepsWhatItHas) {
    FakeClock clock;
    ScriptedMidiIn in(clock);
    const size_t extra = 10;
    for (size_t i = 0; i < MidiIn::kQueueCapacity + extra; ++i)
        in.deliverAt(packShortMessage(0x90, i % 120, 100), static_cast<double>(i));
    EXPECT_EQ(in.dropped(), extra);
    std::vector<MidiInMessage> taken;
    EXPECT_EQ(in.take(taken), MidiIn::kQueueCapacity);
    EXPECT_EQ(taken.front().timeMs, 0);
    EXPECT_EQ(taken.back().timeMs, static_cast<double>(MidiIn::kQueueCapacity - 1));
    // Room again once taken.
    in.deliverAt(0x643C90u, 1);
    EXPECT_EQ(in.take(taken), 1u);
}

TEST(MidiInChoice, NoneOrAPortNamedByPartOfItsName) {
    bool ok = false;
    EXPECT_EQ(parseMidiInChoice(nullptr, &ok), MidiInChoice{});
    EXPECT_TRUE(ok);
    EXPECT_EQ(parseMidiInChoice("none", &ok), MidiInChoice{});
    EXPECT_EQ(parseMidiInChoice("port:Keystation", &ok), (MidiInChoice{false, "Keystation"}));
    EXPECT_TRUE(ok);
    EXPECT_EQ(parseMidiInChoice("port:", &ok), MidiInChoice{});
    EXPECT_FALSE(ok);
    EXPECT_EQ(parseMidiInChoice("Keystation", &ok), MidiInChoice{});
    EXPECT_FALSE(ok);
}

class ScriptedBackend final : public MidiInBackend {
public:
    explicit ScriptedBackend(const Clock& clock) : m_clock(clock) {}
    std::vector<std::string> portNames() override { return {"Through", "USB Keys MIDI 1"}; }
    std::unique_ptr<MidiIn> open(const std::string& portName, std::string& error) override {
        if (portName == "Through") {
            error = "busy";
            return nullptr;
        }
        return std::make_unique<ScriptedMidiIn>(m_clock, MidiInWakeUp{}, portName);
    }

private:
    const Clock& m_clock;
};

TEST(MidiInChoice, OpensTheFirstMatchingPortOrSaysWhyNot) {
    FakeClock clock;
    ScriptedBackend backend(clock);
    std::string error = "old";
    auto in = openMidiIn(backend, {false, "Keys"}, error);
    ASSERT_TRUE(in);
    EXPECT_EQ(in->name(), "USB Keys MIDI 1");
    EXPECT_EQ(error, "");
    EXPECT_FALSE(openMidiIn(backend, {false, "Launchkey"}, error));
    EXPECT_NE(error.find("Launchkey"), std::string::npos);
    EXPECT_FALSE(openMidiIn(backend, {false, "Thr"}, error));
    EXPECT_EQ(error, "busy");
    EXPECT_FALSE(openMidiIn(backend, {}, error));
    EXPECT_EQ(error, "");
}

// A keyboard thread calling back 5,000 times a second for three seconds while
// the user-interface thread drains, passes every message on and gathers
// chords. Nothing may be dropped, reordered or raced (the sanitizer builds
// run this too).
TEST(MidiInThreads, AKeyboardAt5000MessagesASecondLosesNothing) {
    SteadyClock clock;
    std::atomic<bool> woken{false};
    std::atomic<bool> done{false};
    ScriptedMidiIn keyboard(clock, [&] {
        woken.store(true, std::memory_order_release);
        woken.notify_one();
    });
    constexpr int kRate = 5000;
    constexpr int kSeconds = 3;
    constexpr int kCount = kRate * kSeconds; // an even number: on and off in turn

    std::thread device([&] {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kCount; ++i) {
            std::this_thread::sleep_until(start + std::chrono::microseconds(i * 1000000LL / kRate));
            const int key = (i / 2) % 120;
            keyboard.deliver(i % 2 == 0 ? packShortMessage(0x90, key, 1 + i % 127)
                                        : packShortMessage(0x80, key, 0));
        }
        // A last wake-up, so a consumer waiting for dropped messages ends too.
        done.store(true);
        woken.store(true, std::memory_order_release);
        woken.notify_one();
    });

    RecordingMidiOut out(clock);
    out.reserve(kCount + 16);
    MidiThru thru;
    ChordGatherer gatherer;
    std::vector<MidiInMessage> taken;
    taken.reserve(kCount);
    size_t chords = 0;
    while (!done.load() || taken.size() + keyboard.dropped() < static_cast<size_t>(kCount)) {
        woken.wait(false, std::memory_order_acquire);
        woken.store(false, std::memory_order_relaxed);
        const size_t before = taken.size();
        keyboard.take(taken);
        for (size_t i = before; i < taken.size(); ++i) {
            thru.route(taken[i].message, 0, 0, out);
            gatherer.take(taken[i]);
        }
        while (gatherer.poll(clock.nowMs())) ++chords;
    }
    device.join();
    keyboard.take(taken);

    EXPECT_EQ(keyboard.dropped(), 0u);
    ASSERT_EQ(taken.size(), static_cast<size_t>(kCount));
    for (int i = 0; i < kCount; ++i) {
        const int key = (i / 2) % 120;
        const uint32_t expected =
            i % 2 == 0 ? packShortMessage(0x90, key, 1 + i % 127) : packShortMessage(0x80, key, 0);
        ASSERT_EQ(taken[i].message, expected) << "message " << i;
        if (i > 0) {
            ASSERT_GE(taken[i].timeMs, taken[i - 1].timeMs);
        }
    }
    // Every note-on and note-off went out, after the one program change.
    EXPECT_EQ(out.messages().size(), static_cast<size_t>(kCount) + 1);
    EXPECT_GT(chords, 0u);
}

} // namespace
} // namespace vako
