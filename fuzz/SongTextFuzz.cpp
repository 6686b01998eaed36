// Any bytes handed to the song text file reader: it must end in a song, a
// wrong-magic report or a read failure, never touch memory it does not own,
// and leave the song's counts within its arrays.
#include "song/OpenFile.h"
#include "song/SongReader.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vako::Song song;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const vako::SongTextOutcome outcome = vako::readSongText(song, bytes);
    if (outcome.status == vako::SongTextStatus::Read) {
        if (song.notes.size() < static_cast<size_t>(song.noteCount()) + 1) std::abort();
        if (song.changes.size() < static_cast<size_t>(song.changeCount) + 1) std::abort();
        vako::sortChords(song);
    }
    return 0;
}
