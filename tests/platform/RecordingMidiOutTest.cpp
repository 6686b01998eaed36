#include "platform/Clock.h"
#include "platform/MidiDevices.h"
#include "platform/MidiOut.h"

#include <gtest/gtest.h>

namespace vako {
namespace {

using Kind = RecordingMidiOut::Kind;

TEST(RecordingMidiOut, KeepsMessagesResetsAndCloseWithTheirTimesAndNothingAfterClose) {
    FakeClock clock(10);
    RecordingMidiOut out(clock);
    out.send(0x643C90);
    clock.advance(2.5);
    out.reset();
    out.send(0x3C80);
    out.close();
    clock.advance(1);
    out.send(0x643C90);
    out.reset();
    out.close();
    const std::vector<RecordingMidiOut::Entry> expected = {{10, Kind::Message, 0x643C90},
                                                           {12.5, Kind::Reset, 0},
                                                           {12.5, Kind::Message, 0x3C80},
                                                           {12.5, Kind::Close, 0}};
    EXPECT_EQ(out.entries(), expected);
    EXPECT_EQ(out.messages(), (std::vector<uint32_t>{0x643C90, 0x3C80}));
}

TEST(Clock, SteadyClockSleepsAtLeastUntilTheDeadline) {
    SteadyClock clock;
    const double deadline = clock.nowMs() + 3;
    clock.sleepUntil(deadline);
    EXPECT_GE(clock.nowMs(), deadline);
}

TEST(MidiOutChoice, ReadsTheEnvironmentValues) {
    bool recognised = false;
    EXPECT_EQ(parseMidiOutChoice(nullptr, &recognised), MidiOutChoice{});
    EXPECT_TRUE(recognised);
    EXPECT_EQ(parseMidiOutChoice("", &recognised), MidiOutChoice{});
    EXPECT_EQ(parseMidiOutChoice("synth", &recognised), MidiOutChoice{});
    EXPECT_EQ(parseMidiOutChoice("null", &recognised).kind, MidiOutChoice::Kind::Null);
    const MidiOutChoice port = parseMidiOutChoice("port:Midi Through", &recognised);
    EXPECT_EQ(port.kind, MidiOutChoice::Kind::Port);
    EXPECT_EQ(port.portName, "Midi Through");
    EXPECT_TRUE(recognised);
    EXPECT_EQ(parseMidiOutChoice("loud", &recognised), MidiOutChoice{});
    EXPECT_FALSE(recognised);
}

// A backend with a fixed list of devices, some of which refuse to open.
class FakeBackend final : public MidiOutBackend {
public:
    FakeBackend(bool synth, std::vector<std::string> names, bool opens = true)
        : m_synth(synth), m_names(std::move(names)), m_opens(opens) {}
    bool isSynth() const override { return m_synth; }
    std::vector<std::string> deviceNames() override { return m_names; }
    std::unique_ptr<MidiOut> open(const std::string& name, std::string& error) override {
        if (!m_opens) {
            error = "busy";
            return nullptr;
        }
        return std::make_unique<Named>(name);
    }

    class Named final : public MidiOut {
    public:
        explicit Named(std::string name) : m_name(std::move(name)) {}
        void send(uint32_t) override {}
        void reset() override {}
        void close() override {}
        std::string name() const override { return m_name; }

    private:
        std::string m_name;
    };

private:
    bool m_synth;
    std::vector<std::string> m_names;
    bool m_opens;
};

TEST(MidiStartup, WithoutAPlayableDeviceTheProgramGoesOnSilentlyAndSaysWhy) {
    struct Backend {
        bool synth;
        std::vector<std::string> names;
        bool opens;
    };
    struct Case {
        const char* name;
        std::vector<Backend> backends;
        std::string message, detail, device;
    };
    const std::string inUse = "おそらく別のソフトで、すでにmidiが使われています。そちらを先に終了さ"
                              "せてから、ヴァコヴァコMIDIを起動してください ";
    const Case cases[] = {
        {"no device at all", {{false, {}, true}}, "MIDI音源を使用できません.", "", "null"},
        {"a port that will not open", {{false, {"Port A"}, false}}, inUse, "Port A: busy", "null"},
        // A machine without audio output: the synthesizer is listed but will not open.
        {"a synthesizer without sound", {{true, {"synth"}, false}}, msg::kNoMidiDevice, "", "null"},
        {"a synthesizer without sound beside a port",
         {{true, {"synth"}, false}, {false, {"Port A"}, true}},
         "",
         "",
         "Port A"},
        {"no synthesizer: the first port",
         {{true, {}, true}, {false, {"Port A"}, true}},
         "",
         "",
         "Port A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MidiDeviceList devices;
        for (const Backend& b : c.backends)
            devices.add(std::make_unique<FakeBackend>(b.synth, b.names, b.opens));
        const MidiStartup startup = openMidiOutAtStartup(devices, {});
        EXPECT_EQ(startup.message, c.message);
        if (!c.detail.empty()) {
            EXPECT_EQ(startup.detail, c.detail);
        }
        ASSERT_TRUE(startup.device);
        EXPECT_EQ(startup.device->name(), c.device);
        EXPECT_EQ(startup.silentFallback, c.device == "null");
    }
}

TEST(MidiStartup, TheDeviceMenuOpensADeviceByItsFullName) {
    MidiDeviceList devices;
    devices.add(std::make_unique<FakeBackend>(false, std::vector<std::string>{"USB Keys:1"}));
    devices.add(std::make_unique<FakeBackend>(true, std::vector<std::string>{"FluidSynth"}));
    std::string error;
    auto device = devices.openByName("USB Keys:1", error);
    ASSERT_TRUE(device);
    EXPECT_EQ(device->name(), "USB Keys:1");
    EXPECT_FALSE(devices.openByName("USB", error)) << "a part of the name is not enough";
    EXPECT_FALSE(error.empty());
}

TEST(MidiStartup, TheSynthesizerIsTheDefaultAndAPortIsFoundByPartOfItsName) {
    MidiDeviceList devices;
    devices.add(std::make_unique<FakeBackend>(
        false, std::vector<std::string>{"Midi Through:0", "USB Keys:1"}));
    devices.add(std::make_unique<FakeBackend>(true, std::vector<std::string>{"FluidSynth"}));
    EXPECT_EQ(devices.names(),
              (std::vector<std::string>{"FluidSynth", "Midi Through:0", "USB Keys:1"}));

    MidiStartup startup = openMidiOutAtStartup(devices, {});
    EXPECT_TRUE(startup.message.empty());
    EXPECT_EQ(startup.device->name(), "FluidSynth");

    startup = openMidiOutAtStartup(devices, {MidiOutChoice::Kind::Port, "USB"});
    EXPECT_EQ(startup.device->name(), "USB Keys:1");

    startup = openMidiOutAtStartup(devices, {MidiOutChoice::Kind::Port, "Piano"});
    EXPECT_EQ(startup.message, msg::kMidiInUse);
    EXPECT_EQ(startup.device->name(), "null");

    startup = openMidiOutAtStartup(devices, {MidiOutChoice::Kind::Null, {}});
    EXPECT_TRUE(startup.message.empty());
    EXPECT_FALSE(startup.silentFallback);
    EXPECT_EQ(startup.device->name(), "null");
}

} // namespace
} // namespace vako
