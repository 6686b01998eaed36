// Saving over existing files on a real file system: what the old file was
// (its permissions, its owner, a link to it) survives the save, and nothing of
// an interrupted save stays behind.
#include "platform/AtomicFile.h"
#include "song/SongTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace vako {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

std::string contents(const fs::path& path) {
    std::string bytes;
    EXPECT_TRUE(readWholeFile(path, bytes)) << path;
    return bytes;
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct stat statOf(const fs::path& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st;
}

TEST(AtomicFile, SavingOverAFileKeepsItsPermissionsAndOwner) {
    TempFolder folder;
    const fs::path song = folder / "private.txt";
    test::writeBytes(song, "old");
    ASSERT_EQ(chmod(song.c_str(), 0600), 0);
    const bool superuser = geteuid() == 0;
    // Only the superuser can give a file away; then the save must give it back.
    if (superuser) {
        ASSERT_EQ(chown(song.c_str(), 4321, 4321), 0);
    }

    ASSERT_TRUE(writeFileAtomically(song, "new").ok);
    EXPECT_EQ(contents(song), "new");
    const struct stat st = statOf(song);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    if (superuser) {
        EXPECT_EQ(st.st_uid, 4321u);
        EXPECT_EQ(st.st_gid, 4321u);
    }

    // A new file is an ordinary document, as the umask allows.
    const mode_t mask = umask(022);
    ASSERT_TRUE(writeFileAtomically(folder / "new.txt", "x").ok);
    umask(mask);
    EXPECT_EQ(statOf(folder / "new.txt").st_mode & 07777, 0644u);
}

TEST(AtomicFile, AReadOnlyFileIsRefusedAndKept) {
    TempFolder folder;
    const fs::path song = folder / "keep.txt";
    test::writeBytes(song, "old");
    ASSERT_EQ(chmod(song.c_str(), 0444), 0);
    const WriteOutcome outcome = writeFileAtomically(song, "new");
    EXPECT_FALSE(outcome.ok);
    EXPECT_FALSE(outcome.error.empty());
    EXPECT_EQ(contents(song), "old");
    EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{"keep.txt"});
}

TEST(AtomicFile, SavingThroughASymbolicLinkReplacesItsTargetAndKeepsTheLink) {
    TempFolder folder;
    fs::create_directory(folder / "real");
    test::writeBytes(folder / "real" / "song.txt", "old");
    fs::create_symlink(fs::path("real") / "song.txt", folder / "link.txt");
    // A link to a link, and a link to a file that does not exist yet.
    fs::create_symlink("link.txt", folder / "link2.txt");
    fs::create_symlink(fs::path("real") / "later.txt", folder / "dangling.txt");

    ASSERT_TRUE(writeFileAtomically(folder / "link2.txt", "new").ok);
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(folder / "link.txt")));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(folder / "link2.txt")));
    EXPECT_EQ(contents(folder / "real" / "song.txt"), "new");

    ASSERT_TRUE(writeFileAtomically(folder / "dangling.txt", "born").ok);
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(folder / "dangling.txt")));
    EXPECT_EQ(contents(folder / "real" / "later.txt"), "born");
}

TEST(AtomicFile, NamesUpToTheLongestTheFileSystemAllowsSave) {
    TempFolder folder;
    for (size_t length = 248; length <= 255; ++length) {
        const std::string name = std::string(length - 4, 'a') + ".txt";
        EXPECT_TRUE(writeFileAtomically(folder / name, "one").ok) << length;
        EXPECT_TRUE(writeFileAtomically(folder / name, "two").ok) << length;
        EXPECT_EQ(contents(folder / name), "two");
    }
    // The save box's own limit leaves room for ".txt" within those 255 bytes.
    EXPECT_TRUE(isUsableFileName(std::string(251, 'a')));
    EXPECT_FALSE(isUsableFileName(std::string(252, 'a')));
}

TEST(AtomicFile, StartupCleaningRemovesOnlyTemporariesOfSavesThatCannotBeRunning) {
    TempFolder folder;
    // Another window saving: its process runs, its temporary stays.
    test::SaveInAnotherProcess other(folder.path());
    const std::string othersTemporary = other.temporaryIn(folder.path());
    ASSERT_TRUE(isTemporaryFileName(othersTemporary)) << othersTemporary;
    // A save of this process, and one of another machine sharing the folder,
    // whose process only that machine can ask about.
    AtomicFileWriter running(folder / "mine.txt");
    ASSERT_TRUE(running.append("in progress"));
    const std::string elsewhere = ".vakomidi-save-1@another-machine.Ab12Cd";
    test::writeBytes(folder / elsewhere, "half a song");
    EXPECT_EQ(removeStaleTemporaryFiles(folder.path()), 0);
    EXPECT_TRUE(fs::exists(folder / othersTemporary));
    EXPECT_EQ(namesIn(folder.path()).size(), 3u);

    // Killed in the middle of its save: what it left goes, and nothing else.
    other.end();
    EXPECT_EQ(removeStaleTemporaryFiles(folder.path()), 1);
    EXPECT_FALSE(fs::exists(folder / othersTemporary));
    EXPECT_TRUE(fs::exists(folder / elsewhere));
    EXPECT_EQ(namesIn(folder.path()).size(), 2u);
}

TEST(AtomicFile, AFileWrittenPieceByPieceAppearsWholeOrNotAtAll) {
    TempFolder folder;
    const fs::path out = folder / "out.wav";
    test::writeBytes(out, "old");
    {
        AtomicFileWriter abandoned(out);
        abandoned.append("partial");
    }
    EXPECT_EQ(contents(out), "old");
    EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{"out.wav"});

    AtomicFileWriter writer(out);
    writer.append("size=?;");
    writer.append("data");
    writer.writeAt(5, "4");
    EXPECT_EQ(contents(out), "old");
    ASSERT_TRUE(writer.commit().ok);
    EXPECT_EQ(contents(out), "size=4;data");
}

TEST(AtomicFile, ReadingSaysWhyAFileCannotBeRead) {
    TempFolder folder;
    std::string bytes;
    EXPECT_EQ(readFile(folder / "none", bytes).error, ReadError::Missing);
    EXPECT_EQ(readFile(folder.path(), bytes).error, ReadError::Folder);
    test::writeBytes(folder / "ten", "0123456789");
    const ReadOutcome tooLarge = readFile(folder / "ten", bytes, 9);
    EXPECT_EQ(tooLarge.error, ReadError::TooLarge);
    EXPECT_EQ(tooLarge.size, 10u);
    EXPECT_TRUE(bytes.empty());
    EXPECT_TRUE(readFile(folder / "ten", bytes, 10).ok());
    EXPECT_EQ(bytes, "0123456789");
    EXPECT_TRUE(readFileStart(folder / "ten", bytes, 4).ok());
    EXPECT_EQ(bytes, "0123");
}

} // namespace
} // namespace vako
