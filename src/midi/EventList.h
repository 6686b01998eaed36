// The time-ordered event list that export and playback work from, and the
// position sorts every part of the program uses.
//
// The event list's layout for N notes: entry 0 holds position 0 and is no event;
// entries 1..N are the note-ons (plain copies of the notes), N+1..2N the
// note-offs in the same order (key = note + 120, at position + length,
// everything else 0, except the length of kOffAfterOn below); the export appends one entry per
// control change (key 250, length = value, velocity = type).
#pragma once

#include "song/Song.h"

#include <cstdint>
#include <vector>

namespace vako {

constexpr uint8_t kControlChangeEvent = 250;
// length of the note-off of a note of length 0. Such a note-off sorts after
// the note-ons at its position, so the key is switched on before it is
// switched off instead of sounding until playback stops.
constexpr int32_t kOffAfterOn = -1;

// The event list of the song's notes: entries 0..2N as above, then room for
// `extra` further entries (all zero).
std::vector<Note> BuildNoteEvents(const Song& song, int64_t extra = 10);
// The same from a song that is used up by it (a tool that only converts): the
// notes become the list's note-ons instead of being copied into it, so that
// one list of the notes is held, not two. The song is left without notes.
std::vector<Note> BuildNoteEvents(Song&& song, int64_t extra = 10);

// Sorts entries 1..n of `events` by position; at one position control
// changes first, then note-offs, then note-ons, then the note-offs of notes
// of length 0. Entries of equal position and kind come out in the
// quicksort's own order, which files depend on. The import sorts its note
// starts and note ends (note + 120) with it too.
void SortEvents(std::vector<Note>& events, int64_t n);

// Sort records lo..hi by position (the program's quicksort, not stable).
void SortNotes(std::vector<Note>& list, int64_t lo, int64_t hi);
void SortCCs(std::vector<ControlChange>& list, int64_t lo, int64_t hi);

} // namespace vako
