#include "midi/MidiFileWriter.h"

#include "midi/EventList.h"
#include "platform/AtomicFile.h"
#include "song/Messages.h"
#include "song/ShiftJis.h"
#include "song/SongFields.h"
#include "song/SongWriter.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace vako {
namespace {

constexpr uint32_t kLargestDelta = 0x0FFFFFFF;    // four bytes of seven bits
constexpr int64_t kLargestTempoMicros = 0xFFFFFF; // three bytes

// The steps from the file's tick 0 to a song position: tick 0 is the first
// beat, and what lies before it (the steps before the first bar line, and
// the start tempo's record) is written at tick 0.
int64_t fileStepOf(int64_t position) {
    return std::max<int64_t>(position - kFirstBeatPosition, 0);
}

void putByte(std::string& out, int value) {
    out.push_back(static_cast<char>(value & 0xFF));
}

// A data byte: MIDI data bytes hold 0..127.
int dataByte(int64_t value) {
    return static_cast<int>(std::clamp<int64_t>(value, 0, 127));
}

// The standard variable-length quantity of `value` (< 2^28): seven bits a
// byte, most significant first, the high bit set on all but the last.
void putVariableLength(std::string& out, uint32_t value) {
    if (value >= (1u << 21)) putByte(out, 0x80 | ((value >> 21) & 0x7F));
    if (value >= (1u << 14)) putByte(out, 0x80 | ((value >> 14) & 0x7F));
    if (value >= (1u << 7)) putByte(out, 0x80 | ((value >> 7) & 0x7F));
    putByte(out, value & 0x7F);
}

// The track of the export: its bytes with the per-channel controller
// state it has written so far.
class TrackBuilder {
public:
    TrackBuilder(const Song& song, int pitchShift) : m_song(song), m_pitchShift(pitchShift) {
        m_panState.fill(kCentrePan);
    }

    // The whole file image: header block, then the track.
    std::string build(const std::vector<Note>& events, int64_t eventCount);
    int64_t eventsLeftOut() const { return m_eventsLeftOut; }
    int64_t notesLeftOut() const { return m_notesLeftOut; }

private:
    void writeOpening();
    void putText(int metaType, const std::string& utf8);
    // The bytes entry e stands for, after its delta; empty when it stands for none.
    void eventBytes(const Note& e, std::string& out);
    void noteOnBytes(const Note& e, std::string& out);
    // The key written for a stored note: shifted except on the percussion part.
    int64_t keyOf(int part, int note) const {
        return part == kPercussionPart ? note : int64_t{note} - m_pitchShift;
    }

    const Song& m_song;
    int m_pitchShift;
    std::string m_data;                           // the track's bytes so far
    std::array<uint8_t, kPartCount> m_modState{}; // modulation last written per channel
    std::array<uint8_t, kPartCount> m_panState{}; // balance last written per channel
    int64_t m_eventsLeftOut = 0;                  // events no MIDI file can hold
    int64_t m_notesLeftOut = 0;                   // note-ons whose shifted key lies outside 0..127
};

void TrackBuilder::putText(int metaType, const std::string& utf8) {
    const std::string sjis = toShiftJis(utf8);
    putByte(m_data, 0x00);
    putByte(m_data, 0xFF);
    putByte(m_data, metaType);
    const uint32_t length = static_cast<uint32_t>(std::min<size_t>(sjis.size(), kLargestDelta));
    putVariableLength(m_data, length);
    m_data.append(sjis, 0, length);
}

void TrackBuilder::writeOpening() {
    // General MIDI System On as a system-exclusive event.
    for (int b : {0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}) putByte(m_data, b);
    if (!m_song.copyrightText.empty()) putText(0x02, m_song.copyrightText);
    if (!m_song.sequenceNameText.empty()) putText(0x03, m_song.sequenceNameText);
    for (int c = 0; c < kPartCount; ++c) {
        putByte(m_data, 0x00);
        putByte(m_data, 0xB0 + c);
        putByte(m_data, 7);
        putByte(m_data, dataByte(int64_t{m_song.partVolumes[c]} * 20));
    }
    for (int c = 0; c < kPartCount; ++c) {
        if (m_song.partPrograms[c] == 0) continue;
        putByte(m_data, 0x00);
        putByte(m_data, 0xC0 + c);
        putByte(m_data, dataByte(m_song.partPrograms[c]));
    }
}

void TrackBuilder::noteOnBytes(const Note& e, std::string& out) {
    const int ch = e.part;
    const int64_t key = keyOf(ch, e.key);
    if (key < 0 || key > 127) { // left out, as its note-off is
        ++m_notesLeftOut;
        return;
    }
    // Each controller written in front of a note-on is followed by a one-tick
    // delta: it delays this note-on and everything after it by one tick.
    if (e.modulation != m_modState[ch]) {
        for (int b : {0xB0 + ch, 0x01, dataByte(e.modulation), 0x01}) putByte(out, b);
        m_modState[ch] = e.modulation;
    }
    if (e.pan != m_panState[ch]) {
        // Balance 0..128 with 128 written as 127.
        for (int b : {0xB0 + ch, 0x0A, dataByte(e.pan - e.pan / 128), 0x01}) putByte(out, b);
        m_panState[ch] = e.pan;
    }
    putByte(out, 0x90 + ch);
    putByte(out, static_cast<int>(key));
    putByte(out, dataByte(e.velocity));
}

void TrackBuilder::eventBytes(const Note& e, std::string& out) {
    if (e.key == kControlChangeEvent) {
        const int64_t value = e.length;
        switch (e.velocity) {
        case kTempoChange: {
            // Microseconds per quarter note in three bytes: 4..60000000 beats
            // per minute; a tempo of 0 (or one that would give 0) is no tempo.
            const int64_t micros = value > 0 ? 60000000 / value : 0;
            if (micros < 1 || micros > kLargestTempoMicros) {
                ++m_eventsLeftOut;
                return;
            }
            for (int b : {0xFF, 0x51, 0x03}) putByte(out, b);
            putByte(out, static_cast<int>(micros >> 16));
            putByte(out, static_cast<int>(micros >> 8));
            putByte(out, static_cast<int>(micros));
            return;
        }
        case kInstrumentChange: // program * 16 + part
            if (value < 0) {
                ++m_eventsLeftOut;
                return;
            }
            putByte(out, 0xC0 + static_cast<int>(value % 16));
            putByte(out, dataByte(value / 16));
            return;
        case kVolumeChange: // volume step * 16 + part
            if (value < 0) {
                ++m_eventsLeftOut;
                return;
            }
            putByte(out, 0xB0 + static_cast<int>(value % 16));
            putByte(out, 0x07);
            putByte(out, dataByte((value / 16) * 20));
            return;
        default: // a kind the song does not define: nothing to write
            return;
        }
    }
    if (e.part >= kPartCount) {
        ++m_eventsLeftOut; // no channel and no controller state for it
        return;
    }
    if (e.key >= kNoteOffBase) {
        const int64_t key = keyOf(e.part, e.key - kNoteOffBase);
        if (key < 0 || key > 127) return; // left out, as its note-on is
        putByte(out, 0x80 + e.part);
        putByte(out, static_cast<int>(key));
        putByte(out, 0x00);
        return;
    }
    noteOnBytes(e, out);
}

std::string TrackBuilder::build(const std::vector<Note>& events, int64_t eventCount) {
    m_data.clear();
    m_data.reserve(kHeaderBlockSize + static_cast<size_t>(eventCount) * 5 + 512);
    // The header block goes in front, its track length filled in at the end,
    // so that the track is never copied behind it.
    for (int b :
         {0x4D, 0x54, 0x68, 0x64, 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0, 0x4D, 0x54, 0x72, 0x6B})
        putByte(m_data, b);
    m_data.append(4, '\0');
    writeOpening();

    // Deltas count from the time of the last entry written: entry 0 holds
    // position 0, and an entry that writes nothing leaves its gap to the next.
    int64_t lastStep = fileStepOf(events[0].position);
    std::string bytes;
    for (int64_t i = 1; i <= eventCount; ++i) {
        const Note& e = events[i];
        bytes.clear();
        // The controller state is only taken over once the event is written.
        const auto modState = m_modState, panState = m_panState;
        eventBytes(e, bytes);
        if (bytes.empty()) continue;
        const int64_t step = fileStepOf(e.position);
        if (!appendDeltaTime(m_data, step - lastStep)) {
            ++m_eventsLeftOut;
            m_modState = modState, m_panState = panState;
            continue;
        }
        m_data += bytes;
        lastStep = step;
    }
    for (int b : {0x00, 0xFF, 0x2F, 0x00}) putByte(m_data, b);
    const auto length = static_cast<uint32_t>(m_data.size() - kHeaderBlockSize);
    for (int i = 0; i < 4; ++i)
        m_data[kHeaderBlockSize - 4 + i] = static_cast<char>((length >> (24 - 8 * i)) & 0xFF);
    return std::move(m_data);
}

} // namespace

std::string notesLeftOutText(int64_t count) {
    return translated("移調で音域（0～127）を外れた音符 {count} 個は書き出していません",
                      {{"count", std::to_string(count)}});
}

std::string leftOutText(const ExportOutcome& outcome) {
    std::string text;
    if (outcome.notesLeftOut > 0) text = notesLeftOutText(outcome.notesLeftOut);
    if (outcome.eventsLeftOut > 0) {
        // TRANSLATORS: the mark between two sentences of one message.
        if (!text.empty()) text += translated("。");
        text += translated("MIDIファイルに書けない値（0 のテンポなど）{count} 個は書き出していません",
                           {{"count", std::to_string(outcome.eventsLeftOut)}});
    }
    return text;
}

bool isExportTempoValid(std::string_view tempoText) {
    // The field must hold a number; its exact value decides, not its rounding.
    if (!parseWholeNumber(tempoText)) return false;
    const std::string text(tempoText);
    const double tempo = std::strtod(text.c_str(), nullptr);
    return tempo >= kLowestTempo && tempo <= kHighestTempo;
}

bool appendDeltaTime(std::string& track, int64_t steps) {
    if (steps == 0) {
        putByte(track, 0x00);
        return true;
    }
    if (steps < 0 || steps > int64_t{kLargestDelta} / kTicksPerStep) return false;
    putVariableLength(track, static_cast<uint32_t>(steps * kTicksPerStep));
    return true;
}

namespace {

// The control changes behind the note events `events` holds already.
int64_t addChangeEvents(const Song& song, std::vector<Note>& events) {
    const int64_t ccCount =
        std::clamp<int64_t>(song.changeCount, 0, int64_t(song.changes.size()) - 1);
    const int64_t noteEvents = static_cast<int64_t>(events.size()) - ccCount - 2;
    for (int64_t i = 1; i <= ccCount; ++i) {
        const ControlChange& cc = song.changes[i];
        Note& e = events[noteEvents + i];
        e.position = cc.position;
        e.key = kControlChangeEvent;
        e.length = i == 1 ? startTempoOf(song) : cc.value;
        e.velocity = cc.kind;
    }
    return noteEvents + ccCount;
}

int64_t changeEventRoom(const Song& song) {
    return std::clamp<int64_t>(song.changeCount, 0, int64_t(song.changes.size()) - 1) + 1;
}

std::string buildImage(const Song& song, std::vector<Note>& events, int64_t eventCount,
                       int pitchShift, MidiImageReport& report) {
    SortEvents(events, eventCount);
    TrackBuilder builder(song, pitchShift);
    std::string image = builder.build(events, eventCount);
    report.eventsLeftOut = builder.eventsLeftOut();
    report.faulted = report.eventsLeftOut > 0;
    report.notesLeftOut = builder.notesLeftOut();
    return image;
}

} // namespace

int64_t buildExportEvents(const Song& song, std::vector<Note>& events) {
    events = BuildNoteEvents(song, changeEventRoom(song));
    return addChangeEvents(song, events);
}

std::string buildMidiFileImage(const Song& song, int pitchShift, bool& faulted) {
    MidiImageReport report;
    std::string image = buildMidiFileImage(song, pitchShift, report);
    faulted = report.faulted;
    return image;
}

std::string buildMidiFileImage(const Song& song, int pitchShift, MidiImageReport& report) {
    std::vector<Note> events;
    const int64_t eventCount = buildExportEvents(song, events);
    return buildImage(song, events, eventCount, pitchShift, report);
}

std::string buildMidiFileImage(Song&& song, int pitchShift, MidiImageReport& report) {
    // The notes become the event list; the song keeps what the track's
    // opening and the control changes need.
    const int64_t room = changeEventRoom(song);
    std::vector<Note> events = BuildNoteEvents(std::move(song), room);
    const int64_t eventCount = addChangeEvents(song, events);
    return buildImage(song, events, eventCount, pitchShift, report);
}

// ---------------------------------------------------------------------------
// The listing.

namespace {

uint32_t bigEndian(std::string_view bytes) {
    uint32_t value = 0;
    for (const char c : bytes) value = (value << 8) | static_cast<unsigned char>(c);
    return value;
}

class Lister {
public:
    explicit Lister(std::string_view image) : m_b(image) {}
    std::string run();

private:
    bool readVariableLength(size_t& p, size_t end, uint32_t& value) const {
        value = 0;
        for (int i = 0; i < 4; ++i) {
            if (p >= end) return false;
            const auto b = static_cast<unsigned char>(m_b[p++]);
            value = (value << 7) | (b & 0x7F);
            if (b < 0x80) return true;
        }
        return true;
    }
    bool listTrack(size_t begin, size_t end);
    void line(const std::string& text) { m_out += text + '\n'; }

    std::string_view m_b;
    std::string m_out;
};

std::string describe(int status, std::string_view data) {
    const int kind = status & 0xF0, ch = status & 0x0F;
    const auto d = [&](size_t i) {
        return i < data.size() ? static_cast<unsigned char>(data[i]) : 0;
    };
    char buffer[64];
    switch (kind) {
    case 0x80:
        std::snprintf(buffer, sizeof buffer, "note-off ch %d key %d", ch, d(0));
        break;
    case 0x90:
        std::snprintf(buffer, sizeof buffer, "note-on ch %d key %d vel %d", ch, d(0), d(1));
        break;
    case 0xB0:
        std::snprintf(buffer, sizeof buffer, "controller ch %d #%d = %d", ch, d(0), d(1));
        break;
    case 0xC0:
        std::snprintf(buffer, sizeof buffer, "program ch %d = %d", ch, d(0));
        break;
    default:
        std::snprintf(buffer, sizeof buffer, "channel event %02X", status);
        break;
    }
    return buffer;
}

bool Lister::listTrack(size_t p, size_t end) {
    uint64_t tick = 0;
    int running = -1;
    while (p < end) {
        const size_t deltaAt = p;
        uint32_t delta;
        if (!readVariableLength(p, end, delta) || p >= end) return false;
        tick += delta;
        const std::string head =
            std::to_string(tick) + " " + hexBytes(m_b.substr(deltaAt, p - deltaAt)) + " | ";
        const size_t eventAt = p;
        int status = static_cast<unsigned char>(m_b[p]);
        if (status < 0x80) {
            if (running < 0) return false;
            status = running;
        } else {
            ++p;
            if (status < 0xF0) running = status;
        }
        std::string what;
        if (status == 0xFF || status == 0xF0 || status == 0xF7) {
            int type = -1;
            if (status == 0xFF) {
                if (p >= end) return false;
                type = static_cast<unsigned char>(m_b[p++]);
            }
            uint32_t length;
            if (!readVariableLength(p, end, length) || length > end - p) return false;
            const std::string_view data = m_b.substr(p, length);
            p += length;
            if (status != 0xFF) {
                what = "sysex";
            } else if (type == 0x2F) {
                what = "end of track";
            } else if (type == 0x51 && length == 3) {
                const uint32_t micros = bigEndian(data);
                what = "tempo " + std::to_string(micros) +
                       " us = " + std::to_string(micros ? 60000000 / micros : 0) + " bpm";
            } else if (type >= 0x01 && type <= 0x07) {
                what = "text " + std::to_string(type) + " \"" + fromShiftJis(data) + "\"";
            } else {
                what = "meta " + std::to_string(type);
            }
        } else if (status > 0xF0) {
            return false;
        } else {
            const size_t dataBytes = ((status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0) ? 1 : 2;
            if (dataBytes > end - p) return false;
            what = describe(status, m_b.substr(p, dataBytes));
            p += dataBytes;
        }
        line(head + hexBytes(m_b.substr(eventAt, p - eventAt)) + "  " + what);
    }
    return true;
}

std::string Lister::run() {
    size_t p = 0;
    while (p < m_b.size()) {
        if (m_b.size() - p < 8) {
            line("truncated chunk header at byte " + std::to_string(p));
            break;
        }
        const std::string type(m_b.substr(p, 4));
        const uint32_t length = bigEndian(m_b.substr(p + 4, 4));
        const size_t begin = p + 8;
        const size_t end = begin + std::min<size_t>(length, m_b.size() - begin);
        if (type == "MThd" && length >= 6) {
            line("MThd " + std::to_string(length) + ": format " +
                 std::to_string(bigEndian(m_b.substr(begin, 2))) + ", " +
                 std::to_string(bigEndian(m_b.substr(begin + 2, 2))) + " track(s), division " +
                 std::to_string(bigEndian(m_b.substr(begin + 4, 2))));
        } else if (type == "MTrk") {
            line("MTrk " + std::to_string(length));
            if (!listTrack(begin, end)) {
                line("malformed event in the track starting at byte " + std::to_string(begin));
                break;
            }
        } else {
            line("chunk " + hexBytes(type) + " " + std::to_string(length));
        }
        if (begin + length > m_b.size()) {
            line("chunk claims " + std::to_string(length) + " bytes, the file holds " +
                 std::to_string(m_b.size() - begin));
            break;
        }
        p = begin + length;
    }
    return m_out;
}

} // namespace

std::string hexBytes(std::string_view bytes) {
    std::string out;
    char buffer[4];
    for (const char c : bytes) {
        std::snprintf(buffer, sizeof buffer, "%02X", static_cast<unsigned char>(c));
        if (!out.empty()) out += ' ';
        out += buffer;
    }
    return out;
}

std::string dumpMidiFile(std::string_view image) {
    return Lister(image).run();
}

// ---------------------------------------------------------------------------

ExportOutcome ExportMidiFile(const Song& song, int pitchShift, const SongFolders& folders,
                             SongHost& host) {
    if (!isExportTempoValid(song.tempoText)) {
        host.showMessage(translated(msg::kTempoRange));
        ExportOutcome refused;
        refused.status = ExportStatus::BadTempo;
        return refused;
    }
    ExportOutcome outcome;
    MidiImageReport report;
    const std::string image = buildMidiFileImage(song, pitchShift, report);
    outcome.eventsLeftOut = report.eventsLeftOut;
    outcome.notesLeftOut = report.notesLeftOut;

    const std::string name = host.inputBox(translated(kExportNamePrompt), translated(kExportNameTitle), "");
    if (name.empty()) {
        outcome.status = ExportStatus::Cancelled;
        return outcome;
    }
    if (!isUsableFileName(name) || !isUsableFileName(name + ".mid")) {
        host.showMessage(msg::badFileName(name));
        outcome.status = ExportStatus::BadName;
        return outcome;
    }
    const std::filesystem::path path = folders.songFolder / (name + ".mid");
    if (!host.mayReplaceFile(path)) {
        outcome.status = ExportStatus::NotReplaced;
        return outcome;
    }
    const WriteOutcome written = writeFileAtomically(path, image);
    if (!written.ok) {
        // The song is fine, the disk is not: say so and keep the edits.
        host.showMessage(msg::cannotWrite(
            path.string(), msg::writeFailureReason(written.errorNumber, written.error)));
        outcome.status = ExportStatus::WriteFailed;
        return outcome;
    }
    host.refreshFileList();
    outcome.status = ExportStatus::Written;
    outcome.path = path;
    return outcome;
}

} // namespace vako
