// The synthesizer's output stage: a fixed gain, then a look-ahead peak
// limiter that keeps every sample within a ceiling without clipping it.
//
// FluidSynth's own gain leaves a typical song 20 dB below full scale, much
// quieter than other players. Raised so that a typical song peaks near the
// ceiling, a dense one would clip; the limiter turns such peaks down instead,
// smoothly: it sees `lookAheadFrames` ahead, lowers the gain over that time so
// that the peak lands exactly on the ceiling, and lets it back up over the
// release time. Below the ceiling the samples pass unchanged, only late by
// the look-ahead. Left and right get the same gain, so the stereo image stays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vako {

class PeakLimiter {
public:
    // -1 dBFS: room for the error of converting to 16 bits and for players
    // that resample.
    static constexpr float kCeiling = 0.891f;

    PeakLimiter(double sampleRate, float gain);

    // Processes `frames` frames of both channels in place. The output is
    // `latencyFrames()` frames late: the first ones are silence.
    void process(float* left, float* right, int64_t frames);
    int latencyFrames() const { return m_lookAhead; }

private:
    struct MinEntry {
        int64_t frame;
        float gain;
    };

    float m_gain;
    int m_lookAhead;
    double m_release;    // share of the way back to 1 the gain goes each frame
    int64_t m_frame = 0; // frames processed
    size_t m_slot = 0;   // m_frame % (lookAhead + 1): where it goes in the rings below

    // The last lookAhead + 1 input frames (after the gain), for the delay.
    std::vector<float> m_delayLeft, m_delayRight;
    // The smallest gain the frames in the look-ahead need: a queue of
    // candidates with rising gains, the oldest first (a ring whose size is a
    // power of two, at least lookAhead + 1).
    std::vector<MinEntry> m_minQueue;
    size_t m_minHead = 0, m_minSize = 0;
    double m_released = 1; // the needed gain after the release
    // Moving average of the released gain over lookAhead + 1 frames.
    std::vector<double> m_smooth;
    double m_smoothSum;
};

} // namespace vako
