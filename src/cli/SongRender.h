// `vako render`: the song rendered offline (src/midi/OfflineRender) through
// the built-in synthesizer, into memory or a WAV file.
#pragma once

#include "midi/PlaybackOptions.h"
#include "song/Song.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vako {

struct RenderOptions {
    std::string soundFont;    // empty: findSoundFont()
    int startPage = 0;        // page playback starts from, as on the play button
    PlaybackOptions playback; // muted and soloed parts, the metronome
    double tailSeconds = 2.0; // rendered after the stop, for the notes to die away
};

struct RenderResult {
    bool ok = false;
    std::string error; // why nothing was rendered (a message of the program or a reason)
    int sampleRate = 44100;
    std::vector<int16_t> samples; // interleaved stereo, left first
    double playSeconds = 0;       // time from the start to the stop
};

// Renders the song into memory. The song changes as a playback would change it (start
// tempo record, the parts' instruments and volumes after their changes).
RenderResult renderSong(Song& song, const RenderOptions& options);

// Renders the song into a WAV file, written atomically. The song's length is
// worked out first: a song longer than a WAV file can hold is refused with a
// message that gives its length, before anything is rendered. The samples go
// to the file as they are made. Empty string on success, else what went wrong.
std::string renderSongToWav(Song& song, const RenderOptions& options,
                            const std::filesystem::path& out, double* playSeconds = nullptr);

} // namespace vako
