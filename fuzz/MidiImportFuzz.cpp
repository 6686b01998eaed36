// Any bytes handed to the Standard MIDI File import: it must end in a song or
// a read failure, never touch memory it does not own or hang. A song it reads
// must be consistent (counts within the arrays, notes in position order with
// keys the song holds and lengths of at least one step), and the export must
// write a file the import reads again.
#include "midi/MidiFileWriter.h"
#include "midi/MidiImport.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vako;
    Song song;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (!importStandardMidiFile(song, bytes).ok) return 0;

    require(song.notes.size() >= static_cast<size_t>(song.noteCount()) + 1);
    require(song.changes.size() >= static_cast<size_t>(song.changeCount) + 2);
    for (int32_t i = 1; i <= song.noteCount(); ++i) {
        require(song.notes[i].length >= 1);
        require(isStorableNote(song.notes[i].key));
        require(song.notes[i].velocity >= 6);
        if (i > 1) require(song.notes[i - 1].position <= song.notes[i].position);
    }
    for (int32_t i = 2; i <= song.changeCount; ++i)
        require(song.changes[i - 1].position <= song.changes[i].position);
    for (int32_t i = 1; i <= song.changeCount; ++i)
        if (song.changes[i].kind == 1)
            require(song.changes[i].value >= 30 && song.changes[i].value <= 600);
    song.tempoText = std::to_string(song.changes[1].value);

    bool faulted = false;
    const std::string image = buildMidiFileImage(song, 0, faulted);
    if (!faulted) {
        Song again;
        require(importStandardMidiFile(again, image).ok);
    }
    return 0;
}
