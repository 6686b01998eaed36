#include "SongTestSupport.h"

#include "song/Messages.h"
#include "song/SongWriter.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>

#include <fstream>
#include <functional>
#include <optional>
#include <tuple>

namespace vako {
namespace {

using test::RecordingSongHost;
using test::TempFolder;

Note note(int32_t pos, uint8_t key, int32_t len = 12, uint8_t part = 0) {
    return Note{pos, key, len, part, 120, 64, 0};
}

void addNotes(Song& song, std::initializer_list<Note> notes) {
    song.notes.assign(1, Note{});
    for (const Note& n : notes) song.notes.push_back(n);
    song.twiceNoteCount = static_cast<int32_t>(2 * notes.size());
}

std::string exampleLines() {
    return test::joinLines(test::twoNoteSongLines());
}

TEST(SongWriterTest, TwoNoteSongGivesTheTwentyOneLineFile) {
    Song song;
    addNotes(song, {note(1, 60), note(13, 64)});
    song.copyrightText.clear();
    song.sequenceNameText.clear();
    EXPECT_EQ(formatSongText(song), exampleLines());
}

TEST(SongWriterTest, FileIsShiftJisWithCrLfAndNoByteOrderMark) {
    const std::string bytes = formatSongText(Song{});
    EXPECT_EQ(bytes.substr(0, 9), "\"vako6\"\r\n");
    // "ＣＣの数" in code page 932.
    EXPECT_NE(bytes.find("\"\x82\x62\x82\x62\x82\xCC\x90\x94\"\r\n"), std::string::npos);
    EXPECT_EQ(bytes.find('\n'), bytes.find('\r') + 1);
    // With the start texts the names line holds them.
    EXPECT_NE(bytes.find(toShiftJis("\"著作権名\",\"曲名\"\r\n")), std::string::npos);
    // Without notes the note label is followed at once by the tempo.
    const std::string text = fromShiftJis(bytes);
    EXPECT_NE(text.find("\"データ数×２\"\r\n0\r\n"), std::string::npos);
    EXPECT_NE(text.find("揺れ\"\r\n\"曲開始時のテンポ\"\r\n"), std::string::npos);
}

TEST(SongWriterTest, StrengthBalanceAndModulationAreWrittenInTheirSteps) {
    Song song;
    addNotes(song, {Note{1, 60, 12, 3, 119, 64, 0}, Note{2, 61, 12, 3, 125, 128, 127}});
    const std::string text = fromShiftJis(formatSongText(song));
    EXPECT_NE(text.find("1,1,60,12,\"   \",3,19,4,0\r\n"), std::string::npos);
    EXPECT_NE(text.find("2,2,61,12,\"   \",3,20,8,2\r\n"), std::string::npos);
}

TEST(SongWriterTest, TempoTextIsTheMasterOfTheStartTempoUnlessItIsNoNumber) {
    // Tempo text, whether it reads, the start tempo written.
    for (const auto& [text, tempo] : {std::pair{"96", 96}, {"", 140}}) {
        Song song;
        song.changes[1].value = 140;
        song.tempoText = text;
        EXPECT_EQ(startTempoOf(song), tempo) << text;
        const std::string file = fromShiftJis(formatSongText(song));
        const std::string t = std::to_string(tempo);
        EXPECT_NE(file.find("\"曲開始時のテンポ\"\r\n\"" + t + "\"\r\n"), std::string::npos);
        EXPECT_NE(file.find("\r\n1,0," + t + ",1\r\n"), std::string::npos);
    }
}

TEST(SongWriterTest, DoubleQuoteInANameIsWrittenFullWidth) {
    Song song;
    song.copyrightText = "a\"b";
    song.sequenceNameText = "";
    const std::string text = fromShiftJis(formatSongText(song));
    EXPECT_NE(text.find("\"a＂b\",\"\"\r\n"), std::string::npos);
}

TEST(SaveSongTest, WritesNameDotTxtIntoTheSongFolderAndTellsTheWindow) {
    TempFolder folder;
    Song song;
    addNotes(song, {note(1, 60), note(13, 64)});
    song.copyrightText.clear();
    song.sequenceNameText.clear();
    song.fileName = "曲";
    RecordingSongHost host;
    test::writeBytes(folder / "曲.txt", "old"); // replaced, with no temporary file left behind
    EXPECT_EQ(SaveSong(song, {folder.path(), folder / "desk"}, host), SaveStatus::Written);
    EXPECT_EQ(test::readBytes(folder / "曲.txt"), exampleLines());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
    EXPECT_EQ(host.confirmations, std::vector<std::string>{"曲"});
    EXPECT_EQ(host.fileListRefreshes, 1);
}

TEST(SaveSongTest, EmptyNameWritesNothingAndOnlyRefreshesTheList) {
    TempFolder folder;
    Song song;
    RecordingSongHost host;
    EXPECT_EQ(SaveSong(song, {folder.path(), folder.path()}, host), SaveStatus::NothingWritten);
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
    EXPECT_EQ(host.fileListRefreshes, 1);
    EXPECT_TRUE(host.messages.empty());
}

TEST(SaveSongTest, DesktopOptionWritesIntoTheDesktopFolder) {
    TempFolder folder;
    Song song;
    song.fileName = "a";
    RecordingSongHost host;
    EXPECT_EQ(SaveSong(song, {folder / "songs", folder / "Desktop", true}, host),
              SaveStatus::Written);
    EXPECT_TRUE(std::filesystem::exists(folder / "Desktop" / "a.txt"));
    EXPECT_FALSE(std::filesystem::exists(folder / "songs" / "a.txt"));
}

TEST(SaveSongTest, NamesThatWouldLeaveTheFolderWriteNothing) {
    TempFolder folder;
    std::filesystem::create_directories(folder / "songs");
    for (const std::string& name :
         std::vector<std::string>{"../x", "a/b", "a\\b", "..", "a\"b", std::string("a\x01", 2)}) {
        Song song;
        song.fileName = name;
        RecordingSongHost host;
        EXPECT_EQ(SaveSong(song, {folder / "songs", folder / "songs"}, host), SaveStatus::BadName)
            << name;
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0], msg::badFileName(name));
    }
    EXPECT_TRUE(std::filesystem::is_empty(folder / "songs"));
    EXPECT_FALSE(std::filesystem::exists(folder / "x.txt"));
}

TEST(SaveSongTest, FailedWriteLeavesWhatWasThereAndSaysSo) {
    // A folder in the way of the file: the rename over it fails, even for root.
    TempFolder folder;
    std::filesystem::create_directories(folder / "old.txt");
    test::writeBytes(folder / "old.txt" / "inside", "kept");
    Song song;
    song.fileName = "old";
    RecordingSongHost host;
    EXPECT_EQ(SaveSong(song, {folder.path(), folder.path()}, host), SaveStatus::WriteFailed);
    EXPECT_EQ(test::readBytes(folder / "old.txt" / "inside"), "kept");
    EXPECT_EQ(host.messages.size(), 1u);
    EXPECT_TRUE(host.confirmations.empty());
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);

    // A missing folder is a failed write too, not a crash.
    host.messages.clear();
    EXPECT_EQ(SaveSong(song, {folder / "no" / "such", folder.path()}, host),
              SaveStatus::WriteFailed);
    EXPECT_EQ(host.messages.size(), 1u);
}

// Runs `body` in a child process that sees `folder` mounted read-only (in a
// mount namespace of its own) and gives back what it returned; nullopt when
// this system does not let a process do that.
std::optional<std::string> inReadOnlyFolder(const std::filesystem::path& folder,
                                            const std::function<std::string()>& body) {
    int out[2];
    if (pipe(out) != 0) return std::nullopt;
    const pid_t child = fork();
    if (child == 0) {
        close(out[0]);
        const uid_t uid = geteuid();
        const gid_t gid = getegid();
        // Without the right to mount, a user namespace gives it (uid and gid mapped to themselves).
        if (uid != 0) {
            if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) _exit(77);
            std::ofstream("/proc/self/setgroups") << "deny";
            std::ofstream("/proc/self/uid_map") << uid << ' ' << uid << " 1";
            std::ofstream("/proc/self/gid_map") << gid << ' ' << gid << " 1";
        } else if (unshare(CLONE_NEWNS) != 0) {
            _exit(77);
        }
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
            _exit(77);
        const std::string result = body();
        (void)!write(out[1], result.data(), result.size());
        _exit(0);
    }
    close(out[1]);
    std::string result;
    char buffer[4096];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) result.append(buffer, n);
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return result;
}

TEST(SaveSongTest, AReadOnlyFileSystemIsToldAsSuchNotAsAMissingPermission) {
    TempFolder folder;
    test::writeBytes(folder / "old.txt", "kept");
    const auto messages = inReadOnlyFolder(folder.path(), [&] {
        std::string said;
        for (const char* name : {"old", "new"}) {
            Song song;
            song.fileName = name;
            RecordingSongHost host;
            SaveSong(song, {folder.path(), folder.path()}, host);
            for (const std::string& m : host.messages) said += m + "\n";
        }
        return said;
    });
    if (!messages) GTEST_SKIP() << "this system lets no test mount a folder read-only";
    EXPECT_EQ(
        *messages,
        msg::cannotWrite((folder / "old.txt").string(), "読み取り専用のファイルシステムです") +
            "\n" +
            msg::cannotWrite((folder / "new.txt").string(), "読み取り専用のファイルシステムです") +
            "\n");
    EXPECT_EQ(test::readBytes(folder / "old.txt"), "kept");
}

TEST(ErrorDumpTest, WritesErrTxtWithoutEverReplacingAFileAndIsNoSave) {
    TempFolder folder;
    Song song;
    addNotes(song, {note(1, 60), note(5, 62), note(9, 64)});
    song.fileName = "mine";
    RecordingSongHost host;
    EXPECT_EQ(errorDump(song, {folder.path(), folder.path()}, host), folder / "err.txt");
    EXPECT_EQ(host.messages, std::vector<std::string>{msg::errorSaved("err.txt")});
    EXPECT_EQ(test::readBytes(folder / "err.txt"), formatSongText(song));
    EXPECT_EQ(song.fileName, "mine") << "the song keeps its name";

    // A user's err.txt (or an older dump) is never replaced: the next free
    // name is taken, and the message names it.
    test::writeBytes(folder / "err-2.txt", "the user's own notes");
    host.messages.clear();
    EXPECT_EQ(errorDump(song, {folder.path(), folder.path()}, host), folder / "err-3.txt");
    EXPECT_EQ(host.messages, std::vector<std::string>{msg::errorSaved("err-3.txt")});
    EXPECT_EQ(test::readBytes(folder / "err-2.txt"), "the user's own notes");
    EXPECT_EQ(test::readBytes(folder / "err-3.txt"), formatSongText(song));
}

TEST(SaveSongTest, AnotherFileOfTheNameIsReplacedOnlyWhenTheHostAgrees) {
    TempFolder folder;
    Song song;
    addNotes(song, {note(1, 60)});
    song.fileName = "tune";
    test::writeBytes(folder / "tune.txt", "another song");
    struct KeepingHost : RecordingSongHost {
        std::vector<std::filesystem::path> asked;
        bool mayReplaceFile(const std::filesystem::path& path) override {
            asked.push_back(path);
            return false;
        }
    } host;
    EXPECT_EQ(SaveSong(song, {folder.path(), folder.path()}, host), SaveStatus::NotReplaced);
    EXPECT_EQ(host.asked, std::vector<std::filesystem::path>{folder / "tune.txt"});
    EXPECT_EQ(test::readBytes(folder / "tune.txt"), "another song");
}

} // namespace
} // namespace vako
