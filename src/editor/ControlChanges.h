// Tempo, instrument and volume changes at positions of the song (`changes`),
// as the position panel sets, changes and deletes them. Records 1..M are in
// position order; record 1 is the start tempo and record M + 1 the end marker
// at 2^30, which every edit here keeps in place.
#pragma once

#include "song/Song.h"
#include "platform/Translation.h"

#include <cstdint>
#include <optional>
#include <string>

namespace vako {

namespace msg {
inline const std::string kChooseWhatToChange = markForTranslation("何を何に変更するのか決めてください。");
inline const std::string kTempoIs30To600 = markForTranslation("テンポは30～600の数字です。");
inline const std::string kInstrumentIs1To128 = markForTranslation("楽器は1～128の数字です。");
inline const std::string kVolumeIs0To6 = markForTranslation("ボリュームは0～6の数字です。");
} // namespace msg

// The entries of the panel's list `positionPanel.kindList`.
enum CCEntry { kEntryTempo = 0, kEntryInstrument = 1, kEntryVolume = 2 };

// `value` for the number `v` typed for `entry` on a band showing `part`,
// or the message that tells the valid range.
struct CCValue {
    std::optional<int32_t> value;
    const std::string* message = nullptr; // set when value is not
};
CCValue encodeCCValue(int entry, int64_t v, int part);

// The number the panel shows for a record: the tempo, the instrument 1-128,
// the volume step.
int64_t shownCCValue(const ControlChange& cc);

// Index a new record at `pos` takes: after every record with a smaller
// position, before those at the same one; never before record 1.
int32_t ccInsertionIndex(const Song& song, int32_t pos);

// Inserts `cc` at its index (records behind it and the end marker move up).
// Returns the index.
int32_t insertCC(Song& song, const ControlChange& cc);
// The same at `index` (2..M+1), which ccInsertionIndex gave.
int32_t insertCCAt(Song& song, int32_t index, const ControlChange& cc);

// Removes record `index` (2..M): the records behind it and the end marker move
// down. False, and nothing changes, for the start tempo or an index outside.
bool deleteCC(Song& song, int32_t index);

// Record M + 1 exists and lies at 2^30.
void keepCCEndMarker(Song& song);

} // namespace vako
