// Chord patterns for chord entry. A pattern is packed in base 12, lowest digit
// first: the tone count (3 or 4), then the intervals in semitones of the
// second, third and fourth tone above the root.
#pragma once

#include "song/Song.h"

#include <array>
#include <cstdint>

namespace vako {

constexpr int32_t kChordMajor = 1059;     // 0, 4, 7
constexpr int32_t kChordMinor = 1047;     // 0, 3, 7
constexpr int32_t kChordAugmented = 1203; // 0, 4, 8
constexpr int32_t kChordDiminished = 903; // 0, 3, 6
constexpr int32_t kChordSeventh = 18340;  // 0, 4, 7, 10
constexpr int32_t kChordSuspended = 1071; // 0, 5, 7

// The notes one entry sounds and places: the root first, then the chord tones
// in pattern order. Tones outside 0..119 are left out.
struct ChordNotes {
    std::array<int, 4> notes{};
    int count = 0;
    const int* begin() const { return notes.data(); }
    const int* end() const { return notes.data() + count; }
};

// The intervals above the root of the tones a pattern adds after the root (0
// to 3 of them): the second tone when the count is above 1, the third when it
// is above 2, the fourth when it is 4 or more.
struct ChordIntervals {
    std::array<int, 3> intervals{};
    int count = 0;
};
ChordIntervals chordIntervals(int32_t code);

// The notes entered for `root`: the root alone unless `chordInput`, else the
// root and the pattern's tones. A root outside 0..119 gives no notes at all.
ChordNotes chordNotes(int root, int32_t code, bool chordInput);

} // namespace vako
