#include "platform/fluidsynth/FluidSynthRender.h"

#include "platform/WavFormat.h"
#include "platform/fluidsynth/FluidSynthCommon.h"
#include "platform/fluidsynth/PeakLimiter.h"
#include "platform/fluidsynth/SoundFont.h"

#include <algorithm>
#include <cmath>

namespace vako {

namespace {

void putLe(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string wavHeader(uint32_t dataBytes, int sampleRate) {
    std::string out;
    out += "RIFF";
    putLe(out, 36 + dataBytes, 4);
    out += "WAVEfmt ";
    putLe(out, 16, 4);
    putLe(out, 1, 2); // PCM
    putLe(out, kWavChannels, 2);
    putLe(out, static_cast<uint32_t>(sampleRate), 4);
    putLe(out, static_cast<uint32_t>(sampleRate * kWavChannels * kWavBytesPerSample), 4);
    putLe(out, kWavChannels * kWavBytesPerSample, 2);
    putLe(out, 8 * kWavBytesPerSample, 2);
    out += "data";
    putLe(out, dataBytes, 4);
    return out;
}

} // namespace

int synthesizerSampleRate() {
    return static_cast<int>(fluid::kSampleRate);
}

struct SynthesizerBlockSink::Impl {
    std::unique_ptr<fluid_settings_t, fluid::SettingsDeleter> settings;
    std::unique_ptr<fluid_synth_t, fluid::SynthDeleter> synth;
    PeakLimiter limiter{fluid::kSampleRate, fluid::kOutputGain};
    // The limiter's first frames are the silence of its look-ahead: dropped.
    int64_t framesToDrop = limiter.latencyFrames();
};

SynthesizerBlockSink::SynthesizerBlockSink(const std::string& soundFont, SampleSink& out)
    : m_impl(std::make_unique<Impl>()), m_out(out) {
    m_impl->settings.reset(fluid::newSettings());
    if (m_impl->settings) {
        // One thread renders; no other thread touches this synthesizer.
        fluid_settings_setint(m_impl->settings.get(), "synth.threadsafe-api", 0);
    }
    m_impl->synth.reset(fluid::newSynth(m_impl->settings.get(),
                                        soundFont.empty() ? findSoundFont() : soundFont, m_error));
}

SynthesizerBlockSink::~SynthesizerBlockSink() = default;

void SynthesizerBlockSink::block(const std::vector<TimedMessage>& messages, int64_t frames) {
    if (!m_impl->synth) return;
    int64_t done = 0;
    for (const TimedMessage& m : messages) {
        renderFrames(m.offset - done);
        done = std::max(done, m.offset);
        if (m.reset) {
            fluid::resetChannels(m_impl->synth.get());
        } else {
            fluid::applyShortMessage(m_impl->synth.get(), m.message);
        }
    }
    renderFrames(frames - done);
}

void SynthesizerBlockSink::finish() {
    if (m_impl->synth) renderFrames(m_impl->limiter.latencyFrames());
}

void SynthesizerBlockSink::renderFrames(int64_t frames) {
    constexpr int64_t kChunk = 4096;
    float left[kChunk], right[kChunk];
    int16_t chunk[2 * kChunk];
    while (frames > 0 && m_out.wantsMore()) {
        const int64_t n = std::min(kChunk, frames);
        fluid_synth_write_float(m_impl->synth.get(), static_cast<int>(n), left, 0, 1, right, 0, 1);
        m_impl->limiter.process(left, right, n);
        const int64_t first = std::min(n, m_impl->framesToDrop);
        m_impl->framesToDrop -= first;
        size_t count = 0;
        for (int64_t i = first; i < n; ++i) {
            chunk[count++] = static_cast<int16_t>(std::lrint(left[i] * 32767.0f));
            chunk[count++] = static_cast<int16_t>(std::lrint(right[i] * 32767.0f));
        }
        m_out.put(chunk, count);
        frames -= n;
    }
}

std::string wavFileImage(const std::vector<int16_t>& samples, int sampleRate) {
    std::string out =
        wavHeader(static_cast<uint32_t>(samples.size() * kWavBytesPerSample), sampleRate);
    out.reserve(kWavHeaderBytes + samples.size() * kWavBytesPerSample);
    for (const int16_t s : samples) putLe(out, static_cast<uint16_t>(s), 2);
    return out;
}

WavFileSink::WavFileSink(const std::filesystem::path& out, int sampleRate)
    : m_file(out), m_sampleRate(sampleRate) {
    // The sizes are known at the end; the header is written again then.
    m_file.append(wavHeader(0, sampleRate));
}

void WavFileSink::put(const int16_t* samples, size_t count) {
    if (m_dataBytes + count * kWavBytesPerSample > kMaxWavDataBytes) {
        m_tooLong = true;
        return;
    }
    m_buffer.clear();
    for (size_t i = 0; i < count; ++i) putLe(m_buffer, static_cast<uint16_t>(samples[i]), 2);
    m_file.append(m_buffer);
    m_dataBytes += m_buffer.size();
}

std::string WavFileSink::commit() {
    if (m_tooLong) return "the song is too long for a WAV file";
    m_file.writeAt(0, wavHeader(static_cast<uint32_t>(m_dataBytes), m_sampleRate));
    const WriteOutcome written = m_file.commit();
    return written.ok ? std::string{} : written.error;
}

} // namespace vako
