#include "midi/EventList.h"

#include "song/QuickSort.h"

#include <algorithm>

namespace vako {

namespace {

int64_t storedNotes(const Song& song) {
    return std::max<int64_t>(0,
                             std::min<int64_t>(song.noteCount(), int64_t(song.notes.size()) - 1));
}

// Entries 1..n of `events` hold the notes: the note-offs go in at n+1..2n.
void addNoteOffs(std::vector<Note>& events, int64_t n) {
    for (int64_t k = 1; k <= n; ++k) {
        const Note& note = events[k];
        Note& off = events[n + k];
        off.position = static_cast<int32_t>(int64_t{note.position} + note.length);
        off.key = static_cast<uint8_t>(note.key + kNoteOffBase);
        off.part = note.part;
        if (note.length == 0) off.length = kOffAfterOn;
    }
}

} // namespace

std::vector<Note> BuildNoteEvents(const Song& song, int64_t extra) {
    const int64_t n = storedNotes(song);
    std::vector<Note> events(static_cast<size_t>(2 * n + extra + 1));
    std::copy(song.notes.begin() + 1, song.notes.begin() + 1 + n, events.begin() + 1);
    addNoteOffs(events, n);
    return events;
}

std::vector<Note> BuildNoteEvents(Song&& song, int64_t extra) {
    const int64_t n = storedNotes(song);
    // Entries 1..N are the notes already; the spare record 0 and everything
    // after N start zero.
    std::vector<Note> events = std::move(song.notes);
    song.notes.assign(1, Note{});
    song.twiceNoteCount = 0;
    events.resize(static_cast<size_t>(n + 1));
    events[0] = Note{};
    events.resize(static_cast<size_t>(2 * n + extra + 1));
    addNoteOffs(events, n);
    return events;
}

void SortEvents(std::vector<Note>& events, int64_t n) {
    n = std::min<int64_t>(n, int64_t(events.size()) - 1);
    // The key is position * 4 plus the kind's rank; it is kept in 64 bits so
    // that no position can overflow it. Entries of the first three ranks keep
    // the order they would have by themselves.
    auto rank = [](const Note& e) -> int64_t {
        if (e.key < kNoteOffBase) return 2;
        if (e.key < 240) return e.length == kOffAfterOn ? 3 : 1;
        return 0;
    };
    quickSort(events, 1, n, [&](const Note& e) { return int64_t{e.position} * 4 + rank(e); });
}

void SortNotes(std::vector<Note>& list, int64_t lo, int64_t hi) {
    hi = std::min<int64_t>(hi, int64_t(list.size()) - 1);
    quickSort(list, lo, hi, [](const Note& r) { return r.position; });
}

void SortCCs(std::vector<ControlChange>& list, int64_t lo, int64_t hi) {
    hi = std::min<int64_t>(hi, int64_t(list.size()) - 1);
    quickSort(list, lo, hi, [](const ControlChange& r) { return r.position; });
}

} // namespace vako
