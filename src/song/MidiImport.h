// Standard MIDI File import: turns a file image into the song's notes, control
// changes, part settings and names.
#pragma once

#include "song/Song.h"

#include <string_view>

namespace vako {

// Reads the file image into the cleared song. The notes are left as note starts
// and note ends (pitch + 120) in position order, with `varNoteCountX2` the
// number of entries; the caller removes the ends. False on a read failure, with
// `stoppedAt` (when given) the offset where the reading stopped.
bool importStandardMidiFile(Song& song, std::string_view bytes, size_t* stoppedAt = nullptr);

} // namespace vako
