#include "midi/EventList.h"

#include "song/QuickSort.h"

namespace vako {

void BuildNoteEvents(Song& song, int64_t extra, SongNotes notes) {
    const int64_t n =
        std::max<int64_t>(0, std::min<int64_t>(song.noteCount(), int64_t(song.notes.size()) - 1));
    std::vector<Note>& events = song.workNotes;
    const auto size = static_cast<size_t>(2 * n + extra + 1);
    if (notes == SongNotes::MovedIntoEvents) {
        // Entries 1..N are the notes already; the spare record 0 and
        // everything after N start zero. The song is left empty.
        events = std::move(song.notes);
        song.notes.assign(1, Note{});
        song.twiceNoteCount = 0;
        events.resize(static_cast<size_t>(n + 1));
        events[0] = Note{};
        events.resize(size);
    } else {
        events.assign(size, Note{});
    }
    for (int64_t k = 1; k <= n; ++k) {
        if (notes == SongNotes::Copied) events[k] = song.notes[k];
        const Note& note = events[k];
        Note& off = events[n + k];
        off.position = static_cast<int32_t>(int64_t{note.position} + note.length);
        off.key = static_cast<uint8_t>(note.key + kNoteOffBase);
        off.part = note.part;
        if (note.length == 0) off.length = kOffAfterOn;
    }
}

void SortEvents(Song& song, int64_t n) {
    SortEvents(song.workNotes, n);
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
