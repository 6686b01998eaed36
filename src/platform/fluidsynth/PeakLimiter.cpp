#include "platform/fluidsynth/PeakLimiter.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace vako {

namespace {

constexpr double kLookAheadSeconds = 0.005;
constexpr double kReleaseSeconds = 0.1;

} // namespace

PeakLimiter::PeakLimiter(double sampleRate, float gain)
    : m_gain(gain),
      m_lookAhead(std::max(1, static_cast<int>(std::lround(kLookAheadSeconds * sampleRate)))),
      m_release(1 - std::exp(-1 / (kReleaseSeconds * sampleRate))),
      m_delayLeft(static_cast<size_t>(m_lookAhead) + 1),
      m_delayRight(static_cast<size_t>(m_lookAhead) + 1),
      m_minQueue(std::bit_ceil(static_cast<size_t>(m_lookAhead) + 1)),
      m_smooth(static_cast<size_t>(m_lookAhead) + 1, 1.0),
      m_smoothSum(static_cast<double>(m_lookAhead) + 1) {}

void PeakLimiter::process(float* left, float* right, int64_t frames) {
    const size_t span = m_delayLeft.size(); // lookAhead + 1
    const size_t queueMask = m_minQueue.size() - 1;
    for (int64_t i = 0; i < frames; ++i, ++m_frame) {
        const float l = left[i] * m_gain, r = right[i] * m_gain;

        // The gain this frame needs to stay within the ceiling.
        const float loudest = std::max(std::fabs(l), std::fabs(r));
        const float needed = loudest > kCeiling ? kCeiling / loudest : 1.0f;

        // The smallest needed gain of the last lookAhead + 1 frames: the
        // queue keeps only gains that can still be that smallest one.
        while (m_minSize > 0 && m_minQueue[(m_minHead + m_minSize - 1) & queueMask].gain >= needed)
            --m_minSize;
        m_minQueue[(m_minHead + m_minSize) & queueMask] = {m_frame, needed};
        ++m_minSize;
        if (m_minQueue[m_minHead].frame <= m_frame - static_cast<int64_t>(span)) {
            m_minHead = (m_minHead + 1) & queueMask;
            --m_minSize;
        }
        const double smallest = m_minQueue[m_minHead].gain;

        // Down at once, back up slowly; then averaged over the look-ahead, so
        // the gain reaches the peak's need by the time the peak comes out.
        m_released = std::min(smallest, m_released + (1 - m_released) * m_release);
        m_smoothSum += m_released - m_smooth[m_slot];
        m_smooth[m_slot] = m_released;
        const auto gain =
            static_cast<float>(std::min(1.0, m_smoothSum / static_cast<double>(span)));

        // Out comes the frame that went in lookAhead frames ago.
        m_delayLeft[m_slot] = l;
        m_delayRight[m_slot] = r;
        if (++m_slot == span) m_slot = 0;
        // What rounding may add to a peak on the ceiling is cut off.
        left[i] = std::clamp(m_delayLeft[m_slot] * gain, -kCeiling, kCeiling);
        right[i] = std::clamp(m_delayRight[m_slot] * gain, -kCeiling, kCeiling);
    }
}

} // namespace vako
