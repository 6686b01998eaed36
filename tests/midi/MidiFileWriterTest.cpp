#include "midi/MidiFileWriter.h"

#include "RunTool.h"

#include "platform/AtomicFile.h"
#include "song/Messages.h"
#include "song/SongWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace vako {
namespace {

std::string deltaOf(int64_t steps) {
    std::string out;
    EXPECT_TRUE(appendDeltaTime(out, steps)) << steps;
    return hexBytes(out);
}

const std::string kOpening = "00 F0 05 7E 7F 09 01 F7";
const std::string kVolumes = "00 B0 07 64 00 B1 07 64 00 B2 07 64 00 B3 07 64 00 B4 07 64 00 B5 07 "
                             "64 00 B6 07 64 00 B7 07 64 "
                             "00 B8 07 64 00 B9 07 64 00 BA 07 64 00 BB 07 64 00 BC 07 64 00 BD 07 "
                             "64 00 BE 07 64 00 BF 07 64";
const std::string kStartTempo = "00 FF 51 03 07 A1 20";
const std::string kEnd = "00 FF 2F 00";

// A new song with both name boxes emptied: only the notes given.
Song songWith(std::initializer_list<Note> notes) {
    Song song;
    song.copyrightText.clear();
    song.sequenceNameText.clear();
    song.notes.assign(1, Note{});
    song.notes.insert(song.notes.end(), notes);
    song.twiceNoteCount = static_cast<int32_t>(notes.size() * 2);
    return song;
}

void addChange(Song& song, ControlChange cc) {
    ensureChangeRoom(song.changes, song.changeCount + 2);
    song.changes[++song.changeCount] = cc;
}

Note note(int32_t pos, uint8_t key, int32_t len = 12, uint8_t part = 0) {
    return Note{pos, key, len, part, 120, 64, 0};
}

struct Built {
    std::string image;
    bool faulted = false;
    std::string track() const { return hexBytes(std::string_view(image).substr(kHeaderBlockSize)); }
    // The events after the opening items (System On, volumes, no names, no programs).
    std::string events() const {
        const std::string t = track();
        const std::string head = kOpening + " " + kVolumes + " ";
        EXPECT_EQ(t.substr(0, head.size()), head) << dumpMidiFile(image);
        return t.substr(head.size());
    }
};

Built build(Song& song, int pitchShift = 0) {
    Built b;
    b.image = buildMidiFileImage(song, pitchShift, b.faulted);
    return b;
}

TEST(DeltaTime, StepsAreFortyTicksInAVariableLengthQuantity) {
    EXPECT_EQ(deltaOf(0), "00");
    EXPECT_EQ(deltaOf(1), "28");
    EXPECT_EQ(deltaOf(3), "78");
    EXPECT_EQ(deltaOf(4), "81 20");
    EXPECT_EQ(deltaOf(12), "83 60");
    EXPECT_EQ(deltaOf(48), "8F 00");
    EXPECT_EQ(deltaOf(410), "81 80 10");
    EXPECT_EQ(deltaOf(32767), "CF FF 58");
}

TEST(DeltaTime, GapsBeyond32767StepsAreOrdinaryLongerQuantities) {
    EXPECT_EQ(deltaOf(32768), "D0 80 00");
    EXPECT_EQ(deltaOf(52429), "81 80 80 08");
    EXPECT_EQ(deltaOf(100000), "81 F4 92 00");
    EXPECT_EQ(deltaOf(6710886), "FF FF FF 70");
    std::string out;
    EXPECT_FALSE(appendDeltaTime(out, 6710887)); // 2^28 ticks: no delta holds it
    EXPECT_FALSE(appendDeltaTime(out, -1));
    EXPECT_TRUE(out.empty());
}

TEST(MidiFileImage, ANewSongWithEmptyNameBoxesIsA83ByteTrack) {
    Song song = songWith({});
    const Built b = build(song);
    EXPECT_FALSE(b.faulted);
    EXPECT_EQ(hexBytes(b.image.substr(0, 22)),
              "4D 54 68 64 00 00 00 06 00 00 00 01 01 E0 4D 54 72 6B 00 00 00 53");
    EXPECT_EQ(b.track(), kOpening + " " + kVolumes + " " + kStartTempo + " " + kEnd);
}

TEST(MidiFileImage, NamesAreShiftJisWithTheirByteCount) {
    Song song; // the boxes hold their start texts
    const std::string track = build(song).track();
    const std::string names =
        kOpening + " 00 FF 02 08 92 98 8D EC 8C A0 96 BC 00 FF 03 04 8B C8 96 BC 00 B0";
    EXPECT_EQ(track.substr(0, names.size()), names);

    Song longName = songWith({});
    longName.sequenceNameText = std::string(200, 'a');
    EXPECT_EQ(build(longName).track().substr(kOpening.size() + 1, 20), "00 FF 03 81 48 61 61");
}

TEST(MidiFileImage, VolumesAndProgramsOpenTheTrack) {
    Song song = songWith({});
    song.partVolumes[2] = 6;
    song.partVolumes[5] = 0;
    song.partPrograms[3] = 40;
    song.partPrograms[15] = 200; // beyond the instrument list: limited to a data byte
    const std::string track = build(song).track();
    EXPECT_NE(track.find("00 B2 07 78"), std::string::npos);
    EXPECT_NE(track.find("00 B5 07 00"), std::string::npos);
    EXPECT_NE(track.find("00 BF 07 64 00 C3 28 00 CF 7F " + kStartTempo), std::string::npos);
}

TEST(MidiFileImage, TheFirstBeatIsTickZero) {
    // The first beat of bar 1 (position 3, on the staff's first bar line)
    // sounds with the start tempo, a beat later is 480 ticks later.
    Song song = songWith({note(3, 60), note(15, 62)});
    EXPECT_EQ(build(song).events(),
              kStartTempo + " 00 90 3C 78 83 60 80 3C 00 00 90 3E 78 83 60 80 3E 00 " + kEnd);
    // A page's downbeat: position 147, tick 5760 (12 quarters).
    Song page = songWith({note(147, 60)});
    EXPECT_EQ(build(page).events(), kStartTempo + " AD 00 90 3C 78 83 60 80 3C 00 " + kEnd);
}

TEST(MidiFileImage, StepsBeforeTheFirstBeatAreWrittenAtTickZero) {
    // Positions 1 and 2 lie before the first bar line (the finest grid
    // reaches them): they start at tick 0 and end where their length ends.
    Song song = songWith({note(1, 60), note(2, 62, 4)});
    EXPECT_EQ(build(song).events(),
              kStartTempo + " 00 90 3C 78 00 90 3E 78 78 80 3E 00 82 18 80 3C 00 " + kEnd);
    // A change there is at tick 0 too, behind the start tempo.
    Song changed = songWith({note(3, 60)});
    addChange(changed, ControlChange{2, 90, kTempoChange});
    EXPECT_EQ(build(changed).events(),
              kStartTempo + " 00 FF 51 03 0A 2C 2A 00 90 3C 78 83 60 80 3C 00 " + kEnd);
}

TEST(MidiFileImage, ControllersInFrontOfANoteOnDelayItByOneTickEach) {
    Note n = note(3, 60);
    n.modulation = 50;
    n.pan = 0;
    Song song = songWith({n});
    EXPECT_EQ(build(song).events(),
              kStartTempo + " 00 B0 01 32 01 B0 0A 00 01 90 3C 78 83 60 80 3C 00 " + kEnd);
}

TEST(MidiFileImage, BalanceIsWrittenOnlyWhenTheChannelsStateChanges) {
    Note a = note(3, 60, 12, 3), b = note(15, 62, 12, 3);
    a.pan = b.pan = 128;
    Song song = songWith({a, b});
    EXPECT_EQ(build(song).events(),
              kStartTempo + " 00 B3 0A 7F 01 93 3C 78 83 60 83 3C 00 00 93 3E 78 83 60 83 3E 00 " +
                  kEnd);
}

TEST(MidiFileImage, PitchShiftSparesThePercussionPart) {
    Song song = songWith({note(3, 60, 12, 9), note(27, 60, 12, 4)});
    EXPECT_EQ(build(song, 12).events(),
              kStartTempo + " 00 99 3C 78 83 60 89 3C 00 83 60 94 30 78 83 60 84 30 00 " + kEnd);
    EXPECT_EQ(build(song, -3).events(),
              kStartTempo + " 00 99 3C 78 83 60 89 3C 00 83 60 94 3F 78 83 60 84 3F 00 " + kEnd);
}

TEST(MidiFileImage, AtOnePositionChangesComeFirstThenNoteOffsThenNoteOns) {
    Song song = songWith({note(3, 60), note(15, 62)});
    addChange(song, ControlChange{15, 90, kTempoChange});
    addChange(song, ControlChange{15, 5 * 16 + 0, kVolumeChange});
    addChange(song, ControlChange{15, 41 * 16 + 0, kInstrumentChange});
    // The three changes share one key; the quicksort's equal-key order gives
    // instrument, tempo, volume.
    EXPECT_EQ(build(song).events(),
              kStartTempo +
                  " 00 90 3C 78 83 60 C0 29 00 FF 51 03 0A 2C 2A 00 B0 07 64 00 80 3C 00 "
                  "00 90 3E 78 83 60 80 3E 00 " +
                  kEnd);
}

TEST(MidiFileImage, ANoteOfLengthZeroIsSwitchedOffAfterItsNoteOn) {
    Song song = songWith({note(3, 60, 0), note(15, 62)});
    EXPECT_EQ(build(song).events(),
              kStartTempo + " 00 90 3C 78 00 80 3C 00 83 60 90 3E 78 83 60 80 3E 00 " + kEnd);
}

TEST(MidiFileImage, DataBytesNeverExceed127) {
    Note loud = note(3, 60);
    loud.velocity = 200;
    loud.modulation = 150;
    Song song = songWith({loud});
    song.partVolumes[0] = 7;
    addChange(song, ControlChange{2, 300 * 16 + 1, kInstrumentChange});
    addChange(song, ControlChange{3, 9 * 16 + 2, kVolumeChange});
    const Built b = build(song);
    EXPECT_FALSE(b.faulted);
    const std::string t = b.track();
    EXPECT_NE(t.find("00 B0 07 7F"), std::string::npos);
    EXPECT_NE(t.find("00 B0 01 7F 01 90 3C 7F"), std::string::npos);
    EXPECT_NE(t.find("C1 7F"), std::string::npos);
    EXPECT_NE(t.find("B2 07 7F"), std::string::npos);
}

TEST(MidiFileImage, ANoteShiftedOutOfTheKeyRangeIsLeftOutWholly) {
    Song song = songWith({note(3, 5), note(15, 60)});
    const Built b = build(song, 12); // key 5 would be -7
    EXPECT_FALSE(b.faulted);
    EXPECT_EQ(b.events(), kStartTempo + " 83 60 90 30 78 83 60 80 30 00 " + kEnd);

    Song high = songWith({note(3, 119), note(15, 60)});
    EXPECT_EQ(build(high, -12).events(), kStartTempo + " 83 60 90 48 78 83 60 80 48 00 " + kEnd);
}

TEST(MidiFileImage, NotesLeftOutByTheTranspositionAreCounted) {
    // Two notes below the range, one above it, and a drum the shift spares.
    Song song = songWith({note(1, 5), note(1, 11), note(13, 60), note(25, 3, 12, 9)});
    MidiImageReport report;
    buildMidiFileImage(song, 12, report);
    EXPECT_EQ(report.notesLeftOut, 2);
    EXPECT_FALSE(report.faulted);
    buildMidiFileImage(song, 0, report);
    EXPECT_EQ(report.notesLeftOut, 0);
    Song high = songWith({note(1, 119)});
    buildMidiFileImage(high, -12, report);
    EXPECT_EQ(report.notesLeftOut, 1);
}

// A song used up by its export (the tool's way) gives the same bytes and
// report as one that stays whole (the window's), on songs of every shape the
// sort meets: chords, equal positions, lengths 0, changes, notes out of order,
// records outside 1..N that hold something.
TEST(MidiFileImage, ASongUsedUpByItsExportGivesTheSameBytes) {
    std::mt19937 random(7);
    for (int round = 0; round < 40; ++round) {
        Song song = songWith({});
        const int notes = round < 5 ? round : static_cast<int>(random() % 3000);
        for (int i = 0; i < notes; ++i) {
            const auto pos = static_cast<int32_t>(1 + random() % (round % 2 ? 50 : 5000));
            song.notes.push_back(note(pos, static_cast<uint8_t>(random() % 120),
                                      static_cast<int32_t>(random() % 30),
                                      static_cast<uint8_t>(random() % 16)));
        }
        song.twiceNoteCount = 2 * notes;
        if (round % 3 == 0)
            std::sort(song.notes.begin() + 1, song.notes.end(),
                      [](auto& a, auto& b) { return a.position < b.position; });
        if (round % 4 == 0) song.notes.push_back(note(1, 60)); // a record beyond N
        if (round % 5 == 1) song.notes[0] = note(3, 50);       // the spare record in use
        for (int c = 0; c < round % 5; ++c)
            addChange(song, ControlChange{static_cast<int32_t>(random() % 3000),
                                          static_cast<int32_t>(60 + random() % 100), kTempoChange});
        SCOPED_TRACE(round);
        const int shift = static_cast<int>(random() % 25) - 12;
        Song whole = song;
        MidiImageReport kept, usedUp;
        const std::string expected = buildMidiFileImage(whole, shift, kept);
        EXPECT_EQ(whole.notes, song.notes); // the window's song stays as it was
        const std::string image = buildMidiFileImage(std::move(song), shift, usedUp);
        EXPECT_EQ(image, expected);
        EXPECT_EQ(usedUp.notesLeftOut, kept.notesLeftOut);
        EXPECT_EQ(usedUp.faulted, kept.faulted);
    }
}

TEST(MidiFileImage, ALongSilenceNeedsNoFault) {
    Song song = songWith({note(kFirstBeatPosition + 40001, 60)});
    const Built b = build(song);
    EXPECT_FALSE(b.faulted);
    EXPECT_EQ(b.events(), kStartTempo + " E1 D4 28 90 3C 78 83 60 80 3C 00 " + kEnd);
}

TEST(MidiFileImage, AnEventThatCannotBeWrittenIsLeftOutAndTheFileStaysReadable) {
    Song song = songWith({note(3, 60), note(15, 62)});
    addChange(song, ControlChange{9, 0, kTempoChange}); // tempo 0: no microseconds for it
    const Built b = build(song);
    EXPECT_TRUE(b.faulted);
    // The tempo's gap goes to the next event written.
    EXPECT_EQ(b.events(),
              kStartTempo + " 00 90 3C 78 83 60 80 3C 00 00 90 3E 78 83 60 80 3E 00 " + kEnd);
    EXPECT_EQ(dumpMidiFile(b.image).find("malformed"), std::string::npos);

    Song badPart = songWith({note(1, 60, 12, 16)});
    EXPECT_TRUE(build(badPart).faulted);
}

TEST(MidiFileImage, TheStartTempoComesFromTheTempoText) {
    Song song = songWith({});
    song.tempoText = "60";
    EXPECT_EQ(build(song).events(), "00 FF 51 03 0F 42 40 " + kEnd);
}

TEST(MidiFileImage, DumpListsEveryEvent) {
    Song song = songWith({note(4, 60)});
    const std::string dump = dumpMidiFile(build(song).image);
    EXPECT_NE(dump.find("MThd 6: format 0, 1 track(s), division 480"), std::string::npos) << dump;
    EXPECT_NE(dump.find("0 00 | FF 51 03 07 A1 20  tempo 500000 us = 120 bpm"), std::string::npos)
        << dump;
    EXPECT_NE(dump.find("40 28 | 90 3C 78  note-on ch 0 key 60 vel 120"), std::string::npos)
        << dump;
    EXPECT_NE(dump.find("520 83 60 | 80 3C 00  note-off ch 0 key 60"), std::string::npos) << dump;
    EXPECT_NE(dump.find("FF 2F 00  end of track"), std::string::npos) << dump;
}

TEST(ExportTempoCheck, TakesNumbersFrom30To600) {
    for (const char* ok : {"30", "600", "120", " 90", "599.9", "30.0"})
        EXPECT_TRUE(isExportTempoValid(ok)) << ok;
    for (const char* bad : {"29", "601", "600.2", "29.9", "", "abc", "12a", "-120"})
        EXPECT_FALSE(isExportTempoValid(bad)) << bad;
}

// The window as the export sees it: the answer of the name box, the messages shown.
class RecordingHost : public SongHost {
public:
    std::string answer;
    std::vector<std::string> messages;
    std::vector<std::string> prompts;
    int refreshes = 0;

    void showMessage(const std::string& text) override { messages.push_back(text); }
    void refreshFileList() override { ++refreshes; }
    std::string inputBox(const std::string& prompt, const std::string& title,
                         const std::string& defaultText) override {
        prompts.push_back(prompt + "|" + title + "|" + defaultText);
        return answer;
    }
};

class ExportMidiFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folders.songFolder =
            std::filesystem::path(::testing::TempDir()) /
            ("vako-export-" +
             std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(m_folders.songFolder);
        std::filesystem::create_directories(m_folders.songFolder);
        m_folders.desktopFolder = m_folders.songFolder / "desktop";
    }
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(m_folders.songFolder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    SongFolders m_folders;
    RecordingHost m_host;
};

TEST_F(ExportMidiFileTest, WritesTheImageUnderTheNameGiven) {
    Song song = songWith({note(1, 60)});
    m_host.answer = "曲";
    const ExportOutcome outcome = ExportMidiFile(song, 0, m_folders, m_host);
    EXPECT_EQ(outcome.status, ExportStatus::Written);
    EXPECT_EQ(outcome.eventsLeftOut, 0);
    EXPECT_EQ(m_host.prompts,
              std::vector<std::string>{"ファイル名を入れてください。(拡張子はいらない)|新規保存|"});
    EXPECT_TRUE(m_host.messages.empty());
    EXPECT_EQ(m_host.refreshes, 1);
    std::string written;
    ASSERT_TRUE(readWholeFile(m_folders.songFolder / "曲.mid", written));
    bool faulted;
    EXPECT_EQ(written, buildMidiFileImage(song, 0, faulted));
}

TEST_F(ExportMidiFileTest, ATempoOutOfRangeIsRefusedBeforeAnythingElse) {
    Song song = songWith({note(1, 60)});
    song.tempoText = "700";
    m_host.answer = "x";
    EXPECT_EQ(ExportMidiFile(song, 0, m_folders, m_host).status, ExportStatus::BadTempo);
    EXPECT_EQ(m_host.messages, std::vector<std::string>{"速さは30から600で選んでください"});
    EXPECT_TRUE(m_host.prompts.empty());
    EXPECT_EQ(song.changes[1].value, 120);
    EXPECT_TRUE(files().empty());
}

TEST_F(ExportMidiFileTest, NoNameWritesNothingAndSaysNothing) {
    Song song = songWith({note(1, 60)});
    EXPECT_EQ(ExportMidiFile(song, 0, m_folders, m_host).status, ExportStatus::Cancelled);
    EXPECT_TRUE(m_host.messages.empty());
    EXPECT_TRUE(files().empty());
}

TEST_F(ExportMidiFileTest, ANameThatWouldLeaveTheFolderWritesNothingAndSaysSo) {
    Song song = songWith({note(1, 60)});
    for (const char* name : {"../escape", "a/b", "..", "a\\b"}) {
        m_host.answer = name;
        m_host.messages.clear();
        EXPECT_EQ(ExportMidiFile(song, 0, m_folders, m_host).status, ExportStatus::BadName) << name;
        EXPECT_EQ(m_host.messages, std::vector<std::string>{msg::badFileName(name)});
    }
    EXPECT_TRUE(files().empty());
    EXPECT_FALSE(std::filesystem::exists(m_folders.songFolder.parent_path() / "escape.mid"));
}

TEST_F(ExportMidiFileTest, WhatNoMidiFileHoldsIsLeftOutCountedAndTheSongKept) {
    Song song = songWith({note(1, 60)});
    song.notes.push_back(note(13, 62));
    song.twiceNoteCount = 4;
    addChange(song, ControlChange{7, 0, kTempoChange});
    addChange(song, ControlChange{9, -5, kVolumeChange});
    const Song before = song;
    m_host.answer = "broken";
    const ExportOutcome outcome = ExportMidiFile(song, 0, m_folders, m_host);
    EXPECT_EQ(outcome.status, ExportStatus::Written);
    EXPECT_EQ(outcome.eventsLeftOut, 2);
    EXPECT_EQ(leftOutText(outcome),
              "MIDIファイルに書けない値（0 のテンポなど）2 個は書き出していません");
    EXPECT_TRUE(m_host.messages.empty());
    EXPECT_EQ(song.notes, before.notes);
    EXPECT_EQ(song.twiceNoteCount, 4);
    EXPECT_EQ(files(), std::vector<std::string>{"broken.mid"});
}

TEST_F(ExportMidiFileTest, AFileThatCannotBeWrittenIsReportedAndTheSongKept) {
    Song song = songWith({note(1, 60)});
    m_host.answer = "out";
    std::filesystem::create_directory(m_folders.songFolder / "out.mid"); // a folder in the way
    EXPECT_EQ(ExportMidiFile(song, 0, m_folders, m_host).status, ExportStatus::WriteFailed);
    ASSERT_EQ(m_host.messages.size(), 1u);
    EXPECT_NE(m_host.messages[0].find("out.mid に保存できませんでした"), std::string::npos);
    EXPECT_EQ(song.twiceNoteCount, 2);
    EXPECT_EQ(m_host.refreshes, 0);
}

// `vako convert` to and from ".mid", as a user runs it.
// Only the tool's messages (stderr) are kept.
ToolRun runToolForMessages(const std::string& args) {
    return runTool(args, " 2>&1 >/dev/null");
}

TEST(ConvertTool, WritesAndReadsMidiFilesWithTheTranspositionGiven) {
    const auto folder = std::filesystem::path(::testing::TempDir()) / "vako-convert-mid";
    std::filesystem::create_directories(folder);
    Song song = songWith({note(3, 60), note(15, 40, 12, 9)});
    ASSERT_EQ(saveSongTo(song, folder / "in.txt"), "");
    const std::string in = "'" + (folder / "in.txt").string() + "'";
    const std::string mid = "'" + (folder / "out.mid").string() + "'";

    ASSERT_EQ(runToolForMessages("convert " + in + " " + mid + " --shift -2").exitCode, 0);
    std::string written;
    ASSERT_TRUE(readWholeFile(folder / "out.mid", written));
    bool faulted;
    EXPECT_EQ(written, buildMidiFileImage(song, -2, faulted));

    ASSERT_EQ(
        runToolForMessages("convert " + mid + " '" + (folder / "back.txt").string() + "'").exitCode,
        0);
    std::string back;
    ASSERT_TRUE(readWholeFile(folder / "back.txt", back));
    EXPECT_NE(back.find("1,3,62,12,"), std::string::npos) << back;

    for (const char* bad : {"13", "-13", "x", "1.5"})
        EXPECT_EQ(runToolForMessages("convert " + in + " " + mid + " --shift " + bad).exitCode, 2)
            << bad;
}

TEST(ConvertTool, NotesLeftOutByTheTranspositionAreReportedAsAPartialWrite) {
    const auto folder = std::filesystem::path(::testing::TempDir()) / "vako-convert-range";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    Song song = songWith({note(1, 5), note(13, 60), note(25, 8)});
    ASSERT_EQ(saveSongTo(song, folder / "low.txt"), "");
    const std::string in = "'" + (folder / "low.txt").string() + "'";
    const ToolRun run =
        runToolForMessages("convert " + in + " '" + (folder / "low.mid").string() + "' --shift 12");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("2 note(s)"), std::string::npos) << run.output;
    EXPECT_TRUE(std::filesystem::exists(folder / "low.mid"));
    EXPECT_EQ(
        runToolForMessages("convert " + in + " '" + (folder / "low.mid").string() + "'").exitCode,
        0);
}

TEST(ConvertTool, ATempoOutOfRangeWritesNoMidiFile) {
    const auto folder = std::filesystem::path(::testing::TempDir()) / "vako-convert-tempo";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    Song song = songWith({note(1, 60)});
    song.tempoText = "20";
    ASSERT_EQ(saveSongTo(song, folder / "slow.txt"), "");
    const ToolRun run = runToolForMessages("convert '" + (folder / "slow.txt").string() + "' '" +
                                           (folder / "slow.mid").string() + "'");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.output, "速さは30から600で選んでください\n");
    EXPECT_FALSE(std::filesystem::exists(folder / "slow.mid"));
}

} // namespace
} // namespace vako
