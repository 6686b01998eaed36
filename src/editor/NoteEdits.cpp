#include "editor/NoteEdits.h"

#include "editor/StaffGeometry.h"

#include <algorithm>

namespace vako {
namespace {

int32_t storedNoteCount(const Song& song) {
    const int64_t n = song.noteCount();
    const int64_t stored = static_cast<int64_t>(song.udtNotes.size()) - 1;
    return static_cast<int32_t>(std::clamp<int64_t>(std::min(n, stored), 0, INT32_MAX));
}

} // namespace

NoteRun notesAt(const Song& song, int32_t pos) {
    const int32_t n = storedNoteCount(song);
    const auto begin = song.udtNotes.begin() + 1;
    const auto end = begin + n;
    const auto first =
        std::lower_bound(begin, end, pos, [](const NoteRec& r, int32_t p) { return r.lngPos < p; });
    const auto last =
        std::upper_bound(first, end, pos, [](int32_t p, const NoteRec& r) { return p < r.lngPos; });
    return {static_cast<int32_t>(first - song.udtNotes.begin()),
            static_cast<int32_t>(last - song.udtNotes.begin())};
}

int32_t findNoteOnRow(const Song& song, int32_t pos, int32_t naturalNote, int part, bool lastMatch,
                      bool notesOrdered) {
    const NoteRun run = notesOrdered ? notesAt(song, pos) : NoteRun{1, storedNoteCount(song) + 1};
    int32_t found = 0;
    for (int32_t i = run.first; i < run.last; ++i) {
        const NoteRec& r = song.udtNotes[i];
        if (r.lngPos != pos || r.bytPart != part) continue;
        if (r.bytNote != naturalNote + (isBlackKey(r.bytNote) ? 1 : 0)) continue;
        found = i;
        if (!lastMatch) break;
    }
    return found;
}

int32_t insertionIndex(const Song& song, int32_t pos, int note) {
    if (!notesInPositionOrder(song)) {
        int32_t k = 0;
        for (int32_t i = 0; i <= storedNoteCount(song); ++i) {
            const NoteRec& r = song.udtNotes[i];
            if (r.lngPos < pos || (r.lngPos == pos && r.bytNote < note)) ++k;
        }
        return k;
    }
    const NoteRun run = notesAt(song, pos);
    // Records 1..first-1 lie before pos; record 0 counts when it does too.
    int32_t k = run.first - 1 + (song.udtNotes[0].lngPos < pos ? 1 : 0);
    for (int32_t i = run.first; i < run.last; ++i)
        if (song.udtNotes[i].bytNote < note) ++k;
    return k;
}

void keepEditingRoom(Song& song) {
    song.udtNotes.resize(static_cast<size_t>(std::max(song.varNoteCountX2, 0)) + 11);
}

int32_t insertChord(Song& song, int32_t pos, const ChordNotes& chord, int32_t len, int part) {
    if (chord.count == 0) return 0;
    keepEditingRoom(song);
    const int32_t n = song.noteCount();
    const int32_t t = chord.count;
    // A spare record 0 at a later position would put k at 0: the new notes
    // never go before the spare record.
    const int32_t k = std::max(insertionIndex(song, pos, chord.notes[0]), 1);
    ensureNoteRoom(song.udtNotes, n + t);
    std::move_backward(song.udtNotes.begin() + k, song.udtNotes.begin() + n + 1,
                       song.udtNotes.begin() + n + 1 + t);
    NoteRec root;
    root.lngPos = pos;
    root.lngLen = len;
    root.bytPart = static_cast<uint8_t>(part);
    root.bytVelocity = kNewNoteVelocity;
    root.bytPan = kCentrePan;
    root.bytModulation = 0;
    for (int32_t j = 0; j < t; ++j) {
        NoteRec r = root;
        r.bytNote = static_cast<uint8_t>(chord.notes[j]);
        song.udtNotes[k + j] = r;
        song.varNoteCountX2 += 2;
    }
    return k;
}

bool isNoteIndex(const Song& song, int32_t index) {
    return index >= 1 && index <= song.noteCount() &&
           static_cast<size_t>(index) < song.udtNotes.size();
}

bool deleteNote(Song& song, int32_t index) {
    if (!isNoteIndex(song, index)) return false;
    const int32_t n = song.noteCount();
    std::move(song.udtNotes.begin() + index + 1, song.udtNotes.begin() + n + 1,
              song.udtNotes.begin() + index);
    song.varNoteCountX2 -= 2;
    keepEditingRoom(song);
    return true;
}

} // namespace vako
