// Finding, inserting and removing notes of `notes`. Notes 1..N are
// normally in position order, so the notes at one position form one run that
// a binary search finds. A song loaded with its notes in another order is
// searched note by note instead, with the same results.
#pragma once

#include "editor/Chords.h"
#include "song/EditHistory.h"
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
// `part`, velocity 120, centre balance): the root at its insertion index and
// the chord tones directly behind it. Returns the root's index, 0 for an
// empty chord.
int32_t insertChord(Song& song, int32_t pos, const ChordNotes& chord, int32_t len, int part);

// The notes `insertChord` may write, for the edit history: an insertion
// before the root's index.
RecordSpan chordInsertSpan(const Song& song, int32_t pos, const ChordNotes& chord);

// Removes note `index` (1..N): every later note moves one place down. False,
// and nothing changes, for an index outside 1..N.
bool deleteNote(Song& song, int32_t index);

// True when 1 <= index <= N and the record exists.
bool isNoteIndex(const Song& song, int32_t index);

} // namespace vako
