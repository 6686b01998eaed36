#include "song/Song.h"

#include <algorithm>

namespace vako {

Song::Song() : notes(1), changes(3) {
    changes[1] = ControlChange{0, 120, kTempoChange};
    changes[2].position = kEndMarkerPos;
    partVolumes.fill(5);
}

int32_t Song::lastNotePos() const {
    const int32_t n = noteCount();
    if (n < 0 || static_cast<size_t>(n) >= notes.size()) return 0;
    return notes[n].position;
}

bool notesInPositionOrder(const Song& song) {
    const int64_t n = std::clamp<int64_t>(song.noteCount(), 0, int64_t(song.notes.size()) - 1);
    const auto begin = song.notes.begin() + 1;
    return std::is_sorted(begin, begin + n,
                          [](const Note& a, const Note& b) { return a.position < b.position; });
}

void ensureNoteRoom(std::vector<Note>& notes, int64_t upper) {
    if (upper >= 0 && notes.size() < static_cast<size_t>(upper) + 1) notes.resize(upper + 1);
}

void ensureChangeRoom(std::vector<ControlChange>& ccs, int64_t upper) {
    if (upper >= 0 && ccs.size() < static_cast<size_t>(upper) + 1) ccs.resize(upper + 1);
}

} // namespace vako
