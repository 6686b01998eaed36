#include "platform/rtmidi/RtMidiPortOut.h"

#include "platform/jack/JackServerWatch.h"
#include "platform/rtmidi/RtMidiClient.h"

namespace vako {

struct RtMidiPortOut::Impl {
    std::unique_ptr<::RtMidiOut> client;
    // When the port is a JACK port: its server. Once that is gone, nothing
    // is sent (a send would wait for ever once the client's queue is full)
    // and the client is left alone (JackServerWatch.h).
    std::shared_ptr<JackServerWatch> jack;

    bool serverGone() const { return jack && jack->serverGone(); }
    ~Impl() {
        if (serverGone()) (void)client.release();
    }
};

std::vector<std::string> rtMidiPortNames() {
    return rtmidi::listedPortsOfBothServices<::RtMidiOut>();
}

std::unique_ptr<RtMidiPortOut> RtMidiPortOut::open(const std::string& portName,
                                                   std::string& error) {
    const bool jack = rtmidi::isListedAsJack(portName);
    auto impl = std::make_unique<Impl>();
    if (jack) {
        // The watch first: a server that goes before the client is made is
        // seen as gone, never the other way round.
        impl->jack = JackServerWatch::ofRunningServer();
        if (!impl->jack) {
            error = "no JACK server is running";
            return nullptr;
        }
    }
    impl->client = rtmidi::newServiceClient<::RtMidiOut>(jack, error);
    if (!impl->client) return nullptr;
    try {
        const std::vector<std::string> names = rtmidi::listedPorts(*impl->client, jack);
        for (unsigned i = 0; i < names.size(); ++i) {
            if (names[i] != portName) continue;
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
    if (!m_impl->client || m_impl->serverGone()) return;
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
    if (m_impl->serverGone()) {
        (void)m_impl->client.release();
        return;
    }
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
