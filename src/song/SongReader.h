// Reading a song text file of any format version "vako1" to "vako6" into a
// cleared song.
#pragma once

#include "song/Song.h"

#include <string_view>

namespace vako {

enum class SongTextStatus {
    Read,        // every field the version holds was read
    WrongMagic,  // the first field names none of the six versions
    ReadFailure, // a field is missing, no number, or does not fit its field
};

struct SongTextOutcome {
    SongTextStatus status = SongTextStatus::ReadFailure;
    int version = 0; // 1-6 once the magic was recognised
};

// Reads the file image `bytes` (Shift_JIS) into `song`, which the caller has
// cleared. On a read failure, what was read before it into the part settings
// stays; the caller restores the notes. The control changes are replaced only
// when all of them were read, so the list never claims records it lacks. A
// version 6 file also sets the three text fields, the start tempo and the undo
// copy.
SongTextOutcome readSongText(Song& song, std::string_view bytes);

} // namespace vako
