// The Standard MIDI File export: format 0, one track, 480 ticks per quarter
// note (40 ticks a step). Tick 0 is the song's first beat (position 3, on the
// staff's first bar line); positions before it are written at tick 0. The
// whole file image is built in memory, then written in one piece.
#pragma once

#include "midi/EventList.h"
#include "song/Song.h"
#include "song/SongFolders.h"
#include "song/SongHost.h"
#include "platform/Translation.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vako {

constexpr int kMidiFileDivision = 480; // ticks per quarter note
constexpr int kTicksPerStep = 40;
constexpr int kHeaderBlockSize = 22;                  // MThd chunk + MTrk type and length
constexpr int kLowestTempo = 30, kHighestTempo = 600; // beats per minute the tempo field takes

inline const std::string kExportNamePrompt = markForTranslation("ファイル名を入れてください。(拡張子はいらない)");
inline const std::string kExportNameTitle = markForTranslation("新規保存");

// The export's tempo check: the start tempo text reads as a number from 30 to
// 600 inclusive (a fraction is allowed; 600.5 is too fast).
bool isExportTempoValid(std::string_view tempoText);

// `appendDeltaTime`: appends the delta time of `steps` song steps (steps * 40 ticks)
// as a variable-length quantity of 1 to 4 bytes. 0 steps give the single byte
// 00. False, and nothing appended, for a negative gap or one of 2^28 ticks or
// more (6710887 steps), which no delta can hold.
bool appendDeltaTime(std::string& track, int64_t steps);

// The export's event list: `events` gets entry 0 (position 0), the
// note-ons 1..N, the note-offs N+1..2N, the control changes 2N+1..2N+M
// (key 250, length = value, velocity = type; record 1 the start tempo of
// the tempo text) and one zero entry. Not sorted. Returns the number of
// events, 2N + M.
int64_t buildExportEvents(const Song& song, std::vector<Note>& events);

// Builds the file image of the song. `pitchShift` is the value of the
// transposition scroll bar (-12..12): the key written is the stored note minus
// it, except on the percussion part. The start tempo is the tempo text's
// whole number (startTempoOf). `faulted` tells whether an event could not
// be written (a tempo change of a value no tempo event holds, a part above 15,
// a negative instrument or volume value, a gap no delta holds); such an event
// is left out and the rest of the file is still built.
//
// What the file differs in from a literal byte copy of the song: data bytes
// above 127 are written as 127, and a note whose shifted key lies outside
// 0..127 is left out, its note-on and note-off both.
std::string buildMidiFileImage(const Song& song, int pitchShift, bool& faulted);

// What building an image met besides its bytes.
struct MidiImageReport {
    bool faulted = false;      // an event could not be written, as above
    int64_t eventsLeftOut = 0; // how many such events
    int64_t notesLeftOut = 0;  // notes left out for a shifted key outside 0..127
};
std::string buildMidiFileImage(const Song& song, int pitchShift, MidiImageReport& report);
// The same image from a song that is used up by it (a tool that only
// converts): the notes become the export's event list instead of being copied
// into it, so one list of the notes is held, not two. The song is left empty.
std::string buildMidiFileImage(Song&& song, int pitchShift, MidiImageReport& report);

// The window's word on notes the transposition left out of a written file.
std::string notesLeftOutText(int64_t count);

// A readable listing of a file image, one line per chunk and per event:
// "<tick> <delta bytes> | <event bytes>  <what it is>". Malformed data ends
// the listing with a line that says where.
std::string dumpMidiFile(std::string_view image);

// Bytes as upper-case hexadecimal pairs separated by blanks ("4D 54 68 64").
std::string hexBytes(std::string_view bytes);

enum class ExportStatus {
    BadTempo,    // the tempo message was shown; nothing else happened
    Cancelled,   // no name given: nothing written
    BadName,     // the name cannot be a file name in the folder; said so, nothing written
    NotReplaced, // another file has that name and the user kept it: nothing written
    WriteFailed, // the file could not be written; said so, the song is unchanged
    Written,     // the file was written and the file list refreshed
};

// What an export did. It never changes the song: what it cannot write is
// left out of the file and counted here for the window to tell.
struct ExportOutcome {
    ExportStatus status = ExportStatus::Cancelled;
    std::filesystem::path path; // the file written
    // Events no MIDI file can hold (a tempo change of 0, a negative
    // instrument or volume value, a gap no delta holds), left out.
    int64_t eventsLeftOut = 0;
    // Notes the transposition pushed outside 0..127, left out of the image
    // (written or not).
    int64_t notesLeftOut = 0;
};

// The window's words on what a written file lacks: "" when it lacks nothing.
std::string leftOutText(const ExportOutcome& outcome);

// `ExportMidiFile`: the whole export as the export button runs it. Checks the
// tempo, builds the image, asks for a name through the host's input box and
// writes <song folder>/<name>.mid atomically; another file of that name is
// replaced only when the host agrees (`mayReplaceFile`).
ExportOutcome ExportMidiFile(const Song& song, int pitchShift, const SongFolders& folders,
                             SongHost& host);

} // namespace vako
