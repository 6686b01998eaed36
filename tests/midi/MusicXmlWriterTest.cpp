#include "midi/MusicXmlWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

namespace vako {
namespace {

Song songWith(const std::vector<Note>& notes) {
    Song song;
    song.notes.assign(1, Note{});
    song.notes.insert(song.notes.end(), notes.begin(), notes.end());
    std::stable_sort(song.notes.begin() + 1, song.notes.end(),
                     [](const Note& a, const Note& b) { return a.position < b.position; });
    song.twiceNoteCount = static_cast<int32_t>(notes.size() * 2);
    return song;
}

void addChange(Song& song, ControlChange cc) {
    ensureChangeRoom(song.changes, song.changeCount + 2);
    song.changes[++song.changeCount] = cc;
}

Note note(int32_t pos, uint8_t key, int32_t len, uint8_t part = 0) {
    return Note{pos, key, len, part, 120, 64, 0};
}

std::string build(const Song& song, MusicXmlOptions options = {}) {
    MusicXmlReport report;
    return buildMusicXml(song, options, report);
}

int keyOf(char step, int alter, int octave) {
    static const std::map<char, int> kSteps = {{'C', 0}, {'D', 2}, {'E', 4}, {'F', 5},
                                               {'G', 7}, {'A', 9}, {'B', 11}};
    return (octave + 1) * 12 + kSteps.at(step) + alter;
}

// What a reader makes of a score: every note with its start (steps from the
// first beat) and its length, tied pieces joined; and each voice's bars,
// which must add up to whole bars.
struct ReadScore {
    std::multiset<std::tuple<int, int64_t, int, int64_t>> notes; // part, start, key, length
    std::vector<std::string> faults;
};

ReadScore readScore(const std::string& xml, int64_t barSteps) {
    ReadScore read;
    static const std::regex kPart(R"re(<part id="P(\d+)">)re");
    static const std::regex kDuration(R"(<duration>(\d+)</duration>)");
    static const std::regex kVoice(R"(<voice>(\d+)</voice>)");
    static const std::regex kPitch(
        R"(<step>([A-G])</step>(?:<alter>(-?\d)</alter>)?<octave>(\d+)</octave>)");
    static const std::regex kDrum(
        R"re(<display-step>([A-G])</display-step><display-octave>(\d+)</display-octave>.*<instrument id="P10-I(\d+)")re");
    int part = 0;
    int64_t barStart = 0, at = 0, lastStart = 0;
    std::map<int, int64_t> voiceEnds;
    // Open ties: (part, voice, key) -> start and length so far.
    std::map<std::tuple<int, int, int>, std::pair<int64_t, int64_t>> open;
    size_t line = 0;
    for (size_t from = 0; from < xml.size(); from = line + 1) {
        line = xml.find('\n', from);
        if (line == std::string::npos) line = xml.size();
        const std::string text = xml.substr(from, line - from);
        std::smatch m;
        if (std::regex_search(text, m, kPart)) {
            part = std::stoi(m[1]);
            barStart = -barSteps;
        } else if (text.starts_with("<measure")) {
            barStart += barSteps;
            at = barStart;
            voiceEnds.clear();
        } else if (text.starts_with("</measure>")) {
            for (const auto& [voice, end] : voiceEnds)
                if (end != barStart + barSteps)
                    read.faults.push_back("part " + std::to_string(part) + " voice " +
                                          std::to_string(voice) + " bar at " +
                                          std::to_string(barStart) + " ends at " +
                                          std::to_string(end));
        } else if (text.starts_with("<backup>") || text.starts_with("<forward>")) {
            std::regex_search(text, m, kDuration);
            at += (text.starts_with("<backup>") ? -1 : 1) * std::stoll(m[1]);
        }
        if (!text.starts_with("<note")) continue;
        std::regex_search(text, m, kDuration);
        const int64_t duration = std::stoll(m[1]);
        std::regex_search(text, m, kVoice);
        const int voice = std::stoi(m[1]);
        const bool chord = text.find("<chord/>") != std::string::npos;
        const int64_t start = chord ? lastStart : at;
        if (!chord) {
            at += duration;
            lastStart = start;
            voiceEnds[voice] = at;
        }
        if (text.find("<rest") != std::string::npos) continue;
        int key = 0;
        if (std::regex_search(text, m, kPitch))
            key = keyOf(m.str(1)[0], m[2].matched ? std::stoi(m[2]) : 0, std::stoi(m[3]));
        else if (std::regex_search(text, m, kDrum))
            key = std::stoi(m[3]) - 1;
        const bool tieStop = text.find("<tie type=\"stop\"/>") != std::string::npos;
        const bool tieStart = text.find("<tie type=\"start\"/>") != std::string::npos;
        std::pair<int64_t, int64_t> piece{start, duration};
        if (tieStop) {
            auto it = open.find({part, voice, key});
            if (it == open.end() || it->second.first + it->second.second != start) {
                read.faults.push_back("a tie ends on nothing at " + std::to_string(start));
            } else {
                piece = it->second;
                piece.second += duration;
                open.erase(it);
            }
        }
        if (tieStart)
            open[{part, voice, key}] = piece;
        else
            read.notes.insert({part, piece.first, key, piece.second});
    }
    if (!open.empty()) read.faults.push_back("a tie is left open");
    return read;
}

std::multiset<std::tuple<int, int64_t, int, int64_t>> expectedNotes(const Song& song) {
    std::multiset<std::tuple<int, int64_t, int, int64_t>> notes;
    for (int i = 1; i <= song.noteCount(); ++i) {
        const Note& n = song.notes[i];
        const int64_t start = std::max(n.position - kFirstBeatPosition, 0);
        notes.insert({n.part + 1, start, n.key,
                      std::max<int64_t>(n.position + n.length - kFirstBeatPosition - start, 1)});
    }
    return notes;
}

TEST(MusicXmlSpelling, KeysSpelledByTheChoiceOrTheFixedRule) {
    const auto spelled = [](int key, KeySpelling s) {
        const SpelledPitch p = spellKey(key, s);
        return std::string(1, p.step) + (p.alter > 0 ? "#" : p.alter < 0 ? "b" : "") +
               std::to_string(p.octave);
    };
    EXPECT_EQ(spelled(60, KeySpelling::Fixed), "C4");
    EXPECT_EQ(spelled(0, KeySpelling::Fixed), "C-1");
    EXPECT_EQ(spelled(119, KeySpelling::Fixed), "B8");
    std::string fixed, sharps, flats;
    for (int key = 60; key < 72; ++key) {
        fixed += spelled(key, KeySpelling::Fixed) + " ";
        sharps += spelled(key, KeySpelling::Sharps) + " ";
        flats += spelled(key, KeySpelling::Flats) + " ";
    }
    EXPECT_EQ(fixed, "C4 C#4 D4 Eb4 E4 F4 F#4 G4 Ab4 A4 Bb4 B4 ");
    EXPECT_EQ(sharps, "C4 C#4 D4 D#4 E4 F4 F#4 G4 G#4 A4 A#4 B4 ");
    EXPECT_EQ(flats, "C4 Db4 D4 Eb4 E4 F4 Gb4 G4 Ab4 A4 Bb4 B4 ");
}

std::string valuesText(const std::vector<NoteValue>& values) {
    std::string text;
    for (const NoteValue& v : values) {
        if (!text.empty()) text += " ";
        text += std::string(v.triplet ? "3:" : "") + v.type + (v.dotted ? "." : "");
    }
    return text;
}

TEST(MusicXmlNoteValues, EachLengthOfTheListIsOneValueAndOthersAreTied) {
    const std::vector<std::pair<int64_t, std::string>> cases = {
        {48, "whole"},        {36, "half."},         {24, "half"},
        {18, "quarter."},     {12, "quarter"},       {9, "eighth."},
        {6, "eighth"},        {3, "16th"},           {30, "half eighth"},
        {15, "quarter 16th"}, {45, "half. eighth."}, {42, "half. eighth"}};
    for (const auto& [length, text] : cases) {
        const auto split = splitBar(48, {length});
        EXPECT_EQ(valuesText(split[0]), text) << length;
    }
    // A piece after an off-beat start keeps to the beat.
    EXPECT_EQ(valuesText(splitBar(48, {3, 27})[1]), "eighth. quarter 16th");
}

TEST(MusicXmlNoteValues, TripletGridMakesWholeGroupsOfThree) {
    EXPECT_EQ(valuesText(splitBar(48, {8, 16, 24})[0]), "3:quarter");
    const auto thirds = splitBar(48, {8, 16});
    ASSERT_EQ(thirds.size(), 3u);
    EXPECT_TRUE(thirds[0][0].tupletStart);
    EXPECT_TRUE(thirds[2][0].tupletStop);
    // Triplet eighths in the second beat, then a quarter.
    EXPECT_EQ(valuesText(splitBar(48, {12, 16, 20, 24})[1]), "3:eighth");
    // Two thirds of a group as one value.
    EXPECT_EQ(valuesText(splitBar(48, {16})[0]), "3:half");
    EXPECT_EQ(valuesText(splitBar(48, {1})[1]), "3:16th eighth. half.");
}

TEST(MusicXmlNoteValues, AnyCutsAddUpAndCloseEveryGroup) {
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        const int64_t bar = 12 * (2 + round % 5);
        std::vector<int64_t> cuts;
        for (int64_t c = 1; c < bar; ++c)
            if (random() % 6 == 0) cuts.push_back(c);
        const auto split = splitBar(bar, cuts);
        ASSERT_EQ(split.size(), cuts.size() + 1);
        int64_t at = 0, group = -1;
        for (size_t s = 0; s < split.size(); ++s) {
            int64_t sum = 0;
            for (const NoteValue& v : split[s]) {
                sum += v.steps;
                if (v.tupletStart) {
                    ASSERT_EQ(group, -1) << "a group inside a group";
                    group = 0;
                }
                if (v.triplet) {
                    ASSERT_NE(group, -1) << "a triplet outside a group at " << at;
                    group += v.steps;
                } else {
                    ASSERT_EQ(group, -1) << "a plain value inside a group at " << at;
                }
                if (v.tupletStop) {
                    // Three values' worth: 3 of a window 24, 12, 6 or 3 steps long.
                    EXPECT_TRUE(group == 24 || group == 12 || group == 6 || group == 3) << group;
                    group = -1;
                }
                at += v.steps;
            }
            const int64_t end = s < cuts.size() ? cuts[s] : bar;
            const int64_t begin = s == 0 ? 0 : cuts[s - 1];
            ASSERT_EQ(sum, end - begin);
        }
        EXPECT_EQ(group, -1);
    }
}

TEST(MusicXmlScore, EveryNoteOfARandomSongIsReadBackAtItsTimeWithItsLength) {
    std::mt19937 random(11);
    for (int quarters : {2, 3, 4, 6}) {
        std::vector<Note> notes;
        for (int i = 0; i < 400; ++i) {
            const uint8_t part = static_cast<uint8_t>(random() % 4 == 0 ? 9 : random() % 3);
            const int32_t pos = 1 + static_cast<int32_t>(random() % 1500);
            const int32_t length = 1 + static_cast<int32_t>(random() % 100);
            notes.push_back(note(pos, static_cast<uint8_t>(36 + random() % 60), length, part));
            if (random() % 5 == 0) // a chord
                notes.push_back(note(pos, static_cast<uint8_t>(36 + random() % 60), length, part));
        }
        Song song = songWith(notes);
        song.quartersPerBar = static_cast<uint8_t>(quarters);
        const std::string xml = build(song);
        const ReadScore read = readScore(xml, quarters * 12);
        EXPECT_TRUE(read.faults.empty()) << read.faults.front();
        // Keys struck again while they sound may be ended early in the voice
        // of slices; compare the notes no other of their part and key overlaps.
        auto expected = expectedNotes(song);
        std::multiset<std::tuple<int, int64_t, int, int64_t>> alone;
        const auto lonely = [](const auto& all) {
            std::multiset<std::tuple<int, int64_t, int, int64_t>> kept;
            for (const auto& n : all) {
                bool overlapped = false;
                for (const auto& o : all) {
                    if (&o == &n || std::get<0>(o) != std::get<0>(n) ||
                        std::get<2>(o) != std::get<2>(n))
                        continue;
                    overlapped = overlapped ||
                                 (std::get<1>(o) < std::get<1>(n) + std::get<3>(n) &&
                                  std::get<1>(n) < std::get<1>(o) + std::get<3>(o));
                }
                if (!overlapped) kept.insert(n);
            }
            return kept;
        };
        alone = lonely(expected);
        for (const auto& n : alone) EXPECT_EQ(read.notes.count(n), expected.count(n));
        EXPECT_GT(alone.size(), 300u);
        // At most four voices to a staff (the pianos have two staves).
        EXPECT_EQ(xml.find("<voice>9</voice>"), std::string::npos);
    }
}

TEST(MusicXmlScore, NotesBeforeTheFirstBarLineStartTheFirstBar) {
    const Song song = songWith({note(1, 60, 5), note(3, 64, 12), note(2, 67, 1)});
    const ReadScore read = readScore(build(song), 48);
    EXPECT_TRUE(read.faults.empty());
    EXPECT_EQ(read.notes.count({1, 0, 60, 3}), 1u);
    EXPECT_EQ(read.notes.count({1, 0, 64, 12}), 1u);
    EXPECT_EQ(read.notes.count({1, 0, 67, 1}), 1u); // nothing left of it, still written
}

TEST(MusicXmlScore, TitleRightsAndPartSettings) {
    Song song = songWith({note(3, 60, 12, 2), note(3, 36, 3, 9), note(15, 38, 3, 9)});
    song.sequenceNameText = "R&B <Live>";
    song.copyrightText = "\"me\"";
    song.partPrograms[2] = 40;
    song.partVolumes[2] = 6;
    MusicXmlOptions options;
    options.programName = [](int program) { return "program " + std::to_string(program); };
    const std::string xml = build(song, options);
    EXPECT_NE(xml.find("<score-partwise version=\"4.0\">"), std::string::npos);
    EXPECT_NE(xml.find("<work-title>R&amp;B &lt;Live&gt;</work-title>"), std::string::npos);
    EXPECT_NE(xml.find("<rights>&quot;me&quot;</rights>"), std::string::npos);
    EXPECT_NE(xml.find("<part-name>program 40</part-name>"), std::string::npos);
    EXPECT_NE(xml.find("<midi-channel>3</midi-channel><midi-program>41</midi-program>"
                       "<volume>94.49</volume>"),
              std::string::npos);
    // Only the parts with notes.
    EXPECT_EQ(xml.find("<score-part id=\"P1\">"), std::string::npos);
    // The percussion part: unpitched notes on a percussion clef, one
    // instrument for each drum with its key.
    EXPECT_NE(xml.find("<clef><sign>percussion</sign></clef>"), std::string::npos);
    EXPECT_NE(xml.find("<midi-channel>10</midi-channel><midi-program>1</midi-program>"
                       "<midi-unpitched>37</midi-unpitched>"),
              std::string::npos);
    EXPECT_NE(xml.find("<instrument-name>Acoustic Snare</instrument-name>"), std::string::npos);
    EXPECT_NE(xml.find("<unpitched><display-step>C</display-step><display-octave>2"),
              std::string::npos);
}

TEST(MusicXmlScore, ClefsFollowEachPartsRange) {
    // A piano over both clefs, a bass part, a flute.
    Song song = songWith({note(3, 40, 12, 0), note(3, 76, 12, 0), note(3, 40, 12, 1),
                          note(15, 52, 12, 1), note(3, 80, 12, 2)});
    song.partPrograms = {0, 32, 73};
    const std::string xml = build(song);
    const auto partText = [&](int part) {
        const size_t from = xml.find("<part id=\"P" + std::to_string(part) + "\">");
        return xml.substr(from, xml.find("</part>", from) - from);
    };
    EXPECT_NE(partText(1).find("<staves>2</staves>"), std::string::npos);
    EXPECT_NE(partText(1).find("<octave>2</octave></pitch><duration>12</duration><voice>2</voice>"
                               "<type>quarter</type><staff>2</staff>"),
              std::string::npos);
    EXPECT_NE(partText(2).find("<clef><sign>F</sign><line>4</line></clef>"), std::string::npos);
    EXPECT_NE(partText(3).find("<clef><sign>G</sign><line>2</line></clef>"), std::string::npos);
    const ReadScore read = readScore(xml, 48);
    EXPECT_TRUE(read.faults.empty());
    EXPECT_EQ(read.notes, expectedNotes(song));
}

TEST(MusicXmlScore, TempoAndInstrumentChangesAtTheirTimes) {
    Song song = songWith({note(3, 60, 96, 0), note(3, 64, 96, 1)});
    song.tempoText = "96";
    addChange(song, ControlChange{63, 140, kTempoChange});           // bar 2, beat 2
    addChange(song, ControlChange{51, 24 * 16 + 1, kInstrumentChange}); // part 2, bar 2
    addChange(song, ControlChange{51, 3 * 16 + 1, kVolumeChange});
    addChange(song, ControlChange{51, 5 * 16 + 7, kInstrumentChange});  // a part with no notes
    const std::string xml = build(song);
    EXPECT_NE(xml.find("<per-minute>96</per-minute></metronome></direction-type>"
                       "<sound tempo=\"96\"/>"),
              std::string::npos);
    const size_t bar2 = xml.find("<measure number=\"2\">");
    EXPECT_NE(xml.find("<forward><duration>12</duration></forward><direction placement=\"above\">"
                       "<direction-type><metronome><beat-unit>quarter</beat-unit><per-minute>140",
                       bar2),
              std::string::npos);
    const size_t part2 = xml.find("<part id=\"P2\">");
    const size_t change = xml.find("<midi-program>25</midi-program></midi-instrument></sound>");
    EXPECT_GT(change, xml.find("<measure number=\"2\">", part2));
    EXPECT_NE(xml.find("<volume>47.24</volume></midi-instrument></sound>", part2),
              std::string::npos);
    // Tempo marks go in the first part only.
    EXPECT_EQ(xml.find("<metronome>", part2), std::string::npos);
}

TEST(MusicXmlScore, TranspositionLeavesDrumsAndCountsWhatFallsOut) {
    const Song song = songWith({note(3, 60, 12), note(3, 2, 12), note(3, 36, 3, 9)});
    MusicXmlOptions options;
    options.pitchShift = 5;
    MusicXmlReport report;
    const std::string xml = buildMusicXml(song, options, report);
    EXPECT_EQ(report.notesLeftOut, 1);
    const ReadScore read = readScore(xml, 48);
    EXPECT_EQ(read.notes.count({1, 0, 55, 12}), 1u);
    EXPECT_EQ(read.notes.count({10, 0, 36, 3}), 1u);
}

TEST(MusicXmlScore, ASongPastTheLongestScoreBuildsNothing) {
    Song song = songWith({note(3, 60, 12), note(kEndMarkerPos - 10, 60, 12)});
    MusicXmlReport report;
    EXPECT_TRUE(buildMusicXml(song, {}, report).empty());
    EXPECT_TRUE(report.tooLong);
    // An empty song is one bar's rest of the first part (a score has a part).
    Song empty;
    const std::string xml = buildMusicXml(empty, {}, report);
    EXPECT_FALSE(report.tooLong);
    EXPECT_EQ(report.parts, 1);
    EXPECT_NE(xml.find("<note><rest measure=\"yes\"/><duration>48</duration>"), std::string::npos);
}

uint32_t littleEndian(const std::string& bytes, size_t at, int size) {
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)]);
    return value;
}

TEST(MusicXmlArchive, StoresTheMimeTypeFirstTheContainerAndTheScoreWithTheirChecksums) {
    EXPECT_EQ(crc32Of("123456789"), 0xCBF43926u);
    EXPECT_EQ(crc32Of(""), 0u);
    const std::string score = "<score-partwise version=\"4.0\"/>";
    const std::string zip = packMusicXmlArchive(score);
    // The first entry is "mimetype", stored, its text at offset 38.
    EXPECT_EQ(littleEndian(zip, 0, 4), 0x04034b50u);
    EXPECT_EQ(littleEndian(zip, 8, 2), 0u);
    EXPECT_EQ(zip.substr(30, 8), "mimetype");
    EXPECT_EQ(zip.substr(38, 34), "application/vnd.recordare.musicxml");
    // The end record counts three entries and points at the directory, whose
    // records point back at each local header with the same checksum.
    const size_t end = zip.size() - 22;
    ASSERT_EQ(littleEndian(zip, end, 4), 0x06054b50u);
    EXPECT_EQ(littleEndian(zip, end + 10, 2), 3u);
    size_t record = littleEndian(zip, end + 16, 4);
    std::vector<std::string> names;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(littleEndian(zip, record, 4), 0x02014b50u);
        const uint32_t crc = littleEndian(zip, record + 16, 4);
        const uint32_t size = littleEndian(zip, record + 24, 4);
        const uint32_t nameLength = littleEndian(zip, record + 28, 2);
        const uint32_t local = littleEndian(zip, record + 42, 4);
        names.push_back(zip.substr(record + 46, nameLength));
        EXPECT_EQ(littleEndian(zip, local + 14, 4), crc);
        const std::string data = zip.substr(local + 30 + nameLength, size);
        EXPECT_EQ(crc32Of(data), crc) << names.back();
        if (names.back() == "score.musicxml") EXPECT_EQ(data, score);
        if (names.back() == "META-INF/container.xml")
            EXPECT_NE(data.find("full-path=\"score.musicxml\""), std::string::npos);
        record += 46 + nameLength;
    }
    EXPECT_EQ(names, (std::vector<std::string>{"mimetype", "META-INF/container.xml",
                                               "score.musicxml"}));
}

} // namespace
} // namespace vako

