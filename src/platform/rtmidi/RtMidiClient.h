// Making an RtMidi client without letting anything escape: RtMidi throws when
// its service is missing (the ALSA backend without a sequencer, say) and
// prints warnings unless a callback takes them. Shared by the output and the
// input ports; not part of the interface.
#pragma once

#include <rtmidi/RtMidi.h>

#include <memory>
#include <string>
#include <vector>

namespace vako::rtmidi {

// Errors are thrown; warnings would go to stderr without a callback.
inline void ignoreWarning(RtMidiError::Type, const std::string&, void*) {}

// A client of `api` (RtMidi::UNSPECIFIED: the first one that works), or
// nullptr with `error` set.
template <typename Client> std::unique_ptr<Client> newClient(RtMidi::Api api, std::string& error) {
    try {
        auto client = std::make_unique<Client>(api, "vakomidi");
        client->setErrorCallback(ignoreWarning, nullptr);
        return client;
    } catch (const RtMidiError& e) {
        error = e.getMessage();
    } catch (const std::exception& e) {
        error = e.what();
    }
    return nullptr;
}

// The system's two MIDI services RtMidi reaches on Linux. Each is asked on
// its own: a client of "whichever works" stops at the ALSA sequencer, which
// throws when it is missing, and never gets to JACK.
inline RtMidi::Api apiOf(bool jack) {
    return jack ? RtMidi::UNIX_JACK : RtMidi::LINUX_ALSA;
}

// JACK's ports are listed with this after their name.
inline const std::string kJackSuffix = " (JACK)";
inline bool isListedAsJack(const std::string& listedName) {
    return listedName.size() > kJackSuffix.size() &&
           listedName.compare(listedName.size() - kJackSuffix.size(), kJackSuffix.size(),
                              kJackSuffix) == 0;
}

inline bool compiledIn(RtMidi::Api api) {
    std::vector<RtMidi::Api> apis;
    RtMidi::getCompiledApi(apis);
    for (RtMidi::Api a : apis)
        if (a == api) return true;
    return false;
}

// A client of ALSA's or JACK's service, or nullptr when the service is missing.
template <typename Client> std::unique_ptr<Client> newServiceClient(bool jack, std::string& error) {
    const RtMidi::Api api = apiOf(jack);
    if (!compiledIn(api)) {
        error = "this build of RtMidi has no " + RtMidi::getApiDisplayName(api);
        return nullptr;
    }
    return newClient<Client>(api, error);
}

// The client's ports as the menus list them.
template <typename Client> std::vector<std::string> listedPorts(Client& client, bool jack) {
    std::vector<std::string> names;
    try {
        const unsigned count = client.getPortCount();
        for (unsigned i = 0; i < count; ++i) {
            std::string name = client.getPortName(i);
            if (name.empty()) continue;
            if (jack) name += kJackSuffix;
            names.push_back(std::move(name));
        }
    } catch (const RtMidiError&) {
        names.clear();
    }
    return names;
}

// The ports of both services, ALSA's first; a missing service adds nothing.
template <typename Client> std::vector<std::string> listedPortsOfBothServices() {
    std::vector<std::string> names;
    for (const bool jack : {false, true}) {
        std::string error;
        if (auto client = newServiceClient<Client>(jack, error))
            for (std::string& name : listedPorts(*client, jack)) names.push_back(std::move(name));
    }
    return names;
}

} // namespace vako::rtmidi
