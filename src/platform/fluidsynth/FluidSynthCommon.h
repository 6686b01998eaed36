// What the live synthesizer and offline rendering share: one synthesizer with
// a SoundFont loaded, fed with packed short messages. Internal to vako_fluidsynth.
#pragma once

#include <fluidsynth.h>

#include <cstdint>
#include <string>

namespace vako::fluid {

constexpr double kSampleRate = 44100;

// Routes FluidSynth's own log to the last-error text instead of stderr.
void captureLog();
// The last error FluidSynth reported, or "" (cleared by the call).
std::string takeLastError();

struct SettingsDeleter {
    void operator()(fluid_settings_t* s) const { delete_fluid_settings(s); }
};
struct SynthDeleter {
    void operator()(fluid_synth_t* s) const { delete_fluid_synth(s); }
};

// New settings for a synthesizer at kSampleRate. nullptr on failure.
fluid_settings_t* newSettings();
// A synthesizer with the SoundFont loaded; nullptr with `error` set on failure.
fluid_synth_t* newSynth(fluid_settings_t* settings, const std::string& soundFont,
                        std::string& error);

// Plays one packed short message (status + data1 * 256 + data2 * 65536).
void applyShortMessage(fluid_synth_t* synth, uint32_t message);
// Every channel: sustain released, all notes off.
void resetChannels(fluid_synth_t* synth);

} // namespace vako::fluid
