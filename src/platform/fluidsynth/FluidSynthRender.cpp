#include "platform/fluidsynth/FluidSynthRender.h"

#include "midi/Playback.h"
#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "platform/MidiOut.h"
#include "platform/fluidsynth/FluidSynthCommon.h"
#include "platform/fluidsynth/SoundFont.h"

#include <cmath>
#include <memory>

namespace vako {

namespace {

// A device that renders the synthesizer's output up to the clock's time before
// it applies each message.
class RenderingMidiOut final : public MidiOut {
public:
    RenderingMidiOut(fluid_synth_t* synth, const Clock& clock, std::vector<int16_t>& samples)
        : m_synth(synth), m_clock(clock), m_samples(samples) {}

    void send(uint32_t message) override {
        renderUntil(m_clock.nowMs());
        fluid::applyShortMessage(m_synth, message);
    }
    void reset() override {
        renderUntil(m_clock.nowMs());
        fluid::resetChannels(m_synth);
    }
    void close() override {}
    std::string name() const override { return "render"; }

    void renderUntil(double ms) {
        const auto target = static_cast<int64_t>(std::llround(ms * fluid::kSampleRate / 1000.0));
        constexpr int64_t kBlock = 4096;
        while (m_frames < target) {
            const int64_t n = std::min(kBlock, target - m_frames);
            const size_t at = m_samples.size();
            m_samples.resize(at + 2 * static_cast<size_t>(n));
            int16_t* out = m_samples.data() + at;
            fluid_synth_write_s16(m_synth, static_cast<int>(n), out, 0, 2, out, 1, 2);
            m_frames += n;
        }
    }

private:
    fluid_synth_t* m_synth;
    const Clock& m_clock;
    std::vector<int16_t>& m_samples;
    int64_t m_frames = 0;
};

class RenderListener final : public PlaybackListener {
public:
    explicit RenderListener(int page) : m_page(page) {}
    void showMessage(const std::string& text) override { message = text; }
    int page() const override { return m_page; }
    void setPage(int page, bool) override { m_page = page; }

    std::string message;

private:
    int m_page;
};

void putLe(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

} // namespace

RenderResult renderSong(Song& song, const RenderOptions& options) {
    RenderResult result;
    result.sampleRate = static_cast<int>(fluid::kSampleRate);
    std::unique_ptr<fluid_settings_t, fluid::SettingsDeleter> settings(fluid::newSettings());
    if (settings) {
        // One thread renders; no other thread touches this synthesizer.
        fluid_settings_setint(settings.get(), "synth.threadsafe-api", 0);
    }
    const std::string soundFont = options.soundFont.empty() ? findSoundFont() : options.soundFont;
    std::unique_ptr<fluid_synth_t, fluid::SynthDeleter> synth(
        fluid::newSynth(settings.get(), soundFont, result.error));
    if (!synth) return result;

    FakeClock clock;
    RenderingMidiOut device(synth.get(), clock, result.samples);
    RenderListener listener(options.startPage);
    Playback playback(song, device, clock, listener);
    playback.press();
    if (!playback.isPlaying()) {
        result.error = listener.message;
        return result;
    }
    playUntilStopped(playback, clock, [] { return true; });
    result.playSeconds = clock.nowMs() / 1000.0;
    device.renderUntil(clock.nowMs() + options.tailSeconds * 1000.0);
    result.ok = true;
    return result;
}

std::string wavFileImage(const std::vector<int16_t>& samples, int sampleRate) {
    constexpr int kChannels = 2;
    constexpr int kBytesPerSample = 2;
    const auto dataBytes = static_cast<uint32_t>(samples.size() * kBytesPerSample);
    std::string out;
    out.reserve(44 + dataBytes);
    out += "RIFF";
    putLe(out, 36 + dataBytes, 4);
    out += "WAVEfmt ";
    putLe(out, 16, 4);
    putLe(out, 1, 2); // PCM
    putLe(out, kChannels, 2);
    putLe(out, static_cast<uint32_t>(sampleRate), 4);
    putLe(out, static_cast<uint32_t>(sampleRate * kChannels * kBytesPerSample), 4);
    putLe(out, kChannels * kBytesPerSample, 2);
    putLe(out, 8 * kBytesPerSample, 2);
    out += "data";
    putLe(out, dataBytes, 4);
    for (const int16_t s : samples) putLe(out, static_cast<uint16_t>(s), 2);
    return out;
}

std::string renderSongToWav(Song& song, const RenderOptions& options,
                            const std::filesystem::path& out, double* playSeconds) {
    RenderResult result = renderSong(song, options);
    if (!result.ok) return result.error;
    if (playSeconds) *playSeconds = result.playSeconds;
    // A RIFF file holds at most 4 GiB; a song that long is not a real song.
    if (result.samples.size() * 2 > 0xFFFFFF00u) return "the song is too long for a WAV file";
    const WriteOutcome written =
        writeFileAtomically(out, wavFileImage(result.samples, result.sampleRate));
    return written.ok ? std::string{} : written.error;
}

} // namespace vako
