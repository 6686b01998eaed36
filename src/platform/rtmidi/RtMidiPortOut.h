// A MIDI port of the system (hardware or software) through RtMidi.
#pragma once

#include "platform/MidiDevices.h"
#include "platform/MidiOut.h"

#include <memory>
#include <string>
#include <vector>

namespace vako {

class RtMidiPortOut final : public MidiOut {
public:
    // nullptr with `error` set when the MIDI service is not running or the
    // port is gone.
    static std::unique_ptr<RtMidiPortOut> open(const std::string& portName, std::string& error);
    ~RtMidiPortOut() override;

    void send(uint32_t message) override;
    void reset() override;
    void close() override;
    std::string name() const override { return m_name; }

private:
    struct Impl;
    RtMidiPortOut(std::unique_ptr<Impl> impl, std::string name);
    std::unique_ptr<Impl> m_impl;
    std::string m_name;
};

// The names of the output ports, the ALSA sequencer's first, then JACK's
// with " (JACK)" after their name; a service that is missing adds nothing.
std::vector<std::string> rtMidiPortNames();

std::unique_ptr<MidiOutBackend> makeRtMidiBackend();

} // namespace vako
