#include "song/MidiImport.h"

#include "midi/MidiFileWriter.h"
#include "platform/AtomicFile.h"
#include "song/Messages.h"
#include "song/OpenF.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
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
        "MThd" + bytes({0, 0, 0, 6, 0, tracks.size() > 1 ? 1 : 0, 0,
                        static_cast<int>(tracks.size()), division >> 8, division & 0xFF});
    for (const std::string& events : tracks) {
        const std::string data = events + kEndOfTrack;
        const auto n = static_cast<uint32_t>(data.size());
        image += "MTrk" +
                 bytes({int(n >> 24), int(n >> 16) & 0xFF, int(n >> 8) & 0xFF, int(n) & 0xFF}) +
                 data;
    }
    return image;
}

class RecordingHost : public SongHost {
public:
    std::vector<std::string> messages;
    void showMessage(const std::string& text) override { messages.push_back(text); }
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
    o.status = OpenF(o.song, path.string(), o.host);
}

std::vector<NoteRec> notesOf(const Song& song) {
    return {song.udtNotes.begin() + 1, song.udtNotes.begin() + 1 + song.noteCount()};
}

std::vector<CCRec> changesOf(const Song& song) {
    return {song.udtCCs.begin() + 1, song.udtCCs.begin() + 1 + song.varCCCount};
}

TEST(MidiImport, ANoteAndItsEndBecomeOneNote) {
    Opened o;
    openInto(o, midiFile({bytes({0x00, 0x90, 0x3C, 0x64, 0x83, 0x60, 0x80, 0x3C, 0x40})}));
    EXPECT_EQ(o.status, OpenStatus::Loaded);
    EXPECT_EQ(notesOf(o.song), (std::vector<NoteRec>{{0, 60, 12, 0, 100, 64, 0}}));
    EXPECT_EQ(o.song.varNoteCountX2, 2);
    EXPECT_EQ(changesOf(o.song), (std::vector<CCRec>{{1, 120, kTempoChange}}));
    EXPECT_EQ(o.song.udtCCs[2].lngPos, kEndMarkerPos);
    EXPECT_EQ(o.song.tempoText, "120");
    EXPECT_EQ(o.song.copyrightText, "");
    EXPECT_EQ(o.song.sequenceNameText, "");
    EXPECT_TRUE(o.host.messages.empty());
}

TEST(MidiImport, NoteLengths) {
    Opened o;
    // Channel 1: a start that never ends; channel 9 (percussion): every note 3
    // steps; a note-on of velocity 0 ends a note; division 96.
    openInto(o, midiFile({bytes({0x00, 0x91, 0x40, 0x50, //
                                 0x00, 0x99, 0x24, 0x50, //
                                 0x60, 0x99, 0x26, 0x50, //
                                 0x00, 0x90, 0x30, 0x50, //
                                 0x81, 0x40, 0x90, 0x30, 0x00})},
                         96));
    EXPECT_EQ(notesOf(o.song), (std::vector<NoteRec>{{0, 36, 3, 9, 80, 64, 0},
                                                     {0, 64, 12, 1, 80, 64, 0},
                                                     {12, 38, 3, 9, 80, 64, 0},
                                                     {12, 48, 24, 0, 80, 64, 0}}));
}

TEST(MidiImport, ANoteLastsUntilTheFirstLaterEndOfItsPartAndKey) {
    Opened o;
    // Two overlapping starts of key 60 on channel 0 both end at the first end;
    // the end on channel 1 belongs to no note of channel 0.
    openInto(o, midiFile({bytes({0x00, 0x90, 0x3C, 0x50,       //  0
                                 0x83, 0x60, 0x90, 0x3C, 0x50, //  480
                                 0x83, 0x60, 0x81, 0x3C, 0x00, //  960, channel 1
                                 0x83, 0x60, 0x80, 0x3C, 0x00, // 1440
                                 0x83, 0x60, 0x80, 0x3C, 0x00})}));
    const auto notes = notesOf(o.song);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0].lngLen, 36);
    EXPECT_EQ(notes[1].lngLen, 24);
}

TEST(MidiImport, AStartOfAHighKeyIsNoEndOfALowOne) {
    // The song holds keys up to 119; 120 + 5 = 125 is how the end of key 5
    // is marked, but a start of key 125 is still a start.
    Opened o;
    openInto(o, midiFile({bytes({0x00, 0x90, 0x05, 0x50,       //
                                 0x83, 0x60, 0x90, 0x7D, 0x50, // start of key 125 at 12
                                 0x83, 0x60, 0x80, 0x05, 0x00, // end of key 5 at 24
                                 0x00, 0x80, 0x7D, 0x00})}));
    EXPECT_EQ(notesOf(o.song), (std::vector<NoteRec>{{0, 5, 24, 0, 80, 64, 0}}));
}

TEST(MidiImport, EntriesKeepTheirFormUntilOpenFRemovesTheEnds) {
    Song song;
    ASSERT_TRUE(importStandardMidiFile(
        song, midiFile({bytes({0x00, 0x90, 0x3C, 0x64, 0x83, 0x60, 0x80, 0x3C, 0x40})})));
    EXPECT_EQ(song.varNoteCountX2, 2); // two entries, start and end
    EXPECT_EQ(song.udtNotes[1], (NoteRec{0, 60, 12, 0, 100, 64, 0}));
    EXPECT_EQ(song.udtNotes[2], (NoteRec{12, 180, 0, 0, 64, 64, 0}));
}

TEST(MidiImport, LengthsMatchTheFirstLaterMatchingEntryOnRandomFiles) {
    std::mt19937 random(11);
    for (int round = 0; round < 50; ++round) {
        std::string events;
        for (int i = 0; i < 300; ++i) {
            events += bytes({static_cast<int>(random() % 3) * 40}); // deltas 0, 40, 80 ticks
            const int channel = static_cast<int>(random() % 3);
            const int key = 60 + static_cast<int>(random() % 4);
            events +=
                random() % 2 ? bytes({0x90 + channel, key, 0x40}) : bytes({0x80 + channel, key, 0});
        }
        Song song;
        ASSERT_TRUE(importStandardMidiFile(song, midiFile({events})));
        const int n = song.varNoteCountX2;
        for (int i = 1; i <= n; ++i) {
            const NoteRec& s = song.udtNotes[i];
            if (s.bytNote >= 120) continue;
            int32_t expected = 12;
            for (int j = i + 1; j <= n; ++j) {
                const NoteRec& e = song.udtNotes[j];
                if (e.bytNote == s.bytNote + 120 && e.bytPart == s.bytPart) {
                    expected = e.lngPos - s.lngPos;
                    break;
                }
            }
            ASSERT_EQ(s.lngLen, expected) << "round " << round << " entry " << i;
        }
    }
}

TEST(MidiImport, RunningStatusReadsLikeRepeatedStatusBytes) {
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
}

TEST(MidiImport, TempoEvents) {
    Opened o;
    openInto(
        o, midiFile({bytes({0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,       // 500000 us at 0: 120
                            0x83, 0x60, 0xFF, 0x51, 0x03, 0x00, 0xC3, 0x50, // 50000 us at 12: 1200
                            0x83, 0x60, 0xFF, 0x51, 0x03, 0x4C, 0x4B, 0x40})})); // 5 s at 24: 12
    EXPECT_EQ(changesOf(o.song), (std::vector<CCRec>{{1, 120, 1}, {12, 600, 1}, {24, 30, 1}}));

    Opened fast;
    openInto(fast, midiFile({bytes({0x00, 0xFF, 0x51, 0x03, 0x00, 0xC3, 0x50})}));
    EXPECT_EQ(fast.song.udtCCs[1].lngValue, 1200); // the start tempo is not limited
    EXPECT_EQ(fast.song.tempoText, "1200");
}

TEST(MidiImport, ProgramsAndVolumesAreInitialSettingsUntilAChannelsFirstNote) {
    Opened o;
    openInto(o, midiFile({bytes({0x00, 0xC2, 0x28,             // program 40 on channel 2
                                 0x00, 0xB2, 0x07, 0x7F,       // volume 127: step 6
                                 0x00, 0xB3, 0x07, 0x13,       // volume 19: step 0
                                 0x83, 0x60, 0x92, 0x3C, 0x64, // first note of channel 2 at 12
                                 0x83, 0x60, 0xC2, 0x29,       // program 41 at 24
                                 0x00, 0xB2, 0x07, 0x28,       // volume 40 at 24: step 2
                                 0x00, 0xC3, 0x05,             // channel 3 has no note yet
                                 0x00, 0x82, 0x3C, 0x00})}));
    EXPECT_EQ(o.song.bytPartInstrument[2], 40);
    EXPECT_EQ(o.song.bytPartInstrument[3], 5);
    EXPECT_EQ(o.song.intPartVolume[2], 6);
    EXPECT_EQ(o.song.intPartVolume[3], 0);
    EXPECT_EQ(o.song.intPartVolume[4], 5);
    EXPECT_EQ(changesOf(o.song),
              (std::vector<CCRec>{{1, 120, 1}, {24, 41 * 16 + 2, 2}, {24, 2 * 16 + 2, 3}}));
}

TEST(MidiImport, ModulationAndBalanceGoIntoTheFollowingNotes) {
    Opened o;
    openInto(o, midiFile({bytes({0x00, 0xB4, 0x01, 0x32, 0x00, 0xB4, 0x0A, 0x00,
                                 0x00, 0xB4, 0x40, 0x7F, // sustain: skipped
                                 0x00, 0x94, 0x3C, 0x64, 0x00, 0x95, 0x3C, 0x64})}));
    const auto notes = notesOf(o.song);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0], (NoteRec{0, 60, 12, 4, 100, 0, 50}));
    EXPECT_EQ(notes[1], (NoteRec{0, 60, 12, 5, 100, 64, 0}));
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
    EXPECT_EQ(notesOf(o.song), (std::vector<NoteRec>{{0, 62, 12, 0, 100, 64, 0}}));
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
              (std::vector<NoteRec>{{0, 64, 12, 1, 100, 64, 0}, {12, 60, 12, 0, 100, 64, 0}}));
    // The third track's program change at step 0 moves to step 1.
    EXPECT_EQ(changesOf(o.song),
              (std::vector<CCRec>{{1, 120, 1}, {1, 7 * 16, 2}, {24, 5 * 16, 2}, {48, 60, 1}}));
}

TEST(MidiImport, TheUndoCopyIsTheSongAsOpened) {
    Opened o;
    openInto(o, midiFile({bytes({0x00, 0x90, 0x3C, 0x64, 0x00, 0x90, 0x40, 0x64, 0x83, 0x60, 0x80,
                                 0x3C, 0x00})}));
    ASSERT_EQ(o.song.noteCount(), 2);
    // The copy is taken before the chords are sorted by pitch, as after a
    // song text file; it holds the same notes and no note ends.
    auto byPitch = [](std::vector<NoteRec> notes) {
        std::sort(notes.begin(), notes.end(),
                  [](auto& a, auto& b) { return a.bytNote < b.bytNote; });
        return notes;
    };
    const auto opened = notesOf(o.song);
    o.song.restoreUndoCopy();
    EXPECT_EQ(o.song.varNoteCountX2, 4);
    EXPECT_EQ(byPitch(notesOf(o.song)), opened);
}

TEST(MidiImport, BrokenFilesAreReadFailuresThatBringBackTheUndoCopy) {
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
        o.song.udtNotes = {NoteRec{}, NoteRec{5, 70, 6, 2, 120, 64, 0}};
        o.song.varNoteCountX2 = 2;
        o.song.takeUndoCopy();
        openInto(o, image);
        EXPECT_EQ(o.status, OpenStatus::ReadFailure) << what;
        ASSERT_EQ(o.host.messages.size(), 1u) << what;
        EXPECT_EQ(o.host.messages[0].rfind(msg::kCannotRead + "\n", 0), 0u) << what;
        EXPECT_EQ(notesOf(o.song), (std::vector<NoteRec>{{5, 70, 6, 2, 120, 64, 0}})) << what;
    }
}

TEST(MidiImport, ManyEventsAtOnePositionImport) {
    // 100,000 notes all at tick 0, starts and ends interleaved.
    std::string events;
    for (int i = 0; i < 100'000; ++i)
        events += bytes({0x00, 0x90, 0x3C, 0x64, 0x00, 0x80, 0x3C, 0x00});
    Song song;
    ASSERT_TRUE(importStandardMidiFile(song, midiFile({events})));
    EXPECT_EQ(song.varNoteCountX2, 200'000);
    EXPECT_GE(song.udtNotes[100'000].bytNote, 120); // ends first, then starts
    EXPECT_LT(song.udtNotes[100'001].bytNote, 120);
}

TEST(MidiRoundTrip, ExportThenImportKeepsPositionsKeysPartsAndLengths) {
    std::mt19937 random(17);
    Song song;
    song.copyrightText = "著作権名";
    song.sequenceNameText = "ｶﾞｸ曲";
    std::vector<NoteRec> notes;
    for (int i = 0; i < 400; ++i) {
        const auto part = static_cast<uint8_t>(i % 16);
        // One note per part and key at a time, so that each end pairs with its own start.
        notes.push_back(NoteRec{static_cast<int32_t>(1 + (i / 16) * 12 + random() % 6),
                                static_cast<uint8_t>(30 + i % 60),
                                static_cast<int32_t>(1 + random() % 11), part,
                                static_cast<uint8_t>(6 * (1 + random() % 20)), 64, 0});
    }
    std::sort(notes.begin(), notes.end(), [](const NoteRec& a, const NoteRec& b) {
        return a.lngPos != b.lngPos ? a.lngPos < b.lngPos : a.bytNote < b.bytNote;
    });
    song.udtNotes.assign(1, NoteRec{});
    song.udtNotes.insert(song.udtNotes.end(), notes.begin(), notes.end());
    song.varNoteCountX2 = static_cast<int32_t>(notes.size() * 2);
    song.bytPartInstrument[3] = 40;
    song.intPartVolume[4] = 2;
    song.tempoText = "90";

    bool faulted = true;
    const std::string image = buildMidiFileImage(song, 0, faulted);
    ASSERT_FALSE(faulted);
    Opened o;
    openInto(o, image);
    ASSERT_EQ(o.status, OpenStatus::Loaded);

    std::vector<NoteRec> expected = notes;
    for (NoteRec& n : expected)
        if (n.bytPart == kPercussionPart) n.lngLen = 3;
    auto key = [](const NoteRec& n) { return std::tuple(n.lngPos, n.bytNote, n.bytPart); };
    auto actual = notesOf(o.song);
    std::sort(actual.begin(), actual.end(), [&](auto& a, auto& b) { return key(a) < key(b); });
    std::sort(expected.begin(), expected.end(), [&](auto& a, auto& b) { return key(a) < key(b); });
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(o.song.copyrightText, "著作権名");
    EXPECT_EQ(o.song.sequenceNameText, "ｶﾞｸ曲");
    EXPECT_EQ(o.song.tempoText, "90");
    EXPECT_EQ(o.song.bytPartInstrument[3], 40);
    EXPECT_EQ(o.song.intPartVolume[4], 2);
}

} // namespace
} // namespace vako
