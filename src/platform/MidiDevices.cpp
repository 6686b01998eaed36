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
    error.clear();
    switch (choice.kind) {
    case MidiOutChoice::Kind::Null:
        error = "the silent device was chosen";
        return nullptr;
    case MidiOutChoice::Kind::Synth:
        // The synthesizer, else whatever device there is, as a MIDI mapper would.
        for (auto& backend : m_backends) {
            const std::vector<std::string> names = backend->deviceNames();
            if (!names.empty()) return backend->open(names.front(), error);
        }
        error = "no MIDI output device";
        return nullptr;
    case MidiOutChoice::Kind::Port:
        for (auto& backend : m_backends) {
            if (backend->isSynth()) continue;
            for (const std::string& name : backend->deviceNames())
                if (name.find(choice.portName) != std::string::npos)
                    return backend->open(name, error);
        }
        error = "no MIDI port named \"" + choice.portName + "\"";
        return nullptr;
    }
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
        result.device = devices.open(choice, result.detail);
        if (!result.device) {
            result.message = msg::kMidiInUse;
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
