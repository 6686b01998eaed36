#include "platform/rtmidi/RtMidiPortOut.h"

#include "platform/rtmidi/RtMidiClient.h"

namespace vako {

namespace {

std::unique_ptr<::RtMidiOut> newClient(std::string& error) {
    return rtmidi::newClient<::RtMidiOut>(RtMidi::UNSPECIFIED, error);
}

} // namespace

struct RtMidiPortOut::Impl {
    std::unique_ptr<::RtMidiOut> client;
};

std::vector<std::string> rtMidiPortNames() {
    std::string error;
    std::vector<std::string> names;
    auto client = newClient(error);
    if (!client) return names;
    try {
        const unsigned count = client->getPortCount();
        for (unsigned i = 0; i < count; ++i) names.push_back(client->getPortName(i));
    } catch (const RtMidiError&) {
        names.clear();
    }
    return names;
}

std::unique_ptr<RtMidiPortOut> RtMidiPortOut::open(const std::string& portName,
                                                   std::string& error) {
    auto impl = std::make_unique<Impl>();
    impl->client = newClient(error);
    if (!impl->client) return nullptr;
    try {
        const unsigned count = impl->client->getPortCount();
        for (unsigned i = 0; i < count; ++i) {
            if (impl->client->getPortName(i) != portName) continue;
            impl->client->openPort(i, "vakomidi out");
            return std::unique_ptr<RtMidiPortOut>(new RtMidiPortOut(std::move(impl), portName));
        }
        error = "the MIDI port \"" + portName + "\" is gone";
    } catch (const RtMidiError& e) {
        error = e.getMessage();
    }
    return nullptr;
}

RtMidiPortOut::RtMidiPortOut(std::unique_ptr<Impl> impl, std::string name)
    : m_impl(std::move(impl)), m_name(std::move(name)) {}
RtMidiPortOut::~RtMidiPortOut() = default;

void RtMidiPortOut::send(uint32_t message) {
    if (!m_impl->client) return;
    const unsigned char bytes[3] = {static_cast<unsigned char>(message & 0xFF),
                                    static_cast<unsigned char>((message >> 8) & 0x7F),
                                    static_cast<unsigned char>((message >> 16) & 0x7F)};
    if (bytes[0] < 0x80 || bytes[0] >= 0xF0) return; // only channel messages are sent
    try {
        m_impl->client->sendMessage(bytes, 1 + channelMessageDataBytes(bytes[0]));
    } catch (const RtMidiError&) {
        // A port that went away: the message is lost, as any failed send is.
    }
}

void RtMidiPortOut::reset() {
    constexpr uint8_t kSustain = 64, kAllNotesOff = 123;
    for (uint32_t channel = 0; channel < 16; ++channel) {
        send(0xB0 + channel + kSustain * 256u);
        send(0xB0 + channel + kAllNotesOff * 256u);
    }
}

void RtMidiPortOut::close() {
    if (!m_impl->client) return;
    try {
        m_impl->client->closePort();
    } catch (const RtMidiError&) {}
    m_impl->client.reset();
}

namespace {

class RtMidiBackend final : public MidiOutBackend {
public:
    bool isSynth() const override { return false; }
    std::vector<std::string> deviceNames() override { return rtMidiPortNames(); }
    std::unique_ptr<MidiOut> open(const std::string& deviceName, std::string& error) override {
        return RtMidiPortOut::open(deviceName, error);
    }
};

} // namespace

std::unique_ptr<MidiOutBackend> makeRtMidiBackend() {
    return std::make_unique<RtMidiBackend>();
}

} // namespace vako
