#include "platform/MidiDevices.h"

#include <cstdlib>

namespace vako {

MidiOutChoice parseMidiOutChoice(const char* value, bool* recognised) {
    if (recognised) *recognised = true;
    const std::string_view text = value ? value : "";
    if (text.empty() || text == "synth") return {};
    if (text == "null") return {MidiOutChoice::Kind::Null, {}};
    constexpr std::string_view kPortPrefix = "port:";
    if (text.starts_with(kPortPrefix))
        return {MidiOutChoice::Kind::Port, std::string(text.substr(kPortPrefix.size()))};
    if (recognised) *recognised = false;
    return {};
}

MidiOutChoice midiOutChoiceFromEnvironment(bool* recognised) {
    return parseMidiOutChoice(std::getenv("VAKO_MIDI_OUT"), recognised);
}

void MidiDeviceList::add(std::unique_ptr<MidiOutBackend> backend) {
    if (!backend) return;
    // Synthesizers go first: they are the default device.
    if (backend->isSynth())
        m_backends.insert(m_backends.begin(), std::move(backend));
    else
        m_backends.push_back(std::move(backend));
}

std::vector<std::string> MidiDeviceList::names() {
    std::vector<std::string> all;
    for (auto& backend : m_backends)
        for (std::string& name : backend->deviceNames()) all.push_back(std::move(name));
    return all;
}

std::unique_ptr<MidiOut> MidiDeviceList::open(const MidiOutChoice& choice, std::string& error) {
    bool busy = false;
    return open(choice, error, busy);
}

std::unique_ptr<MidiOut> MidiDeviceList::open(const MidiOutChoice& choice, std::string& error,
                                              bool& busy) {
    error.clear();
    busy = false;
    switch (choice.kind) {
    case MidiOutChoice::Kind::Null:
        error = "the silent device was chosen";
        return nullptr;
    case MidiOutChoice::Kind::Synth:
        // The synthesizer, else the first port that opens, as a MIDI mapper
        // would. A synthesizer that will not open has no audio output (or no
        // usable SoundFont): the machine has no sound, nobody else holds it.
        for (auto& backend : m_backends) {
            for (const std::string& name : backend->deviceNames()) {
                std::string why;
                if (auto device = backend->open(name, why)) {
                    error.clear();
                    return device;
                }
                if (!backend->isSynth()) busy = true;
                error += (error.empty() ? "" : "; ") + name + ": " + why;
            }
        }
        if (error.empty()) error = "no MIDI output device";
        return nullptr;
    case MidiOutChoice::Kind::Port:
        for (auto& backend : m_backends) {
            if (backend->isSynth()) continue;
            for (const std::string& name : backend->deviceNames()) {
                if (name.find(choice.portName) == std::string::npos) continue;
                auto device = backend->open(name, error);
                busy = !device;
                return device;
            }
        }
        // A port asked for by name that is not there is taken as one that is
        // in use elsewhere: the user is told to free it.
        busy = true;
        error = "no MIDI port named \"" + choice.portName + "\"";
        return nullptr;
    }
    return nullptr;
}

std::unique_ptr<MidiOut> MidiDeviceList::openByName(const std::string& deviceName,
                                                    std::string& error) {
    error.clear();
    for (auto& backend : m_backends)
        for (const std::string& name : backend->deviceNames())
            if (name == deviceName) return backend->open(name, error);
    error = "no MIDI output device named \"" + deviceName + "\"";
    return nullptr;
}

MidiStartup openMidiOutAtStartup(MidiDeviceList& devices, const MidiOutChoice& choice) {
    MidiStartup result;
    if (choice.kind == MidiOutChoice::Kind::Null) {
        result.device = std::make_unique<NullMidiOut>();
        return result;
    }
    if (devices.count() == 0) {
        result.message = msg::kNoMidiDevice;
        result.detail = "no MIDI output device";
    } else {
        bool busy = false;
        result.device = devices.open(choice, result.detail, busy);
        if (!result.device) {
            result.message = busy ? msg::kMidiInUse : msg::kNoMidiDevice;
            if (result.detail.empty()) result.detail = "the device could not be opened";
        }
    }
    if (!result.device) {
        result.device = std::make_unique<NullMidiOut>();
        result.silentFallback = true;
    }
    return result;
}

} // namespace vako
