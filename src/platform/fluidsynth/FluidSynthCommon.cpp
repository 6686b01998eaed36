#include "platform/fluidsynth/FluidSynthCommon.h"

#include <mutex>
#include <utility>

namespace vako::fluid {

namespace {

std::mutex g_logMutex;
std::string g_lastError;

void keepError(int level, const char* message, void*) {
    if (level > FLUID_ERR || !message) return;
    std::lock_guard lock(g_logMutex);
    g_lastError = message;
}

} // namespace

void captureLog() {
    static std::once_flag once;
    std::call_once(once, [] {
        fluid_set_log_function(FLUID_PANIC, keepError, nullptr);
        fluid_set_log_function(FLUID_ERR, keepError, nullptr);
        fluid_set_log_function(FLUID_WARN, nullptr, nullptr);
        fluid_set_log_function(FLUID_INFO, nullptr, nullptr);
        fluid_set_log_function(FLUID_DBG, nullptr, nullptr);
    });
}

std::string takeLastError() {
    std::lock_guard lock(g_logMutex);
    return std::exchange(g_lastError, {});
}

fluid_settings_t* newSettings() {
    captureLog();
    fluid_settings_t* settings = new_fluid_settings();
    if (settings) fluid_settings_setnum(settings, "synth.sample-rate", kSampleRate);
    return settings;
}

fluid_synth_t* newSynth(fluid_settings_t* settings, const std::string& soundFont,
                        std::string& error) {
    if (!settings) {
        error = "FluidSynth could not be set up";
        return nullptr;
    }
    if (soundFont.empty()) {
        error =
            "no General MIDI SoundFont found (install timgm6mb-soundfont or set VAKO_SOUNDFONT)";
        return nullptr;
    }
    fluid_synth_t* synth = new_fluid_synth(settings);
    if (!synth) {
        error = "FluidSynth could not be started: " + takeLastError();
        return nullptr;
    }
    if (fluid_synth_sfload(synth, soundFont.c_str(), 1) == FLUID_FAILED) {
        error = "the SoundFont " + soundFont + " could not be loaded";
        delete_fluid_synth(synth);
        takeLastError();
        return nullptr;
    }
    return synth;
}

void applyShortMessage(fluid_synth_t* synth, uint32_t message) {
    const int status = message & 0xFF;
    const int channel = status & 0x0F;
    const int data1 = (message >> 8) & 0x7F;
    const int data2 = (message >> 16) & 0x7F;
    switch (status & 0xF0) {
    case 0x80:
        fluid_synth_noteoff(synth, channel, data1);
        break;
    case 0x90:
        if (data2 == 0)
            fluid_synth_noteoff(synth, channel, data1);
        else
            fluid_synth_noteon(synth, channel, data1, data2);
        break;
    case 0xA0:
        fluid_synth_key_pressure(synth, channel, data1, data2);
        break;
    case 0xB0:
        fluid_synth_cc(synth, channel, data1, data2);
        break;
    case 0xC0:
        fluid_synth_program_change(synth, channel, data1);
        break;
    case 0xD0:
        fluid_synth_channel_pressure(synth, channel, data1);
        break;
    case 0xE0:
        fluid_synth_pitch_bend(synth, channel, data1 + data2 * 128);
        break;
    default:
        break; // system messages: none is ever sent
    }
}

void resetChannels(fluid_synth_t* synth) {
    constexpr int kSustain = 64;
    for (int channel = 0; channel < 16; ++channel) {
        fluid_synth_cc(synth, channel, kSustain, 0);
        fluid_synth_all_notes_off(synth, channel);
    }
}

} // namespace vako::fluid
