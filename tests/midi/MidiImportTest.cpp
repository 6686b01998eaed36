#include "midi/MidiImport.h"

#include "HeapCount.h"

#include "midi/MidiFileWriter.h"
#include "platform/AtomicFile.h"
#include "song/Messages.h"
#include "song/OpenFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace vako {
namespace {

std::string bytes(std::initializer_list<int> list) {
    std::string out;
    for (int b : list) out.push_back(static_cast<char>(b));
    return out;
}

const std::string kEndOfTrack = bytes({0x00, 0xFF, 0x2F, 0x00});

// A file image: the header, then one MTrk chunk per track (events given
// without their end of track).
std::string midiFile(const std::vector<std::string>& tracks, int division = 480) {
    std::string image =
        "MThd" +
        bytes({0, 0, 0, 6, 0, tracks.size() > 1 ? 1 : 0, static_cast<int>(tracks.size()) >> 8,
               static_cast<int>(tracks.size()) & 0xFF, division >> 8, division & 0xFF});
    for (const std::string& events : tracks) {
        const std::string data = events + kEndOfTrack;
        const auto n = static_cast<uint32_t>(data.size());
        image += "MTrk" +
                 bytes({int(n >> 24), int(n >> 16) & 0xFF, int(n >> 8) & 0xFF, int(n) & 0xFF}) +
                 data;
    }
    return image;
}

class RecordingHost : public ImportingSongHost {
public:
    std::vector<std::string> messages, statuses;
    void showMessage(const std::string& text) override { messages.push_back(text); }
    void showStatus(const std::string& text) override { statuses.push_back(text); }
};

// Opens the image as the file list would open a ".mid" file.
struct Opened {
    Song song;
    RecordingHost host;
    OpenStatus status = OpenStatus::NotASong;
};

std::filesystem::path tempFile(const std::string& name) {
    const auto folder = std::filesystem::path(::testing::TempDir()) / "vako-midi-import";
    std::filesystem::create_directories(folder);
    return folder / name;
}

void openInto(Opened& o, const std::string& image) {
    // One file per test: the tests of this binary run in parallel processes.
    const auto path = tempFile(
        std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".mid");
    ASSERT_TRUE(writeFileAtomically(path, image).ok);
    o.status = openFile(o.song, path.string(), o.host);
}

std::vector<Note> notesOf(const Song& song) {
    return {song.notes.begin() + 1, song.notes.begin() + 1 + song.noteCount()};
}

std::vector<ControlChange> changesOf(const Song& song) {
    return {song.changes.begin() + 1, song.changes.begin() + 1 + song.changeCount};
}

TEST(MidiImport, ANoteAndItsEndBecomeOneNoteAndTheImportLeavesNoNoteEnds) {
    Opened o;
    openInto(o, midiFile({bytes({0x00, 0x90, 0x3C, 0x64, 0x83, 0x60, 0x80, 0x3C, 0x40})}));
    EXPECT_EQ(o.status, OpenStatus::Loaded);
    EXPECT_EQ(notesOf(o.song), (std::vector<Note>{{3, 60, 12, 0, 100, 64, 0}}));
    EXPECT_EQ(o.song.twiceNoteCount, 2);
    EXPECT_EQ(changesOf(o.song), (std::vector<ControlChange>{{1, 120, kTempoChange}}));
    EXPECT_EQ(o.song.changes[2].position, kEndMarkerPos);
    EXPECT_EQ(o.song.tempoText, "120");
    EXPECT_EQ(o.song.copyrightText, "");
    EXPECT_EQ(o.song.sequenceNameText, "");
    EXPECT_TRUE(o.host.messages.empty());
    EXPECT_TRUE(o.host.statuses.empty());
}

TEST(MidiImport, TickZeroIsTheFirstBeatAndEveryDownbeatLandsOnItsBarLine) {
    // Downbeats of 4/4 bars at three divisions: tick 0, bar 2, and bar 4,
    // which begins page 2 (tick 5760 at 480 ticks a quarter).
    for (int division : {480, 384, 96}) {
        const int bar = 4 * division;
        std::string track;
        int last = 0;
        for (int tick : {0, bar, 3 * bar}) {
            const int delta = tick - last;
            track += bytes({0x80 | ((delta >> 14) & 0x7F), 0x80 | ((delta >> 7) & 0x7F),
                            delta & 0x7F, 0x90, 0x3C, 0x64});
            last = tick;
        }
        Song song;
        ASSERT_TRUE(importStandardMidiFile(song, midiFile({track}, division)).ok);
        std::vector<int32_t> positions;
        for (const Note& n : notesOf(song)) positions.push_back(n.position);
        // The staff's bar lines of 4/4 stand at positions 3, 51, 99 of each page.
        EXPECT_EQ(positions, (std::vector<int32_t>{3, 51, 144 + 3})) << division;
    }
}

TEST(MidiImport, NoteLengths) {
    struct Case {
        const char* name;
        std::string track;
        int division;
        std::vector<Note> notes;
    };
    const Case cases[] = {
        // Channel 1: a start that never ends; channel 9 (percussion): every
        // note 3 steps; a note-on of velocity 0 ends a note.
        {"EveryRuleAtDivision96",
         bytes({0x00, 0x91, 0x40, 0x50, 0x00, 0x99, 0x24, 0x50, 0x60, 0x99, 0x26, 0x50, //
                0x00, 0x90, 0x30, 0x50, 0x81, 0x40, 0x90, 0x30, 0x00}),
         96,
         {{3, 36, 3, 9, 80, 64, 0},
          {3, 64, 12, 1, 80, 64, 0},
          {15, 38, 3, 9, 80, 64, 0},
          {15, 48, 24, 0, 80, 64, 0}}},
        // Two overlapping starts of key 60 on channel 0 both end at the first
        // end; the end on channel 1 belongs to no note of channel 0.
        {"ANoteLastsUntilTheFirstLaterEndOfItsPartAndKey",
         bytes({0x00, 0x90, 0x3C, 0x50, 0x83, 0x60, 0x90, 0x3C, 0x50, 0x83, 0x60, 0x81,
                0x3C, 0x00, 0x83, 0x60, 0x80, 0x3C, 0x00, 0x83, 0x60, 0x80, 0x3C, 0x00}),
         480,
         {{3, 60, 36, 0, 80, 64, 0}, {15, 60, 24, 0, 80, 64, 0}}},
        // The song holds keys up to 119; 120 + 5 = 125 is how the end of key
        // 5 is marked, but a start of key 125 is still a start.
        {"AStartOfAHighKeyIsNoEndOfALowOne",
         bytes({0x00, 0x90, 0x05, 0x50, 0x83, 0x60, 0x90, 0x7D, 0x50, 0x83, 0x60, 0x80, 0x05, 0x00,
                0x00, 0x80, 0x7D, 0x00}),
         480,
         {{3, 5, 24, 0, 80, 64, 0}}},
        // Mended: a 1-tick grace note and a 0-tick note of key 60, then a
        // quarter of key 60 at tick 480; a 20-tick note of key 64 within one step.
        {"AShortNoteEndsAtItsOwnEndNotAtALaterNotesEnd",
         bytes({0x00, 0x90, 0x3C, 0x64, 0x01, 0x80, 0x3C, 0x00, 0x00, 0x90, 0x3C, 0x64,
                0x00, 0x80, 0x3C, 0x00, 0x00, 0x90, 0x40, 0x64, 0x14, 0x80, 0x40, 0x00,
                0x83, 0x4B, 0x90, 0x3C, 0x64, 0x83, 0x60, 0x80, 0x3C, 0x00}),
         480,
         {{3, 60, 1, 0, 100, 64, 0},
          {3, 60, 1, 0, 100, 64, 0},
          {3, 64, 1, 0, 100, 64, 0},
          {15, 60, 12, 0, 100, 64, 0}}},
        // Mended: an accompaniment strikes key 48 three times and ends it once.
        {"RepeatedStartsOfOneKeyStillShareTheirEnd",
         bytes({0x00, 0x90, 0x30, 0x50, 0x83, 0x60, 0x90, 0x30, 0x50, 0x83, 0x60, 0x90, 0x30, 0x50,
                0x83, 0x60, 0x80, 0x30, 0x00}),
         480,
         {{3, 48, 36, 0, 80, 64, 0}, {15, 48, 24, 0, 80, 64, 0}, {27, 48, 12, 0, 80, 64, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Opened o;
        openInto(o, midiFile({c.track}, c.division));
        EXPECT_EQ(notesOf(o.song), c.notes);
    }
}

// A note start with the events read after it: (tick, channel, key, start?).
struct Ev {
    int64_t tick;
    int channel, key;
    bool start;
};

// The length rule, written out plainly: a start lasts until the first end of
// its channel and key after it in time (a later tick, or the same tick and
// read after it), at least one step; 12 steps without one; percussion 3.
std::vector<std::tuple<int32_t, int, int, int32_t>> expectedNotes(const std::vector<Ev>& events,
                                                                  int division) {
    std::vector<std::tuple<int32_t, int, int, int32_t>> notes;
    for (size_t i = 0; i < events.size(); ++i) {
        const Ev& s = events[i];
        if (!s.start) continue;
        const auto step = static_cast<int32_t>(s.tick * 12 / division);
        int64_t endTick = -1;
        for (size_t j = 0; j < events.size(); ++j) {
            const Ev& e = events[j];
            if (e.start || e.channel != s.channel || e.key != s.key) continue;
            if (e.tick < s.tick || (e.tick == s.tick && j < i)) continue;
            if (endTick < 0 || e.tick < endTick) endTick = e.tick;
        }
        int32_t len =
            endTick < 0
                ? 12
                : std::max<int32_t>(1, static_cast<int32_t>(endTick * 12 / division) - step);
        if (s.channel == kPercussionPart) len = 3;
        notes.emplace_back(kFirstBeatPosition + step, s.channel, s.key, len);
    }
    std::sort(notes.begin(), notes.end());
    return notes;
}

TEST(MidiImport, LengthsFollowTheFirstLaterEndInTimeOnRandomFiles) {
    // Several tracks, so that ends of one track close starts of another, and
    // deltas below one step (40 ticks), so that notes start and end within one.
    std::mt19937 random(11);
    for (int round = 0; round < 60; ++round) {
        std::vector<std::string> tracks;
        std::vector<Ev> events;
        const int trackCount = 1 + round % 3;
        for (int t = 0; t < trackCount; ++t) {
            std::string track;
            int64_t tick = 0;
            for (int i = 0; i < 150; ++i) {
                const int delta = std::array{0, 0, 1, 20, 40, 80}[random() % 6];
                tick += delta;
                const int channel = std::array{0, 1, 9}[random() % 3];
                const int key = 60 + static_cast<int>(random() % 3);
                const bool start = random() % 2;
                track += bytes({delta}) + (start ? bytes({0x90 + channel, key, 0x40})
                                                 : bytes({0x80 + channel, key, 0}));
                events.push_back({tick, channel, key, start});
            }
            tracks.push_back(track);
        }
        Song song;
        ASSERT_TRUE(importStandardMidiFile(song, midiFile(tracks)).ok);
        std::vector<std::tuple<int32_t, int, int, int32_t>> actual;
        for (int i = 1; i <= song.noteCount(); ++i) {
            const Note& n = song.notes[i];
            if (i > 1) {
                ASSERT_LE(song.notes[i - 1].position, n.position);
            }
            actual.emplace_back(n.position, n.part, n.key, n.length);
        }
        std::sort(actual.begin(), actual.end());
        ASSERT_EQ(actual, expectedNotes(events, 480)) << "round " << round;
    }
}

TEST(MidiImport, RunningStatusReadsLikeRepeatedStatusBytesAndOutlivesMetaEvents) {
    Opened plain, running;
    openInto(plain, midiFile({bytes({0x00, 0x90, 0x3C, 0x64, 0x00, 0x90, 0x40, 0x64, 0x83,
                                     0x60, 0x90, 0x3C, 0x00, 0x00, 0x90, 0x40, 0x00, 0x00,
                                     0xB0, 0x07, 0x64, 0x00, 0xB0, 0x0A, 0x10})}));
    openInto(running,
             midiFile({bytes({0x00, 0x90, 0x3C, 0x64, 0x00, 0x40, 0x64, 0x83, 0x60, 0x3C, 0x00,
                              0x00, 0x40, 0x00, 0x00, 0xB0, 0x07, 0x64, 0x00, 0x0A, 0x10})}));
    EXPECT_EQ(notesOf(running.song), notesOf(plain.song));
    EXPECT_EQ(changesOf(running.song), changesOf(plain.song));
    EXPECT_EQ(notesOf(plain.song).size(), 2u);

    // Mended: running status outlives meta and system exclusive events.
    Opened o;
    openInto(o, midiFile({bytes({0x00, 0x90, 0x3C, 0x64,             // note-on
                                 0x00, 0xFF, 0x01, 0x02, 0x61, 0x62, // a text
                                 0x00, 0x40, 0x64,                   // note-on of key 64
                                 0x00, 0xF0, 0x01, 0xF7,             // system exclusive
                                 0x83, 0x60, 0x3C, 0x00, 0x00, 0x40, 0x00})}));
    EXPECT_EQ(notesOf(o.song),
              (std::vector<Note>{{3, 60, 12, 0, 100, 64, 0}, {3, 64, 12, 0, 100, 64, 0}}));
}

TEST(MidiImport, TempoEvents) {
    Opened o;
    openInto(
        o, midiFile({bytes({0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,       // 500000 us at 0: 120
                            0x83, 0x60, 0xFF, 0x51, 0x03, 0x00, 0xC3, 0x50, // 50000 us at 480: 1200
                            0x83, 0x60, 0xFF, 0x51, 0x03, 0x4C, 0x4B, 0x40, // 5 s at 960: 12
                            0x83, 0x60, 0xFF, 0x51, 0x03, 0x07, 0xC2, 0x3B})})); // 508475 us: 118
    EXPECT_EQ(changesOf(o.song),
              (std::vector<ControlChange>{{1, 120, 1}, {15, 600, 1}, {27, 30, 1}, {39, 118, 1}}));
}

TEST(MidiImport, AStartTempoOutsideTheRangeIsLimitedAndTheUserIsTold) {
    for (auto [micros, bpm] : {std::pair{50000, 600}, {3000000, 30}}) {
        Opened o;
        openInto(o, midiFile({bytes({0x00, 0xFF, 0x51, 0x03, micros >> 16, (micros >> 8) & 0xFF,
                                     micros & 0xFF, 0x00, 0x90, 0x3C, 0x64})}));
        EXPECT_EQ(o.song.changes[1].value, bpm);
        EXPECT_EQ(o.song.tempoText, std::to_string(bpm));
        EXPECT_EQ(o.host.statuses, std::vector<std::string>{"テンポを30から600の間に収めました。"});
        EXPECT_TRUE(o.host.messages.empty());
    }
}

TEST(MidiImport, ProgramsAndVolumesAreInitialSettingsUntilAChannelsFirstNote) {
    Opened o;
    openInto(o, midiFile({bytes({0x00, 0xC2, 0x28,             // program 40 on channel 2
                                 0x00, 0xB2, 0x07, 0x7F,       // volume 127: step 6
                                 0x00, 0xB3, 0x07, 0x13,       // volume 19: step 0
                                 0x83, 0x60, 0x92, 0x3C, 0x64, // first note of channel 2 at 480
                                 0x83, 0x60, 0xC2, 0x29,       // program 41 at 960
                                 0x00, 0xB2, 0x07, 0x28,       // volume 40 at 960: step 2
                                 0x00, 0xC3, 0x05,             // channel 3 has no note yet
                                 0x00, 0x82, 0x3C, 0x00})}));
    EXPECT_EQ(o.song.partPrograms[2], 40);
    EXPECT_EQ(o.song.partPrograms[3], 5);
    EXPECT_EQ(o.song.partVolumes[2], 6);
    EXPECT_EQ(o.song.partVolumes[3], 0);
    EXPECT_EQ(o.song.partVolumes[4], 5);
    EXPECT_EQ(changesOf(o.song),
              (std::vector<ControlChange>{{1, 120, 1}, {27, 41 * 16 + 2, 2}, {27, 2 * 16 + 2, 3}}));
}

TEST(MidiImport, ModulationAndBalanceGoIntoTheFollowingNotes) {
    Opened o;
    openInto(o, midiFile({bytes({0x00, 0xB4, 0x01, 0x32, 0x00, 0xB4, 0x0A, 0x00,
                                 0x00, 0xB4, 0x40, 0x7F, // sustain: skipped
                                 0x00, 0x94, 0x3C, 0x64, 0x00, 0x95, 0x3C, 0x64})}));
    // One key in two parts at one step: the chord sort leaves them in either order.
    auto notes = notesOf(o.song);
    std::sort(notes.begin(), notes.end(), [](auto& a, auto& b) { return a.part < b.part; });
    EXPECT_EQ(notes, (std::vector<Note>{{3, 60, 12, 4, 100, 0, 50}, {3, 60, 12, 5, 100, 64, 0}}));
}

TEST(MidiImport, NamesAreShiftJisTextsAppendedEventByEvent) {
    Opened o;
    // "著作" + "権名" in two copyright events; a track name of half-width
    // katakana "ｶﾞｸ", which stands one byte a character.
    openInto(
        o, midiFile({bytes({0x00, 0xFF, 0x02, 0x04, 0x92, 0x98, 0x8D, 0xEC, 0x00, 0xFF, 0x02, 0x04,
                            0x8C, 0xA0, 0x96, 0xBC, 0x00, 0xFF, 0x03, 0x03, 0xB6, 0xDE, 0xB8})}));
    EXPECT_EQ(o.song.copyrightText, "著作権名");
    EXPECT_EQ(o.song.sequenceNameText, "ｶﾞｸ");
}

TEST(MidiImport, WhatTheSongCannotHoldIsSkippedByItsLength) {
    std::string longText(200, 'x');
    Opened o;
    openInto(
        o,
        midiFile(
            {bytes({0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7, // System On
                    0x00, 0xF7, 0x02, 0x90, 0x3C,                   // escape with note bytes
                    0x00, 0xFF, 0x01, 0x81, 0x48}) +                // a 200-byte text
             longText +
             bytes({0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08, // time signature
                    0x00, 0xFF, 0x59, 0x02, 0x00, 0x00,             // key signature
                    0x00, 0xFF, 0x7F, 0x03, 0x90, 0x3C, 0x64,       // sequencer-specific
                    0x00, 0xE0, 0x00, 0x40, 0x00, 0xA0, 0x3C, 0x10,
                    0x00, 0xD0, 0x20, 0x00, 0xF4, 0x01, 0x90, // an undefined status with a length
                    0x00, 0x90, 0x3E, 0x64})}));
    EXPECT_EQ(o.status, OpenStatus::Loaded);
    EXPECT_EQ(notesOf(o.song), (std::vector<Note>{{3, 62, 12, 0, 100, 64, 0}}));
}

TEST(MidiImport, TracksFollowOneAnotherAndChangesEndInPositionOrder) {
    Opened o;
    openInto(o, midiFile({bytes({0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x8F, 0x00, 0xFF, 0x51,
                                 0x03, 0x0F, 0x42, 0x40}), // 120 at 0, 60 at 48
                          bytes({0x83, 0x60, 0x90, 0x3C, 0x64, 0x83, 0x60, 0x80, 0x3C, 0x00, 0x00,
                                 0xC0, 0x05}),
                          bytes({0x00, 0xC0, 0x07, 0x00, 0x91, 0x40,
                                 0x64})})); // program at 0 after channel 0's note
    EXPECT_EQ(notesOf(o.song),
              (std::vector<Note>{{3, 64, 12, 1, 100, 64, 0}, {15, 60, 12, 0, 100, 64, 0}}));
    // The third track's program change at tick 0 comes before channel 0's
    // first note (tick 480 of the second track): it is where the part starts.
    EXPECT_EQ(o.song.partPrograms[0], 7);
    EXPECT_EQ(changesOf(o.song),
              (std::vector<ControlChange>{{1, 120, 1}, {27, 5 * 16, 2}, {51, 60, 1}}));
}

TEST(MidiImport, BrokenFilesAreReadFailuresThatLeaveTheSongAsItWas) {
    const std::string good = midiFile({bytes({0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0x90,
                                              0x3C, 0x64, 0x83, 0x60, 0x80, 0x3C, 0x40})});
    std::vector<std::pair<std::string, std::string>> broken = {
        {"division 0", midiFile({bytes({0x00, 0x90, 0x3C, 0x64})}, 0)},
        {"SMPTE division", midiFile({bytes({0x00, 0x90, 0x3C, 0x64})}, 0xE728)},
        {"tempo 0", midiFile({bytes({0x00, 0xFF, 0x51, 0x03, 0x00, 0x00, 0x00})})},
        {"running status before any status", midiFile({bytes({0x00, 0x3C, 0x64})})},
        {"key above 127", midiFile({bytes({0x00, 0x90, 0xBC, 0x64})})},
        {"more tracks than chunks", good.substr(0, 11) + bytes({2}) + good.substr(12)},
        {"sysex longer than the file", midiFile({bytes({0x00, 0xF0, 0x8F, 0x7F, 0x01})})},
        {"header only", good.substr(0, 13)},
    };
    for (size_t cut = 14; cut < good.size(); ++cut)
        broken.emplace_back("cut at " + std::to_string(cut), good.substr(0, cut));

    for (const auto& [what, image] : broken) {
        Opened o;
        o.song.notes = {Note{}, Note{5, 70, 6, 2, 120, 64, 0}};
        o.song.twiceNoteCount = 2;
        openInto(o, image);
        EXPECT_EQ(o.status, OpenStatus::ReadFailure) << what;
        ASSERT_EQ(o.host.messages.size(), 1u) << what;
        EXPECT_EQ(o.host.messages[0].rfind(msg::kCannotRead + "\n", 0), 0u) << what;
        EXPECT_EQ(notesOf(o.song), (std::vector<Note>{{5, 70, 6, 2, 120, 64, 0}})) << what;
    }
}

TEST(MidiImport, ManyEventsAtOnePositionImport) {
    // 100,000 notes all at tick 0, starts and ends interleaved: each start
    // ends at the end read after it.
    std::string events;
    for (int i = 0; i < 100'000; ++i)
        events += bytes({0x00, 0x90, 0x3C, 0x64, 0x00, 0x80, 0x3C, 0x00});
    Song song;
    ASSERT_TRUE(importStandardMidiFile(song, midiFile({events})).ok);
    ASSERT_EQ(song.noteCount(), 100'000);
    for (int i = 1; i <= song.noteCount(); ++i) ASSERT_EQ(song.notes[i].length, 1);
}

// Real files: what the import used to lose, one small file each.

TEST(MidiImportMends, QuietNotesKeepTheQuietestStrengthThatStillSounds) {
    Opened o;
    openInto(o, midiFile({bytes({0x00, 0x90, 0x3C, 0x01, 0x00, 0x90, 0x3E, 0x05, 0x00, 0x90, 0x40,
                                 0x06, 0x00, 0x90, 0x41, 0x07})}));
    std::vector<int> strengths;
    for (const Note& n : notesOf(o.song)) strengths.push_back(n.velocity);
    EXPECT_EQ(strengths, (std::vector<int>{6, 6, 6, 7}));
}

TEST(MidiImportMends, InstrumentAndVolumeChangesAfterANoteAtStepZeroStayTimed) {
    Opened o;
    // Piano from the start, a note at tick 0, flute at bar 40 (tick 74880).
    openInto(o, midiFile({bytes({0x00, 0xC0, 0x00, 0x00, 0xB0, 0x07, 0x64, //
                                 0x00, 0x90, 0x3C, 0x64, 0x83, 0x60, 0x80, 0x3C, 0x00,
                                 0x84, 0xC5, 0x20, 0xC0, 0x49, 0x00, 0xB0, 0x07, 0x28})}));
    EXPECT_EQ(o.song.partPrograms[0], 0);
    EXPECT_EQ(o.song.partVolumes[0], 5);
    EXPECT_EQ(changesOf(o.song),
              (std::vector<ControlChange>{
                  {1, 120, 1}, {1875, 73 * 16, kInstrumentChange}, {1875, 2 * 16, kVolumeChange}}));

    // A conductor track, the notes of channel 0 from tick 0 in the second, its
    // program in the third: still the part's start.
    Opened tracks;
    openInto(tracks, midiFile({bytes({0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}),
                               bytes({0x00, 0x90, 0x3C, 0x64, 0x83, 0x60, 0x80, 0x3C, 0x00}),
                               bytes({0x00, 0xC0, 0x28, 0x8F, 0x00, 0xC0, 0x29})}));
    EXPECT_EQ(tracks.song.partPrograms[0], 40);
    EXPECT_EQ(changesOf(tracks.song),
              (std::vector<ControlChange>{{1, 120, 1}, {51, 41 * 16, kInstrumentChange}}));
}

TEST(MidiImportMends, OfSeveralChangesAtOneStepTheLastInEffectStays) {
    Opened o;
    openInto(o, midiFile({bytes({0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, // 120 at tick 0
                                 0x00, 0x90, 0x3C, 0x64,
                                 // a reset to program 3, then the real one, at tick 490 (step 15)
                                 0x83, 0x6A, 0xC0, 0x03, 0x00, 0xC0, 0x00,
                                 // a ritardando within step 27 (ticks 960, 970, 980)
                                 0x83, 0x56, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, // 120
                                 0x0A, 0xFF, 0x51, 0x03, 0x08, 0x3F, 0x7D,       // 111
                                 0x0A, 0xFF, 0x51, 0x03, 0x09, 0x27, 0xC0}),     // 100
                          // Programs 5 and 7 at ticks 470 and 479 (both step 14), and
                          // program 9 at tick 485: step 15, but before the other track's.
                          bytes({0x83, 0x56, 0xC0, 0x05, 0x09, 0xC0, 0x07, 0x06, 0xC0, 0x09})}));
    EXPECT_EQ(changesOf(o.song), (std::vector<ControlChange>{{1, 120, 1},
                                                             {14, 7 * 16, kInstrumentChange},
                                                             {15, 0, kInstrumentChange},
                                                             {27, 100, 1}}));
}

TEST(MidiImportMends, ATempoWithinTheFirstBeatsStepReplacesTheStartTempo) {
    Opened o;
    // 120 at tick 0, 90 at tick 20: both within the first beat's step.
    openInto(o, midiFile({bytes({0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x14, 0xFF, 0x51, 0x03,
                                 0x0A, 0x2C, 0x2B, 0x00, 0x90, 0x3C, 0x64})}));
    EXPECT_EQ(changesOf(o.song), (std::vector<ControlChange>{{1, 90, 1}}));
    EXPECT_EQ(o.song.tempoText, "90");

    // 90 at tick 40, the step after the first beat: a change of its own,
    // which the export writes at tick 40 again.
    Opened later;
    openInto(later, midiFile({bytes({0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x28, 0xFF, 0x51,
                                     0x03, 0x0A, 0x2C, 0x2B, 0x00, 0x90, 0x3C, 0x64})}));
    EXPECT_EQ(changesOf(later.song), (std::vector<ControlChange>{{1, 120, 1}, {4, 90, 1}}));
}

TEST(MidiImportMends, EveryAnnouncedTrackIsReadChunkByChunk) {
    // 257 tracks, one note each: the track count takes two bytes.
    std::vector<std::string> tracks;
    for (int t = 0; t < 257; ++t) tracks.push_back(bytes({t % 128, 0x90, 0x30 + t % 40, 0x64}));
    Opened many;
    openInto(many, midiFile(tracks));
    EXPECT_EQ(many.status, OpenStatus::Loaded);
    EXPECT_EQ(many.song.noteCount(), 257);
    EXPECT_TRUE(many.host.statuses.empty());

    // A header of 8 bytes, a chunk of another kind first, a track without an
    // end of track, and a track with bytes after its end of track.
    const std::string noEnd = bytes({0x00, 0x90, 0x3C, 0x64});
    const std::string withTail = bytes({0x00, 0x90, 0x40, 0x64}) + kEndOfTrack + bytes({1, 2, 3});
    auto chunk = [](const std::string& type, const std::string& data) {
        const auto n = static_cast<int>(data.size());
        return type + bytes({0, 0, n >> 8, n & 0xFF}) + data;
    };
    const std::string image = chunk("MThd", bytes({0, 1, 0, 2, 0x01, 0xE0, 0xAA, 0xBB})) +
                              chunk("XFIH", "other") + chunk("MTrk", noEnd) +
                              chunk("MTrk", withTail);
    Opened odd;
    openInto(odd, image);
    EXPECT_EQ(odd.status, OpenStatus::Loaded);
    EXPECT_EQ(notesOf(odd.song),
              (std::vector<Note>{{3, 60, 12, 0, 100, 64, 0}, {3, 64, 12, 0, 100, 64, 0}}));
    EXPECT_EQ(odd.host.statuses,
              std::vector<std::string>{"ファイルの中の使わないデータを読み飛ばしました。"});
}

TEST(MidiImportMemory, NoteEndsWithoutStartsCostNothing) {
    // A track of 3 MB of zero bytes after one note-off: a million note-offs of
    // key 0 under running status, none of them ending a note.
    const std::string image =
        midiFile({bytes({0x00, 0x80, 0x00, 0x00}) + std::string(3'000'000, '\0')});
    Song song;
    const int64_t before = heapcount::inUse();
    heapcount::startPeak();
    const MidiImportOutcome outcome = importStandardMidiFile(song, image);
    const int64_t peak = heapcount::peak() - before;
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(song.noteCount(), 0);
    EXPECT_LT(peak, 200'000) << "bytes held at once";
}

TEST(MidiImportMemory, AFileWithMoreNotesThanTheSongHoldsIsAReadFailure) {
    std::string events;
    for (int i = 0; i < 11; ++i) events += bytes({0x00, 0x90, 0x3C, 0x64});
    Song song;
    const MidiImportOutcome outcome = importStandardMidiFile(song, midiFile({events}), {10});
    EXPECT_FALSE(outcome.ok);
    EXPECT_TRUE(outcome.tooManyNotes);
    EXPECT_EQ(outcome.stoppedAtByte, 22u + 10 * 4); // the eleventh note-on
    EXPECT_TRUE(importStandardMidiFile(song, midiFile({events}), {11}).ok);
}

// What a file says in time, tick by tick: note starts (with their velocity)
// and ends, tempos (in whole beats a minute) and program changes, all tracks
// together, ticks counted at 480 a quarter, in one order. Left out: the ends
// of percussion notes (the song gives every one 3 steps) and programs 0 at
// tick 0 (the song's default instrument, which the export leaves to the player).
std::vector<std::string> timedEvents(std::string_view image) {
    std::vector<std::string> events;
    std::istringstream dump(dumpMidiFile(image));
    std::string line;
    int64_t division = 480;
    while (std::getline(dump, line)) {
        if (line.rfind("MThd", 0) == 0) division = std::stoll(line.substr(line.rfind(' ') + 1));
        if (line.empty() || !std::isdigit(static_cast<unsigned char>(line[0]))) continue;
        const int64_t tick = std::stoll(line) * 480;
        EXPECT_EQ(tick % division, 0) << "off the step grid: " << line;
        const std::string at = std::to_string(tick / division) + " ";
        const std::string what = line.substr(line.find("  ") + 2);
        std::smatch m;
        static const std::regex noteOn("note-on ch (\\d+) key (\\d+) vel (\\d+)");
        static const std::regex noteOff("note-off ch (\\d+) key (\\d+)");
        static const std::regex tempo("tempo (\\d+) us");
        if (std::regex_search(what, m, noteOn)) {
            if (m[3] != "0") {
                events.push_back(at + "start " + m[1].str() + " " + m[2].str() + " " + m[3].str());
            } else if (m[1] != "9") {
                events.push_back(at + "end " + m[1].str() + " " + m[2].str());
            }
        } else if (std::regex_search(what, m, noteOff)) {
            if (m[1] != "9") events.push_back(at + "end " + m[1].str() + " " + m[2].str());
        } else if (std::regex_search(what, m, tempo)) {
            const double micros = std::stod(m[1]);
            events.push_back(at + "tempo " + std::to_string(std::lround(60'000'000 / micros)));
        } else if (what.rfind("program", 0) == 0 && !(tick == 0 && what.ends_with(" = 0"))) {
            events.push_back(at + what);
        }
    }
    std::sort(events.begin(), events.end());
    return events;
}

// The file opened as the window opens it, and exported again.
std::string exportedAgain(const std::string& image) {
    Opened o;
    openInto(o, image);
    EXPECT_EQ(o.status, OpenStatus::Loaded);
    EXPECT_TRUE(o.host.statuses.empty()) << "nothing limited or left out";
    MidiImageReport report;
    std::string again = buildMidiFileImage(o.song, 0, report);
    EXPECT_FALSE(report.faulted);
    return again;
}

TEST(MidiRoundTrip, AMidiFileImportedAndExportedAgainIsUnchangedInTime) {
    // Notes from tick 0 on, a tempo at 0 and later ones, programs at 0 and
    // later, on the step grid of 40 ticks.
    const std::string image =
        midiFile({bytes({0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,       // 120 at 0
                         0x00, 0xC0, 0x28,                               // program 40 at 0
                         0x00, 0x90, 0x3C, 0x64, 0x00, 0x91, 0x40, 0x50, // two starts at 0
                         0x83, 0x60, 0x80, 0x3C, 0x00,                   // an end at 480
                         0x28, 0xFF, 0x51, 0x03, 0x0A, 0x2C, 0x2B,       // 90 at 520
                         0x00, 0xC1, 0x05,                               // program 5 of channel 1
                         0x00, 0x90, 0x3E, 0x60,                         // a start at 520
                         0x83, 0x38, 0x81, 0x40, 0x00,                   // an end at 960
                         0x8F, 0x00, 0x80, 0x3E, 0x00})});               // an end at 2880
    const std::string again = exportedAgain(image);
    EXPECT_EQ(timedEvents(again), timedEvents(image)) << dumpMidiFile(again);
    EXPECT_EQ(timedEvents(image).size(), 10u);
}

TEST(MidiRoundTrip, RealFilesImportedAndExportedAgainAreUnchangedInTime) {
    // A LilyPond score (384 ticks a quarter, a conductor track and a staff)
    // and a game's music of five tracks (480 ticks a quarter), whose events
    // all lie on the step grid.
    for (const char* name : {"ly-barcarolle.midi", "ly-flute.midi", "openmsx-ultimate_run.mid"}) {
        SCOPED_TRACE(name);
        std::string image;
        ASSERT_TRUE(
            readWholeFile(std::filesystem::path(TEST_DATA_DIR) / "midi-realworld" / name, image));
        const std::vector<std::string> before = timedEvents(image);
        ASSERT_GT(before.size(), 40u);
        EXPECT_EQ(timedEvents(exportedAgain(image)), before);
    }
}

TEST(MidiRoundTrip, ExportThenImportKeepsPositionsKeysPartsAndLengths) {
    std::mt19937 random(17);
    Song song;
    song.copyrightText = "著作権名";
    song.sequenceNameText = "ｶﾞｸ曲";
    std::vector<Note> notes;
    for (int i = 0; i < 400; ++i) {
        const auto part = static_cast<uint8_t>(i % 16);
        // One note per part and key at a time, so that each end pairs with its own start.
        // From the first beat on: the steps before it are written at tick 0.
        notes.push_back(Note{static_cast<int32_t>(3 + (i / 16) * 12 + random() % 6),
                             static_cast<uint8_t>(30 + i % 60),
                             static_cast<int32_t>(1 + random() % 11), part,
                             static_cast<uint8_t>(6 * (1 + random() % 20)), 64, 0});
    }
    std::sort(notes.begin(), notes.end(), [](const Note& a, const Note& b) {
        return a.position != b.position ? a.position < b.position : a.key < b.key;
    });
    song.notes.assign(1, Note{});
    song.notes.insert(song.notes.end(), notes.begin(), notes.end());
    song.twiceNoteCount = static_cast<int32_t>(notes.size() * 2);
    song.partPrograms[3] = 40;
    song.partVolumes[4] = 2;
    song.tempoText = "90";

    bool faulted = true;
    const std::string image = buildMidiFileImage(song, 0, faulted);
    ASSERT_FALSE(faulted);
    Opened o;
    openInto(o, image);
    ASSERT_EQ(o.status, OpenStatus::Loaded);

    std::vector<Note> expected = notes;
    for (Note& n : expected)
        if (n.part == kPercussionPart) n.length = 3;
    auto key = [](const Note& n) { return std::tuple(n.position, n.key, n.part); };
    auto actual = notesOf(o.song);
    std::sort(actual.begin(), actual.end(), [&](auto& a, auto& b) { return key(a) < key(b); });
    std::sort(expected.begin(), expected.end(), [&](auto& a, auto& b) { return key(a) < key(b); });
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(o.song.copyrightText, "著作権名");
    EXPECT_EQ(o.song.sequenceNameText, "ｶﾞｸ曲");
    EXPECT_EQ(o.song.tempoText, "90");
    EXPECT_EQ(o.song.partPrograms[3], 40);
    EXPECT_EQ(o.song.partVolumes[4], 2);
}

} // namespace
} // namespace vako
