// Any bytes handed to the Standard MIDI File import: it must end in a song or
// a read failure, never touch memory it does not own or hang. A song it reads
// must be consistent (counts within the arrays, entries in position order,
// lengths not negative), and once its note ends are gone the export must write
// a file the import reads again.
#include "midi/MidiFileWriter.h"
#include "song/MidiImport.h"

#include <cstdint>
#include <cstdlib>
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
    if (!importStandardMidiFile(song, bytes)) return 0;

    require(song.udtNotes.size() >= static_cast<size_t>(song.varNoteCountX2) + 1);
    require(song.udtCCs.size() >= static_cast<size_t>(song.varCCCount) + 1);
    for (int32_t i = 1; i <= song.varNoteCountX2; ++i) {
        require(song.udtNotes[i].lngLen >= 0);
        if (i > 1) require(song.udtNotes[i - 1].lngPos <= song.udtNotes[i].lngPos);
    }
    for (int32_t i = 2; i <= song.varCCCount; ++i)
        require(song.udtCCs[i - 1].lngPos <= song.udtCCs[i].lngPos);
    // The undo copy holds the notes alone: no more of them than there are entries.
    require(song.lngUndoNoteCount / 2 <= song.varNoteCountX2);

    // What OpenF does next: the note ends go.
    int32_t kept = 0;
    for (int32_t i = 1; i <= song.varNoteCountX2; ++i)
        if (song.udtNotes[i].bytNote < 120) song.udtNotes[++kept] = song.udtNotes[i];
    song.varNoteCountX2 = kept * 2;
    song.tempoText = "120";

    bool faulted = false;
    const std::string image = buildMidiFileImage(song, 0, faulted);
    if (!faulted) {
        Song again;
        require(importStandardMidiFile(again, image));
    }
    return 0;
}
