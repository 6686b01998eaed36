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

    require(song.udtNotes.size() >= static_cast<size_t>(song.noteCount()) + 1);
    require(song.udtCCs.size() >= static_cast<size_t>(song.varCCCount) + 2);
    for (int32_t i = 1; i <= song.noteCount(); ++i) {
        require(song.udtNotes[i].lngLen >= 1);
        require(song.udtNotes[i].bytNote < 120);
        require(song.udtNotes[i].bytVelocity >= 6);
        if (i > 1) require(song.udtNotes[i - 1].lngPos <= song.udtNotes[i].lngPos);
    }
    for (int32_t i = 2; i <= song.varCCCount; ++i)
        require(song.udtCCs[i - 1].lngPos <= song.udtCCs[i].lngPos);
    for (int32_t i = 1; i <= song.varCCCount; ++i)
        if (song.udtCCs[i].bytType == 1)
            require(song.udtCCs[i].lngValue >= 30 && song.udtCCs[i].lngValue <= 600);
    require(song.lngUndoNoteCount == song.varNoteCountX2);
    song.tempoText = std::to_string(song.udtCCs[1].lngValue);

    bool faulted = false;
    const std::string image = buildMidiFileImage(song, 0, faulted);
    if (!faulted) {
        Song again;
        require(importStandardMidiFile(again, image).ok);
    }
    return 0;
}
