#include "midi/EventList.h"

#include "song/QuickSort.h"

namespace vako {

void BuildNoteEvents(Song& song, int64_t extra) {
    const int64_t n = std::max<int64_t>(
        0, std::min<int64_t>(song.noteCount(), int64_t(song.udtNotes.size()) - 1));
    std::vector<NoteRec>& events = song.udtWorkNotes;
    events.assign(static_cast<size_t>(2 * n + extra + 1), NoteRec{});
    for (int64_t k = 1; k <= n; ++k) {
        const NoteRec& note = song.udtNotes[k];
        events[k] = note;
        NoteRec& off = events[n + k];
        off.lngPos = static_cast<int32_t>(int64_t{note.lngPos} + note.lngLen);
        off.bytNote = static_cast<uint8_t>(note.bytNote + kNoteOffBase);
        off.bytPart = note.bytPart;
        if (note.lngLen == 0) off.lngLen = kOffAfterOn;
    }
}

void SortEvents(Song& song, int64_t n) { SortEvents(song.udtWorkNotes, n); }

void SortEvents(std::vector<NoteRec>& events, int64_t n) {
    n = std::min<int64_t>(n, int64_t(events.size()) - 1);
    // The key is position * 4 plus the kind's rank; it is kept in 64 bits so
    // that no position can overflow it. Entries of the first three ranks keep
    // the order they would have by themselves.
    auto rank = [](const NoteRec& e) -> int64_t {
        if (e.bytNote < kNoteOffBase) return 2;
        if (e.bytNote < 240) return e.lngLen == kOffAfterOn ? 3 : 1;
        return 0;
    };
    quickSort(events, 1, n, [&](const NoteRec& e) { return int64_t{e.lngPos} * 4 + rank(e); });
}

void SortNotes(std::vector<NoteRec>& list, int64_t lo, int64_t hi) {
    hi = std::min<int64_t>(hi, int64_t(list.size()) - 1);
    quickSort(list, lo, hi, [](const NoteRec& r) { return r.lngPos; });
}

void SortCCs(std::vector<CCRec>& list, int64_t lo, int64_t hi) {
    hi = std::min<int64_t>(hi, int64_t(list.size()) - 1);
    quickSort(list, lo, hi, [](const CCRec& r) { return r.lngPos; });
}

} // namespace vako
