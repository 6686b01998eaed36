#include "platform/fluidsynth/FluidSynthMidiOut.h"

#include "platform/fluidsynth/FluidSynthCommon.h"
#include "platform/fluidsynth/PeakLimiter.h"
#include "platform/fluidsynth/SoundFont.h"
#include "platform/jack/JackServerWatch.h"

#include <algorithm>
#include <filesystem>

namespace vako {

struct FluidSynthMidiOut::Impl {
    std::unique_ptr<fluid_settings_t, fluid::SettingsDeleter> settings;
    std::unique_ptr<fluid_synth_t, fluid::SynthDeleter> synth;
    fluid_audio_driver_t* driver = nullptr;
    std::string name;
    // With JACK's audio driver: its server. A driver whose server went away
    // is never deleted (its JACK client could crash the program); its thread
    // is gone with the server, so the synthesizer can be.
    std::shared_ptr<JackServerWatch> jack;
    // The output stage, on the audio driver's thread only.
    PeakLimiter limiter{fluid::kSampleRate, fluid::kOutputGain};

    ~Impl() { stop(); }
    // The audio driver goes first: it calls into the synthesizer.
    void stop() {
        if (driver && !(jack && jack->serverGone())) delete_fluid_audio_driver(driver);
        driver = nullptr;
        synth.reset();
        settings.reset();
    }
};

namespace {

// The audio driver FluidSynth will use with these settings ("alsa", "jack" ...).
std::string audioDriverOf(fluid_settings_t* settings) {
    char* name = nullptr;
    if (fluid_settings_dupstr(settings, "audio.driver", &name) != FLUID_OK || !name) return {};
    std::string driver = name;
    fluid_free(name);
    return driver;
}

} // namespace

std::unique_ptr<FluidSynthMidiOut> FluidSynthMidiOut::open(const std::string& soundFont,
                                                           std::string& error,
                                                           const std::string& audioDriver) {
    auto impl = std::make_unique<Impl>();
    impl->settings.reset(fluid::newSettings());
    if (impl->settings && !audioDriver.empty() &&
        fluid_settings_setstr(impl->settings.get(), "audio.driver", audioDriver.c_str()) !=
            FLUID_OK) {
        error = "no audio driver " + audioDriver + " in this FluidSynth";
        return nullptr;
    }
    impl->synth.reset(fluid::newSynth(impl->settings.get(), soundFont, error));
    if (!impl->synth) return nullptr;
    if (audioDriverOf(impl->settings.get()) == "jack") {
        impl->jack = JackServerWatch::ofRunningServer();
        if (!impl->jack) {
            error = "no audio output for the synthesizer (no JACK server is running)";
            return nullptr;
        }
    }
    // The driver asks for the samples and they go through the output stage
    // first. A driver that cannot ask (FluidSynth's SDL2 driver, say) takes
    // them straight from the synthesizer, at its own gain.
    impl->driver = new_fluid_audio_driver2(
        impl->settings.get(),
        [](void* data, int len, int nfx, float* fx[], int nout, float* out[]) {
            Impl& self = *static_cast<Impl*>(data);
            for (int i = 0; i < nfx; ++i)
                if (fx[i]) std::fill(fx[i], fx[i] + len, 0.0f);
            for (int i = 2; i < nout; ++i)
                if (out[i]) std::fill(out[i], out[i] + len, 0.0f);
            if (nout < 2 || !out[0] || !out[1]) return FLUID_OK;
            fluid_synth_write_float(self.synth.get(), len, out[0], 0, 1, out[1], 0, 1);
            self.limiter.process(out[0], out[1], len);
            return FLUID_OK;
        },
        impl.get());
    if (!impl->driver) {
        fluid::takeLastError();
        impl->driver = new_fluid_audio_driver(impl->settings.get(), impl->synth.get());
    }
    if (!impl->driver) {
        const std::string why = fluid::takeLastError();
        error = "no audio output for the synthesizer" + (why.empty() ? "" : " (" + why + ")");
        return nullptr;
    }
    impl->name = "FluidSynth " + std::filesystem::path(soundFont).filename().string();
    return std::unique_ptr<FluidSynthMidiOut>(new FluidSynthMidiOut(std::move(impl)));
}

FluidSynthMidiOut::FluidSynthMidiOut(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
FluidSynthMidiOut::~FluidSynthMidiOut() = default;

void FluidSynthMidiOut::send(uint32_t message) {
    if (m_impl->synth) fluid::applyShortMessage(m_impl->synth.get(), message);
}

void FluidSynthMidiOut::reset() {
    if (m_impl->synth) fluid::resetChannels(m_impl->synth.get());
}

void FluidSynthMidiOut::close() {
    m_impl->stop();
}

std::string FluidSynthMidiOut::name() const {
    return m_impl->name;
}

namespace {

class FluidSynthBackend final : public MidiOutBackend {
public:
    bool isSynth() const override { return true; }
    std::vector<std::string> deviceNames() override {
        const std::string soundFont = findSoundFont();
        if (soundFont.empty()) return {};
        return {"FluidSynth " + std::filesystem::path(soundFont).filename().string()};
    }
    std::unique_ptr<MidiOut> open(const std::string&, std::string& error) override {
        return FluidSynthMidiOut::open(findSoundFont(), error);
    }
};

} // namespace

std::unique_ptr<MidiOutBackend> makeFluidSynthBackend() {
    return std::make_unique<FluidSynthBackend>();
}

} // namespace vako
