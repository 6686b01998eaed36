#include "editor/NoteEdits.h"

#include "editor/StaffGeometry.h"

#include <algorithm>

namespace vako {
namespace {

int32_t storedNoteCount(const Song& song) {
    const int64_t n = song.noteCount();
    const int64_t stored = static_cast<int64_t>(song.notes.size()) - 1;
    return static_cast<int32_t>(std::clamp<int64_t>(std::min(n, stored), 0, INT32_MAX));
}

} // namespace

NoteRun notesAt(const Song& song, int32_t pos) {
    const int32_t n = storedNoteCount(song);
    const auto begin = song.notes.begin() + 1;
    const auto end = begin + n;
    const auto first =
        std::lower_bound(begin, end, pos, [](const Note& r, int32_t p) { return r.position < p; });
    const auto last =
        std::upper_bound(first, end, pos, [](int32_t p, const Note& r) { return p < r.position; });
    return {static_cast<int32_t>(first - song.notes.begin()),
            static_cast<int32_t>(last - song.notes.begin())};
}

int32_t findNoteOnRow(const Song& song, int32_t pos, int32_t naturalNote, int part, bool lastMatch,
                      bool notesOrdered) {
    const NoteRun run = notesOrdered ? notesAt(song, pos) : NoteRun{1, storedNoteCount(song) + 1};
    int32_t found = 0;
    for (int32_t i = run.first; i < run.last; ++i) {
        const Note& r = song.notes[i];
        if (r.position != pos || r.part != part) continue;
        if (!rowShowsNote(naturalNote, r.key)) continue;
        found = i;
        if (!lastMatch) break;
    }
    return found;
}

int32_t insertionIndex(const Song& song, int32_t pos, int note) {
    if (!notesInPositionOrder(song)) {
        int32_t k = 0;
        for (int32_t i = 0; i <= storedNoteCount(song); ++i) {
            const Note& r = song.notes[i];
            if (r.position < pos || (r.position == pos && r.key < note)) ++k;
        }
        return k;
    }
    const NoteRun run = notesAt(song, pos);
    // Records 1..first-1 lie before pos; record 0 counts when it does too.
    int32_t k = run.first - 1 + (song.notes[0].position < pos ? 1 : 0);
    for (int32_t i = run.first; i < run.last; ++i)
        if (song.notes[i].key < note) ++k;
    return k;
}

int32_t insertChordAt(Song& song, int32_t index, int32_t pos, const ChordNotes& chord, int32_t len,
                      int part) {
    if (chord.count == 0) return 0;
    const int32_t n = song.noteCount();
    const int32_t t = chord.count;
    const int32_t k = std::clamp(index, 1, n + 1);
    ensureNoteRoom(song.notes, n + t);
    std::move_backward(song.notes.begin() + k, song.notes.begin() + n + 1,
                       song.notes.begin() + n + 1 + t);
    Note root;
    root.position = pos;
    root.length = len;
    root.part = static_cast<uint8_t>(part);
    root.velocity = kNewNoteVelocity;
    root.pan = kCentrePan;
    root.modulation = 0;
    for (int32_t j = 0; j < t; ++j) {
        Note r = root;
        r.key = static_cast<uint8_t>(chord.notes[j]);
        song.notes[k + j] = r;
        song.twiceNoteCount += 2;
    }
    return k;
}

int32_t insertChord(Song& song, int32_t pos, const ChordNotes& chord, int32_t len, int part) {
    if (chord.count == 0) return 0;
    // A spare record 0 at a later position would put the index at 0: the new
    // notes never go before the spare record.
    return insertChordAt(song, std::max(insertionIndex(song, pos, chord.notes[0]), 1), pos, chord,
                         len, part);
}

bool reverseNotes(Song& song) {
    const int32_t n = storedNoteCount(song);
    if (n < 1) return false;
    const int64_t first = song.notes[1].position;
    const int64_t last = song.notes[n].position;
    for (int32_t k = 1; k <= n; ++k)
        song.notes[k].position = static_cast<int32_t>(first + last - song.notes[k].position);
    std::reverse(song.notes.begin() + 1, song.notes.begin() + 1 + n);
    return true;
}

bool isNoteIndex(const Song& song, int32_t index) {
    return index >= 1 && index <= song.noteCount() &&
           static_cast<size_t>(index) < song.notes.size();
}

bool deleteNote(Song& song, int32_t index) {
    if (!isNoteIndex(song, index)) return false;
    const int32_t n = song.noteCount();
    std::move(song.notes.begin() + index + 1, song.notes.begin() + n + 1,
              song.notes.begin() + index);
    song.twiceNoteCount -= 2;
    return true;
}

} // namespace vako
