#include "midi/MusicXmlWriter.h"

#include "song/SongWriter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <utility>

namespace vako {
namespace {

// Steps are the file's divisions: 12 to a quarter note.
constexpr int kDivisions = 12;
// Keys from middle C up go on the upper staff of a grand staff.
constexpr int kMiddleC = 60;
// The General MIDI pianos (programs 1 to 8) get a grand staff when they span both clefs.
constexpr int kLastPianoProgram = 7;
constexpr int kLowestTrebleKey = 55, kHighestBassKey = 64;

// The General MIDI percussion keys 35..81, as notation programs name drums.
const char* drumName(int key) {
    static const std::array<const char*, 47> kNames = {
        "Acoustic Bass Drum", "Bass Drum 1",    "Side Stick",     "Acoustic Snare",
        "Hand Clap",          "Electric Snare", "Low Floor Tom",  "Closed Hi-Hat",
        "High Floor Tom",     "Pedal Hi-Hat",   "Low Tom",        "Open Hi-Hat",
        "Low-Mid Tom",        "Hi-Mid Tom",     "Crash Cymbal 1", "High Tom",
        "Ride Cymbal 1",      "Chinese Cymbal", "Ride Bell",      "Tambourine",
        "Splash Cymbal",      "Cowbell",        "Crash Cymbal 2", "Vibraslap",
        "Ride Cymbal 2",      "Hi Bongo",       "Low Bongo",      "Mute Hi Conga",
        "Open Hi Conga",      "Low Conga",      "High Timbale",   "Low Timbale",
        "High Agogo",         "Low Agogo",      "Cabasa",         "Maracas",
        "Short Whistle",      "Long Whistle",   "Short Guiro",    "Long Guiro",
        "Claves",             "Hi Wood Block",  "Low Wood Block", "Mute Cuica",
        "Open Cuica",         "Mute Triangle",  "Open Triangle"};
    if (key < 35 || key > 81) return nullptr;
    return kNames[static_cast<size_t>(key - 35)];
}

void escapeInto(std::string& out, const std::string& text) {
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default:
            // Control characters other than tab and line ends are not XML.
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r')
                out += c;
        }
    }
}

void appendNumber(std::string& out, int64_t value) {
    out += std::to_string(value);
}

// One sounding of the score: a note, or a chord of notes with one start and
// one length.
struct ScoreNote {
    uint8_t key = 0;
    uint8_t velocity = 0;
    // In a voice of slices (below): the note goes on from the slice before,
    // or into the slice after.
    bool continuesFromBefore = false;
    bool continuesAfter = false;
};
struct Chord {
    int64_t start = 0;  // steps from the first beat
    int64_t length = 0; // steps
    std::vector<ScoreNote> notes;
    int64_t end() const { return start + length; }
};

// A staff of a part with its voices: chords that never overlap within a voice.
struct Lane {
    int staff = 0; // 0 on a part of one staff, else 1 or 2
    std::vector<std::vector<Chord>> voices;
    std::vector<size_t> nextChord; // per voice, the first chord not yet past
    int firstVoiceNumber = 1;
};

enum class ClefKind { Treble, Bass, Grand, Percussion };

struct PartPlan {
    int part = 0;
    ClefKind clef = ClefKind::Treble;
    std::vector<Lane> lanes;
    std::vector<int> drumKeys; // the percussion part's keys, ascending
    // The direction elements of the part, by their time.
    std::vector<std::pair<int64_t, std::string>> directions;
    std::string id() const { return "P" + std::to_string(part + 1); }
};

struct TimedNote {
    int64_t start = 0;
    int64_t length = 0;
    ScoreNote note;
};

// Chords of notes that start together and last as long; a key twice in one
// chord starts another, so that no note is lost.
std::vector<Chord> chordsOf(std::vector<TimedNote>& notes) {
    std::sort(notes.begin(), notes.end(), [](const TimedNote& a, const TimedNote& b) {
        if (a.start != b.start) return a.start < b.start;
        if (a.length != b.length) return a.length < b.length;
        return a.note.key < b.note.key;
    });
    std::vector<Chord> chords;
    for (const TimedNote& n : notes) {
        const bool joins = !chords.empty() && chords.back().start == n.start &&
                           chords.back().length == n.length &&
                           chords.back().notes.back().key != n.note.key;
        if (!joins) chords.push_back(Chord{n.start, n.length, {}});
        chords.back().notes.push_back(n.note);
    }
    return chords;
}

// Voices a staff fills one chord after another; notes that fit none of them
// go into voices of slices.
constexpr size_t kChordVoices = 3;

// The notes as chords sounding one after the other: cut wherever one of them
// starts or ends, each cut chord holding every note that sounds then, tied on
// into the next.
std::vector<Chord> slicesOf(const std::vector<Chord>& chords) {
    std::vector<int64_t> cuts;
    for (const Chord& c : chords) {
        cuts.push_back(c.start);
        cuts.push_back(c.end());
    }
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    // Each slice between two cuts gathers the notes that cover it.
    std::vector<Chord> slices(cuts.size() > 1 ? cuts.size() - 1 : 0);
    for (size_t i = 0; i < slices.size(); ++i) {
        slices[i].start = cuts[i];
        slices[i].length = cuts[i + 1] - cuts[i];
    }
    for (const Chord& c : chords) {
        const size_t first =
            static_cast<size_t>(std::lower_bound(cuts.begin(), cuts.end(), c.start) - cuts.begin());
        const size_t last =
            static_cast<size_t>(std::lower_bound(cuts.begin(), cuts.end(), c.end()) - cuts.begin());
        for (size_t i = first; i < last; ++i)
            for (ScoreNote n : c.notes) {
                n.continuesFromBefore = i > first;
                n.continuesAfter = i + 1 < last;
                slices[i].notes.push_back(n);
            }
    }
    std::erase_if(slices, [](const Chord& c) { return c.notes.empty(); });
    for (Chord& c : slices)
        std::sort(c.notes.begin(), c.notes.end(),
                  [](const ScoreNote& a, const ScoreNote& b) { return a.key < b.key; });
    return slices;
}

// A key struck again while it sounds in the voice of slices is written as
// struck again: the note before ends there. (No MIDI file tells the two
// apart either.) Of two at one start, the longer stays.
std::vector<Chord> restruckKeysEnded(std::vector<Chord> notes) {
    std::sort(notes.begin(), notes.end(), [](const Chord& a, const Chord& b) {
        if (a.notes[0].key != b.notes[0].key) return a.notes[0].key < b.notes[0].key;
        if (a.start != b.start) return a.start < b.start;
        return a.length > b.length;
    });
    std::vector<Chord> kept;
    for (Chord& n : notes) {
        if (!kept.empty() && kept.back().notes[0].key == n.notes[0].key &&
            kept.back().end() > n.start) {
            if (kept.back().start == n.start) continue;
            kept.back().length = n.start - kept.back().start;
        }
        kept.push_back(std::move(n));
    }
    return kept;
}

// Each chord goes to the first voice free at its start: as few voices as the
// overlaps need, the first holding most. What the first voices cannot hold
// goes into one voice of slices, so that a staff has four voices at most, as
// notation programs hold.
Lane laneOf(std::vector<TimedNote>& notes, int staff) {
    Lane lane;
    lane.staff = staff;
    std::vector<int64_t> voiceEnds;
    std::vector<Chord> overflow;
    for (Chord& chord : chordsOf(notes)) {
        size_t v = 0;
        while (v < voiceEnds.size() && voiceEnds[v] > chord.start) ++v;
        if (v < kChordVoices) {
            if (v == voiceEnds.size()) {
                voiceEnds.push_back(0);
                lane.voices.emplace_back();
            }
            voiceEnds[v] = chord.end();
            lane.voices[v].push_back(std::move(chord));
            continue;
        }
        for (const ScoreNote& n : chord.notes) overflow.push_back(Chord{chord.start, chord.length, {n}});
    }
    if (!overflow.empty()) lane.voices.push_back(slicesOf(restruckKeysEnded(std::move(overflow))));
    if (lane.voices.empty()) lane.voices.emplace_back();
    lane.nextChord.assign(lane.voices.size(), 0);
    return lane;
}

ClefKind clefFor(int part, int program, std::vector<TimedNote>& notes) {
    if (part == kPercussionPart) return ClefKind::Percussion;
    int low = 127, high = 0;
    for (const TimedNote& n : notes) {
        low = std::min<int>(low, n.note.key);
        high = std::max<int>(high, n.note.key);
    }
    if (program <= kLastPianoProgram && low < kLowestTrebleKey && high > kHighestBassKey)
        return ClefKind::Grand;
    auto middle = notes.begin() + static_cast<ptrdiff_t>(notes.size() / 2);
    std::nth_element(notes.begin(), middle, notes.end(),
                     [](const TimedNote& a, const TimedNote& b) { return a.note.key < b.note.key; });
    return middle->note.key >= kMiddleC ? ClefKind::Treble : ClefKind::Bass;
}

class ScoreBuilder {
public:
    ScoreBuilder(const Song& song, const MusicXmlOptions& options, MusicXmlReport& report)
        : m_song(song), m_options(options), m_report(report),
          m_barSteps(int64_t{std::max<uint8_t>(song.quartersPerBar, 1)} * kDivisions) {}

    std::string build();

private:
    bool plan();
    void addDirections();
    std::string programName(int program) const {
        std::string name = m_options.programName ? m_options.programName(program) : "";
        return name;
    }
    void writeHeader();
    void writePartList();
    void writeScorePart(const PartPlan& p);
    void writePart(PartPlan& p);
    void writeAttributes(const PartPlan& p);
    // A voice's bar: its chords and rests from the bar line to the next.
    // False when the voice has nothing in the bar (and is not made to fill it).
    bool writeVoiceBar(const PartPlan& p, Lane& lane, size_t v, int64_t barStart, bool fill);
    void writeRest(const Lane& lane, int voice, const NoteValue& value);
    void writeChordPiece(const PartPlan& p, const Lane& lane, int voice, const Chord& chord,
                         const NoteValue& value, bool tiedBefore, bool tiedAfter);
    void writeDuration(const NoteValue& value);

    const Song& m_song;
    const MusicXmlOptions& m_options;
    MusicXmlReport& m_report;
    const int64_t m_barSteps;
    int64_t m_bars = 1;
    std::vector<PartPlan> m_parts;
    std::string m_out;
};

bool ScoreBuilder::plan() {
    std::array<std::vector<TimedNote>, kPartCount> byPart;
    int64_t end = 1;
    const int64_t noteCount = std::clamp<int64_t>(m_song.noteCount(), 0,
                                                  static_cast<int64_t>(m_song.notes.size()) - 1);
    for (int64_t i = 1; i <= noteCount; ++i) {
        const Note& n = m_song.notes[static_cast<size_t>(i)];
        if (n.part >= kPartCount) {
            ++m_report.notesLeftOut;
            continue;
        }
        const int key = n.part == kPercussionPart ? n.key : n.key - m_options.pitchShift;
        if (key < 0 || key > 127) {
            ++m_report.notesLeftOut;
            continue;
        }
        TimedNote t;
        // What lies before the first beat is cut off, as the MIDI export
        // does; a note left with no length is the shortest the score holds.
        t.start = std::max<int64_t>(int64_t{n.position} - kFirstBeatPosition, 0);
        t.length = std::max<int64_t>(int64_t{n.position} + n.length - kFirstBeatPosition - t.start, 1);
        t.note = ScoreNote{static_cast<uint8_t>(key), n.velocity};
        end = std::max(end, t.start + t.length);
        byPart[n.part].push_back(t);
    }
    const int64_t changeCount =
        std::clamp<int64_t>(m_song.changeCount, 0, static_cast<int64_t>(m_song.changes.size()) - 1);
    for (int64_t i = 2; i <= changeCount; ++i)
        end = std::max(end, int64_t{m_song.changes[static_cast<size_t>(i)].position} -
                                kFirstBeatPosition + 1);
    m_bars = (end + m_barSteps - 1) / m_barSteps;
    if (m_bars > kMusicXmlMaxBars) {
        m_report.tooLong = true;
        return false;
    }
    for (int part = 0; part < kPartCount; ++part) {
        std::vector<TimedNote>& notes = byPart[static_cast<size_t>(part)];
        if (notes.empty()) continue;
        PartPlan p;
        p.part = part;
        p.clef = clefFor(part, m_song.partPrograms[static_cast<size_t>(part)], notes);
        if (p.clef == ClefKind::Grand) {
            std::vector<TimedNote> upper, lower;
            for (const TimedNote& n : notes) (n.note.key >= kMiddleC ? upper : lower).push_back(n);
            p.lanes.push_back(laneOf(upper, 1));
            p.lanes.push_back(laneOf(lower, 2));
        } else {
            if (p.clef == ClefKind::Percussion) {
                for (const TimedNote& n : notes) p.drumKeys.push_back(n.note.key);
                std::sort(p.drumKeys.begin(), p.drumKeys.end());
                p.drumKeys.erase(std::unique(p.drumKeys.begin(), p.drumKeys.end()),
                                 p.drumKeys.end());
            }
            p.lanes.push_back(laneOf(notes, 0));
        }
        int voice = 1;
        for (Lane& lane : p.lanes) {
            lane.firstVoiceNumber = voice;
            voice += static_cast<int>(lane.voices.size());
        }
        m_parts.push_back(std::move(p));
    }
    if (m_parts.empty()) {
        // A score has a part: an empty song is a bar's rest of the first.
        PartPlan p;
        std::vector<TimedNote> none;
        p.lanes.push_back(laneOf(none, 0));
        m_parts.push_back(std::move(p));
    }
    return true;
}

std::string instrumentId(const PartPlan& p, int drumKey = -1) {
    return p.id() + "-I" + std::to_string(drumKey >= 0 ? drumKey + 1 : 1);
}

// MusicXML volumes are percentages of the MIDI value 127.
std::string volumeOf(int step) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%.2f",
                  std::clamp(step * 20, 0, 127) * 100.0 / 127.0);
    return buffer;
}

void ScoreBuilder::addDirections() {
    if (m_parts.empty()) return;
    const auto partPlan = [this](int part) -> PartPlan* {
        for (PartPlan& p : m_parts)
            if (p.part == part) return &p;
        return nullptr;
    };
    const auto tempoDirection = [](int64_t bpm) {
        const std::string n = std::to_string(bpm);
        return "<direction placement=\"above\"><direction-type><metronome><beat-unit>quarter"
               "</beat-unit><per-minute>" +
               n + "</per-minute></metronome></direction-type><sound tempo=\"" + n +
               "\"/></direction>";
    };
    m_parts.front().directions.emplace_back(0, tempoDirection(startTempoOf(m_song)));
    const int64_t changeCount =
        std::clamp<int64_t>(m_song.changeCount, 0, static_cast<int64_t>(m_song.changes.size()) - 1);
    for (int64_t i = 2; i <= changeCount; ++i) {
        const ControlChange& cc = m_song.changes[static_cast<size_t>(i)];
        const int64_t at = std::max<int64_t>(int64_t{cc.position} - kFirstBeatPosition, 0);
        if (cc.kind == kTempoChange) {
            if (cc.value > 0) m_parts.front().directions.emplace_back(at, tempoDirection(cc.value));
            continue;
        }
        if (cc.value < 0 || (cc.kind != kInstrumentChange && cc.kind != kVolumeChange)) continue;
        PartPlan* p = partPlan(cc.value % 16);
        if (!p || p->clef == ClefKind::Percussion) continue;
        std::string xml;
        const int64_t setting = cc.value / 16;
        if (cc.kind == kInstrumentChange) {
            const int program = static_cast<int>(std::min<int64_t>(setting, 127));
            xml = "<direction placement=\"above\"><direction-type><words>";
            std::string name = programName(program);
            if (name.empty()) name = std::to_string(program + 1);
            escapeInto(xml, name);
            xml += "</words></direction-type>";
            if (p->clef == ClefKind::Grand) xml += "<staff>1</staff>";
            xml += "<sound><midi-instrument id=\"" + instrumentId(*p) + "\"><midi-program>" +
                   std::to_string(program + 1) + "</midi-program></midi-instrument></sound>" +
                   "</direction>";
        } else {
            xml = "<sound><midi-instrument id=\"" + instrumentId(*p) + "\"><volume>" +
                  volumeOf(static_cast<int>(std::min<int64_t>(setting, kMaxVolumeStep))) +
                  "</volume></midi-instrument></sound>";
        }
        p->directions.emplace_back(at, std::move(xml));
    }
    for (PartPlan& p : m_parts)
        std::stable_sort(p.directions.begin(), p.directions.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
}

void ScoreBuilder::writeHeader() {
    m_out += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
             "<!DOCTYPE score-partwise PUBLIC \"-//Recordare//DTD MusicXML 4.0 Partwise//EN\" "
             "\"http://www.musicxml.org/dtds/partwise.dtd\">\n"
             "<score-partwise version=\"4.0\">\n";
    if (!m_song.sequenceNameText.empty()) {
        m_out += "<work><work-title>";
        escapeInto(m_out, m_song.sequenceNameText);
        m_out += "</work-title></work>\n";
    }
    m_out += "<identification>";
    if (!m_song.copyrightText.empty()) {
        m_out += "<rights>";
        escapeInto(m_out, m_song.copyrightText);
        m_out += "</rights>";
    }
    m_out += "<encoding><software>vakomidi</software></encoding></identification>\n";
}

void ScoreBuilder::writeScorePart(const PartPlan& p) {
    const int program = m_song.partPrograms[static_cast<size_t>(p.part)];
    m_out += "<score-part id=\"" + p.id() + "\"><part-name>";
    std::string name = p.clef == ClefKind::Percussion ? "Drums" : programName(program);
    if (name.empty()) name = "Part " + std::to_string(p.part + 1);
    escapeInto(m_out, name);
    m_out += "</part-name>\n";
    const std::string channel = std::to_string(p.part + 1);
    const std::string volume = volumeOf(m_song.partVolumes[static_cast<size_t>(p.part)]);
    if (p.clef == ClefKind::Percussion) {
        for (const int key : p.drumKeys) {
            m_out += "<score-instrument id=\"" + instrumentId(p, key) + "\"><instrument-name>";
            const char* drum = drumName(key);
            m_out += drum ? drum : "Drum " + std::to_string(key);
            m_out += "</instrument-name></score-instrument>\n";
        }
        for (const int key : p.drumKeys)
            m_out += "<midi-instrument id=\"" + instrumentId(p, key) + "\"><midi-channel>" +
                     channel + "</midi-channel><midi-program>" + std::to_string(program + 1) +
                     "</midi-program><midi-unpitched>" + std::to_string(key + 1) +
                     "</midi-unpitched><volume>" + volume + "</volume></midi-instrument>\n";
    } else {
        m_out += "<score-instrument id=\"" + instrumentId(p) + "\"><instrument-name>";
        escapeInto(m_out, name);
        m_out += "</instrument-name></score-instrument>\n<midi-instrument id=\"" +
                 instrumentId(p) + "\"><midi-channel>" + channel + "</midi-channel><midi-program>" +
                 std::to_string(program + 1) + "</midi-program><volume>" + volume +
                 "</volume></midi-instrument>\n";
    }
    m_out += "</score-part>\n";
}

void ScoreBuilder::writePartList() {
    m_out += "<part-list>\n";
    for (const PartPlan& p : m_parts) writeScorePart(p);
    m_out += "</part-list>\n";
}

void ScoreBuilder::writeAttributes(const PartPlan& p) {
    m_out += "<attributes><divisions>" + std::to_string(kDivisions) +
             "</divisions><key><fifths>0</fifths></key><time><beats>" +
             std::to_string(m_barSteps / kDivisions) + "</beats><beat-type>4</beat-type></time>";
    switch (p.clef) {
    case ClefKind::Treble: m_out += "<clef><sign>G</sign><line>2</line></clef>"; break;
    case ClefKind::Bass: m_out += "<clef><sign>F</sign><line>4</line></clef>"; break;
    case ClefKind::Grand:
        m_out += "<staves>2</staves><clef number=\"1\"><sign>G</sign><line>2</line></clef>"
                 "<clef number=\"2\"><sign>F</sign><line>4</line></clef>";
        break;
    case ClefKind::Percussion: m_out += "<clef><sign>percussion</sign></clef>"; break;
    }
    m_out += "</attributes>\n";
}

void ScoreBuilder::writeDuration(const NoteValue& value) {
    m_out += "<duration>";
    appendNumber(m_out, value.steps);
    m_out += "</duration>";
}

void appendTuplet(std::string& out, const NoteValue& value) {
    if (value.tupletStart) out += "<tuplet type=\"start\" bracket=\"yes\"/>";
    if (value.tupletStop) out += "<tuplet type=\"stop\"/>";
}

// The part of a note after its pitch: voice, type, dot, triplet, staff.
void appendValueTail(std::string& out, const Lane& lane, int voice, const NoteValue& value) {
    out += "<voice>";
    appendNumber(out, voice);
    out += "</voice><type>";
    out += value.type;
    out += "</type>";
    if (value.dotted) out += "<dot/>";
    if (value.triplet)
        out += "<time-modification><actual-notes>3</actual-notes><normal-notes>2</normal-notes>"
               "</time-modification>";
    if (lane.staff > 0) {
        out += "<staff>";
        appendNumber(out, lane.staff);
        out += "</staff>";
    }
}

void ScoreBuilder::writeRest(const Lane& lane, int voice, const NoteValue& value) {
    m_out += "<note><rest/>";
    writeDuration(value);
    appendValueTail(m_out, lane, voice, value);
    if (value.tupletStart || value.tupletStop) {
        m_out += "<notations>";
        appendTuplet(m_out, value);
        m_out += "</notations>";
    }
    m_out += "</note>\n";
}

void ScoreBuilder::writeChordPiece(const PartPlan& p, const Lane& lane, int voice,
                                   const Chord& chord, const NoteValue& value, bool tiedBefore,
                                   bool tiedAfter) {
    bool first = true;
    for (const ScoreNote& n : chord.notes) {
        m_out += "<note dynamics=\"";
        appendNumber(m_out, std::lround(n.velocity * 100.0 / 90.0));
        m_out += "\">";
        if (!first) m_out += "<chord/>";
        first = false;
        const bool drum = p.clef == ClefKind::Percussion;
        const SpelledPitch pitch =
            spellKey(n.key, drum ? KeySpelling::Sharps : m_options.spelling);
        if (drum) {
            m_out += "<unpitched><display-step>";
            m_out += pitch.step;
            m_out += "</display-step><display-octave>";
            appendNumber(m_out, pitch.octave);
            m_out += "</display-octave></unpitched>";
        } else {
            m_out += "<pitch><step>";
            m_out += pitch.step;
            m_out += "</step>";
            if (pitch.alter != 0) {
                m_out += "<alter>";
                appendNumber(m_out, pitch.alter);
                m_out += "</alter>";
            }
            m_out += "<octave>";
            appendNumber(m_out, pitch.octave);
            m_out += "</octave></pitch>";
        }
        writeDuration(value);
        const bool tieStop = tiedBefore || n.continuesFromBefore;
        const bool tieStart = tiedAfter || n.continuesAfter;
        if (tieStop) m_out += "<tie type=\"stop\"/>";
        if (tieStart) m_out += "<tie type=\"start\"/>";
        if (drum) m_out += "<instrument id=\"" + instrumentId(p, n.key) + "\"/>";
        appendValueTail(m_out, lane, voice, value);
        // A group's bracket opens on a chord's first note and closes on its last.
        NoteValue bracket = value;
        bracket.tupletStart = value.tupletStart && &n == &chord.notes.front();
        bracket.tupletStop = value.tupletStop && &n == &chord.notes.back();
        const bool tuplet = bracket.tupletStart || bracket.tupletStop;
        if (tieStop || tieStart || tuplet) {
            m_out += "<notations>";
            if (tieStop) m_out += "<tied type=\"stop\"/>";
            if (tieStart) m_out += "<tied type=\"start\"/>";
            if (tuplet) appendTuplet(m_out, bracket);
            m_out += "</notations>";
        }
        m_out += "</note>\n";
    }
}

bool ScoreBuilder::writeVoiceBar(const PartPlan& p, Lane& lane, size_t v, int64_t barStart,
                                 bool fill) {
    const int64_t barEnd = barStart + m_barSteps;
    const std::vector<Chord>& chords = lane.voices[v];
    size_t& next = lane.nextChord[v];
    while (next < chords.size() && chords[next].end() <= barStart) ++next;
    const bool empty = next == chords.size() || chords[next].start >= barEnd;
    if (empty && !fill) return false;
    const int voice = lane.firstVoiceNumber + static_cast<int>(v);
    if (empty) {
        m_out += "<note><rest measure=\"yes\"/><duration>";
        appendNumber(m_out, m_barSteps);
        m_out += "</duration><voice>";
        appendNumber(m_out, voice);
        m_out += "</voice>";
        if (lane.staff > 0) m_out += "<staff>" + std::to_string(lane.staff) + "</staff>";
        m_out += "</note>\n";
        return true;
    }
    // The bar's stretches: each chord's piece within it and the rests between.
    struct Stretch {
        const Chord* chord = nullptr; // nullptr for a rest
        int64_t from = 0, to = 0;
    };
    std::vector<Stretch> stretches;
    int64_t at = barStart;
    for (size_t c = next; c < chords.size() && chords[c].start < barEnd; ++c) {
        const Chord& chord = chords[c];
        const int64_t from = std::max(chord.start, barStart);
        const int64_t to = std::min(chord.end(), barEnd);
        if (from > at) stretches.push_back(Stretch{nullptr, at, from});
        stretches.push_back(Stretch{&chord, from, to});
        at = to;
    }
    if (at < barEnd) stretches.push_back(Stretch{nullptr, at, barEnd});
    std::vector<int64_t> cuts;
    cuts.reserve(stretches.size());
    for (size_t i = 1; i < stretches.size(); ++i) cuts.push_back(stretches[i].from - barStart);
    const std::vector<std::vector<NoteValue>> values = splitBar(m_barSteps, cuts);
    for (size_t s = 0; s < stretches.size(); ++s) {
        const Stretch& stretch = stretches[s];
        const std::vector<NoteValue>& pieces = values[s];
        for (size_t i = 0; i < pieces.size(); ++i) {
            if (!stretch.chord) {
                writeRest(lane, voice, pieces[i]);
                continue;
            }
            const Chord& chord = *stretch.chord;
            const bool tiedBefore = i > 0 || stretch.from > chord.start;
            const bool tiedAfter = i + 1 < pieces.size() || stretch.to < chord.end();
            writeChordPiece(p, lane, voice, chord, pieces[i], tiedBefore, tiedAfter);
        }
    }
    return true;
}

void ScoreBuilder::writePart(PartPlan& p) {
    m_out += "<part id=\"" + p.id() + "\">\n";
    size_t nextDirection = 0;
    for (int64_t bar = 0; bar < m_bars; ++bar) {
        const int64_t barStart = bar * m_barSteps, barEnd = barStart + m_barSteps;
        m_out += "<measure number=\"";
        appendNumber(m_out, bar + 1);
        m_out += "\">\n";
        if (bar == 0) writeAttributes(p);
        // The bar's directions first, each at its time, then back to the bar line.
        int64_t at = barStart;
        while (nextDirection < p.directions.size() &&
               p.directions[nextDirection].first < barEnd) {
            const auto& [time, xml] = p.directions[nextDirection++];
            if (time > at) {
                m_out += "<forward><duration>";
                appendNumber(m_out, time - at);
                m_out += "</duration></forward>";
                at = time;
            }
            m_out += xml;
            m_out += '\n';
        }
        if (at > barStart) {
            m_out += "<backup><duration>";
            appendNumber(m_out, at - barStart);
            m_out += "</duration></backup>\n";
        }
        // Each voice written fills its bar; the first voice of each staff
        // always, the others only where they have notes.
        bool written = false;
        for (Lane& lane : p.lanes) {
            for (size_t v = 0; v < lane.voices.size(); ++v) {
                const std::string::size_type mark = m_out.size();
                if (written)
                    m_out += "<backup><duration>" + std::to_string(m_barSteps) +
                             "</duration></backup>\n";
                if (writeVoiceBar(p, lane, v, barStart, v == 0))
                    written = true;
                else
                    m_out.resize(mark);
            }
        }
        m_out += "</measure>\n";
    }
    m_out += "</part>\n";
}

std::string ScoreBuilder::build() {
    if (!plan()) return {};
    addDirections();
    m_report.parts = static_cast<int>(m_parts.size());
    m_report.bars = m_parts.empty() ? 0 : m_bars;
    writeHeader();
    writePartList();
    for (PartPlan& p : m_parts) writePart(p);
    m_out += "</score-partwise>\n";
    return std::move(m_out);
}

} // namespace

SpelledPitch spellKey(int key, KeySpelling spelling) {
    // Steps and alters of the twelve keys of an octave, from C.
    static const char kSharpSteps[] = "CCDDEFFGGAAB";
    static const int kSharpAlters[] = {0, 1, 0, 1, 0, 0, 1, 0, 1, 0, 1, 0};
    static const char kFlatSteps[] = "CDDEEFGGAABB";
    static const int kFlatAlters[] = {0, -1, 0, -1, 0, 0, -1, 0, -1, 0, -1, 0};
    // The fixed rule: C# Eb F# Ab Bb, the spellings most common in either direction.
    static const bool kFixedFlat[] = {false, false, false, true, false, false,
                                      false, false, true,  false, true,  false};
    const int pitchClass = ((key % 12) + 12) % 12;
    const int octave = (key - pitchClass) / 12 - 1;
    const bool flat = spelling == KeySpelling::Flats ||
                      (spelling == KeySpelling::Fixed && kFixedFlat[pitchClass]);
    if (flat) return {kFlatSteps[pitchClass], kFlatAlters[pitchClass], octave};
    return {kSharpSteps[pitchClass], kSharpAlters[pitchClass], octave};
}

namespace {

// Values on the grid of sixteenths: `offset` and `length` are multiples of 3.
void appendPlainValues(int64_t offset, int64_t length, std::vector<NoteValue>& values) {
    // Plain values with the step a piece must start on to take them, longest first.
    struct Plain {
        int steps;
        const char* type;
        bool dotted;
        int alignment;
    };
    static const Plain kPlain[] = {{48, "whole", false, 24}, {36, "half", true, 12},
                                   {24, "half", false, 12},  {18, "quarter", true, 6},
                                   {12, "quarter", false, 6}, {9, "eighth", true, 3},
                                   {6, "eighth", false, 3},  {3, "16th", false, 3}};
    while (length > 0) {
        for (const Plain& p : kPlain) {
            if (p.steps <= length && offset % p.alignment == 0) {
                values.push_back(NoteValue{p.steps, p.type, p.dotted, false, false, false});
                offset += p.steps;
                length -= p.steps;
                break;
            }
        }
    }
}

const char* tripletType(int64_t steps) {
    switch (steps) {
    case 16: return "half";
    case 8: return "quarter";
    case 4: return "eighth";
    case 2: return "16th";
    default: return "32nd";
    }
}

// A window of the bar: plain, or a triplet group of three `triplet`-step values.
struct Cell {
    int64_t start = 0, end = 0;
    int64_t triplet = 0;
};

// The window [start, start + length) (length 24, 12, 6 or 3) as plain, as one
// triplet group when every cut inside falls on its triplet grid, or as halves.
void addCells(int64_t start, int64_t length, const std::vector<int64_t>& cuts,
              std::vector<Cell>& cells) {
    const int64_t triplet = length / 3;
    bool plain = true, onTriplets = true;
    for (auto c = std::upper_bound(cuts.begin(), cuts.end(), start);
         c != cuts.end() && *c < start + length; ++c) {
        plain = plain && *c % 3 == 0;
        onTriplets = onTriplets && (*c - start) % triplet == 0;
    }
    if (plain) {
        if (!cells.empty() && cells.back().triplet == 0 && cells.back().end == start)
            cells.back().end = start + length;
        else
            cells.push_back(Cell{start, start + length, 0});
    } else if (onTriplets) {
        cells.push_back(Cell{start, start + length, triplet});
    } else {
        addCells(start, length / 2, cuts, cells);
        addCells(start + length / 2, length / 2, cuts, cells);
    }
}

} // namespace

std::vector<std::vector<NoteValue>> splitBar(int64_t barSteps, const std::vector<int64_t>& cuts) {
    // Bars are whole quarter notes long; a half note's window is the largest
    // triplet group.
    std::vector<Cell> cells;
    for (int64_t start = 0; start < barSteps; start += 24)
        addCells(start, std::min<int64_t>(24, barSteps - start), cuts, cells);
    std::vector<int64_t> points;
    points.reserve(cuts.size() + 2);
    points.push_back(0);
    for (const int64_t c : cuts)
        if (c > points.back() && c < barSteps) points.push_back(c);
    points.push_back(barSteps);

    std::vector<std::vector<NoteValue>> stretches;
    size_t cell = 0;
    for (size_t i = 0; i + 1 < points.size(); ++i) {
        std::vector<NoteValue>& values = stretches.emplace_back();
        int64_t at = points[i];
        const int64_t end = points[i + 1];
        while (at < end) {
            while (cells[cell].end <= at) ++cell;
            const Cell& c = cells[cell];
            const int64_t to = std::min(end, c.end);
            if (c.triplet == 0) {
                appendPlainValues(at, to - at, values);
            } else {
                values.push_back(NoteValue{static_cast<int>(to - at), tripletType(to - at), false,
                                           true, at == c.start, to == c.end});
            }
            at = to;
        }
    }
    return stretches;
}

std::string buildMusicXml(const Song& song, const MusicXmlOptions& options,
                          MusicXmlReport& report) {
    report = MusicXmlReport{};
    ScoreBuilder builder(song, options, report);
    return builder.build();
}

uint32_t crc32Of(std::string_view bytes) {
    static const std::array<uint32_t, 256> kTable = [] {
        std::array<uint32_t, 256> table{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[i] = c;
        }
        return table;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    for (const char b : bytes) crc = kTable[(crc ^ static_cast<unsigned char>(b)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

namespace {

void putLittleEndian(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

} // namespace

std::string packMusicXmlArchive(const std::string& score) {
    if (score.size() >= 0xFFFFFFFFu) return {};
    struct Entry {
        std::string name;
        std::string_view data;
    };
    static const std::string kMimeType = "application/vnd.recordare.musicxml";
    static const std::string kContainer =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<container><rootfiles><rootfile "
        "full-path=\"score.musicxml\" media-type=\"application/vnd.recordare.musicxml+xml\"/>"
        "</rootfiles></container>\n";
    const Entry entries[] = {{"mimetype", kMimeType},
                             {"META-INF/container.xml", kContainer},
                             {"score.musicxml", score}};
    constexpr uint32_t kDosDate = (0 << 9) | (1 << 5) | 1; // 1980-01-01
    std::string out, directory;
    out.reserve(score.size() + 512);
    for (const Entry& e : entries) {
        const uint32_t crc = crc32Of(e.data);
        const auto size = static_cast<uint32_t>(e.data.size());
        const auto offset = static_cast<uint32_t>(out.size());
        // Local header: version 1.0, no flags, stored, the date, sizes, name.
        putLittleEndian(out, 0x04034b50, 4);
        for (const uint32_t v : {10u, 0u, 0u, 0u, kDosDate}) putLittleEndian(out, v, 2);
        putLittleEndian(out, crc, 4);
        putLittleEndian(out, size, 4);
        putLittleEndian(out, size, 4);
        putLittleEndian(out, static_cast<uint32_t>(e.name.size()), 2);
        putLittleEndian(out, 0, 2);
        out += e.name;
        out += e.data;
        // Its central directory record.
        putLittleEndian(directory, 0x02014b50, 4);
        for (const uint32_t v : {20u, 10u, 0u, 0u, 0u, kDosDate}) putLittleEndian(directory, v, 2);
        putLittleEndian(directory, crc, 4);
        putLittleEndian(directory, size, 4);
        putLittleEndian(directory, size, 4);
        putLittleEndian(directory, static_cast<uint32_t>(e.name.size()), 2);
        for (int i = 0; i < 4; ++i) putLittleEndian(directory, 0, 2); // extra, comment, disk, internal
        putLittleEndian(directory, 0, 4);                              // external attributes
        putLittleEndian(directory, offset, 4);
        directory += e.name;
    }
    if (out.size() + directory.size() >= 0xFFFFFFFFu) return {};
    const auto directoryOffset = static_cast<uint32_t>(out.size());
    out += directory;
    putLittleEndian(out, 0x06054b50, 4);
    putLittleEndian(out, 0, 2);
    putLittleEndian(out, 0, 2);
    putLittleEndian(out, 3, 2);
    putLittleEndian(out, 3, 2);
    putLittleEndian(out, static_cast<uint32_t>(directory.size()), 4);
    putLittleEndian(out, directoryOffset, 4);
    putLittleEndian(out, 0, 2);
    return out;
}

} // namespace vako
