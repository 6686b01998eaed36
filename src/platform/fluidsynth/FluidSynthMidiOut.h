// The built-in synthesizer: FluidSynth with a General MIDI SoundFont, playing
// through the system's audio output. The default device, so that a fresh
// machine sounds without any set-up.
#pragma once

#include "platform/MidiDevices.h"
#include "platform/MidiOut.h"

#include <memory>
#include <string>

namespace vako {

class FluidSynthMidiOut final : public MidiOut {
public:
    // nullptr with `error` set when the SoundFont cannot be loaded or there is
    // no audio output to play through. `audioDriver` names FluidSynth's audio
    // driver ("jack", "alsa", "pulseaudio" ...); empty for FluidSynth's choice.
    static std::unique_ptr<FluidSynthMidiOut> open(const std::string& soundFont,
                                                   std::string& error,
                                                   const std::string& audioDriver = "");
    ~FluidSynthMidiOut() override;

    void send(uint32_t message) override;
    void reset() override;
    void close() override;
    std::string name() const override;

private:
    struct Impl;
    explicit FluidSynthMidiOut(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

// The synthesizer as an entry of the device list: one device while a
// SoundFont is found (findSoundFont), none otherwise.
std::unique_ptr<MidiOutBackend> makeFluidSynthBackend();

} // namespace vako
