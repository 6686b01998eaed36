// Finding, inserting and removing notes of `notes`. Notes 1..N are
// normally in position order, so the notes at one position form one run that
// a binary search finds. A song loaded with its notes in another order is
// searched note by note instead, with the same results.
#pragma once

#include "editor/Chords.h"
#include "song/Song.h"

#include <cstdint>

namespace vako {

// The run of notes at `pos` of a song in position order: indices [first,
// last) within 1..N (empty when first == last). N is clamped to the records
// the array holds.
struct NoteRun {
    int32_t first = 1;
    int32_t last = 1;
};
NoteRun notesAt(const Song& song, int32_t pos);

// The index of the note at `pos` of `part` shown on the cursor row whose
// white-key note is `naturalNote` (a black key counts on the row below it):
// the last such note in the array when `lastMatch`, else the first; 0 when
// there is none. `notesOrdered` tells whether the notes are in position order
// (notesInPositionOrder); when they are not, every note is looked at.
int32_t findNoteOnRow(const Song& song, int32_t pos, int32_t naturalNote, int part, bool lastMatch,
                      bool notesOrdered);

// Where a new note goes: the number of records 0..N (the spare record 0
// included) with a smaller position, plus those at `pos` with a lower note,
// in whatever order the notes stand.
int32_t insertionIndex(const Song& song, int32_t pos, int note);

// Inserts the notes of `chord` as new notes at `pos` (length `len`, part
// `part`, velocity 120, centre balance): the root at index `index` (1..N+1)
// and the chord tones directly behind it; later notes move up. Returns the
// root's index, 0 for an empty chord.
int32_t insertChordAt(Song& song, int32_t index, int32_t pos, const ChordNotes& chord, int32_t len,
                      int part);
// The same at the root's insertion index.
int32_t insertChord(Song& song, int32_t pos, const ChordNotes& chord, int32_t len, int part);

// The notes back to front, each position mirrored about the middle of the
// first and the last (the reverse command). False for a song without notes.
bool reverseNotes(Song& song);

// Removes note `index` (1..N): every later note moves one place down. False,
// and nothing changes, for an index outside 1..N.
bool deleteNote(Song& song, int32_t index);

// The strength and balance lists of the note panel and the range window:
// strength entry 0 is 120 and every entry below it 6 less, to 0 at entry 20;
// balance entry 0 is 0 (left) and every entry 16 more, to 128 (right) at
// entry 8.
constexpr int kStrengthEntries = 21, kBalanceEntries = 9;
constexpr int strengthOfEntry(int entry) {
    return (kStrengthEntries - 1 - entry) * 6;
}
constexpr int entryOfStrength(int velocity) {
    return kStrengthEntries - 1 - velocity / 6;
}
constexpr int balanceOfEntry(int entry) {
    return entry * 16;
}
constexpr int entryOfBalance(int pan) {
    return pan / 16;
}

// True when 1 <= index <= N and the record exists.
bool isNoteIndex(const Song& song, int32_t index);

} // namespace vako
