// The built-in synthesizer as the sink of offline rendering: it turns each
// audio block's messages into samples, applied at their exact sample, and
// hands the samples on, to memory or streamed into a WAV file.
#pragma once

#include "platform/AtomicFile.h"
#include "platform/AudioBlockSink.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vako {

// Where rendered samples go: interleaved stereo, left first.
class SampleSink {
public:
    virtual ~SampleSink() = default;
    virtual void put(const int16_t* samples, size_t count) = 0;
    // False once the sink takes no more (the file failed or is full).
    virtual bool wantsMore() const { return true; }
};

// The samples appended to a vector.
class VectorSampleSink final : public SampleSink {
public:
    explicit VectorSampleSink(std::vector<int16_t>& samples) : m_samples(samples) {}
    void put(const int16_t* samples, size_t count) override {
        m_samples.insert(m_samples.end(), samples, samples + count);
    }

private:
    std::vector<int16_t>& m_samples;
};

// The sample rate the synthesizer renders at.
int synthesizerSampleRate();

class SynthesizerBlockSink final : public AudioBlockSink {
public:
    // The SoundFont is loaded at once; an empty name means findSoundFont().
    SynthesizerBlockSink(const std::string& soundFont, SampleSink& out);
    ~SynthesizerBlockSink() override;
    // Why the synthesizer could not be made, or "" when it is ready.
    const std::string& error() const { return m_error; }

    void block(const std::vector<TimedMessage>& messages, int64_t frames) override;
    bool wantsMore() const override { return m_out.wantsMore(); }
    // After the last block: the frames still in the output stage's look-ahead
    // come out, so the samples are exactly as many as the blocks' frames and
    // each sound sits at its message's sample.
    void finish();

private:
    void renderFrames(int64_t frames);

    struct Impl;
    std::unique_ptr<Impl> m_impl;
    SampleSink& m_out;
    std::string m_error;
};

// A RIFF/WAVE file image: 16-bit PCM, two channels.
std::string wavFileImage(const std::vector<int16_t>& samples, int sampleRate);

// A WAV file written atomically as the samples come, so a long song needs no
// more memory than a short one. The header is written again at the end, when
// the sizes are known.
class WavFileSink final : public SampleSink {
public:
    WavFileSink(const std::filesystem::path& out, int sampleRate);
    // Why the file cannot be written, or "".
    std::string error() const { return m_file.ok() ? std::string{} : m_file.error(); }
    void put(const int16_t* samples, size_t count) override;
    bool wantsMore() const override { return !m_tooLong && m_file.ok(); }
    // Puts the file in place; "" on success, else what went wrong.
    std::string commit();

private:
    AtomicFileWriter m_file;
    int m_sampleRate;
    std::string m_buffer;
    uint64_t m_dataBytes = 0;
    bool m_tooLong = false;
};

} // namespace vako
