#include "song/MidiImport.h"

namespace vako {

bool importStandardMidiFile(Song& song, std::string_view bytes) {
    (void)song;
    (void)bytes;
    return false;
}

} // namespace vako
