#include "platform/rtmidi/RtMidiIn.h"

#include "platform/rtmidi/RtMidiClient.h"

namespace vako {

namespace {

constexpr const char* kJackSuffix = " (JACK)";

RtMidi::Api apiOf(RtMidiIn::Service service) {
    return service == RtMidiIn::Service::Jack ? RtMidi::UNIX_JACK : RtMidi::LINUX_ALSA;
}

bool compiledIn(RtMidi::Api api) {
    std::vector<RtMidi::Api> apis;
    RtMidi::getCompiledApi(apis);
    for (RtMidi::Api a : apis)
        if (a == api) return true;
    return false;
}

// A client of the service, or nullptr when the service is missing.
std::unique_ptr<::RtMidiIn> newClient(RtMidiIn::Service service, std::string& error) {
    const RtMidi::Api api = apiOf(service);
    if (!compiledIn(api)) {
        error = "this build of RtMidi has no " + RtMidi::getApiDisplayName(api);
        return nullptr;
    }
    return rtmidi::newClient<::RtMidiIn>(api, error);
}

// The client's ports as the menu lists them.
std::vector<std::string> listedPorts(::RtMidiIn& client, RtMidiIn::Service service) {
    std::vector<std::string> names;
    try {
        const unsigned count = client.getPortCount();
        for (unsigned i = 0; i < count; ++i) {
            std::string name = client.getPortName(i);
            if (name.empty()) continue;
            if (service == RtMidiIn::Service::Jack) name += kJackSuffix;
            names.push_back(std::move(name));
        }
    } catch (const RtMidiError&) {
        names.clear();
    }
    return names;
}

} // namespace

struct RtMidiIn::Impl {
    Service service = Service::Alsa;
    std::unique_ptr<::RtMidiIn> client; // the open port; its thread delivers
    // A second client that only lists the ports, on the user-interface thread:
    // the open client's handle belongs to its input thread (ALSA's sequencer
    // handle takes no locks).
    std::unique_ptr<::RtMidiIn> lister;
};

std::vector<std::string> RtMidiIn::portNames(Service service) {
    std::string error;
    auto client = newClient(service, error);
    if (!client) return {};
    return listedPorts(*client, service);
}

std::vector<std::string> RtMidiIn::portNames() {
    std::vector<std::string> names = portNames(Service::Alsa);
    for (std::string& name : portNames(Service::Jack)) names.push_back(std::move(name));
    return names;
}

RtMidiIn::RtMidiIn(const Clock& clock, MidiInWakeUp wakeUp, std::string name)
    : MidiIn(clock, std::move(wakeUp)), m_impl(std::make_unique<Impl>()), m_name(std::move(name)) {}

std::unique_ptr<RtMidiIn> RtMidiIn::open(const std::string& portName, const Clock& clock,
                                         MidiInWakeUp wakeUp, std::string& error) {
    const std::string_view suffix = kJackSuffix;
    const bool jack = portName.size() > suffix.size() &&
                      std::string_view(portName).substr(portName.size() - suffix.size()) == suffix;
    const Service service = jack ? Service::Jack : Service::Alsa;

    std::unique_ptr<RtMidiIn> device(new RtMidiIn(clock, std::move(wakeUp), portName));
    device->m_impl->service = service;
    device->m_impl->client = newClient(service, error);
    if (!device->m_impl->client) return nullptr;
    ::RtMidiIn& client = *device->m_impl->client;
    try {
        const std::vector<std::string> names = listedPorts(client, service);
        for (unsigned i = 0; i < names.size(); ++i) {
            if (names[i] != portName) continue;
            // From here on the service reports trouble to the device, on its
            // own thread: the port is then taken as lost.
            client.setErrorCallback(
                [](RtMidiError::Type type, const std::string& text, void* self) {
                    onError(static_cast<int>(type), text, self);
                },
                device.get());
            client.setCallback(onMessage, device.get());
            client.ignoreTypes(true, true, true);
            client.openPort(i, "vakomidi in");
            if (!client.isPortOpen()) {
                error = "the MIDI input \"" + portName + "\" would not open";
                return nullptr;
            }
            std::string listerError;
            device->m_impl->lister = newClient(service, listerError);
            return device;
        }
        error = "the MIDI input \"" + portName + "\" is gone";
    } catch (const RtMidiError& e) {
        error = e.getMessage();
    }
    return nullptr;
}

RtMidiIn::~RtMidiIn() { close(); }

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
    if (now != MidiInState::Open || !m_impl->lister) return now;
    bool present = false;
    for (const std::string& name : listedPorts(*m_impl->lister, m_impl->service))
        present = present || name == m_name;
    if (!present) markLost();
    return MidiIn::state();
}

void RtMidiIn::close() {
    markClosed();
    if (!m_impl || !m_impl->client) return;
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
