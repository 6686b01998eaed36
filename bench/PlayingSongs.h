// What the timing benchmarks share: a song that keeps playback busy on every
// step, and the percentile of a set of measurements.
#pragma once

#include "song/Song.h"

#include <algorithm>
#include <string>
#include <vector>

namespace vako::bench {

// A note on every step from position 1 to `steps`, each one step long, on
// four parts in turn.
inline Song everyStepSong(int32_t steps, int tempo) {
    Song song;
    song.notes.assign(1, Note{});
    for (int32_t p = 1; p <= steps; ++p)
        song.notes.push_back(
            {p, static_cast<uint8_t>(48 + p % 24), 1, static_cast<uint8_t>(p % 4), 100, 64, 0});
    song.twiceNoteCount = 2 * steps;
    song.tempoText = std::to_string(tempo);
    song.changes = {ControlChange{}, ControlChange{0, tempo, kTempoChange},
                    ControlChange{kEndMarkerPos, 0, 0}};
    song.changeCount = 1;
    return song;
}

// `q` from 0 (the least) to 1 (the most).
inline double percentile(std::vector<double> v, double q) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[static_cast<size_t>(q * static_cast<double>(v.size() - 1) + 0.5)];
}

} // namespace vako::bench
