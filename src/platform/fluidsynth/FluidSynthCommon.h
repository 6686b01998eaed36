// What the live synthesizer and offline rendering share: one synthesizer with
// a SoundFont loaded, fed with packed short messages. Internal to vako_fluidsynth.
#pragma once

#include <fluidsynth.h>

#include <cstdint>
#include <string>

namespace vako::fluid {

constexpr double kSampleRate = 44100;

// How much the synthesizer's output is raised before the peak limiter
// (PeakLimiter.h), over FluidSynth's own gain of 0.2: 20 dB. Rendered with
// the program's SoundFont, the 40 real-world MIDI files of the tests peaked
// at -30 to -6.5 dBFS (median -21); raised by this much and limited, half of
// them peak at the limiter's -1 dBFS, the loudest lose 7 dB of average level
// to it, most less than 3, and none clips.
constexpr float kOutputGain = 10.0f;

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
