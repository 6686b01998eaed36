// The time-ordered event list that export and playback work from, and the
// position sorts every part of the program uses.
//
// `workNotes` layout for N notes: entry 0 holds position 0 and is no event;
// entries 1..N are the note-ons (plain copies of the notes), N+1..2N the
// note-offs in the same order (key = note + 120, at position + length,
// everything else 0, except the length of kOffAfterOn below); the export appends one entry per
// control change (key 250, length = value, velocity = type).
#pragma once

#include "song/Song.h"

#include <cstdint>
#include <vector>

namespace vako {

constexpr uint8_t kNoteOffBase = 120; // key 120-239: note-off of key - 120
constexpr uint8_t kControlChangeEvent = 250;
// length of the note-off of a note of length 0. Such a note-off sorts after
// the note-ons at its position, so the key is switched on before it is
// switched off instead of sounding until playback stops.
constexpr int32_t kOffAfterOn = -1;

// What becomes of the song's notes when the event list is built from them:
// copied, the song staying whole; or moved into the list, for a song that is
// used up by its export, so that only one list of the notes is held.
enum class SongNotes { Copied, MovedIntoEvents };

// Fills song.workNotes entries 0..2N from the notes; room for `extra`
// further entries after 2N (all zero).
void BuildNoteEvents(Song& song, int64_t extra = 10, SongNotes notes = SongNotes::Copied);

// Sorts workNotes(1..n) by position; at one position control changes first,
// then note-offs, then note-ons, then the note-offs of notes of length 0. Entries of equal position
// and kind come out in the quicksort's own order, which files depend on.
void SortEvents(Song& song, int64_t n);
// The same sort on any event list: entries 1..n of `events`. The import sorts
// its note starts and note ends (note + 120) in notes with it.
void SortEvents(std::vector<Note>& events, int64_t n);

// Sort records lo..hi by position (the program's quicksort, not stable).
void SortNotes(std::vector<Note>& list, int64_t lo, int64_t hi);
void SortCCs(std::vector<ControlChange>& list, int64_t lo, int64_t hi);

} // namespace vako
