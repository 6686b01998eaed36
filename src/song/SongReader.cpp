#include "song/SongReader.h"

#include "song/ShiftJis.h"
#include "song/SongFields.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace vako {
namespace {

struct ReadFailure {};

// The fields of one file, read in order; any problem throws ReadFailure, which
// ends the reading at once.
class SongFieldStream {
public:
    explicit SongFieldStream(std::string_view bytes) : m_fields(bytes) {}

    std::string_view field() {
        m_lastFieldStart = m_fields.position();
        const auto f = m_fields.next();
        if (!f) {
            m_endedEarly = true;
            throw ReadFailure{};
        }
        return *f;
    }
    void skip(int count = 1) {
        for (int i = 0; i < count; ++i) field();
    }
    int64_t number(int64_t min, int64_t max) {
        m_lastFieldStart = m_fields.position();
        auto v = m_fields.nextPlainDigits();
        if (!v) v = parseWholeNumber(field());
        if (!v || *v < min || *v > max) throw ReadFailure{};
        return *v;
    }
    int32_t int32() { return static_cast<int32_t>(number(INT32_MIN, INT32_MAX)); }
    uint8_t byte() { return static_cast<uint8_t>(number(0, 255)); }
    // A byte field whose value is multiplied on reading; the product must still fit.
    uint8_t scaledByte(int factor) {
        const int64_t v = number(0, 255) * factor;
        if (v > 255) throw ReadFailure{};
        return static_cast<uint8_t>(v);
    }

    // Where the field read last (or looked for last) starts, in bytes.
    size_t lastFieldStart() const { return m_lastFieldStart; }
    bool endedEarly() const { return m_endedEarly; }

private:
    FieldReader m_fields;
    size_t m_lastFieldStart = 0;
    bool m_endedEarly = false;
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

// Room for the notes a file of `bytes` bytes can hold, up to the `records` its
// header claims, taken at once: the list then never moves while it fills. No
// spare records are kept behind them: an edit makes its own room. A note record has at least
// seven numbers of one digit and a delimiter after each of its fields; the
// bound is only a hint (a list that outgrows it grows as usual).
void reserveNoteRoom(Song& song, int64_t records, size_t bytes) {
    constexpr int64_t kSmallestRecord = 15;
    const int64_t fit =
        std::min<int64_t>(records, static_cast<int64_t>(bytes) / kSmallestRecord + 1);
    song.notes.reserve(static_cast<size_t>(std::max<int64_t>(0, fit) + 1));
}

constexpr std::initializer_list<int> kAllParts = {0, 1, 2,  3,  4,  5,  6,  7,
                                                  8, 9, 10, 11, 12, 13, 14, 15};

// Note records of versions 1 to 5: number, position, note, length, part,
// strength, balance, modulation (and in versions 1 to 3 one more field).
void readOldNotes(SongFieldStream& in, Song& song, int version, int64_t records) {
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
        song.notes.push_back(note);
    }
}

void readVersion6(SongFieldStream& in, Song& song, size_t fileSize) {
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
    reserveNoteRoom(song, records, fileSize);
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
        song.notes.push_back(note);
    }
    ensureNoteRoom(song.notes, song.noteCount());

    in.skip();
    const std::string_view tempoField = in.field();
    const auto tempo = parseWholeNumber(tempoField);
    if (!tempo || *tempo < INT32_MIN || *tempo > INT32_MAX) throw ReadFailure{};
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

    song.tempoText = fromShiftJis(tempoField);
    song.copyrightText = copyright;
    song.sequenceNameText = sequenceName;
    song.changes[1].value = static_cast<int32_t>(*tempo);
}

} // namespace

SongTextOutcome readSongText(Song& song, std::string_view bytes) {
    SongTextOutcome outcome;
    SongFieldStream in(bytes);
    try {
        const std::string_view magic = in.field();
        static constexpr std::string_view kMagics[] = {"vako1", "vako2", "vako3",
                                                       "vako4", "vako5", "vako6"};
        for (int v = 1; v <= 6; ++v)
            if (magic == kMagics[v - 1]) outcome.version = v;
        if (outcome.version == 0) {
            outcome.status = SongTextStatus::WrongMagic;
            return outcome;
        }
        if (outcome.version == 6) {
            readVersion6(in, song, bytes.size());
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
            reserveNoteRoom(song, records, bytes.size());
            readOldNotes(in, song, outcome.version, records);
            ensureNoteRoom(song.notes, song.noteCount());
        }
        outcome.status = SongTextStatus::Read;
    } catch (const ReadFailure&) {
        outcome.status = SongTextStatus::ReadFailure;
        outcome.endedEarly = in.endedEarly();
        std::string_view before = bytes.substr(0, in.lastFieldStart());
        // A file that ends early ends on its last line with text, not on the
        // empty one after its last line end.
        if (outcome.endedEarly)
            while (!before.empty() && (before.back() == '\n' || before.back() == '\r' ||
                                       before.back() == ' ' || before.back() == '\t'))
                before.remove_suffix(1);
        outcome.failureLine =
            1 + static_cast<int64_t>(std::count(before.begin(), before.end(), '\n'));
    }
    return outcome;
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
