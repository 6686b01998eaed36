// Reading a song text file of any format version "vako1" to "vako6" into a
// cleared song.
#pragma once

#include "platform/ByteSource.h"
#include "song/Song.h"

#include <cstdint>
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
    // For a read failure: the line (1 = first) whose field could not be read,
    // or, when the file ended early, its last line.
    int64_t failureLine = 0;
    bool endedEarly = false;
};

// The largest song text file of a song the model can hold, as the program
// writes it: 2^31 - 1 records of notes (versions 1 to 3 count note starts and
// ends) and as many control changes, each line far shorter than the room
// given here. A larger file is refused before it is read.
constexpr uint64_t kMaxSongFileBytes = uint64_t{INT32_MAX} * 80 + uint64_t{INT32_MAX} * 48 + 65536;

// True when a file that starts with `start` may be a song file: its first
// field (after blanks, perhaps in double quotes) begins with "vako" and a
// version digit. A file that fails this is not read further.
bool mayBeSongText(std::string_view start);

// Reads the file image `bytes` (Shift_JIS) into `song`, which the caller has
// cleared. On a read failure, what was read before it into the part settings
// stays; the caller restores the notes. The control changes are replaced only
// when all of them were read, so the list never claims records it lacks. A
// version 6 file also sets the three text fields, the start tempo and the undo
// copy.
SongTextOutcome readSongText(Song& song, std::string_view bytes);

// The same, reading `source` (a file of `fileSize` bytes) piece by piece, so
// that what the reading holds besides the song is a piece of the file and the
// field being read; the outcome and the song are those of the whole image.
// The song's lists and the reading may take `memoryLimit` bytes: a file whose
// header claims more notes or control changes than that holds (as far as its
// size can hold them), or a field longer than a part of it, is refused as an
// allocation failure would be, by std::bad_alloc, before the lists are taken.
SongTextOutcome readSongText(Song& song, ByteSource& source, uint64_t fileSize,
                             uint64_t memoryLimit);

} // namespace vako
