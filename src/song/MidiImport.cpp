#include "song/MidiImport.h"

#include "midi/EventList.h"
#include "song/ShiftJis.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>

namespace vako {
namespace {

constexpr size_t kFirstTrackData = 22;     // MThd chunk (14 bytes) + MTrk type and length (8 bytes)
constexpr size_t kNextTrackSkip = 8;       // "MTrk" and the length of the next track chunk
constexpr int32_t kImportedNoteLength = 8; // a note start's lngLen until it is paired
constexpr int32_t kUnpairedNoteLength = 12; // a quarter note, for a start that never ends
constexpr int32_t kPercussionNoteLength = 3;
constexpr int kLowestImportTempo = 30, kHighestImportTempo = 600;

// Walks one file image. Every read is checked against the end of the data: a
// file that claims more bytes than it holds ends the import with a read failure.
class MidiImporter {
public:
    MidiImporter(Song& song, std::string_view bytes) : m_song(song), m_b(bytes) {}

    bool run();
    size_t position() const { return m_p; } // where the reading is, in bytes

private:
    bool byteAt(size_t i, uint8_t& out) const {
        if (i >= m_b.size()) return false;
        out = static_cast<uint8_t>(m_b[i]);
        return true;
    }
    // A variable-length quantity of 1 to 4 bytes (7 bits each, high bit set on
    // every byte but the last) at m_p; moves m_p past it.
    bool readVariableLength(uint32_t& value);
    bool readTrack();
    bool readEvent(bool& endOfTrack);
    bool readMeta(bool& endOfTrack);
    // Moves m_p over a length field and that many bytes.
    bool skipByLength();
    bool readChannelEvent(uint8_t status, size_t data);

    // (abs * 12) \ division: the event's position in steps. False when the
    // position lies at or beyond the end marker of the control changes.
    bool stepPosition(int32_t& pos) const;
    void addNoteEntry(int32_t pos, uint8_t bytNote, int32_t len, uint8_t channel, uint8_t velocity);
    void appendControlChange(int32_t pos, int32_t value, uint8_t type);
    void finish();

    Song& m_song;
    std::string_view m_b;
    size_t m_p = kFirstTrackData;
    int m_runningStatus = -1; // the last status byte seen, -1 before the first
    int64_t m_abs = 0;        // ticks since the start of the current track
    std::array<int32_t, kPartCount>
        m_first{}; // step of each channel's first note start, 0 = none yet
    std::array<uint8_t, kPartCount> m_mod{}; // last controller 1 value per channel
    std::array<uint8_t, kPartCount> m_pan{}; // last controller 10 value per channel
    std::string m_copyright, m_sequenceName; // UTF-8, decoded event by event
};

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

bool MidiImporter::stepPosition(int32_t& pos) const {
    // m_abs stays below 2^60 (at most 2^28 ticks per byte of the file), so the
    // bound is checked before the product is formed.
    const int64_t limit = int64_t{kEndMarkerPos} * m_song.intMidiTimebase / 12;
    if (m_abs > limit) return false;
    const int64_t steps = m_abs * 12 / m_song.intMidiTimebase;
    if (steps >= kEndMarkerPos) return false;
    pos = static_cast<int32_t>(steps);
    return true;
}

void MidiImporter::addNoteEntry(int32_t pos, uint8_t bytNote, int32_t len, uint8_t channel,
                                uint8_t velocity) {
    // push_back grows the array geometrically: amortised constant per entry.
    m_song.udtNotes.push_back(
        NoteRec{pos, bytNote, len, channel, velocity, m_pan[channel], m_mod[channel]});
}

void MidiImporter::appendControlChange(int32_t pos, int32_t value, uint8_t type) {
    std::vector<CCRec>& ccs = m_song.udtCCs;
    const int32_t index = m_song.varCCCount + 1;
    if (ccs.size() <= static_cast<size_t>(index)) ccs.resize(ccs.size() * 2 + 2);
    ccs[index] = CCRec{pos, value, type};
    m_song.varCCCount = index;
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
    const size_t lengthAt = m_p;
    uint32_t length;
    if (!readVariableLength(length)) return false;
    const size_t data = m_p;
    if (length > m_b.size() - std::min(data, m_b.size())) return false;
    m_p = data + length;
    switch (type) {
    case 0x2F: // end of track
        uint8_t lengthByte;
        if (byteAt(lengthAt, lengthByte) && lengthByte == 0) endOfTrack = true;
        break;
    case 0x51: { // set tempo: microseconds per quarter note, 3 bytes
        if (length < 3) break;
        const auto u = [&](size_t i) { return static_cast<uint8_t>(m_b[data + i]); };
        const int64_t micros = int64_t{u(0)} * 65536 + u(1) * 256 + u(2);
        if (micros == 0) return false;
        const auto tempo = static_cast<int32_t>(60000000 / micros);
        int32_t pos;
        if (!stepPosition(pos)) return false;
        if (pos < 1) {
            m_song.udtCCs[1] = CCRec{0, tempo, kTempoChange}; // the start tempo, not limited
        } else {
            appendControlChange(pos, std::clamp(tempo, kLowestImportTempo, kHighestImportTempo),
                                kTempoChange);
        }
        break;
    }
    case 0x02: // copyright notice
        m_copyright += fromShiftJis(m_b.substr(data, length));
        break;
    case 0x03: // sequence or track name
        m_sequenceName += fromShiftJis(m_b.substr(data, length));
        break;
    default: // texts, time and key signatures and the rest: the song holds none of them
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
    case 0x90: {
        // A note number is a data byte; a key of 128 or more would not even fit
        // the note end's encoding (key + 120 in one byte): the file is broken.
        if (d1 > 127) return false;
        int32_t pos;
        if (!stepPosition(pos)) return false;
        if (kind == 0x90 && d2 != 0) {
            addNoteEntry(pos, d1, kImportedNoteLength, channel, d2);
            if (m_first[channel] == 0) m_first[channel] = pos;
        } else {
            addNoteEntry(pos, static_cast<uint8_t>(d1 + kNoteOffBase), 0, channel, d2);
        }
        break;
    }
    case 0xB0: {
        if (d1 == 7) { // channel volume: volume step = value \ 20
            if (m_first[channel] == 0) {
                m_song.intPartVolume[channel] = static_cast<int16_t>(d2 / 20);
            } else {
                int32_t pos;
                if (!stepPosition(pos)) return false;
                appendControlChange(pos, (d2 / 20) * 16 + channel, kVolumeChange);
            }
        } else if (d1 == 1) {
            m_mod[channel] = d2;
        } else if (d1 == 10) {
            m_pan[channel] = d2;
        }
        break;
    }
    case 0xC0: // program change: an initial setting until the channel's first note
        if (m_first[channel] == 0) {
            m_song.bytPartInstrument[channel] = d1;
        } else {
            int32_t pos;
            if (!stepPosition(pos)) return false;
            appendControlChange(pos, d1 * 16 + channel, kInstrumentChange);
        }
        break;
    default: // polyphonic and channel pressure, pitch bend: the song holds none of them
        break;
    }
    return true;
}

bool MidiImporter::readEvent(bool& endOfTrack) {
    uint32_t delta;
    if (!readVariableLength(delta)) return false;
    m_abs += delta;

    uint8_t b;
    if (!byteAt(m_p, b)) return false;
    uint8_t status;
    size_t data;
    if (b < 0x80) {
        // Running status: a data byte where a status byte belongs repeats the last status.
        if (m_runningStatus < 0) return false;
        status = static_cast<uint8_t>(m_runningStatus);
        data = m_p;
    } else {
        m_runningStatus = b;
        status = b;
        data = m_p + 1;
    }

    if (status == 0xFF) {
        // Under running status a repeated meta event starts at the data byte
        // that stands for its FF.
        m_p = data - 1;
        return readMeta(endOfTrack);
    }
    if (status >= 0xF0) {
        // System exclusive (F0, F7) and the status bytes a file does not use:
        // a length field, then that many bytes.
        m_p = data;
        return skipByLength();
    }
    return readChannelEvent(status, data);
}

bool MidiImporter::readTrack() {
    m_abs = 0;
    bool endOfTrack = false;
    while (!endOfTrack) {
        // Every event moves m_p forward by at least two bytes, so this ends.
        if (!readEvent(endOfTrack)) return false;
    }
    m_p += kNextTrackSkip;
    return true;
}

void MidiImporter::finish() {
    Song& song = m_song;
    const auto entries = static_cast<int64_t>(song.udtNotes.size()) - 1;
    song.varNoteCountX2 = static_cast<int32_t>(entries);

    for (int32_t i = 1; i <= song.varCCCount; ++i)
        if (song.udtCCs[i].lngPos == 0) song.udtCCs[i].lngPos = 1;
    // Control changes are appended track by track; the song keeps them in
    // position order. A single track already gives that order, and is left as
    // it is (the sort would swap equal positions). Record 1 (the start tempo,
    // now at position 1) is never later than any other.
    for (int32_t i = 3; i <= song.varCCCount; ++i) {
        if (song.udtCCs[i].lngPos < song.udtCCs[i - 1].lngPos) {
            SortCCs(song.udtCCs, 2, song.varCCCount);
            break;
        }
    }

    SortEvents(song.udtNotes, entries);

    // Lengths: a note start lasts until the first later note end of the same
    // part and key in sorted order, 12 steps when none comes. Walking backwards,
    // nextEnd holds for every part and key the nearest note end seen so far.
    // Note ends are told by their length 0 (starts carry 8 until now), not by
    // their note value alone: a start of key 125 is no end of key 5.
    std::vector<int64_t> nextEnd(static_cast<size_t>(kPartCount) * 128, 0);
    for (int64_t i = entries; i >= 1; --i) {
        NoteRec& e = song.udtNotes[i];
        if (e.lngLen == 0) {
            nextEnd[e.bytPart * 128 + (e.bytNote - kNoteOffBase)] = i;
        } else {
            const int64_t j = nextEnd[e.bytPart * 128 + e.bytNote];
            e.lngLen = j > 0 ? song.udtNotes[j].lngPos - e.lngPos : kUnpairedNoteLength;
        }
    }
    for (int64_t i = 1; i <= entries; ++i)
        if (song.udtNotes[i].bytPart == kPercussionPart)
            song.udtNotes[i].lngLen = kPercussionNoteLength;

    // The undo copy is the song as it will stand once the note ends are gone,
    // so that an undo right after opening gives back the opened song.
    song.udtUndoNotes.clear();
    song.udtUndoNotes.reserve(static_cast<size_t>(entries / 2 + 2));
    song.udtUndoNotes.push_back(NoteRec{});
    for (int64_t i = 1; i <= entries; ++i)
        if (song.udtNotes[i].bytNote < kNoteOffBase) song.udtUndoNotes.push_back(song.udtNotes[i]);
    song.lngUndoNoteCount = static_cast<int32_t>(song.udtUndoNotes.size() - 1) * 2;
}

bool MidiImporter::run() {
    Song& song = m_song;
    m_pan.fill(kCentrePan);
    song.bytPartInstrument.fill(0);
    song.copyrightText.clear();
    song.sequenceNameText.clear();
    song.udtNotes.assign(1, NoteRec{});
    // A note event takes at least 3 bytes (delta, key, velocity under running status).
    song.udtNotes.reserve(m_b.size() / 3 + 2);
    ensureCCRoom(song.udtCCs, 2);

    uint8_t tracks, divisionHigh, divisionLow;
    if (!byteAt(11, tracks) || !byteAt(12, divisionHigh) || !byteAt(13, divisionLow)) return false;
    // A division with the top bit set counts SMPTE frames, which the song
    // cannot follow; it does not fit intMidiTimebase either.
    const int division = divisionHigh * 256 + divisionLow;
    if (division == 0 || division > std::numeric_limits<int16_t>::max()) return false;
    song.intMidiTimebase = static_cast<int16_t>(division);
    song.tempoText = "120";

    bool ok = true;
    for (int t = 1; t <= tracks && ok; ++t) ok = readTrack();
    // Texts read before a failure stay, as everything else read does.
    song.copyrightText = m_copyright;
    song.sequenceNameText = m_sequenceName;
    if (!ok) return false;
    if (song.udtNotes.size() - 1 > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
        return false;
    finish();
    return true;
}

} // namespace

bool importStandardMidiFile(Song& song, std::string_view bytes, size_t* stoppedAt) {
    MidiImporter importer(song, bytes);
    const bool ok = importer.run();
    if (!ok && stoppedAt) *stoppedAt = importer.position();
    return ok;
}

} // namespace vako
