#include "SongTestSupport.h"

#include "midi/MidiImport.h"
#include "song/Messages.h"
#include "song/OpenFile.h"
#include "song/SongReader.h"

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <thread>
#include <tuple>
#include <unistd.h>

#include <gtest/gtest.h>

namespace vako {
namespace {

using test::RecordingSongHost;
using test::TempFolder;

std::vector<std::string> v6(const std::vector<std::string>& notes, int count) {
    std::vector<std::string> lines = test::v6Head(count);
    lines.insert(lines.end(), notes.begin(), notes.end());
    for (const std::string& line : test::v6Tail()) lines.push_back(line);
    return lines;
}

std::vector<int> positions(const Song& song) {
    std::vector<int> out;
    for (int i = 1; i <= song.noteCount(); ++i) out.push_back(song.notes[i].position);
    return out;
}

std::vector<int> keys(const Song& song) {
    std::vector<int> out;
    for (int i = 1; i <= song.noteCount(); ++i) out.push_back(song.notes[i].key);
    return out;
}

// What a load that fails must leave as it was: every record, setting and text.
auto contentOf(const Song& s) {
    return std::tie(s.notes, s.twiceNoteCount, s.changes, s.changeCount, s.partPrograms,
                    s.partVolumes, s.grid, s.quartersPerBar, s.tempoText, s.copyrightText,
                    s.sequenceNameText, s.songName, s.fileName);
}

// A host that imports MIDI files, as the window and the tool do.
struct ImportingRecordingHost : RecordingSongHost {
    MidiFileReading readMidiFile(Song& song, std::string_view bytes) override {
        return readMidiFileInto(song, bytes);
    }
};

class OpenFileTest : public ::testing::Test {
protected:
    std::string file(const std::string& name, const std::vector<std::string>& lines) {
        const auto path = m_folder / name;
        test::writeBytes(path, test::joinLines(lines));
        return path.string();
    }
    TempFolder m_folder;
    RecordingSongHost m_host;
};

TEST_F(OpenFileTest, LoadSetsCaptionControlsProgramsPageAndRedraws) {
    Song song;
    const std::string path = file("a b.txt", v6({"1,1,60,12,\"   \",0,20,4,0"}, 2));
    EXPECT_EQ(openFile(song, path, m_host), OpenStatus::Loaded);
    EXPECT_EQ(m_host.captions.back(), "ヴァコヴァコMIDI ～ " + path);
    EXPECT_FALSE(m_host.reverseChecked);
    EXPECT_EQ(m_host.page, 0);
    EXPECT_EQ(m_host.redraws, 1);
    EXPECT_EQ(song.tempoText, "120");
    // The window hears once that the parts' programs and volumes are the loaded ones.
    EXPECT_EQ(m_host.partSettingsLoads, 1);
    EXPECT_EQ(song.changes[song.changeCount + 1].position, kEndMarkerPos);
}

TEST_F(OpenFileTest, ChordStoredInDescendingPitchComesBackAscending) {
    Song song;
    openFile(song,
             file("c.txt", v6({"1,1,67,12,\"   \",0,20,4,0", "2,1,64,12,\"   \",0,20,4,0",
                               "3,1,60,12,\"   \",0,20,4,0", "4,13,50,12,\"   \",0,20,4,0"},
                              8)),
             m_host);
    EXPECT_EQ(keys(song), (std::vector<int>{60, 64, 67, 50}));
}

TEST_F(OpenFileTest, EveryReadFailureNamesTheFileAndWhy) {
    ImportingRecordingHost host;
    // Each failure leaves the song as it was and redraws nothing.
    const auto reasonOf = [&](const std::string& path) {
        Song song;
        song.notes = {Note{}, Note{5, 70, 12, 0, 120, 64, 0}};
        song.twiceNoteCount = 2;
        EXPECT_EQ(openFile(song, path, host), OpenStatus::ReadFailure) << path;
        EXPECT_EQ(positions(song), std::vector<int>{5}) << path;
        const std::string head = "そのファイルは読み込めません\n" + path + "（";
        if (host.messages.size() != 1 || host.messages[0].rfind(head, 0) != 0)
            return std::string("?");
        const std::string text = host.messages[0];
        host.messages.clear();
        return text.substr(head.size(), text.size() - head.size() - std::string("）").size());
    };
    EXPECT_EQ(reasonOf((m_folder / "none.txt").string()), "ファイルがありません");
    EXPECT_EQ(reasonOf((m_folder / "none" / "a.mid").string()), "ファイルがありません");
    std::filesystem::create_directory(m_folder / "folder.txt");
    EXPECT_EQ(reasonOf((m_folder / "folder.txt").string()), "フォルダです");

    std::vector<std::string> lines = v6({"1,1,60,12,\"   \",0,20,4,0"}, 2);
    lines[8] = "1,1,sixty,12,\"   \",0,20,4,0";
    EXPECT_EQ(reasonOf(file("bad.txt", lines)), "9 行目の値が読めません");
    lines = v6({"1,1,60,12,\"   \",0,20,4,0", "2,13,64,12,\"   \",0,20,4,0"}, 4);
    lines.resize(9); // ends in the middle of the notes
    EXPECT_EQ(reasonOf(file("cut.txt", lines)), "ファイルが 9 行目で途切れています");

    EXPECT_EQ(reasonOf(file("text.mid", {"\"vako6\""})), "MIDIファイルではありません");
    // A header that announces a track the file does not hold.
    test::writeBytes(m_folder / "cut.mid", std::string("MThd\0\0\0\6\0\0\0\1\0\x60", 14));
    EXPECT_EQ(reasonOf((m_folder / "cut.mid").string()), "14 バイト目のあたりで読めなくなりました");
    // A note-on for key 188.
    test::writeBytes(m_folder / "key.mid", std::string("MThd\0\0\0\6\0\0\0\1\0\x60"
                                                       "MTrk\0\0\0\4\0\x90\xBC\x64",
                                                       26));
    EXPECT_EQ(reasonOf((m_folder / "key.mid").string()), "22 バイト目のあたりで読めなくなりました");

    const std::string locked = file("locked.txt", v6({}, 0));
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    if (geteuid() != 0) { // the superuser reads it all the same
        EXPECT_EQ(reasonOf(locked), "読む権限がありません");
    }
    EXPECT_EQ(host.redraws, 0);
}

TEST_F(OpenFileTest, TooLargeAFileIsRefusedBeforeItIsRead) {
    // Sparse: the size is there, the disk space is not.
    const std::filesystem::path big = m_folder / "big.txt";
    test::writeBytes(big, "\"vako6\"\r\n");
    std::error_code ec;
    std::filesystem::resize_file(big, kMaxSongFileBytes + 1, ec);
    if (ec)
        GTEST_SKIP() << "this file system cannot hold a sparse file of that size: " << ec.message();
    Song song;
    EXPECT_EQ(openFile(song, big.string(), m_host), OpenStatus::ReadFailure);
    EXPECT_EQ(m_host.messages,
              std::vector<std::string>{
                  "そのファイルは読み込めません\n" + big.string() + "（" +
                  msg::reasonTooLarge(kMaxSongFileBytes + 1, kMaxSongFileBytes) + "）"});

    // A file that does not start like a song is no song, whatever its size:
    // only its start is read.
    test::writeBytes(big, "\"hello\"\r\n");
    std::filesystem::resize_file(big, kMaxSongFileBytes + 1, ec);
    m_host.messages.clear();
    EXPECT_EQ(openFile(song, big.string(), m_host), OpenStatus::WrongMagic);
    EXPECT_EQ(m_host.messages, std::vector<std::string>{msg::kWrongMagic + "\n" + big.string()});
}

// A named pipe that nobody writes. Should a reader wait on it, a helper opens
// its other end and lets it go at once, so that such a reader makes the test
// fail instead of hang.
class NamedPipe {
public:
    explicit NamedPipe(const std::filesystem::path& path) : m_path(path) {
        m_made = mkfifo(path.c_str(), 0600) == 0;
        m_helper = std::thread([this] {
            while (!m_done) {
                const int fd = open(m_path.c_str(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) close(fd); // only opens while a reader waits
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
    }
    ~NamedPipe() {
        m_done = true;
        m_helper.join();
    }
    bool made() const { return m_made; }

private:
    std::filesystem::path m_path;
    bool m_made = false;
    std::atomic<bool> m_done{false};
    std::thread m_helper;
};

TEST_F(OpenFileTest, APipeOrADeviceNamedLikeASongIsRefusedWithoutWaiting) {
    const std::vector<std::string> names = {"pipe.txt", "pipe.mid", "pipe.jpg"};
    std::vector<std::unique_ptr<NamedPipe>> pipes;
    for (const std::string& name : names) {
        pipes.push_back(std::make_unique<NamedPipe>(m_folder / name));
        ASSERT_TRUE(pipes.back()->made()) << name;
    }
    std::filesystem::create_symlink("/dev/zero", m_folder / "zero.mid");
    Song song;
    song.notes = {Note{}, Note{5, 70, 12, 0, 120, 64, 0}};
    song.twiceNoteCount = 2;
    for (const std::string name : {"pipe.txt", "pipe.mid", "pipe.jpg", "zero.mid"}) {
        const std::string path = (m_folder / name).string();
        m_host.messages.clear();
        EXPECT_EQ(openFile(song, path, m_host), OpenStatus::ReadFailure) << name;
        EXPECT_EQ(m_host.messages,
                  std::vector<std::string>{msg::cannotRead(path, "通常のファイルではありません")});
        EXPECT_EQ(positions(song), std::vector<int>{5}) << name;
    }
    EXPECT_TRUE(m_host.tiledPictures.empty());
}

TEST_F(OpenFileTest, DotMidiIsAMidiFileAndItsSongIsNamedWithoutIt) {
    // Written by a program that names MIDI files ".midi": one note on C4.
    const std::string image("MThd\0\0\0\6\0\0\0\1\0\x60"
                            "MTrk\0\0\0\x0C\0\x90\x3C\x64\x60\x80\x3C\0\0\xFF\x2F\0",
                            34);
    for (const std::string name : {"score.midi", "SCORE.MIDI"}) {
        const std::string path = (m_folder / name).string();
        test::writeBytes(path, image);
        Song song;
        ImportingRecordingHost host;
        EXPECT_EQ(openFile(song, path, host), OpenStatus::Loaded) << name;
        EXPECT_EQ(keys(song), std::vector<int>{60}) << name;
    }
    EXPECT_EQ(songNameFromPath("/music/score.midi"), "score");
    EXPECT_EQ(songNameFromPath("SCORE.MIDI"), "SCORE");
    EXPECT_EQ(fileKindOf("a.midi"), FileKind::MidiFile);
    EXPECT_EQ(fileKindOf("a.MID"), FileKind::MidiFile);
    EXPECT_EQ(fileKindOf("a.Midi"), FileKind::Other);
    EXPECT_EQ(fileKindOf("a.midi.txt"), FileKind::SongText);
}

TEST_F(OpenFileTest, ASongTooLargeForTheMemoryIsRefusedBeforeItIsReadAndTheOpenSongKept) {
    // 1,000 notes take 32,000 bytes with their undo copy; the MIDI file 34.
    std::vector<std::string> notes;
    for (int i = 1; i <= 1000; ++i)
        notes.push_back(std::to_string(i) + "," + std::to_string(i * 3) + ",60,3,\"   \",0,20,4,0");
    const std::string songPath = file("big.txt", v6(notes, 2000));
    const std::string midiPath = (m_folder / "big.mid").string();
    test::writeBytes(midiPath, std::string("MThd\0\0\0\6\0\0\0\1\0\x60"
                                           "MTrk\0\0\0\x0C\0\x90\x3C\x64\x60\x80\x3C\0\0\xFF\x2F\0",
                                           34));
    Song song;
    song.notes = {Note{}, Note{5, 70, 12, 0, 120, 64, 0}};
    song.twiceNoteCount = 2;
    song.tempoText = "90";
    song.partPrograms[0] = 40;
    const Song before = song;
    ImportingRecordingHost host;
    for (const auto& [path, limit] :
         {std::pair{songPath, uint64_t{16000}}, std::pair{midiPath, uint64_t{20}}}) {
        host.messages.clear();
        EXPECT_EQ(openFile(song, path, host, limit), OpenStatus::ReadFailure) << path;
        EXPECT_TRUE(contentOf(song) == contentOf(before)) << path;
        EXPECT_EQ(host.messages, std::vector<std::string>{msg::cannotRead(
                                     path, "メモリが足りません。曲は読み込む前のままです")});
    }
    EXPECT_EQ(openFile(song, songPath, host, uint64_t{64000}), OpenStatus::Loaded);
    EXPECT_EQ(song.noteCount(), 1000);

    // A header that claims more notes than its file can hold is no reason:
    // the file ends early, as it does with memory to spare.
    std::vector<std::string> cut = v6({"1,1,60,12,\"   \",0,20,4,0"}, 2000000000);
    cut.resize(9);
    host.messages.clear();
    EXPECT_EQ(openFile(song, file("claims.txt", cut), host, uint64_t{16000}),
              OpenStatus::ReadFailure);
    EXPECT_EQ(host.messages,
              std::vector<std::string>{msg::cannotRead((m_folder / "claims.txt").string(),
                                                       "ファイルが 9 行目で途切れています")});
}

TEST(SongFileStart, OnlyAStartThatCanBeAMagicIsReadFurther) {
    EXPECT_TRUE(mayBeSongText("\"vako6\"\r\n"));
    EXPECT_TRUE(mayBeSongText("  vako1,"));
    EXPECT_TRUE(mayBeSongText("\"vak")); // a file this short is read and judged whole
    EXPECT_TRUE(mayBeSongText("   "));
    EXPECT_FALSE(mayBeSongText("\"vako7\""));
    EXPECT_FALSE(mayBeSongText("MThd"));
    EXPECT_FALSE(mayBeSongText("\xef\xbb\xbf\"vako6\""));
}

// A host whose redraw runs out of memory, as a load of a huge song might.
class OutOfMemoryHost : public RecordingSongHost {
public:
    void redrawAfterLoad() override { throw std::bad_alloc(); }
};

TEST_F(OpenFileTest, ALoadThatRunsOutOfMemoryKeepsTheSongAndSaysSo) {
    Song song;
    song.notes = {Note{}, Note{5, 70, 12, 0, 120, 64, 0}};
    song.twiceNoteCount = 2;
    song.songName = "kept";
    song.tempoText = "90";
    song.partPrograms[0] = 40;
    const Song before = song;
    OutOfMemoryHost host;
    host.mergeChecked = true;
    const std::string path = file("new.txt", v6({"1,1,60,12,\"   \",0,20,4,0"}, 2));
    EXPECT_EQ(openFile(song, path, host), OpenStatus::ReadFailure);
    EXPECT_TRUE(contentOf(song) == contentOf(before));
    EXPECT_EQ(host.messages,
              std::vector<std::string>{"そのファイルは読み込めません\n" + path +
                                       "（メモリが足りません。曲は読み込む前のままです）"});
    // The band controls show the kept song again.
    EXPECT_EQ(host.partSettingsLoads, 2);
}

TEST_F(OpenFileTest, WhatIsNoSongLeavesTheSongAsItWas) {
    const auto songOfOneNote = [] {
        Song song;
        song.notes = {Note{}, Note{5, 70, 12, 0, 120, 64, 0}};
        song.twiceNoteCount = 2;
        song.partPrograms[3] = 40;
        song.tempoText = "90";
        return song;
    };
    // A text that is no song: said so; the song, its settings and the
    // window's caption stay.
    Song song = songOfOneNote();
    EXPECT_EQ(openFile(song, file("x.txt", {"\"hello\""}), m_host), OpenStatus::WrongMagic);
    EXPECT_EQ(m_host.messages,
              std::vector<std::string>{msg::kWrongMagic + "\n" + (m_folder / "x.txt").string()});
    EXPECT_EQ(song.notes, songOfOneNote().notes);
    EXPECT_EQ(song.partPrograms[3], 40);
    EXPECT_EQ(song.tempoText, "90");
    EXPECT_EQ(m_host.redraws, 0);
    EXPECT_TRUE(m_host.captions.empty());

    // The extension is matched exactly: ".Txt" is no song, and nothing is said.
    m_host.messages.clear();
    song = songOfOneNote();
    EXPECT_EQ(openFile(song, file("song.Txt", v6({"1,1,60,12,\"   \",0,20,4,0"}, 2)), m_host),
              OpenStatus::NotASong);
    EXPECT_EQ(song.notes, songOfOneNote().notes);
    EXPECT_TRUE(m_host.messages.empty());

    // A picture is tiled on the staff, and clears the song (a picture named
    // on the command line starts an empty song).
    song = songOfOneNote();
    const std::string path = (m_folder / "wall.JPG").string();
    test::writeBytes(path, "not really a picture");
    EXPECT_EQ(openFile(song, path, m_host), OpenStatus::Picture);
    EXPECT_EQ(m_host.tiledPictures, std::vector<std::string>{path});
    EXPECT_EQ(song.twiceNoteCount, 0);
    m_host.pictureLoads = false;
    song = songOfOneNote();
    EXPECT_EQ(openFile(song, path, m_host), OpenStatus::ReadFailure);
    EXPECT_EQ(song.notes, songOfOneNote().notes);
}

TEST(FileKindTest, PicturesOfEveryReadFormatInAnyCaseSongsAndMidiByTheirEndings) {
    for (const char* picture : {"a.bmp", "a.JPG", "a.jpeg", "dir/a.PNG", "a.gif", "C:\\x\\a.Jpg"})
        EXPECT_EQ(fileKindOf(picture), FileKind::Picture) << picture;
    EXPECT_EQ(fileKindOf("a.txt"), FileKind::SongText);
    EXPECT_EQ(fileKindOf("a.TXT"), FileKind::SongText);
    EXPECT_EQ(fileKindOf("a.mid"), FileKind::MidiFile);
    for (const char* other : {"a.Txt", "a.wav", "png", "a.png.doc", "a", ""})
        EXPECT_EQ(fileKindOf(other), FileKind::Other) << other;
}

TEST_F(OpenFileTest, VolumesComeBackNonNegativeAndWithinTheVolumeSteps) {
    std::vector<std::string> lines = v6({}, 0);
    lines[6] = "-3,5,5,5,5,5,5,5,5,5,5,5,5,5,5,-32768";
    Song song;
    EXPECT_EQ(openFile(song, file("v.txt", lines), m_host), OpenStatus::Loaded);
    EXPECT_EQ(song.partVolumes[0], 3);
    EXPECT_EQ(song.partVolumes[15], 6);
}

TEST_F(OpenFileTest, MergeKeepsTheOpenSongAndPutsTheFilesNotesFirstAtEqualPositions) {
    Song song;
    song.notes = {Note{}, Note{1, 70, 12, 0, 120, 64, 0}, Note{25, 71, 12, 0, 120, 64, 0}};
    song.twiceNoteCount = 4;
    song.copyrightText = "old copyright";
    song.sequenceNameText = "old name";
    song.changeCount = 2;
    song.changes = {ControlChange{}, ControlChange{0, 100, kTempoChange},
                    ControlChange{30, 60, kTempoChange}, ControlChange{kEndMarkerPos, 0, 0}};
    m_host.mergeChecked = true;
    openFile(song,
             file("m.txt", v6({"1,13,60,12,\"   \",0,20,4,0", "2,25,61,12,\"   \",0,20,4,0"}, 4)),
             m_host);
    EXPECT_EQ(positions(song), (std::vector<int>{1, 13, 25, 25}));
    EXPECT_EQ(keys(song), (std::vector<int>{70, 60, 61, 71}));
    EXPECT_EQ(song.twiceNoteCount, 8);
    EXPECT_EQ(song.changeCount, 2);
    EXPECT_EQ(song.changes[2].value, 60);
    EXPECT_EQ(song.copyrightText, "old copyright");
    EXPECT_EQ(song.sequenceNameText, "old name");
}

TEST_F(OpenFileTest, AFailedMergeLeavesTheOpenSongExactlyAsItWas) {
    Song song;
    song.notes = {Note{}, Note{1, 70, 12, 3, 120, 64, 0}, Note{25, 71, 12, 0, 60, 0, 50}};
    song.twiceNoteCount = 4;
    song.notes.push_back(Note{49, 72, 6, 0, 120, 64, 0});
    song.twiceNoteCount = 6;
    song.changes = {ControlChange{}, ControlChange{0, 90, kTempoChange},
                    ControlChange{13, 40 * 16 + 3, kInstrumentChange},
                    ControlChange{kEndMarkerPos, 0, 0}};
    song.changeCount = 2;
    song.partPrograms[3] = 40;
    song.partVolumes[3] = 2;
    song.grid = 5;
    song.quartersPerBar = 3;
    song.tempoText = "95";
    song.copyrightText = "old copyright";
    song.sequenceNameText = "old name";
    song.songName = "open";
    const Song before = song;
    m_host.mergeChecked = true;

    std::vector<std::string> cut =
        v6({"1,1,60,12,\"   \",0,20,4,0", "2,13,64,12,\"   \",0,20,4,0"}, 4);
    cut.resize(9); // ends in the middle of the notes
    const std::string failing[] = {
        file("cut.txt", cut),
        file("cut2.txt", {"\"vako2\"", "\"x\"", "4", "0,0,0", "\"x\""}),
        file("cut.mid", {"MThd"}),
        (m_folder / "none.txt").string(),
    };
    for (const std::string& path : failing) {
        m_host.messages.clear();
        EXPECT_EQ(openFile(song, path, m_host), OpenStatus::ReadFailure) << path;
        ASSERT_EQ(m_host.messages.size(), 1u) << path;
        EXPECT_TRUE(m_host.messages[0].starts_with(msg::kCannotRead + "\n" + path)) << path;
        EXPECT_TRUE(contentOf(song) == contentOf(before)) << path;
    }
    // Neither the band controls nor the staff were touched.
    EXPECT_EQ(m_host.partSettingsLoads, 0);
    EXPECT_EQ(m_host.redraws, 0);
}

TEST(SongNameTest, DropsTheExtensionAndTheFolder) {
    EXPECT_EQ(songNameFromPath("song.txt"), "song");
    EXPECT_EQ(songNameFromPath("C:\\music\\a b.txt"), "a b");
    EXPECT_EQ(songNameFromPath("/home/u/曲.mid"), "曲");
    EXPECT_EQ(songNameFromPath("ab"), "");
}

} // namespace
} // namespace vako
