// MIDI input ports of the system through RtMidi: the ALSA sequencer's and,
// where RtMidi was built with it, JACK's. RtMidi calls back on its own thread;
// the messages reach the user-interface thread through MidiIn's queue.
#pragma once

#include "platform/MidiIn.h"

#include <memory>
#include <string>
#include <vector>

namespace vako {

class RtMidiIn final : public MidiIn {
public:
    // Which of the system's MIDI services a port belongs to.
    enum class Service : uint8_t { Alsa, Jack };

    // The ports of every service that is running, ALSA's first. JACK ports
    // are listed with " (JACK)" after their name. A service that is missing
    // (no ALSA sequencer, no JACK server) adds nothing; nothing is thrown.
    static std::vector<std::string> portNames();
    // The ports of one service.
    static std::vector<std::string> portNames(Service service);

    // Opens the port of exactly that name, as portNames() lists it. nullptr
    // with `error` set when it is gone or will not open.
    static std::unique_ptr<RtMidiIn> open(const std::string& portName, const Clock& clock,
                                          MidiInWakeUp wakeUp, std::string& error);
    ~RtMidiIn() override;

    // Lost once the port is no longer listed or the service reported an error.
    MidiInState state() override;
    void close() override;
    std::string name() const override { return m_name; }

private:
    struct Impl;
    RtMidiIn(const Clock& clock, MidiInWakeUp wakeUp, std::string name);
    static void onMessage(double, std::vector<unsigned char>* message, void* self);
    static void onError(int type, const std::string&, void* self);

    std::unique_ptr<Impl> m_impl;
    std::string m_name;
};

// The system's input ports as a backend of the input menu.
std::unique_ptr<MidiInBackend> makeRtMidiInBackend(const Clock& clock, MidiInWakeUp wakeUp);

} // namespace vako
