#include "midi/MidiImport.h"

#include "midi/EventList.h"
#include "song/OpenFile.h"
#include "song/ShiftJis.h"
#include "platform/Translation.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <new>
#include <tuple>
#include <vector>

namespace vako {
namespace {

constexpr size_t kHeaderFields = 8;         // "MThd" and the header's length
constexpr size_t kChunkHeader = 8;          // chunk type and length
constexpr int32_t kUnpairedNoteLength = 12; // a quarter note, for a start that never ends
constexpr int32_t kPercussionNoteLength = 3;
constexpr int32_t kShortestNoteLength = 1; // a note that ends within the step it starts in
// Strength is kept in steps of 6 in the song file; anything below 6 would be
// saved as 0 and exported as a note-on of velocity 0, which is a note-off.
constexpr uint8_t kQuietestSoundingVelocity = 6;
constexpr int kLowestImportTempo = 30, kHighestImportTempo = 600;
constexpr int kKeys = 128;
constexpr int kKeyGroups = kPartCount * kKeys; // one per channel and key
constexpr int64_t kNoTick = std::numeric_limits<int64_t>::max();

// The file is read twice. The first pass keeps the note starts, and what
// decides them (modulation and balance of their channel); the second pairs
// the note ends with them and reads everything else. So a note end costs no
// memory: it only lowers the end tick of the starts it closes.
enum class Pass { Starts, Rest };

// Where in time an event stands: its tick, then its place in the file. Two
// events at one tick are ordered by the file (the byte offset where each starts).
struct FilePlace {
    int64_t tick = -1;
    size_t offset = 0;
    friend auto operator<=>(const FilePlace&, const FilePlace&) = default;
};

// A timed control change, with the place it came from, so that of several
// changes at one step the last in effect can be kept.
struct PlacedChange {
    ControlChange rec;
    FilePlace place;
    int part() const { return rec.kind == kTempoChange ? 0 : rec.value % 16; }
};

// A setting read before a channel's first note: the latest one wins.
template <typename T> struct PlacedSetting {
    T value{};
    FilePlace place;
    bool set = false;
    void offer(T v, FilePlace at) {
        if (set && at < place) return;
        value = v, place = at, set = true;
    }
};

// The meter a time signature gives (quarter notes per bar), 0 when the song
// has none like it.
int quartersPerBarOf(int numerator, int denominatorPower) {
    const std::array<std::tuple<int, int, int>, 6> known = {
        {{2, 2, 2}, {3, 2, 3}, {4, 2, 4}, {6, 3, 3}, {6, 2, 6}, {12, 3, 6}}};
    for (auto [n, d, quarters] : known)
        if (n == numerator && d == denominatorPower) return quarters;
    return 0;
}

// 60,000,000 / µs rounded to the nearest whole beat per minute (halves to the even one).
int64_t beatsPerMinute(int64_t micros) {
    int64_t q = 60'000'000 / micros;
    const int64_t twice = 2 * (60'000'000 % micros);
    if (twice > micros || (twice == micros && q % 2 == 1)) ++q;
    return q;
}

// Walks one file image. Every read is checked against the end of the data: a
// file that claims more bytes than it holds ends the import with a read failure.
class MidiImporter {
public:
    MidiImporter(Song& song, std::string_view bytes, const MidiImportLimits& limits)
        : m_song(song), m_b(bytes), m_limits(limits) {}

    MidiImportOutcome run();

private:
    bool byteAt(size_t i, uint8_t& out) const {
        if (i >= m_b.size()) return false;
        out = static_cast<uint8_t>(m_b[i]);
        return true;
    }
    uint32_t bigEndian32(size_t at) const;
    bool readHeader();
    // Reads every track the header announces, chunk after chunk by their lengths.
    bool walkTracks();
    bool readTrack(size_t begin, size_t end);
    // A variable-length quantity of 1 to 4 bytes (7 bits each, high bit set on
    // every byte but the last) at m_p; moves m_p past it.
    bool readVariableLength(uint32_t& value);
    bool readEvent(bool& endOfTrack);
    bool readMeta(bool& endOfTrack);
    bool skipByLength();
    bool readChannelEvent(uint8_t status, size_t data);
    bool readNoteEvent(bool start, uint8_t channel, uint8_t key, uint8_t velocity);
    void readSetting(uint8_t type, uint8_t channel, int value);

    // 3 + (tick * 12) \ division: the position, tick 0 on the first beat. False
    // when it lies at or beyond the end marker of the control changes.
    bool stepOf(int64_t tick, int32_t& pos) const;
    FilePlace here() const { return {m_abs, m_eventAt}; }
    void addChange(int32_t pos, int32_t value, uint8_t type);

    void groupStarts();
    void closeStarts(uint8_t channel, uint8_t key);
    void setLengths();
    void finishChanges();
    void finish();

    Song& m_song;
    int m_division = 480; // ticks per quarter note, from the header
    std::string_view m_b;
    MidiImportLimits m_limits;
    MidiImportOutcome m_outcome;
    Pass m_pass = Pass::Starts;

    int m_trackCount = 0;
    size_t m_firstChunk = 0;
    int m_trackIndex = 0;     // 0 for the first track read
    size_t m_p = 0;           // read position
    size_t m_eventAt = 0;     // where the event being read starts
    int m_runningStatus = -1; // the last channel status byte, -1 before the first
    int64_t m_abs = 0;        // ticks since the start of the current track
    int64_t m_startsRead = 0; // note starts kept so far in this pass

    // The note starts, as notes[1..N]; their ticks, and their indices
    // (0-based) grouped by channel and key, each group in time order.
    std::vector<int64_t> m_startTicks;
    std::vector<int64_t> m_groupBegin; // kKeyGroups + 1 offsets into m_byGroup
    std::vector<int32_t> m_byGroup;
    // For group k of S starts, slots m_groupBegin[k] + k + g, g = 1..S: the
    // earliest end tick read that follows exactly g of the group's starts.
    std::vector<int64_t> m_endAfter;

    std::array<int64_t, kPartCount> m_earliestStart{}; // tick of each channel's first start
    std::array<uint8_t, kPartCount> m_mod{};           // last controller 1 value per channel
    std::array<uint8_t, kPartCount> m_pan{};           // last controller 10 value per channel
    std::array<PlacedSetting<uint8_t>, kPartCount> m_program, m_volume;
    PlacedSetting<int32_t> m_startTempo;
    std::vector<PlacedChange> m_changes;
    // Index into m_changes of the last change of each kind and part: a file
    // that sets one thing many times within one step keeps one change.
    std::array<std::array<int64_t, kPartCount>, 4> m_lastChange{};
    int m_meter = 0; // quarter notes per bar from a time signature at tick 0
    std::string m_copyright;
    std::string m_firstTrackName, m_firstName;
    bool m_firstNameFound = false, m_firstTrackNameFound = false;
};

uint32_t MidiImporter::bigEndian32(size_t at) const {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<uint8_t>(m_b[at + i]);
    return v;
}

bool MidiImporter::readVariableLength(uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
        uint8_t b;
        if (!byteAt(m_p++, b)) return false;
        value = (value << 7) | (b & 0x7F);
        if (b < 0x80) break;
    }
    return true;
}

bool MidiImporter::stepOf(int64_t tick, int32_t& pos) const {
    // Ticks stay below 2^60 (at most 2^28 ticks per byte of the file), so the
    // bound is checked before the product is formed.
    const int64_t limit = int64_t{kEndMarkerPos} * m_division / 12;
    if (tick > limit) return false;
    // Tick 0 is the first beat, drawn on the staff's first bar line.
    const int64_t position = kFirstBeatPosition + tick * 12 / m_division;
    if (position >= kEndMarkerPos) return false;
    pos = static_cast<int32_t>(position);
    return true;
}

bool MidiImporter::readHeader() {
    // The header chunk: its length (6 or more; what follows the division is
    // not used), then format, track count and division.
    if (m_b.size() < kHeaderFields + 6) return false;
    const uint32_t length = bigEndian32(4);
    if (length < 6 || length > m_b.size() - kHeaderFields) return false;
    m_firstChunk = kHeaderFields + length;
    m_trackCount = static_cast<uint8_t>(m_b[10]) * 256 + static_cast<uint8_t>(m_b[11]);
    // A division with the top bit set counts SMPTE frames, which the song
    // cannot follow; the division is kept in 16 bits, as such a file holds it.
    const int division = static_cast<uint8_t>(m_b[12]) * 256 + static_cast<uint8_t>(m_b[13]);
    if (division == 0 || division > std::numeric_limits<int16_t>::max()) return false;
    m_division = division;
    return true;
}

bool MidiImporter::walkTracks() {
    size_t p = m_firstChunk;
    m_runningStatus = -1;
    m_startsRead = 0;
    for (m_trackIndex = 0; m_trackIndex < m_trackCount;) {
        m_eventAt = p;
        // Fewer chunks than the header announces, or a chunk longer than the
        // rest of the file: the file ends early.
        if (m_b.size() - p < kChunkHeader) return false;
        const uint32_t length = bigEndian32(p + 4);
        const size_t begin = p + kChunkHeader;
        if (length > m_b.size() - begin) return false;
        if (m_b.substr(p, 4) == "MTrk") {
            if (!readTrack(begin, begin + length)) return false;
            ++m_trackIndex;
        } else {
            m_outcome.leftOutData = true; // a chunk of a kind the song has no use for
        }
        p = begin + length;
    }
    // Whole chunks after the announced tracks.
    if (m_b.size() - p >= kChunkHeader) m_outcome.leftOutData = true;
    return true;
}

bool MidiImporter::readTrack(size_t begin, size_t end) {
    m_p = begin;
    m_abs = 0;
    // A track ends at its end-of-track event or at the end of its chunk.
    while (m_p < end) {
        m_eventAt = m_p;
        bool endOfTrack = false;
        // Every event moves m_p forward by at least two bytes, so this ends.
        if (!readEvent(endOfTrack)) return false;
        if (endOfTrack) {
            if (m_p < end) m_outcome.leftOutData = true;
            break;
        }
    }
    return true;
}

bool MidiImporter::readEvent(bool& endOfTrack) {
    uint32_t delta;
    if (!readVariableLength(delta)) return false;
    m_abs += delta;

    uint8_t b;
    if (!byteAt(m_p, b)) return false;
    if (b == 0xFF) return readMeta(endOfTrack);
    if (b >= 0xF0) {
        // System exclusive (F0, F7) and the status bytes a file does not use:
        // a length field, then that many bytes. The running status of the
        // channel messages stays, as other programs expect of their files.
        ++m_p;
        return skipByLength();
    }
    if (b < 0x80) {
        // Running status: a data byte where a status byte belongs repeats the
        // last channel status.
        if (m_runningStatus < 0) return false;
        return readChannelEvent(static_cast<uint8_t>(m_runningStatus), m_p);
    }
    m_runningStatus = b;
    return readChannelEvent(b, m_p + 1);
}

bool MidiImporter::skipByLength() {
    uint32_t length;
    if (!readVariableLength(length)) return false;
    if (length > m_b.size() - std::min(m_p, m_b.size())) return false;
    m_p += length;
    return true;
}

bool MidiImporter::readMeta(bool& endOfTrack) {
    // m_p is at FF.
    uint8_t type;
    if (!byteAt(m_p + 1, type)) return false;
    m_p += 2;
    uint32_t length;
    if (!readVariableLength(length)) return false;
    const size_t data = m_p;
    if (length > m_b.size() - std::min(data, m_b.size())) return false;
    m_p = data + length;
    const auto u = [&](size_t i) { return static_cast<uint8_t>(m_b[data + i]); };
    switch (type) {
    case 0x2F: // end of track
        endOfTrack = true;
        break;
    case 0x51: { // set tempo: microseconds per quarter note, 3 bytes
        if (length < 3) break;
        const int64_t micros = int64_t{u(0)} * 65536 + u(1) * 256 + u(2);
        if (micros == 0) return false;
        int32_t pos;
        if (!stepOf(m_abs, pos)) return false;
        if (m_pass != Pass::Rest) break;
        const int64_t exact = beatsPerMinute(micros);
        const auto tempo = static_cast<int32_t>(
            std::clamp<int64_t>(exact, kLowestImportTempo, kHighestImportTempo));
        if (tempo != exact) m_outcome.tempoLimited = true;
        // A tempo within the first beat's step is the start tempo.
        if (pos == kFirstBeatPosition) {
            m_startTempo.offer(tempo, here());
        } else {
            addChange(pos, tempo, kTempoChange);
        }
        break;
    }
    case 0x58: // time signature: numerator, power of two of the denominator, ...
        if (m_pass == Pass::Rest && length >= 2 && m_abs == 0)
            m_meter = quartersPerBarOf(u(0), u(1));
        break;
    case 0x02: // copyright notice: every one, one after the other
        if (m_pass == Pass::Rest) m_copyright += fromShiftJis(m_b.substr(data, length));
        break;
    case 0x03: // sequence or track name: the first track's, else the first one
        if (m_pass != Pass::Rest) break;
        if (!m_firstNameFound) m_firstName = fromShiftJis(m_b.substr(data, length));
        if (m_trackIndex == 0 && !m_firstTrackNameFound) {
            m_firstTrackName = fromShiftJis(m_b.substr(data, length));
            m_firstTrackNameFound = true;
        }
        m_firstNameFound = true;
        break;
    default: // other texts, key signatures and the rest: the song holds none of them
        break;
    }
    return true;
}

bool MidiImporter::readChannelEvent(uint8_t status, size_t data) {
    const uint8_t kind = status & 0xF0;
    const auto channel = static_cast<uint8_t>(status & 0x0F);
    const size_t dataBytes = (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
    uint8_t d1 = 0, d2 = 0;
    if (!byteAt(data, d1)) return false;
    if (dataBytes == 2 && !byteAt(data + 1, d2)) return false;
    m_p = data + dataBytes;

    switch (kind) {
    case 0x80:
    case 0x90:
        return readNoteEvent(kind == 0x90 && d2 != 0, channel, d1, d2);
    case 0xB0:
        if (d1 == 7) {
            readSetting(kVolumeChange, channel, d2 / 20); // volume step = value \ 20
        } else if (m_pass == Pass::Starts && d1 == 1) {
            m_mod[channel] = d2;
        } else if (m_pass == Pass::Starts && d1 == 10) {
            m_pan[channel] = d2;
        }
        return true;
    case 0xC0:
        readSetting(kInstrumentChange, channel, d1);
        return true;
    default: // polyphonic and channel pressure, pitch bend: the song holds none of them
        return true;
    }
}

bool MidiImporter::readNoteEvent(bool start, uint8_t channel, uint8_t key, uint8_t velocity) {
    // A note number is a data byte; a key of 128 or more means a broken file.
    if (key >= kKeys) return false;
    int32_t pos;
    if (!stepOf(m_abs, pos)) return false;
    // The song holds keys up to 119 (from 120 up a note record marks a note end).
    const bool kept = start && key < kNoteOffBase;
    if (m_pass == Pass::Starts) {
        if (!kept) return true;
        if (m_startsRead >= m_limits.mostNotes) {
            m_outcome.tooManyNotes = true;
            return false;
        }
        m_song.notes.push_back(Note{pos, key, 0, channel,
                                    std::max(velocity, kQuietestSoundingVelocity), m_pan[channel],
                                    m_mod[channel]});
        m_startTicks.push_back(m_abs);
        m_earliestStart[channel] = std::min(m_earliestStart[channel], m_abs);
        ++m_startsRead;
        return true;
    }
    if (kept) {
        ++m_startsRead;
    } else if (!start) {
        closeStarts(channel, key);
    }
    return true;
}

void MidiImporter::readSetting(uint8_t type, uint8_t channel, int value) {
    if (m_pass != Pass::Rest) return;
    // A setting at or before the channel's first note start, in whatever track
    // that note lies, is where the part starts; a later one is a timed change.
    if (m_abs <= m_earliestStart[channel]) {
        (type == kVolumeChange ? m_volume : m_program)[channel].offer(static_cast<uint8_t>(value),
                                                                      here());
        return;
    }
    int32_t pos;
    // The channel has a note start later than this, so the position is in range.
    if (!stepOf(m_abs, pos)) return;
    addChange(pos, value * 16 + channel, type);
}

void MidiImporter::addChange(int32_t pos, int32_t value, uint8_t type) {
    // A change at the first beat stays there: the export writes it at tick 0
    // again, after the start tempo (position 1, also tick 0).
    const PlacedChange change{ControlChange{pos, value, type}, here()};
    int64_t& last = m_lastChange[type][change.part()];
    if (last >= 0 && m_changes[last].rec.position == change.rec.position) {
        if (m_changes[last].place < change.place) m_changes[last] = change;
        return;
    }
    last = static_cast<int64_t>(m_changes.size());
    m_changes.push_back(change);
}

void MidiImporter::groupStarts() {
    const auto n = static_cast<int64_t>(m_startTicks.size());
    m_groupBegin.assign(kKeyGroups + 1, 0);
    const auto group = [&](int64_t i) {
        const Note& note = m_song.notes[i + 1];
        return note.part * kKeys + note.key;
    };
    for (int64_t i = 0; i < n; ++i) ++m_groupBegin[group(i) + 1];
    for (int k = 0; k < kKeyGroups; ++k) m_groupBegin[k + 1] += m_groupBegin[k];
    m_byGroup.assign(static_cast<size_t>(n), 0);
    std::vector<int64_t> fill(m_groupBegin.begin(), m_groupBegin.end() - 1);
    for (int64_t i = 0; i < n; ++i) m_byGroup[fill[group(i)]++] = static_cast<int32_t>(i);
    // Tracks are read one after the other, so a group may go back in time.
    for (int k = 0; k < kKeyGroups; ++k) {
        const auto first = m_byGroup.begin() + m_groupBegin[k];
        const auto last = m_byGroup.begin() + m_groupBegin[k + 1];
        const auto earlier = [&](int32_t a, int32_t b) {
            return std::pair(m_startTicks[a], a) < std::pair(m_startTicks[b], b);
        };
        if (!std::is_sorted(first, last, earlier)) std::sort(first, last, earlier);
    }
    m_endAfter.assign(static_cast<size_t>(n + kKeyGroups), kNoTick);
}

void MidiImporter::closeStarts(uint8_t channel, uint8_t key) {
    // A note end closes every start of its channel and key before it (an
    // earlier tick, or the same tick and earlier in the file) that has no
    // earlier end of its own. Counting the group's starts before the end
    // (g) is enough: the starts g, g-1, ... take the earliest end of all
    // those that follow exactly g or more of them.
    const int k = channel * kKeys + key;
    const int64_t begin = m_groupBegin[k], end = m_groupBegin[k + 1];
    if (begin == end) return;
    const int64_t tick = m_abs, readBefore = m_startsRead;
    const auto at =
        std::partition_point(m_byGroup.begin() + begin, m_byGroup.begin() + end, [&](int32_t i) {
            return m_startTicks[i] < tick || (m_startTicks[i] == tick && i < readBefore);
        });
    const int64_t g = at - (m_byGroup.begin() + begin);
    if (g == 0) return; // an end before any start of its key costs nothing
    int64_t& slot = m_endAfter[static_cast<size_t>(begin + k + g)];
    slot = std::min(slot, tick);
}

void MidiImporter::setLengths() {
    for (int k = 0; k < kKeyGroups; ++k) {
        const int64_t begin = m_groupBegin[k], count = m_groupBegin[k + 1] - begin;
        int64_t endTick = kNoTick;
        for (int64_t g = count; g >= 1; --g) {
            endTick = std::min(endTick, m_endAfter[static_cast<size_t>(begin + k + g)]);
            Note& note = m_song.notes[m_byGroup[begin + g - 1] + 1];
            int32_t endPos = 0;
            if (endTick == kNoTick || !stepOf(endTick, endPos)) {
                note.length = kUnpairedNoteLength;
            } else {
                note.length = std::max(endPos - note.position, kShortestNoteLength);
            }
            if (note.part == kPercussionPart) note.length = kPercussionNoteLength;
        }
    }
}

void MidiImporter::finishChanges() {
    Song& song = m_song;
    // Of several changes of one kind and part at one step the last in
    // effect stays: the latest tick, at equal ticks the later in the file.
    // A list from one track is already in that order, position by position.
    std::sort(m_changes.begin(), m_changes.end(), [](const PlacedChange& a, const PlacedChange& b) {
        return std::tuple(a.rec.position, a.rec.kind, a.part(), a.place) <
               std::tuple(b.rec.position, b.rec.kind, b.part(), b.place);
    });
    std::vector<PlacedChange> kept;
    kept.reserve(m_changes.size());
    for (size_t i = 0; i < m_changes.size(); ++i) {
        const PlacedChange& c = m_changes[i];
        if (i + 1 < m_changes.size()) {
            const PlacedChange& next = m_changes[i + 1];
            if (next.rec.position == c.rec.position && next.rec.kind == c.rec.kind &&
                next.part() == c.part())
                continue;
        }
        kept.push_back(c);
    }
    m_changes.clear();
    m_changes.shrink_to_fit();
    // Position order; at one position the order of the file.
    std::sort(kept.begin(), kept.end(), [](const PlacedChange& a, const PlacedChange& b) {
        return std::pair(a.rec.position, a.place) < std::pair(b.rec.position, b.place);
    });

    const int32_t startTempo = m_startTempo.set ? m_startTempo.value : 120;
    song.changes.assign(kept.size() + 3, ControlChange{});
    song.changes[1] = ControlChange{1, startTempo, kTempoChange};
    for (size_t i = 0; i < kept.size(); ++i) song.changes[i + 2] = kept[i].rec;
    song.changeCount = static_cast<int32_t>(kept.size() + 1);
    song.changes[kept.size() + 2].position = kEndMarkerPos;
}

void MidiImporter::finish() {
    Song& song = m_song;
    setLengths();
    const auto n = static_cast<int64_t>(m_startTicks.size());
    m_startTicks = {};
    m_byGroup = {};
    m_endAfter = {};
    song.twiceNoteCount = static_cast<int32_t>(n * 2);
    // Tracks are read one after the other; one track already gives position
    // order and is left as it is.
    for (int64_t i = 2; i <= n; ++i) {
        if (song.notes[i].position < song.notes[i - 1].position) {
            SortNotes(song.notes, 1, n);
            break;
        }
    }
    finishChanges();
    for (int part = 0; part < kPartCount; ++part) {
        if (m_program[part].set) song.partPrograms[part] = m_program[part].value;
        if (m_volume[part].set) song.partVolumes[part] = m_volume[part].value;
    }
    if (m_meter != 0) song.quartersPerBar = static_cast<uint8_t>(m_meter);
}

MidiImportOutcome MidiImporter::run() {
    Song& song = m_song;
    m_pan.fill(kCentrePan);
    m_earliestStart.fill(kNoTick);
    for (auto& byPart : m_lastChange) byPart.fill(-1);
    song.partPrograms.fill(0);
    song.copyrightText.clear();
    song.sequenceNameText.clear();
    song.notes.assign(1, Note{});
    song.tempoText = "120";

    bool ok = readHeader();
    if (ok) {
        m_pass = Pass::Starts;
        ok = walkTracks();
    }
    if (ok) {
        groupStarts();
        m_pass = Pass::Rest;
        ok = walkTracks();
        // Texts read before a failure stay, as everything else read does.
        song.copyrightText = m_copyright;
        song.sequenceNameText = m_firstTrackNameFound ? m_firstTrackName : m_firstName;
    }
    if (!ok) {
        m_outcome.stoppedAtByte = std::min(m_eventAt, m_b.size());
        return m_outcome;
    }
    finish();
    m_outcome.ok = true;
    return m_outcome;
}

} // namespace

std::string MidiImportOutcome::notice() const {
    std::string text;
    if (tempoLimited) text += translated("テンポを30から600の間に収めました。");
    if (leftOutData) text += translated("ファイルの中の使わないデータを読み飛ばしました。");
    return text;
}

MidiImportOutcome importStandardMidiFile(Song& song, std::string_view bytes,
                                         const MidiImportLimits& limits) {
    MidiImporter importer(song, bytes, limits);
    return importer.run();
}

MidiFileReading readMidiFileInto(Song& song, std::string_view bytes) {
    // What a note costs while it is imported: its record and its undo copy,
    // its start tick, its place among its key's starts, its end slot, and room
    // for the lists to double as they grow.
    constexpr uint64_t kImportBytesPerNote = 96;
    MidiImportLimits limits;
    if (const auto memory = memoryForLoading())
        limits.mostNotes = std::min<int64_t>(limits.mostNotes, *memory / kImportBytesPerNote);
    const MidiImportOutcome outcome = importStandardMidiFile(song, bytes, limits);
    // More notes than the memory holds, not more than a song holds: refused
    // as a failed allocation is, so the open song stays.
    if (outcome.tooManyNotes && limits.mostNotes < kMostImportedNotes) throw std::bad_alloc();
    return {outcome.ok, outcome.ok ? outcome.notice() : std::string{}, outcome.stoppedAtByte};
}

} // namespace vako
