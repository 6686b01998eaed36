#include "platform/fluidsynth/FluidSynthRender.h"

#include "midi/Playback.h"
#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "platform/MidiOut.h"
#include "platform/fluidsynth/FluidSynthCommon.h"
#include "platform/fluidsynth/SoundFont.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>

namespace vako {

namespace {

void putLe(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A device that renders the synthesizer's output up to the clock's time before
// it applies each message.
class RenderingMidiOut final : public MidiOut {
public:
    RenderingMidiOut(fluid_synth_t* synth, const Clock& clock, SampleSink& sink)
        : m_synth(synth), m_clock(clock), m_sink(sink) {}

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
        int16_t block[2 * kBlock];
        while (m_frames < target && m_sink.wantsMore()) {
            const int64_t n = std::min(kBlock, target - m_frames);
            fluid_synth_write_s16(m_synth, static_cast<int>(n), block, 0, 2, block, 1, 2);
            m_sink.put(block, 2 * static_cast<size_t>(n));
            m_frames += n;
        }
    }

private:
    fluid_synth_t* m_synth;
    const Clock& m_clock;
    SampleSink& m_sink;
    int64_t m_frames = 0;
};

class VectorSink final : public SampleSink {
public:
    explicit VectorSink(std::vector<int16_t>& samples) : m_samples(samples) {}
    void put(const int16_t* samples, size_t count) override {
        m_samples.insert(m_samples.end(), samples, samples + count);
    }

private:
    std::vector<int16_t>& m_samples;
};

constexpr int kChannels = 2;
constexpr int kBytesPerSample = 2;
constexpr uint32_t kWavHeaderBytes = 44;
// The RIFF size fields are 32 bits: the data may take no more than this.
constexpr uint64_t kMaxWavDataBytes = 0xFFFFFFFFu - 36;

// The samples go straight to the file, so a long song needs no more memory
// than a short one.
class WavFileSink final : public SampleSink {
public:
    explicit WavFileSink(AtomicFileWriter& file) : m_file(file) {}
    void put(const int16_t* samples, size_t count) override {
        if (m_dataBytes + count * kBytesPerSample > kMaxWavDataBytes) {
            m_tooLong = true;
            return;
        }
        m_buffer.clear();
        for (size_t i = 0; i < count; ++i) putLe(m_buffer, static_cast<uint16_t>(samples[i]), 2);
        m_file.append(m_buffer);
        m_dataBytes += m_buffer.size();
    }
    bool wantsMore() const override { return !m_tooLong && m_file.ok(); }
    uint64_t dataBytes() const { return m_dataBytes; }
    bool tooLong() const { return m_tooLong; }

private:
    AtomicFileWriter& m_file;
    std::string m_buffer;
    uint64_t m_dataBytes = 0;
    bool m_tooLong = false;
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

std::string wavHeader(uint32_t dataBytes, int sampleRate) {
    std::string out;
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
    return out;
}

// "1:02:03" for 3723 seconds.
std::string clockText(double seconds) {
    const auto whole = static_cast<int64_t>(std::ceil(seconds));
    char text[48];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(whole / 3600),
                  static_cast<long long>(whole / 60 % 60), static_cast<long long>(whole % 60));
    return text;
}

// How long a playback that has just started will play: one pass per step up
// to the step of its last event, each as long as the tempo then in effect.
// The engine keeps exact time the same way, so this is the length to within a
// pass.
double playSecondsAhead(const Playback& playback, const Song& song) {
    const PlaybackState& s = playback.state();
    const int64_t lastPos = playback.playList()[s.lastEvent].position;
    double ms = 0, msPerStep = s.msPerStep;
    int64_t pos = s.playPosition;
    // Tempo changes still to come, in the order playback applies them.
    for (int64_t j = s.changeCursor; j <= song.changeCount && j < int64_t(song.changes.size());
         ++j) {
        const ControlChange& cc = song.changes[j];
        if (cc.position > lastPos) break;
        if (cc.kind != kTempoChange || cc.position < pos) continue;
        ms += double(cc.position - pos) * msPerStep;
        pos = cc.position;
        msPerStep = 5000.0 / std::clamp<int64_t>(cc.value, kMinTempo, kMaxTempo);
    }
    ms += double(std::max<int64_t>(lastPos - pos + 1, 0)) * msPerStep;
    return ms / 1000.0;
}

// Plays the song into `sink`. With `maxSeconds`, a song that would play
// longer (its tail included) is refused before anything is rendered.
RenderResult renderInto(Song& song, const RenderOptions& options, SampleSink& sink,
                        double maxSeconds) {
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
    RenderingMidiOut device(synth.get(), clock, sink);
    RenderListener listener(options.startPage);
    Playback playback(song, device, clock, listener);
    playback.press();
    if (!playback.isPlaying()) {
        result.error = listener.message;
        return result;
    }
    const double seconds = playSecondsAhead(playback, song) + options.tailSeconds;
    if (seconds > maxSeconds) {
        playback.quit();
        result.error = "the song plays for " + clockText(seconds) + " (" +
                       std::to_string(static_cast<int64_t>(std::ceil(seconds))) +
                       " s); a WAV file holds at most " + clockText(maxSeconds) +
                       " of this sound";
        return result;
    }
    playUntilStopped(playback, clock, [&] { return sink.wantsMore(); });
    result.playSeconds = clock.nowMs() / 1000.0;
    device.renderUntil(clock.nowMs() + options.tailSeconds * 1000.0);
    result.ok = true;
    return result;
}

} // namespace

RenderResult renderSong(Song& song, const RenderOptions& options) {
    RenderResult result;
    VectorSink sink(result.samples);
    RenderResult rendered =
        renderInto(song, options, sink, std::numeric_limits<double>::infinity());
    rendered.samples = std::move(result.samples);
    return rendered;
}

std::string wavFileImage(const std::vector<int16_t>& samples, int sampleRate) {
    std::string out = wavHeader(static_cast<uint32_t>(samples.size() * kBytesPerSample), sampleRate);
    out.reserve(kWavHeaderBytes + samples.size() * kBytesPerSample);
    for (const int16_t s : samples) putLe(out, static_cast<uint16_t>(s), 2);
    return out;
}

std::string renderSongToWav(Song& song, const RenderOptions& options,
                            const std::filesystem::path& out, double* playSeconds) {
    AtomicFileWriter file(out);
    const int sampleRate = static_cast<int>(fluid::kSampleRate);
    // The sizes are known at the end; the header is written again then.
    file.append(wavHeader(0, sampleRate));
    if (!file.ok()) return file.error();
    WavFileSink sink(file);
    const double maxSeconds =
        double(kMaxWavDataBytes / (kChannels * kBytesPerSample)) / fluid::kSampleRate;
    const RenderResult result = renderInto(song, options, sink, maxSeconds);
    if (!result.ok) return result.error;
    if (sink.tooLong()) return "the song is too long for a WAV file";
    if (playSeconds) *playSeconds = result.playSeconds;
    file.writeAt(0, wavHeader(static_cast<uint32_t>(sink.dataBytes()), sampleRate));
    const WriteOutcome written = file.commit();
    return written.ok ? std::string{} : written.error;
}

} // namespace vako
