#include "editor/Chords.h"

namespace vako {

ChordIntervals chordIntervals(int32_t code) {
    ChordIntervals out;
    const int32_t tones = code % 12;
    if (tones > 1) out.intervals[out.count++] = (code / 12) % 12;
    if (tones > 2) out.intervals[out.count++] = (code / 144) % 12;
    if (tones >= 4) out.intervals[out.count++] = (code / 1728) % 12;
    return out;
}

ChordNotes chordNotes(int root, int32_t code, bool chordInput) {
    ChordNotes out;
    if (!isStorableNote(root)) return out;
    out.notes[out.count++] = root;
    if (!chordInput) return out;
    const ChordIntervals c = chordIntervals(code);
    for (int i = 0; i < c.count; ++i) {
        const int tone = root + c.intervals[i];
        if (isStorableNote(tone)) out.notes[out.count++] = tone;
    }
    return out;
}

} // namespace vako
