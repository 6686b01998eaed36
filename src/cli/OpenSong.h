// Opening a song in the tool: as a freshly started editor opens a file given on
// its command line, with the editor's messages on stderr.
#pragma once

#include <string>

namespace vako {
struct Song;
}

namespace vako::cli {

// Opens IN into `song`. False (message already shown) when nothing was read.
// The tool never edits, so the song keeps no one-level undo copy.
bool openSong(Song& song, const std::string& path);

} // namespace vako::cli
