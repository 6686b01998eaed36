// Making an RtMidi client without letting anything escape: RtMidi throws when
// its service is missing (the ALSA backend without a sequencer, say) and
// prints warnings unless a callback takes them. Shared by the output and the
// input ports; not part of the interface.
#pragma once

#include <rtmidi/RtMidi.h>

#include <memory>
#include <string>

namespace vako::rtmidi {

// Errors are thrown; warnings would go to stderr without a callback.
inline void ignoreWarning(RtMidiError::Type, const std::string&, void*) {}

// A client of `api` (RtMidi::UNSPECIFIED: the first one that works), or
// nullptr with `error` set.
template <typename Client>
std::unique_ptr<Client> newClient(RtMidi::Api api, std::string& error) {
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

} // namespace vako::rtmidi
