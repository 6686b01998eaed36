#include "platform/rtmidi/RtMidiIn.h"

#include "platform/jack/JackServerWatch.h"
#include "platform/rtmidi/RtMidiClient.h"

namespace vako {

namespace {

bool isJack(RtMidiIn::Service service) {
    return service == RtMidiIn::Service::Jack;
}

} // namespace

struct RtMidiIn::Impl {
    Service service = Service::Alsa;
    std::unique_ptr<::RtMidiIn> client; // the open port; its thread delivers
    // A second client that only lists the ports, on the user-interface thread:
    // the open client's handle belongs to its input thread (ALSA's sequencer
    // handle takes no locks).
    std::unique_ptr<::RtMidiIn> lister;
    // On JACK: the server both clients talk to. Once it is gone they are
    // never touched again (JackServerWatch.h).
    std::shared_ptr<JackServerWatch> jack;

    bool serverGone() const { return jack && jack->serverGone(); }
};

std::vector<std::string> RtMidiIn::portNames(Service service) {
    std::string error;
    auto client = rtmidi::newServiceClient<::RtMidiIn>(isJack(service), error);
    if (!client) return {};
    return rtmidi::listedPorts(*client, isJack(service));
}

std::vector<std::string> RtMidiIn::portNames() {
    return rtmidi::listedPortsOfBothServices<::RtMidiIn>();
}

RtMidiIn::RtMidiIn(const Clock& clock, MidiInWakeUp wakeUp, std::string name)
    : MidiIn(clock, std::move(wakeUp)), m_impl(std::make_unique<Impl>()), m_name(std::move(name)) {}

std::unique_ptr<RtMidiIn> RtMidiIn::open(const std::string& portName, const Clock& clock,
                                         MidiInWakeUp wakeUp, std::string& error) {
    const Service service = rtmidi::isListedAsJack(portName) ? Service::Jack : Service::Alsa;

    std::unique_ptr<RtMidiIn> device(new RtMidiIn(clock, std::move(wakeUp), portName));
    device->m_impl->service = service;
    if (service == Service::Jack) {
        // The watch first: a server that goes before the client is made is
        // seen as gone, never the other way round.
        device->m_impl->jack = JackServerWatch::ofRunningServer();
        if (!device->m_impl->jack) {
            error = "no JACK server is running";
            return nullptr;
        }
        RtMidiIn* self = device.get();
        device->m_impl->jack->whenGone(self, [self] { self->markLost(); });
    }
    device->m_impl->client = rtmidi::newServiceClient<::RtMidiIn>(isJack(service), error);
    if (!device->m_impl->client) return nullptr;
    ::RtMidiIn& client = *device->m_impl->client;
    try {
        const std::vector<std::string> names = rtmidi::listedPorts(client, isJack(service));
        for (unsigned i = 0; i < names.size(); ++i) {
            if (names[i] != portName) continue;
            // From here on the service reports trouble to the device, on its
            // own thread: the port is then taken as lost.
            client.setErrorCallback([](RtMidiError::Type type, const std::string& text,
                                       void* self) { onError(static_cast<int>(type), text, self); },
                                    device.get());
            client.setCallback(onMessage, device.get());
            client.ignoreTypes(true, true, true);
            client.openPort(i, "vakomidi in");
            if (!client.isPortOpen()) {
                error = "the MIDI input \"" + portName + "\" would not open";
                return nullptr;
            }
            std::string listerError;
            device->m_impl->lister =
                rtmidi::newServiceClient<::RtMidiIn>(isJack(service), listerError);
            return device;
        }
        error = "the MIDI input \"" + portName + "\" is gone";
    } catch (const RtMidiError& e) {
        error = e.getMessage();
    }
    return nullptr;
}

RtMidiIn::~RtMidiIn() {
    close();
}

void RtMidiIn::onMessage(double, std::vector<unsigned char>* message, void* self) {
    if (!message || !self) return;
    static_cast<RtMidiIn*>(self)->arrived(message->data(), message->size());
}

void RtMidiIn::onError(int type, const std::string&, void* self) {
    switch (static_cast<RtMidiError::Type>(type)) {
    case RtMidiError::WARNING:
    case RtMidiError::DEBUG_WARNING:
        return;
    default:
        static_cast<RtMidiIn*>(self)->markLost();
    }
}

MidiInState RtMidiIn::state() {
    const MidiInState now = MidiIn::state();
    if (now != MidiInState::Open) return now;
    if (m_impl->serverGone()) {
        markLost();
        return MidiIn::state();
    }
    if (!m_impl->lister) return now;
    bool present = false;
    for (const std::string& name : rtmidi::listedPorts(*m_impl->lister, isJack(m_impl->service)))
        present = present || name == m_name;
    if (!present) markLost();
    return MidiIn::state();
}

void RtMidiIn::close() {
    markClosed();
    if (!m_impl) return;
    if (m_impl->jack) m_impl->jack->forget(this);
    if (!m_impl->client) return;
    if (m_impl->serverGone()) {
        // Its server went away: closing the port or the client could crash.
        // The message callback goes (RtMidi only forgets it), the rest stays.
        try {
            m_impl->client->cancelCallback();
        } catch (const RtMidiError&) {}
        (void)m_impl->client.release();
        (void)m_impl->lister.release();
        return;
    }
    try {
        m_impl->client->cancelCallback();
        m_impl->client->closePort();
    } catch (const RtMidiError&) {}
    m_impl->client.reset();
    m_impl->lister.reset();
}

namespace {

class RtMidiInBackend final : public MidiInBackend {
public:
    RtMidiInBackend(const Clock& clock, MidiInWakeUp wakeUp)
        : m_clock(clock), m_wakeUp(std::move(wakeUp)) {}
    std::vector<std::string> portNames() override { return RtMidiIn::portNames(); }
    std::unique_ptr<MidiIn> open(const std::string& portName, std::string& error) override {
        return RtMidiIn::open(portName, m_clock, m_wakeUp, error);
    }

private:
    const Clock& m_clock;
    MidiInWakeUp m_wakeUp;
};

} // namespace

std::unique_ptr<MidiInBackend> makeRtMidiInBackend(const Clock& clock, MidiInWakeUp wakeUp) {
    return std::make_unique<RtMidiInBackend>(clock, std::move(wakeUp));
}

} // namespace vako
