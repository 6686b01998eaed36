// Offline rendering: the song played by the playback engine against a clock
// that jumps from deadline to deadline, the time cut into audio blocks and
// every message handed to the sink at its exact sample, so the sound is what
// real-time playback would give, only much faster than real time.
#pragma once

#include "midi/PlaybackOptions.h"
#include "platform/AudioBlockSink.h"
#include "song/Song.h"

#include <cstdint>
#include <limits>
#include <string>

namespace vako {

struct OfflineRenderOptions {
    int sampleRate = 44100;
    int64_t blockFrames = 4096;
    int startPage = 0; // page playback starts from, as on the play button
    // Muted and soloed parts and the metronome, as in the window. A render
    // never loops: the loop is left out.
    PlaybackOptions playback;
    double tailSeconds = 2.0; // rendered after the stop, for the notes to die away
    // A song that would play longer (its tail included) is refused before
    // anything is rendered; the message names this as the WAV file's limit
    // (wavFileMaxSeconds).
    double maxSeconds = std::numeric_limits<double>::infinity();
};

struct OfflineRenderResult {
    bool ok = false;
    std::string error;      // why nothing was rendered (a message of the program or a reason)
    double playSeconds = 0; // time from the start to the stop
    int64_t frames = 0;     // samples handed to the sink, the tail included
};

// Plays the song into `sink`. The song changes as a playback would change it
// (start tempo record, the parts' instruments and volumes after their changes).
OfflineRenderResult renderOffline(Song& song, const OfflineRenderOptions& options,
                                  AudioBlockSink& sink);

} // namespace vako
