// `vako play` and `vako render`: the song through the playback engine, in real
// time to a MIDI output device or offline into a WAV file.
#pragma once

#include <string>
#include <vector>

namespace vako {
struct Song;
}

namespace vako::cli {

// Opens IN as a freshly started editor would; the editor's messages go to
// stderr. False (message already shown) when nothing was read.
bool openSong(Song& song, const std::string& path);

// vako play IN [--port NAME]
int play(const std::vector<std::string>& args);
// vako render IN OUT.wav [--soundfont F]
int render(const std::vector<std::string>& args);

} // namespace vako::cli
