#include "SongTestSupport.h"

#include "song/Messages.h"
#include "song/OpenF.h"

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
    for (int i = 1; i <= song.noteCount(); ++i) out.push_back(song.udtNotes[i].lngPos);
    return out;
}

std::vector<int> keys(const Song& song) {
    std::vector<int> out;
    for (int i = 1; i <= song.noteCount(); ++i) out.push_back(song.udtNotes[i].bytNote);
    return out;
}

class OpenFTest : public ::testing::Test {
protected:
    std::string file(const std::string& name, const std::vector<std::string>& lines) {
        const auto path = m_folder / name;
        test::writeBytes(path, test::joinLines(lines));
        return path.string();
    }
    TempFolder m_folder;
    RecordingSongHost m_host;
};

TEST_F(OpenFTest, LoadSetsCaptionControlsProgramsPageAndRedraws) {
    Song song;
    const std::string path = file("a b.txt", v6({"1,1,60,12,\"   \",0,20,4,0"}, 2));
    EXPECT_EQ(OpenF(song, path, m_host), OpenStatus::Loaded);
    EXPECT_EQ(m_host.captions.back(), "ヴァコヴァコMIDI ～ " + path);
    EXPECT_FALSE(m_host.reverseChecked);
    EXPECT_EQ(m_host.page, 0);
    EXPECT_EQ(m_host.redraws, 1);
    EXPECT_EQ(song.tempoText, "120");
    // Each part gets volume 100 and its program, in part order.
    ASSERT_EQ(m_host.shortMessages.size(), 32u);
    EXPECT_EQ(m_host.shortMessages[0], 0x6407B0u);
    EXPECT_EQ(m_host.shortMessages[1], 0x0000C0u);
    EXPECT_EQ(m_host.shortMessages[31], 0x0000CFu);
    // Both bands are first set to entry 0, then to their parts' programs and volumes.
    EXPECT_EQ(m_host.bandInstruments,
              (std::vector<std::pair<int, int>>{{0, 0}, {1, 0}, {0, 0}, {1, 0}}));
    EXPECT_EQ(m_host.bandVolumes, (std::vector<std::pair<int, int>>{{0, 5}, {1, 5}}));
    EXPECT_EQ(song.udtCCs[song.varCCCount + 1].lngPos, kEndMarkerPos);
}

TEST_F(OpenFTest, ChordStoredInDescendingPitchComesBackAscending) {
    Song song;
    OpenF(song,
          file("c.txt", v6({"1,1,67,12,\"   \",0,20,4,0", "2,1,64,12,\"   \",0,20,4,0",
                            "3,1,60,12,\"   \",0,20,4,0", "4,13,50,12,\"   \",0,20,4,0"},
                           8)),
          m_host);
    EXPECT_EQ(keys(song), (std::vector<int>{60, 64, 67, 50}));
}

TEST_F(OpenFTest, OldVersionsDropTheirNoteEnds) {
    Song song;
    OpenF(song,
          file("v3.txt", {"\"vako3\"", "\"x\"", "4", "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0", "\"x\"",
                          "1,1,60,8,0,20,4,0,0", "2,9,180,0,0,20,4,0,0", "3,9,62,8,0,20,4,0,0",
                          "4,17,182,0,0,20,4,0,0"}),
          m_host);
    EXPECT_EQ(song.varNoteCountX2, 4);
    EXPECT_EQ(keys(song), (std::vector<int>{60, 62}));
}

TEST_F(OpenFTest, ReadFailureBringsBackTheUndoCopyAndSaysSo) {
    Song song;
    song.udtNotes = {NoteRec{}, NoteRec{5, 70, 12, 0, 120, 64, 0}};
    song.varNoteCountX2 = 2;
    song.takeUndoCopy();
    std::vector<std::string> lines =
        v6({"1,1,60,12,\"   \",0,20,4,0", "2,13,64,12,\"   \",0,20,4,0"}, 4);
    lines.resize(9); // ends in the middle of the notes
    EXPECT_EQ(OpenF(song, file("cut.txt", lines), m_host), OpenStatus::ReadFailure);
    EXPECT_EQ(m_host.messages, std::vector<std::string>{msg::kCannotRead});
    EXPECT_EQ(positions(song), std::vector<int>{5});
    EXPECT_EQ(m_host.redraws, 0);
}

TEST_F(OpenFTest, MissingFileIsAReadFailure) {
    Song song;
    EXPECT_EQ(OpenF(song, (m_folder / "none.txt").string(), m_host), OpenStatus::ReadFailure);
    EXPECT_EQ(m_host.messages, std::vector<std::string>{msg::kCannotRead});
}

TEST_F(OpenFTest, WrongMagicClearsTheSongAndRedraws) {
    Song song;
    song.udtNotes = {NoteRec{}, NoteRec{5, 70, 12, 0, 120, 64, 0}};
    song.varNoteCountX2 = 2;
    EXPECT_EQ(OpenF(song, file("x.txt", {"\"hello\""}), m_host), OpenStatus::WrongMagic);
    EXPECT_EQ(m_host.messages, std::vector<std::string>{msg::kWrongMagic});
    EXPECT_EQ(song.varNoteCountX2, 0);
    EXPECT_EQ(m_host.redraws, 1);
    EXPECT_EQ(song.udtCCs[2].lngPos, kEndMarkerPos);
}

TEST_F(OpenFTest, ExtensionIsMatchedExactly) {
    Song song;
    song.udtNotes = {NoteRec{}, NoteRec{5, 70, 12, 0, 120, 64, 0}};
    song.varNoteCountX2 = 2;
    EXPECT_EQ(OpenF(song, file("song.Txt", v6({"1,1,60,12,\"   \",0,20,4,0"}, 2)), m_host),
              OpenStatus::NotASong);
    EXPECT_EQ(song.varNoteCountX2, 0);
    EXPECT_TRUE(m_host.messages.empty());
}

TEST_F(OpenFTest, PictureIsTiledAndClearsTheSong) {
    Song song;
    const std::string path = (m_folder / "wall.JPG").string();
    test::writeBytes(path, "not really a picture");
    EXPECT_EQ(OpenF(song, path, m_host), OpenStatus::Picture);
    EXPECT_EQ(m_host.tiledPictures, std::vector<std::string>{path});
    m_host.pictureLoads = false;
    EXPECT_EQ(OpenF(song, path, m_host), OpenStatus::ReadFailure);
}

TEST_F(OpenFTest, VolumesComeBackNonNegativeAndWithinTheVolumeSteps) {
    std::vector<std::string> lines = v6({}, 0);
    lines[6] = "-3,5,5,5,5,5,5,5,5,5,5,5,5,5,5,-32768";
    Song song;
    EXPECT_EQ(OpenF(song, file("v.txt", lines), m_host), OpenStatus::Loaded);
    EXPECT_EQ(song.intPartVolume[0], 3);
    EXPECT_EQ(song.intPartVolume[15], 6);
}

TEST_F(OpenFTest, MergeKeepsTheOpenSongAndPutsTheFilesNotesFirstAtEqualPositions) {
    Song song;
    song.udtNotes = {NoteRec{}, NoteRec{1, 70, 12, 0, 120, 64, 0},
                     NoteRec{25, 71, 12, 0, 120, 64, 0}};
    song.varNoteCountX2 = 4;
    song.copyrightText = "old copyright";
    song.sequenceNameText = "old name";
    song.varCCCount = 2;
    song.udtCCs = {CCRec{}, CCRec{0, 100, kTempoChange}, CCRec{30, 60, kTempoChange},
                   CCRec{kEndMarkerPos, 0, 0}};
    m_host.mergeChecked = true;
    OpenF(song,
          file("m.txt", v6({"1,13,60,12,\"   \",0,20,4,0", "2,25,61,12,\"   \",0,20,4,0"}, 4)),
          m_host);
    EXPECT_EQ(positions(song), (std::vector<int>{1, 13, 25, 25}));
    EXPECT_EQ(keys(song), (std::vector<int>{70, 60, 61, 71}));
    EXPECT_EQ(song.varNoteCountX2, 8);
    EXPECT_EQ(song.varCCCount, 2);
    EXPECT_EQ(song.udtCCs[2].lngValue, 60);
    EXPECT_EQ(song.copyrightText, "old copyright");
    EXPECT_EQ(song.sequenceNameText, "old name");
}

TEST_F(OpenFTest, AFailedMergeLeavesTheOpenSongExactlyAsItWas) {
    Song song;
    song.udtNotes = {NoteRec{}, NoteRec{1, 70, 12, 3, 120, 64, 0}, NoteRec{25, 71, 12, 0, 60, 0, 50}};
    song.varNoteCountX2 = 4;
    song.takeUndoCopy(); // the copy before the last edit, which added note 25
    song.udtNotes.push_back(NoteRec{49, 72, 6, 0, 120, 64, 0});
    song.varNoteCountX2 = 6;
    song.udtCCs = {CCRec{}, CCRec{0, 90, kTempoChange}, CCRec{13, 40 * 16 + 3, kInstrumentChange},
                   CCRec{kEndMarkerPos, 0, 0}};
    song.varCCCount = 2;
    song.bytPartInstrument[3] = 40;
    song.intPartVolume[3] = 2;
    song.bytSelPart = {3, 9};
    song.bytDivisions = 5;
    song.bytQuartersPerBar = 3;
    song.tempoText = "95";
    song.copyrightText = "old copyright";
    song.sequenceNameText = "old name";
    song.bytModified = 1;
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
        m_host.bandInstruments.clear();
        EXPECT_EQ(OpenF(song, path, m_host), OpenStatus::ReadFailure) << path;
        EXPECT_EQ(m_host.messages, std::vector<std::string>{msg::kCannotRead}) << path;
        EXPECT_EQ(song.udtNotes, before.udtNotes) << path;
        EXPECT_EQ(song.varNoteCountX2, 6) << path;
        EXPECT_EQ(song.udtCCs, before.udtCCs) << path;
        EXPECT_EQ(song.varCCCount, 2) << path;
        EXPECT_EQ(song.bytPartInstrument, before.bytPartInstrument) << path;
        EXPECT_EQ(song.intPartVolume, before.intPartVolume) << path;
        EXPECT_EQ(song.bytDivisions, 5) << path;
        EXPECT_EQ(song.bytQuartersPerBar, 3) << path;
        EXPECT_EQ(song.tempoText, "95") << path;
        EXPECT_EQ(song.copyrightText, "old copyright") << path;
        EXPECT_EQ(song.sequenceNameText, "old name") << path;
        EXPECT_EQ(song.bytModified, 1) << path;
        EXPECT_EQ(song.udtUndoNotes, before.udtUndoNotes) << path;
        EXPECT_EQ(song.lngUndoNoteCount, 4) << path;
        // The band controls show the open song's programs again.
        ASSERT_FALSE(m_host.bandInstruments.empty()) << path;
        EXPECT_EQ(m_host.bandInstruments.back(), (std::pair<int, int>{1, 0})) << path;
        EXPECT_EQ(m_host.bandInstruments[m_host.bandInstruments.size() - 2],
                  (std::pair<int, int>{0, 40}))
            << path;
    }
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
