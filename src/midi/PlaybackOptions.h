// What the user chooses about how the song is heard, apart from the song
// itself: parts muted or soloed, the metronome's click, a loop between two
// bars. These last as long as the program runs; they never reach the song,
// its files or its export, and are handed to playback explicitly.
#pragma once

#include "song/Song.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace vako {

// The metronome's click goes out on the percussion channel, as the song's
// own drums do: the high wood block on the first beat of a bar, the low wood
// block on the other quarter notes.
constexpr uint8_t kAccentClickKey = 76;
constexpr uint8_t kClickKey = 77;
constexpr uint8_t kAccentClickVelocity = 127;
constexpr uint8_t kClickVelocity = 90;
// The volume step the percussion channel is held at while clicks may sound,
// whatever part 10's own volume: the step a new song's parts start at.
constexpr int kClickVolumeStep = 5;

constexpr int kStepsPerQuarter = 12;

struct PlaybackOptions {
    // Per part (0-15, part 10 the percussion part is 9).
    std::array<bool, kPartCount> muted{};
    std::array<bool, kPartCount> soloed{};
    // A click on every quarter note while playing.
    bool metronome = false;
    // The loop: bars loopFirstBar..loopLastBar (1-based, both included);
    // no loop while loopFirstBar is 0.
    int32_t loopFirstBar = 0;
    int32_t loopLastBar = 0;

    bool anySoloed() const {
        return std::any_of(soloed.begin(), soloed.end(), [](bool s) { return s; });
    }
    // Whether the notes of `part` sound: never while muted (a muted part stays
    // silent even when soloed); while any part is soloed, only soloed ones.
    bool partSounds(int part) const {
        if (part < 0 || part >= kPartCount) return false;
        if (muted[part]) return false;
        return !anySoloed() || soloed[part];
    }
    bool hasLoop() const { return loopFirstBar >= 1 && loopLastBar >= loopFirstBar; }
};

// First step of bar `bar` (1-based) as the staff draws the bars: bar 1 from
// the song's first step, bar k from its bar line at 3 + (k-1) * steps a bar.
constexpr int64_t barStartPosition(int64_t bar, int quartersPerBar) {
    if (bar <= 1) return 1;
    return kFirstBeatPosition + (bar - 1) * kStepsPerQuarter * quartersPerBar;
}

// The bar (1-based) that holds position `position`.
constexpr int64_t barAtPosition(int64_t position, int quartersPerBar) {
    const int64_t stepsPerBar = int64_t{kStepsPerQuarter} * std::max(quartersPerBar, 1);
    if (position < kFirstBeatPosition) return 1;
    return 1 + (position - kFirstBeatPosition) / stepsPerBar;
}

} // namespace vako
