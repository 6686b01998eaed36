// The synthesizer's output stage: a gain, then a limiter that keeps the
// samples within the ceiling by turning the loud parts down, never by
// cutting their tops off.
#include "platform/fluidsynth/PeakLimiter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace vako {
namespace {

constexpr double kRate = 44100;

// A sine of `amplitude` at 441 Hz (100 frames a cycle), from frame `from` to `to`.
std::vector<float> sine(size_t frames, float amplitude, size_t from = 0, size_t to = SIZE_MAX) {
    std::vector<float> s(frames);
    for (size_t i = std::min(from, frames); i < std::min(to, frames); ++i)
        s[i] = amplitude * static_cast<float>(std::sin(2 * std::numbers::pi * i / 100.0));
    return s;
}

struct Limited {
    std::vector<float> left, right;
};
// Runs both channels through the limiter in blocks of odd sizes, as drivers do.
Limited limit(PeakLimiter& limiter, std::vector<float> left, std::vector<float> right) {
    size_t done = 0;
    for (size_t block = 1; done < left.size(); block = block * 3 % 1000 + 1) {
        const size_t n = std::min(block, left.size() - done);
        limiter.process(left.data() + done, right.data() + done, static_cast<int64_t>(n));
        done += n;
    }
    return {std::move(left), std::move(right)};
}

float loudest(const std::vector<float>& s, size_t from = 0, size_t to = SIZE_MAX) {
    float peak = 0;
    for (size_t i = from; i < std::min(to, s.size()); ++i) peak = std::max(peak, std::fabs(s[i]));
    return peak;
}

TEST(PeakLimiter, BelowTheCeilingTheGainIsAllThatChangesTheSamples) {
    PeakLimiter limiter(kRate, 4.0f);
    const int late = limiter.latencyFrames();
    EXPECT_GT(late, 0);
    EXPECT_LT(late, kRate * 0.01) << "late by a few milliseconds at most";
    const std::vector<float> in = sine(20000, 0.2f); // 0.8 after the gain
    const Limited out = limit(limiter, in, in);
    for (size_t i = 0; i < in.size(); ++i) {
        const float expected = i < static_cast<size_t>(late) ? 0.0f : 4.0f * in[i - late];
        ASSERT_EQ(out.left[i], expected) << i;
        ASSERT_EQ(out.right[i], expected) << i;
    }
}

TEST(PeakLimiter, LoudPartsAreTurnedDownToTheCeilingNotClippedAndComeBackAfter) {
    PeakLimiter limiter(kRate, 1.0f);
    const int late = limiter.latencyFrames();
    // Quiet, then a burst four times too loud on the left, then quiet again.
    const size_t burstFrom = 10000, burstTo = 30000, frames = 100000;
    std::vector<float> left = sine(frames, 0.5f);
    const std::vector<float> burst = sine(frames, 4 * PeakLimiter::kCeiling, burstFrom, burstTo);
    for (size_t i = burstFrom; i < burstTo; ++i) left[i] = burst[i];
    const std::vector<float> right = sine(frames, 0.3f);
    const Limited out = limit(limiter, left, right);

    EXPECT_LE(loudest(out.left), PeakLimiter::kCeiling);
    EXPECT_GE(loudest(out.left, burstFrom + late, burstTo + late), 0.99f * PeakLimiter::kCeiling)
        << "the burst still reaches the ceiling";
    // Inside the burst the gain holds still: the output is the sine scaled,
    // its shape kept, where cutting the tops off would flatten it.
    const size_t cycle = burstFrom + late + 5000;
    const float ratio = out.left[cycle + 13] / left[cycle + 13 - late];
    for (size_t i = cycle; i < cycle + 100; ++i) {
        if (std::fabs(left[i - late]) > 0.1f) {
            ASSERT_NEAR(out.left[i] / left[i - late], ratio, 0.01) << i;
        }
    }
    EXPECT_NEAR(ratio, 0.25, 0.01);
    EXPECT_NEAR(out.right[cycle + 25] / right[cycle + 25 - late], ratio, 1e-4)
        << "both channels get the same gain";
    // Half a second after the burst the quiet part plays at its own level again.
    const size_t after = burstTo + late + static_cast<size_t>(kRate / 2);
    EXPECT_NEAR(loudest(out.left, after, after + 1000), 0.5f, 0.005f);
}

TEST(PeakLimiter, ASingleSampleSpikeIsTurnedDownAheadOfItself) {
    PeakLimiter limiter(kRate, 1.0f);
    const int late = limiter.latencyFrames();
    std::vector<float> left(5000, 0.1f);
    left[2000] = 50.0f;
    const std::vector<float> right(5000, -0.1f);
    const Limited out = limit(limiter, left, right);
    EXPECT_NEAR(out.left[2000 + late], PeakLimiter::kCeiling, 1e-4);
    EXPECT_LE(loudest(out.left), PeakLimiter::kCeiling);
    // The gain falls over the look-ahead before the spike, not in one frame.
    EXPECT_LT(out.left[2000 + late - 1], 0.1f);
    EXPECT_GT(out.left[2000 + late - late / 2], 0.02f);
}

} // namespace
} // namespace vako
