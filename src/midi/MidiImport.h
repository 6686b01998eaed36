// Standard MIDI File import: turns a file image into the song's notes, control
// changes, part settings, meter and names.
#pragma once

#include "song/Song.h"
#include "song/SongHost.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vako {

// The most notes one import takes: twice the count must fit `twiceNoteCount`.
constexpr int64_t kMostImportedNotes = INT32_MAX / 2;

struct MidiImportLimits {
    int64_t mostNotes = kMostImportedNotes;
};

struct MidiImportOutcome {
    bool ok = false;
    // On a failure: the offset in the file of the event or chunk where reading
    // stopped (the file's size when it ended early).
    size_t stoppedAtByte = 0;
    bool tooManyNotes = false;   // a failure: more notes than the song can hold
    bool tempoLimited = false;   // a tempo outside 30 to 600 was brought into that range
    bool leftOutData = false;    // chunks that are no tracks, or bytes after an end of track
    // What the user is told in the status text after a successful import, "" for nothing.
    std::string notice() const;
};

// Reads the file image into the cleared song: the notes 1..N in position
// order with their lengths (`twiceNoteCount` = 2N, no note ends among them),
// the control changes in position order, the part settings, the meter when
// the file starts with one the song knows, the names and the undo copy.
// Memory grows with the notes and changes the song keeps, not with the file:
// note ends are read twice instead of being stored.
MidiImportOutcome importStandardMidiFile(Song& song, std::string_view bytes,
                                         const MidiImportLimits& limits = {});

// The import as a SongHost hands it to `openFile`.
MidiFileReading readMidiFileInto(Song& song, std::string_view bytes);

// A host that opens ".mid" files with this import and shows nothing; the
// tool's hosts and tests build on it.
class ImportingSongHost : public SongHost {
public:
    MidiFileReading readMidiFile(Song& song, std::string_view bytes) override {
        return readMidiFileInto(song, bytes);
    }
};

} // namespace vako
