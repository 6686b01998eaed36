// The song being edited: notes, control changes, part settings and the values
// that the main window shows in its text fields. Plain data; the operations
// that load, store and edit it live beside it and in the other layers.
#pragma once

#include "platform/Translation.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vako {

// One note. Positions and lengths are in steps (12 per quarter note).
struct Note {
    int32_t position = 0;   // start, 1 = first step of the song
    uint8_t key = 0;        // MIDI note number 0-119; 120+ marks a note end (kNoteOffBase)
    int32_t length = 0;     // length in steps
    uint8_t part = 0;       // part 0-15 = MIDI channel; 9 is the percussion part
    uint8_t velocity = 0;   // strength, note-on velocity (new notes 120, steps of 6)
    uint8_t pan = 0;        // balance 0-128, 64 = centre (128 is sent as 127)
    uint8_t modulation = 0; // "揺れ", sent as controller 1

    friend bool operator==(const Note&, const Note&) = default;
};

// Kinds of timed control change (`kind`).
enum ControlChangeKind : uint8_t { kTempoChange = 1, kInstrumentChange = 2, kVolumeChange = 3 };

// One timed control change.
struct ControlChange {
    int32_t position = 0; // position in steps; record 1 (start tempo) sits at 0
    int32_t value = 0;    // tempo in bpm; program*16+part; volume step*16+part
    uint8_t kind = 0;     // ControlChangeKind

    friend bool operator==(const ControlChange&, const ControlChange&) = default;
};

// A key of 120 and above marks a note's end (key + 120) while a file is read
// and in the event lists; a song keeps notes 0 to 119 only.
constexpr uint8_t kNoteOffBase = 120;
constexpr bool isStorableNote(int key) {
    return key >= 0 && key < kNoteOffBase;
}
constexpr int kMaxBalance = 128;  // a note's balance runs 0..128, 64 the centre
constexpr int kMaxVolumeStep = 6; // a part's volume runs 0..6

// Position of the record after the last control change: later than any real position.
constexpr int32_t kEndMarkerPos = 1073741824; // 2^30

constexpr int kPartCount = 16;
constexpr int kPercussionPart = 9;
constexpr int kStepsPerPage = 144;
// The song's first beat: the staff draws position 3 on its first bar line, and
// a MIDI file's tick 0 is this position, both ways. Positions 1 and 2 lie
// before the first bar line (only the finest grid reaches them); the export
// writes them at tick 0. Every page starts its bars here too: page k's first
// beat is position 144k + 3.
constexpr int32_t kFirstBeatPosition = 3;
constexpr int kNewNoteVelocity = 120;
constexpr int kCentrePan = 64;

// The texts the three song fields of the main window start with (the two
// names in the language in use).
inline const std::string kStartTempoText = "120";
inline const std::string kStartCopyrightText = markForTranslation("著作権名");
inline const std::string kStartSequenceNameText = markForTranslation("曲名");

// The whole song. Arrays are 0-based with record 0 spare; the counts live apart
// from the arrays, which may hold spare records beyond them.
struct Song {
    Song();

    // Record 0 is spare: the song file and the note searches count from 1.
    std::vector<Note> notes; // notes 1..N in position order, chords by ascending pitch
    // Kept as twice the note count, as the song file stores it.
    int32_t twiceNoteCount = 0; // 2 * N
    // Record 0 is spare; record M+1 is the end marker (kEndMarkerPos) the searches stop at.
    std::vector<ControlChange> changes;             // control changes 1..M in position order
    int32_t changeCount = 1;                        // M, record 1 (start tempo) included
    std::array<uint8_t, kPartCount> partPrograms{}; // program 0-127 per part
    std::array<int16_t, kPartCount> partVolumes{};  // volume step 0-6 per part
    uint8_t grid = 15;                              // input grid in staff units: 60, 30, 15 or 5
    uint8_t quartersPerBar = 4;                     // 2, 3, 4 or 6
    std::optional<std::string> songName; // unset until the file list, a drop or Save names it
    std::string fileName; // name the song file is written under, no folder, no ".txt"

    // The three text fields the window mirrors: start tempo (the master copy of
    // the tempo, record 1 follows it), copyright name and sequence name. UTF-8.
    std::string tempoText = kStartTempoText;
    std::string copyrightText = translated(kStartCopyrightText);
    std::string sequenceNameText = translated(kStartSequenceNameText);

    int32_t noteCount() const { return twiceNoteCount / 2; }
    // Position of the last note, 0 for an empty song (record 0).
    int32_t lastNotePos() const;
};

// Whether notes 1..N stand in position order. The editor keeps them so, but a
// song file written elsewhere may hold them in any order; such a song is kept
// in its order (a save writes it back as it came) and searched note by note.
bool notesInPositionOrder(const Song& song);

// Makes sure `notes` has at least `upper` + 1 records (indices 0..upper).
void ensureNoteRoom(std::vector<Note>& notes, int64_t upper);
void ensureChangeRoom(std::vector<ControlChange>& ccs, int64_t upper);

} // namespace vako
