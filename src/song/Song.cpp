#include "song/Song.h"

#include <algorithm>

namespace vako {

Song::Song() : udtNotes(1), udtCCs(3) {
    udtCCs[1] = CCRec{0, 120, kTempoChange};
    udtCCs[2].lngPos = kEndMarkerPos;
    intPartVolume.fill(5);
}

int32_t Song::lastNotePos() const {
    const int32_t n = noteCount();
    if (n < 0 || static_cast<size_t>(n) >= udtNotes.size()) return 0;
    return udtNotes[n].lngPos;
}

bool notesInPositionOrder(const Song& song) {
    const int64_t n = std::clamp<int64_t>(song.noteCount(), 0, int64_t(song.udtNotes.size()) - 1);
    const auto begin = song.udtNotes.begin() + 1;
    return std::is_sorted(begin, begin + n,
                          [](const NoteRec& a, const NoteRec& b) { return a.lngPos < b.lngPos; });
}

void Song::takeUndoCopy() {
    // Records 0..N; the spare records behind them hold nothing to restore.
    const int64_t kept =
        udtNotes.empty() ? 0 : std::clamp<int64_t>(noteCount(), 0, int64_t(udtNotes.size()) - 1) + 1;
    udtUndoNotes.assign(udtNotes.begin(), udtNotes.begin() + kept);
    lngUndoNoteCount = varNoteCountX2;
}

void Song::restoreUndoCopy() {
    varNoteCountX2 = lngUndoNoteCount;
    udtNotes = udtUndoNotes;
    if (udtNotes.empty()) udtNotes.resize(1);
    ensureNoteRoom(udtNotes, noteCount());
}

void ensureNoteRoom(std::vector<NoteRec>& notes, int64_t upper) {
    if (upper >= 0 && notes.size() < static_cast<size_t>(upper) + 1) notes.resize(upper + 1);
}

void ensureCCRoom(std::vector<CCRec>& ccs, int64_t upper) {
    if (upper >= 0 && ccs.size() < static_cast<size_t>(upper) + 1) ccs.resize(upper + 1);
}

} // namespace vako
