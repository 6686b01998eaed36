#include "SongTestSupport.h"

#include "platform/AtomicFile.h"
#include "song/OpenFile.h"
#include "song/SongWriter.h"

#include <gtest/gtest.h>

#include <set>

namespace vako {
namespace {

// A random song that keeps the song's invariants: notes in position order,
// chords in ascending pitch, control changes in position order.
Song randomSong(std::mt19937& random) {
    Song song;
    const int n = static_cast<int>(random() % 200);
    std::set<std::pair<int, int>> slots; // (position, note): one note per pitch and position
    while (static_cast<int>(slots.size()) < n)
        slots.insert({static_cast<int>(random() % 2000) - 50, static_cast<int>(random() % 120)});
    for (const auto& [pos, key] : slots) {
        song.notes.push_back(
            Note{pos, static_cast<uint8_t>(key), static_cast<int32_t>(random() % 100),
                 static_cast<uint8_t>(random() % 16), static_cast<uint8_t>(random() % 128),
                 static_cast<uint8_t>(random() % 129), static_cast<uint8_t>(random() % 128)});
    }
    song.twiceNoteCount = 2 * n;
    for (auto& p : song.partPrograms) p = static_cast<uint8_t>(random() % 128);
    for (auto& v : song.partVolumes) v = static_cast<int16_t>(random() % 7);
    static constexpr uint8_t kDivisions[] = {60, 30, 15, 5};
    static constexpr uint8_t kMeters[] = {2, 3, 4, 6};
    song.grid = kDivisions[random() % 4];
    song.quartersPerBar = kMeters[random() % 4];
    song.tempoText = std::to_string(30 + random() % 571);
    static const std::string kNames[] = {"",        "著作権名", "曲名, コンマ入り",
                                         "abc 123", "ﾊﾝｶｸ",     "全角＂引用符"};
    song.copyrightText = kNames[random() % 6];
    song.sequenceNameText = kNames[random() % 6];
    const int m = 1 + static_cast<int>(random() % 20);
    song.changes.assign(1, ControlChange{});
    song.changes.push_back(ControlChange{0, 120, kTempoChange});
    for (int j = 2; j <= m; ++j) {
        const int32_t pos = song.changes.back().position + static_cast<int32_t>(random() % 100);
        song.changes.push_back(ControlChange{pos, static_cast<int32_t>(random() % 2048),
                                             static_cast<uint8_t>(1 + random() % 3)});
    }
    song.changes.push_back(ControlChange{kEndMarkerPos, 0, 0});
    song.changeCount = m;
    return song;
}

TEST(SongRoundTripTest, RandomSongsSurviveSaveAndLoadButForTheRoundingOfTheirSteps) {
    test::TempFolder folder;
    std::mt19937 random(1206);
    for (int round = 0; round < 200; ++round) {
        Song song = randomSong(random);
        const auto path = folder / "song.txt";
        ASSERT_EQ(saveSongTo(song, path), "");
        Song back;
        test::RecordingSongHost host;
        ASSERT_EQ(openFile(back, path.string(), host), OpenStatus::Loaded) << round;

        ASSERT_EQ(back.twiceNoteCount, song.twiceNoteCount);
        for (int i = 1; i <= song.noteCount(); ++i) {
            Note expected = song.notes[i];
            expected.velocity = static_cast<uint8_t>(expected.velocity / 6 * 6);
            expected.pan = static_cast<uint8_t>(expected.pan / 16 * 16);
            expected.modulation = static_cast<uint8_t>(expected.modulation / 50 * 50);
            ASSERT_EQ(back.notes[i], expected) << "round " << round << " note " << i;
        }
        EXPECT_EQ(back.partPrograms, song.partPrograms);
        EXPECT_EQ(back.partVolumes, song.partVolumes);
        EXPECT_EQ(back.grid, song.grid);
        EXPECT_EQ(back.quartersPerBar, song.quartersPerBar);
        EXPECT_EQ(back.tempoText, song.tempoText);
        EXPECT_EQ(back.copyrightText, song.copyrightText);
        EXPECT_EQ(back.sequenceNameText, song.sequenceNameText);
        ASSERT_EQ(back.changeCount, song.changeCount);
        // Record 1 is written from its master, the tempo text.
        for (int j = 1; j <= song.changeCount; ++j) {
            ControlChange expected = song.changes[j];
            if (j == 1) expected.value = startTempoOf(song);
            ASSERT_EQ(back.changes[j], expected) << j;
        }
        EXPECT_EQ(back.changes[back.changeCount + 1].position, kEndMarkerPos);
        // Writing the song read back gives the same file.
        EXPECT_EQ(formatSongText(back), formatSongText(song));
    }
}

TEST(SongRoundTripTest, NotesOutOfPositionOrderKeepTheirOrderThroughLoadAndSave) {
    // Part 1's notes, then part 10's, as a script might write them.
    Song song;
    for (int part : {0, 9})
        for (int32_t pos : {12, 156, 300})
            song.notes.push_back(Note{pos, static_cast<uint8_t>(60 + part), 12,
                                      static_cast<uint8_t>(part), 120, 64, 0});
    song.twiceNoteCount = 12;
    test::TempFolder folder;
    const auto path = folder / "script.txt";
    ASSERT_EQ(saveSongTo(song, path), "");
    std::string written;
    ASSERT_TRUE(readWholeFile(path, written));

    Song back;
    test::RecordingSongHost host;
    ASSERT_EQ(openFile(back, path.string(), host), OpenStatus::Loaded);
    EXPECT_FALSE(notesInPositionOrder(back));
    const auto again = folder / "again.txt";
    ASSERT_EQ(saveSongTo(back, again), "");
    std::string rewritten;
    ASSERT_TRUE(readWholeFile(again, rewritten));
    EXPECT_EQ(rewritten, written);
}

} // namespace
} // namespace vako
