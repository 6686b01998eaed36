#include "editor/ControlChanges.h"

#include <algorithm>

namespace vako {

CCValue encodeCCValue(int entry, int64_t v, int part) {
    CCValue out;
    switch (entry) {
    case kEntryTempo:
        if (v >= 30 && v <= 600)
            out.value = static_cast<int32_t>(v);
        else
            out.message = &msg::kTempoIs30To600;
        break;
    case kEntryInstrument:
        if (v >= 1 && v <= 128)
            out.value = static_cast<int32_t>((v - 1) * 16 + part);
        else
            out.message = &msg::kInstrumentIs1To128;
        break;
    case kEntryVolume:
        if (v >= 0 && v <= 6)
            out.value = static_cast<int32_t>(v * 16 + part);
        else
            out.message = &msg::kVolumeIs0To6;
        break;
    default:
        break; // no entry chosen: nothing, and no message
    }
    return out;
}

int64_t shownCCValue(const ControlChange& cc) {
    switch (cc.kind) {
    case kInstrumentChange:
        return cc.value / 16 + 1;
    case kVolumeChange:
        return cc.value / 16;
    default:
        return cc.value;
    }
}

void keepCCEndMarker(Song& song) {
    const int32_t m = std::max(song.changeCount, 1);
    ensureChangeRoom(song.changes, m + 1);
    song.changes[m + 1] = ControlChange{kEndMarkerPos, 0, 0};
}

int32_t ccInsertionIndex(const Song& song, int32_t pos) {
    if (song.changes.size() < 3) return 2;
    const int32_t m =
        std::clamp<int32_t>(song.changeCount, 1, static_cast<int32_t>(song.changes.size()) - 1);
    // Records 2..M are in position order; record 1 stays first.
    const auto begin = song.changes.begin() + 2;
    const auto end = song.changes.begin() + m + 1;
    const auto at = std::lower_bound(
        begin, end, pos, [](const ControlChange& r, int32_t p) { return r.position < p; });
    return static_cast<int32_t>(at - song.changes.begin());
}

int32_t insertCC(Song& song, const ControlChange& cc) {
    return insertCCAt(song, ccInsertionIndex(song, cc.position), cc);
}

int32_t insertCCAt(Song& song, int32_t index, const ControlChange& cc) {
    keepCCEndMarker(song);
    const int32_t m = song.changeCount;
    const int32_t k = std::clamp(index, 2, m + 1);
    ensureChangeRoom(song.changes, m + 2);
    std::move_backward(song.changes.begin() + k, song.changes.begin() + m + 2,
                       song.changes.begin() + m + 3);
    song.changes[k] = cc;
    song.changeCount += 1;
    keepCCEndMarker(song);
    return k;
}

bool deleteCC(Song& song, int32_t index) {
    const int32_t m = song.changeCount;
    if (index < 2 || index > m || static_cast<size_t>(index) >= song.changes.size()) return false;
    keepCCEndMarker(song);
    std::move(song.changes.begin() + index + 1, song.changes.begin() + m + 2,
              song.changes.begin() + index);
    song.changeCount -= 1;
    keepCCEndMarker(song);
    return true;
}

} // namespace vako
