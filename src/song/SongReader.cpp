#include "song/SongReader.h"

#include "song/ShiftJis.h"
#include "song/SongFields.h"

#include <algorithm>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <utility>

namespace vako {
namespace {

struct ReadFailure {};

// The fields of one file, read in order; any problem throws ReadFailure, which
// ends the reading at once.
class SongFieldStream {
public:
    explicit SongFieldStream(FieldReader&& fields) : m_fields(std::move(fields)) {}

    std::string_view field() {
        const auto f = m_fields.next();
        if (!f) {
            m_endedEarly = true;
            throw ReadFailure{};
        }
        return *f;
    }
    void skip(int count = 1) {
        for (int i = 0; i < count; ++i) {
            if (!m_fields.skipNext()) {
                m_endedEarly = true;
                throw ReadFailure{};
            }
        }
    }
    int64_t number(int64_t min, int64_t max) {
        auto v = m_fields.nextPlainDigits();
        if (!v && !m_fields.nextWholeNumber(v)) {
            m_endedEarly = true;
            throw ReadFailure{};
        }
        if (!v || *v < min || *v > max) throw ReadFailure{};
        return *v;
    }
    // The first field: the version of the format, 0 for none.
    int version() {
        static constexpr std::string_view kMagics[] = {"vako1", "vako2", "vako3",
                                                       "vako4", "vako5", "vako6"};
        const auto which = m_fields.nextOneOf(kMagics);
        if (!which) {
            m_endedEarly = true;
            throw ReadFailure{};
        }
        return *which + 1;
    }
    int32_t int32() { return static_cast<int32_t>(number(INT32_MIN, INT32_MAX)); }
    uint8_t byte() { return static_cast<uint8_t>(number(0, 255)); }
    // A byte field whose value is multiplied on reading; the product must still fit.
    uint8_t scaledByte(int factor) {
        const int64_t v = number(0, 255) * factor;
        if (v > 255) throw ReadFailure{};
        return static_cast<uint8_t>(v);
    }

    // Offset of the next field in the file.
    uint64_t position() const { return m_fields.position(); }
    bool endedEarly() const { return m_endedEarly; }
    // The line of the field read last (or looked for last); for a file that
    // ended early its last line with text, not the empty one after its last
    // line end.
    int64_t failureLine() const { return m_fields.lineOfLatestField(m_endedEarly); }

private:
    FieldReader m_fields;
    bool m_endedEarly = false;
};

// What the file may cost in memory: its size bounds the records it can hold,
// and the lists of the song it gives must fit `limit` bytes. A file that
// cannot fit is refused before its lists are taken.
class MemoryBounds {
public:
    MemoryBounds(uint64_t fileSize, uint64_t limit) : m_fileSize(fileSize), m_limit(limit) {}

    // The most of `claimed` records of at least `smallest` bytes each that
    // the file can still hold after `offset`.
    int64_t recordsThatFit(int64_t claimed, uint64_t offset, uint64_t smallest) const {
        const uint64_t left = m_fileSize > offset ? m_fileSize - offset : 0;
        return std::max<int64_t>(0, std::min<int64_t>(claimed, left / smallest + 1));
    }
    // Takes `bytes` of the limit; std::bad_alloc when they are not there.
    void take(uint64_t bytes) {
        if (bytes > m_limit - m_taken) throw std::bad_alloc();
        m_taken += bytes;
    }

private:
    uint64_t m_fileSize, m_limit;
    uint64_t m_taken = 0;
};

// A part outside 0-15 names no MIDI channel.
uint8_t checkedPart(int64_t part) {
    if (part < 0 || part >= kPartCount) throw ReadFailure{};
    return static_cast<uint8_t>(part);
}

// Programs above 127 do not exist; the instrument lists end there.
uint8_t programFrom(uint8_t value) {
    return value > 127 ? 127 : value;
}

int32_t oldStepsToSteps(int32_t v) {
    // Versions 1 and 2 counted 8 steps to a quarter note.
    const int64_t r = ((int64_t{v} + 1) * 3) / 2 - 1;
    if (r < INT32_MIN || r > INT32_MAX) throw ReadFailure{};
    return static_cast<int32_t>(r);
}

void readPrograms(SongFieldStream& in, Song& song, std::initializer_list<int> parts) {
    for (const int part : parts) song.partPrograms[part] = programFrom(in.byte());
}

// Bytes of a note record at the least: seven numbers of one digit and a
// delimiter after each of its fields.
constexpr uint64_t kSmallestNoteRecord = 15;
// Of a control change record: a field and three numbers of one digit.
constexpr uint64_t kSmallestChangeRecord = 6;

// What one note read costs while the song is open: its record, and its copy
// in the undo copy the window's editor keeps for its fault path.
constexpr uint64_t kBytesPerNote = sizeof(Note) * 2;

// Room for the notes the file can hold, up to the `records` its header claims,
// taken at once: the list then never moves while it fills. No spare records
// are kept behind them: an edit makes its own room. A list that outgrows it (a
// file that grew while it was read) grows as usual, within the bounds.
void reserveNoteRoom(Song& song, int64_t records, const SongFieldStream& in, MemoryBounds& bounds) {
    const int64_t fit = bounds.recordsThatFit(records, in.position(), kSmallestNoteRecord);
    bounds.take(static_cast<uint64_t>(fit) * kBytesPerNote);
    song.notes.reserve(static_cast<size_t>(fit + 1));
}

void addNote(Song& song, const Note& note, MemoryBounds& bounds) {
    if (song.notes.size() == song.notes.capacity()) [[unlikely]]
        bounds.take(song.notes.size() * kBytesPerNote);
    song.notes.push_back(note);
}

constexpr std::initializer_list<int> kAllParts = {0, 1, 2,  3,  4,  5,  6,  7,
                                                  8, 9, 10, 11, 12, 13, 14, 15};

// Note records of versions 1 to 5: number, position, note, length, part,
// strength, balance, modulation (and in versions 1 to 3 one more field).
void readOldNotes(SongFieldStream& in, Song& song, int version, int64_t records,
                  MemoryBounds& bounds) {
    for (int64_t i = 1; i <= records; ++i) {
        Note note;
        in.skip();
        note.position = in.int32();
        note.key = in.byte();
        if (version >= 4 && !isStorableNote(note.key))
            throw ReadFailure{}; // only notes from version 4 on
        note.length = in.int32();
        const int64_t part = in.byte();
        note.velocity = in.scaledByte(6);
        note.pan = in.scaledByte(16);
        note.modulation = in.scaledByte(50);
        if (version <= 3) in.skip();
        if (version <= 2) {
            note.length = oldStepsToSteps(note.length);
            note.position = oldStepsToSteps(note.position);
        }
        note.part = checkedPart(version == 1 && part % 3 == 2 ? kPercussionPart : part);
        addNote(song, note, bounds);
    }
}

void readVersion6(SongFieldStream& in, Song& song, MemoryBounds& bounds) {
    in.skip();
    song.twiceNoteCount = in.int32();
    const int64_t records = song.twiceNoteCount / 2;
    if (song.twiceNoteCount < 0) throw ReadFailure{};
    in.skip();
    readPrograms(in, song, kAllParts);
    in.skip();
    for (int part = 0; part < kPartCount; ++part)
        song.partVolumes[part] = static_cast<int16_t>(in.number(INT16_MIN, INT16_MAX));
    in.skip();
    song.notes.resize(1);
    reserveNoteRoom(song, records, in, bounds);
    for (int64_t i = 1; i <= records; ++i) {
        Note note;
        in.skip();
        note.position = in.int32();
        note.key = in.byte();
        if (!isStorableNote(note.key)) throw ReadFailure{};
        note.length = in.int32();
        in.skip();
        note.part = checkedPart(in.byte());
        note.velocity = in.scaledByte(6);
        note.pan = in.scaledByte(16);
        note.modulation = in.scaledByte(50);
        addNote(song, note, bounds);
    }
    ensureNoteRoom(song.notes, song.noteCount());

    in.skip();
    const std::string_view tempoField = in.field();
    const auto tempo = parseWholeNumber(tempoField);
    if (!tempo || *tempo < INT32_MIN || *tempo > INT32_MAX) throw ReadFailure{};
    // The field's text is not held past the next field.
    const std::string tempoText = fromShiftJis(tempoField);
    in.skip();
    const int64_t divisions = in.byte();
    const int64_t quarters = in.byte();
    // The grid and meter menus offer these values only; others would divide by zero.
    if (divisions != 60 && divisions != 30 && divisions != 15 && divisions != 5)
        throw ReadFailure{};
    if (quarters != 2 && quarters != 3 && quarters != 4 && quarters != 6) throw ReadFailure{};
    song.grid = static_cast<uint8_t>(divisions);
    song.quartersPerBar = static_cast<uint8_t>(quarters);
    in.skip();
    const std::string copyright = fromShiftJis(in.field());
    const std::string sequenceName = fromShiftJis(in.field());
    in.skip(2);
    const int64_t ccCount = in.number(1, INT32_MAX);
    in.skip();
    const int64_t ccFit = bounds.recordsThatFit(ccCount, in.position(), kSmallestChangeRecord);
    // The list may double once while it fills.
    bounds.take(static_cast<uint64_t>(ccFit) * sizeof(ControlChange) * 2);
    std::vector<ControlChange> ccs(1);
    for (int64_t j = 1; j <= ccCount; ++j) {
        ControlChange cc;
        in.skip();
        cc.position = in.int32();
        cc.value = in.int32();
        cc.kind = in.byte();
        ccs.push_back(cc);
    }
    ensureChangeRoom(ccs, ccCount + 4);
    song.changes = std::move(ccs);
    song.changeCount = static_cast<int32_t>(ccCount);

    song.tempoText = tempoText;
    song.copyrightText = copyright;
    song.sequenceNameText = sequenceName;
    song.changes[1].value = static_cast<int32_t>(*tempo);
}

} // namespace

namespace {

SongTextOutcome readFields(Song& song, FieldReader&& fields, MemoryBounds bounds) {
    SongTextOutcome outcome;
    SongFieldStream in(std::move(fields));
    try {
        outcome.version = in.version();
        if (outcome.version == 0) {
            outcome.status = SongTextStatus::WrongMagic;
            return outcome;
        }
        if (outcome.version == 6) {
            readVersion6(in, song, bounds);
        } else {
            in.skip();
            song.twiceNoteCount = in.int32();
            if (song.twiceNoteCount < 0) throw ReadFailure{};
            if (outcome.version == 1)
                readPrograms(in, song, {0, 1, 3, 4});
            else
                readPrograms(in, song, kAllParts);
            in.skip();
            // Versions 1 to 3 count entries (note starts and note ends), 4 and 5 twice the notes.
            const int64_t records =
                outcome.version <= 3 ? song.twiceNoteCount : song.twiceNoteCount / 2;
            song.notes.resize(1);
            reserveNoteRoom(song, records, in, bounds);
            readOldNotes(in, song, outcome.version, records, bounds);
            ensureNoteRoom(song.notes, song.noteCount());
        }
        outcome.status = SongTextStatus::Read;
    } catch (const ReadFailure&) {
        outcome.status = SongTextStatus::ReadFailure;
        outcome.endedEarly = in.endedEarly();
        outcome.failureLine = in.failureLine();
    }
    return outcome;
}

} // namespace

SongTextOutcome readSongText(Song& song, std::string_view bytes) {
    return readFields(song, FieldReader(bytes), MemoryBounds(bytes.size(), UINT64_MAX));
}

SongTextOutcome readSongText(Song& song, ByteSource& source, uint64_t fileSize,
                             uint64_t memoryLimit) {
    // A field held while it is read (a long text) gets a part of the bound.
    return readFields(song, FieldReader(source, memoryLimit / 4),
                      MemoryBounds(fileSize, memoryLimit));
}

bool mayBeSongText(std::string_view start) {
    size_t i = 0;
    while (i < start.size() && (start[i] == ' ' || start[i] == '\t')) ++i;
    if (i == start.size()) return true; // nothing but blanks so far: the rest decides
    if (start[i] == '"') ++i;
    const std::string_view stem = start.substr(i, 5);
    for (size_t k = 0; k < stem.size(); ++k) {
        const bool fits = k < 4 ? stem[k] == "vako"[k] : stem[k] >= '1' && stem[k] <= '6';
        if (!fits) return false;
    }
    return true;
}

} // namespace vako
