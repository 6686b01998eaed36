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

int64_t shownCCValue(const CCRec& cc) {
    switch (cc.bytType) {
    case kInstrumentChange:
        return cc.lngValue / 16 + 1;
    case kVolumeChange:
        return cc.lngValue / 16;
    default:
        return cc.lngValue;
    }
}

void keepCCEndMarker(Song& song) {
    const int32_t m = std::max(song.varCCCount, 1);
    ensureCCRoom(song.udtCCs, m + 1);
    song.udtCCs[m + 1] = CCRec{kEndMarkerPos, 0, 0};
}

int32_t ccInsertionIndex(const Song& song, int32_t pos) {
    if (song.udtCCs.size() < 3) return 2;
    const int32_t m =
        std::clamp<int32_t>(song.varCCCount, 1, static_cast<int32_t>(song.udtCCs.size()) - 1);
    // Records 2..M are in position order; record 1 stays first.
    const auto begin = song.udtCCs.begin() + 2;
    const auto end = song.udtCCs.begin() + m + 1;
    const auto at =
        std::lower_bound(begin, end, pos, [](const CCRec& r, int32_t p) { return r.lngPos < p; });
    return static_cast<int32_t>(at - song.udtCCs.begin());
}

int32_t insertCC(Song& song, const CCRec& cc) {
    keepCCEndMarker(song);
    const int32_t m = song.varCCCount;
    const int32_t k = ccInsertionIndex(song, cc.lngPos);
    ensureCCRoom(song.udtCCs, m + 2);
    std::move_backward(song.udtCCs.begin() + k, song.udtCCs.begin() + m + 2,
                       song.udtCCs.begin() + m + 3);
    song.udtCCs[k] = cc;
    song.varCCCount += 1;
    keepCCEndMarker(song);
    return k;
}

bool deleteCC(Song& song, int32_t index) {
    const int32_t m = song.varCCCount;
    if (index < 2 || index > m || static_cast<size_t>(index) >= song.udtCCs.size()) return false;
    keepCCEndMarker(song);
    std::move(song.udtCCs.begin() + index + 1, song.udtCCs.begin() + m + 2,
              song.udtCCs.begin() + index);
    song.varCCCount -= 1;
    keepCCEndMarker(song);
    return true;
}

} // namespace vako
