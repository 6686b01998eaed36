// `vako play` and `vako render`: the song through the playback engine, in real
// time to a MIDI output device or offline into a WAV file. They live in the
// sound module (SoundModule.h).
#pragma once

#include <string>
#include <vector>

namespace vako::cli {

// vako play IN [--port NAME]
int play(const std::vector<std::string>& args);
// vako render IN OUT.wav [--soundfont F]
int render(const std::vector<std::string>& args);

} // namespace vako::cli
