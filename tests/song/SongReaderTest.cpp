#include "SongTestSupport.h"

#include "song/SongFields.h"
#include "song/SongReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <tuple>

namespace vako {
namespace {

std::vector<std::string> fields(std::string_view data) {
    FieldReader reader(data);
    std::vector<std::string> out;
    while (auto f = reader.next()) out.emplace_back(*f);
    return out;
}

TEST(FieldReaderTest, CommasLineEndsLeadingBlanksAndQuotes) {
    EXPECT_EQ(fields("1,  2 ,\"a, b\"\r\n\"x\"\n3"),
              (std::vector<std::string>{"1", "2", "a, b", "x", "3"}));
    // A quoted field ends at its closing quote; what follows up to the delimiter is dropped.
    EXPECT_EQ(fields("\"ab\"cd,e"), (std::vector<std::string>{"ab", "e"}));
    EXPECT_EQ(fields("a,,b"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(fields(""), (std::vector<std::string>{}));
}

TEST(FieldReaderTest, WholeNumbersRoundHalvesToEven) {
    EXPECT_EQ(parseWholeNumber("120"), 120);
    EXPECT_EQ(parseWholeNumber(" -7 "), -7);
    EXPECT_EQ(parseWholeNumber("2.5"), 2);
    EXPECT_EQ(parseWholeNumber("3.5"), 4);
    EXPECT_EQ(parseWholeNumber("3.51"), 4);
    EXPECT_EQ(parseWholeNumber("3.4"), 3);
    EXPECT_FALSE(parseWholeNumber(""));
    EXPECT_FALSE(parseWholeNumber("abc"));
    EXPECT_FALSE(parseWholeNumber("12a"));
    EXPECT_FALSE(parseWholeNumber("-"));
    EXPECT_FALSE(parseWholeNumber("99999999999999999999999"));
}

// The short way for plain digits reads what the general way reads, and
// leaves every other field to it untouched.
TEST(FieldReaderTest, PlainDigitsReadAsTheGeneralWayReadsThem) {
    for (const std::string data :
         {"12,5", "12", "12\r\n5", "12\n5", "007,5", "0,5", "12 ,5", " 12,5", "\t12,5", "12.5,5",
          "+3,5", "-3,5", "\"12\",5", "123456789012345,5", "1234567890123456,5",
          "99999999999999999999999,5", "12a,5", ",5", ""}) {
        SCOPED_TRACE(data);
        FieldReader shortWay(data), generalWay(data);
        std::optional<int64_t> fast = shortWay.nextPlainDigits();
        if (!fast) {
            EXPECT_EQ(shortWay.position(), 0u); // nothing read
            continue;
        }
        const auto field = generalWay.next();
        ASSERT_TRUE(field);
        EXPECT_EQ(fast, parseWholeNumber(*field));
        EXPECT_EQ(shortWay.position(), generalWay.position());
        EXPECT_EQ(shortWay.next(), generalWay.next());
    }
    // Only plain digits take the short way.
    EXPECT_TRUE(FieldReader("12,").nextPlainDigits());
    EXPECT_FALSE(FieldReader("12 ,").nextPlainDigits());
    EXPECT_FALSE(FieldReader("1234567890123456,").nextPlainDigits());
}

SongTextOutcome read(Song& song, const std::vector<std::string>& lines) {
    return readSongText(song, test::joinLines(lines));
}

std::vector<std::string> v6(std::vector<std::string> notes, int count) {
    std::vector<std::string> lines = test::v6Head(count);
    lines.insert(lines.end(), notes.begin(), notes.end());
    for (const std::string& line : test::v6Tail()) lines.push_back(line);
    return lines;
}

TEST(SongReaderTest, Version6ReadsEveryValueBack) {
    std::vector<std::string> lines = test::v6Head(4);
    lines[4] = "0,40,0,0,0,0,0,0,0,0,0,0,0,0,0,127";
    lines[6] = "5,6,5,5,5,5,5,5,5,0,5,5,5,5,5,5";
    lines.push_back("1,1,60,12,\"   \",0,20,4,0");
    lines.push_back("2,13,64,6,\"   \",9,19,8,2");
    for (const char* line :
         {"\"曲開始時のテンポ\"", "\"96\"", "\"入力時の区切り数,1小節の4分音符数\"", "30,3",
          "\"著作権名,シーケンス名\"", "\"私, 作\",\"ワルツ\"",
          "\"ここから下は「高度な機能」のデータ\"", "\"ＣＣの数\"", "2",
          "\"データ番号,位置,値,タイプ\"", "1,0,96,1", "2,49,643,2"})
        lines.push_back(line);
    Song song;
    const SongTextOutcome outcome = read(song, lines);
    ASSERT_EQ(outcome.status, SongTextStatus::Read);
    EXPECT_EQ(outcome.version, 6);
    EXPECT_EQ(song.twiceNoteCount, 4);
    EXPECT_EQ(song.notes[1], (Note{1, 60, 12, 0, 120, 64, 0}));
    EXPECT_EQ(song.notes[2], (Note{13, 64, 6, 9, 114, 128, 100}));
    EXPECT_EQ(song.partPrograms[1], 40);
    EXPECT_EQ(song.partPrograms[15], 127);
    EXPECT_EQ(song.partVolumes[1], 6);
    EXPECT_EQ(song.partVolumes[9], 0);
    EXPECT_EQ(song.tempoText, "96");
    EXPECT_EQ(song.grid, 30);
    EXPECT_EQ(song.quartersPerBar, 3);
    EXPECT_EQ(song.copyrightText, "私, 作");
    EXPECT_EQ(song.sequenceNameText, "ワルツ");
    EXPECT_EQ(song.changeCount, 2);
    EXPECT_EQ(song.changes[2], (ControlChange{49, 643, kInstrumentChange}));
    EXPECT_GE(song.changes.size(), 2u + 5u); // room up to M + 4
    EXPECT_GE(song.notes.size(), 3u);        // records 0..N
}

TEST(SongReaderTest, Version1ConvertsPositionsLengthsAndParts) {
    Song song;
    const SongTextOutcome outcome =
        read(song, {"\"vako1\"", "\"x\"", "3", "1,2,3,4", "\"x\"", "1,7,60,3,5,20,4,1,0",
                    "2,7,62,3,2,1,1,0,0", "3,7,64,3,4,1,1,0,0"});
    ASSERT_EQ(outcome.status, SongTextStatus::Read);
    EXPECT_EQ(song.notes[1].position, 11);
    EXPECT_EQ(song.notes[1].length, 5);
    EXPECT_EQ(song.notes[1].part, 9);
    EXPECT_EQ(song.notes[2].part, 9);
    EXPECT_EQ(song.notes[3].part, 4);
    EXPECT_EQ(song.notes[1].velocity, 120);
    EXPECT_EQ(song.notes[1].pan, 64);
    EXPECT_EQ(song.notes[1].modulation, 50);
    // Version 1 gives the programs of parts 0, 1, 3 and 4.
    EXPECT_EQ(song.partPrograms[0], 1);
    EXPECT_EQ(song.partPrograms[1], 2);
    EXPECT_EQ(song.partPrograms[2], 0);
    EXPECT_EQ(song.partPrograms[3], 3);
    EXPECT_EQ(song.partPrograms[4], 4);
}

TEST(SongReaderTest, Version2ConvertsPositionsAndLengthsButKeepsParts) {
    Song song;
    const SongTextOutcome outcome =
        read(song, {"\"vako2\"", "\"x\"", "2", "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0", "\"x\"",
                    "1,0,60,11,5,20,4,1,0", "2,7,62,3,2,1,1,0,0"});
    ASSERT_EQ(outcome.status, SongTextStatus::Read);
    EXPECT_EQ(song.notes[1].position, 0);
    EXPECT_EQ(song.notes[1].length, 17);
    EXPECT_EQ(song.notes[2].position, 11);
    EXPECT_EQ(song.notes[2].length, 5);
    EXPECT_EQ(song.notes[1].part, 5);
    EXPECT_EQ(song.notes[2].part, 2);

    // Version 3 takes positions and lengths as they stand.
    Song v3;
    ASSERT_EQ(read(v3, {"\"vako3\"", "\"x\"", "1", "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0", "\"x\"",
                        "1,0,60,11,5,20,4,1,0"})
                  .status,
              SongTextStatus::Read);
    EXPECT_EQ(v3.notes[1].length, 11);
}

TEST(SongReaderTest, Version4ReadsHalfTheCountAndStopsAfterTheNotes) {
    Song song;
    const SongTextOutcome outcome =
        read(song, {"\"vako4\"", "\"x\"", "4", "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0", "\"x\"",
                    "1,1,60,12,0,20,4,0", "2,13,62,12,0,20,4,0", "this is never read"});
    ASSERT_EQ(outcome.status, SongTextStatus::Read);
    EXPECT_EQ(song.twiceNoteCount, 4);
    EXPECT_EQ(song.notes[2].key, 62);
}

TEST(SongReaderTest, ValuesThatDoNotFitTheirFieldAreReadFailures) {
    const std::string good = "1,1,60,12,\"   \",0,20,4,0";
    for (const std::string bad : {
             "1,1,256,12,\"   \",0,20,4,0",         // note beyond a byte
             "1,1,120,12,\"   \",0,20,4,0",         // 120 and up are note ends, never notes
             "1,1,60,12,\"   \",0,43,4,0",          // strength 43 * 6 overflows the byte
             "1,1,60,12,\"   \",0,20,16,0",         // balance 16 * 16 overflows the byte
             "1,1,60,12,\"   \",0,20,4,6",          // modulation 6 * 50 overflows the byte
             "1,1,60,12,\"   \",16,20,4,0",         // no part 16
             "1,x,60,12,\"   \",0,20,4,0",          // no number
             "1,3000000000,60,12,\"   \",0,20,4,0", // beyond 32 bits
         }) {
        Song song;
        EXPECT_EQ(read(song, v6({bad}, 2)).status, SongTextStatus::ReadFailure) << bad;
    }
    Song song;
    EXPECT_EQ(read(song, v6({good}, 2)).status, SongTextStatus::Read);
}

TEST(SongReaderTest, EarlyEndIsAReadFailure) {
    std::vector<std::string> lines =
        v6({"1,1,60,12,\"   \",0,20,4,0", "2,13,64,12,\"   \",0,20,4,0"}, 4);
    for (size_t keep = 0; keep + 1 < lines.size(); ++keep) {
        Song song;
        const std::vector<std::string> cut(lines.begin(), lines.begin() + keep);
        EXPECT_EQ(read(song, cut).status, SongTextStatus::ReadFailure) << keep;
        // The control changes are never left claiming records that were not read.
        EXPECT_GE(song.changes.size(), static_cast<size_t>(song.changeCount) + 1);
    }
}

TEST(SongReaderTest, HugeCountsAreAnEarlyEndNotAnAllocation) {
    Song song;
    std::vector<std::string> lines = test::v6Head(2000000000);
    lines.push_back("1,1,60,12,\"   \",0,20,4,0");
    lines.push_back("2,2,60,12,\"   \",0,20,4,0");
    lines.push_back("3,3,60,12,\"   \",0,20,4,0");
    EXPECT_EQ(read(song, lines).status, SongTextStatus::ReadFailure);
    EXPECT_LT(song.notes.capacity(), 1000u);

    Song ccs;
    std::vector<std::string> v = v6({}, 0);
    v[v.size() - 3] = "2000000000";
    EXPECT_EQ(read(ccs, v).status, SongTextStatus::ReadFailure);
    EXPECT_EQ(ccs.changeCount, 1);
}

// A file handed out `piece` bytes at a time, as a slow disk might.
class Pieces : public ByteSource {
public:
    Pieces(std::string_view data, size_t piece) : m_data(data), m_piece(piece) {}
    size_t read(char* into, size_t count) override {
        const size_t n = std::min({count, m_piece, m_data.size()});
        std::copy_n(m_data.data(), n, into);
        m_data.remove_prefix(n);
        return n;
    }

private:
    std::string_view m_data;
    size_t m_piece;
};

// A file read piece by piece gives the song and the outcome the whole image
// gives, wherever its pieces end: inside a quoted text with line ends, between
// the CR and the LF of a line end, in a run of blank lines at a file's end.
TEST(SongReaderTest, ReadingInPiecesGivesWhatTheWholeFileGives) {
    const std::string example = test::joinLines(test::twoNoteSongLines());
    std::vector<std::string> texts = v6({"1,1,60,12,\"   \",0,20,4,0"}, 2);
    texts[15] = "\"long, with commas\r\nand a line end\"junk,\"x\"";
    std::vector<std::string> badValue = v6({"1,1,60,12,\"   \",0,20,4,0"}, 2);
    badValue[8] = "1,1,sixty,12,\"   \",0,20,4,0";
    std::string crOnly = example;
    std::erase(crOnly, '\n');
    const std::string files[] = {
        example,
        crOnly,
        test::joinLines(texts),
        test::joinLines(badValue),
        // Ends early after blank lines and blanks: the failure names its last line with text.
        example.substr(0, example.size() / 2) + std::string(40, '\n') + "  \t \r\n   ",
        test::songText({"\"vako2\"", "\"x\"", "4", "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0", "\"x\"",
                        "1,1,60,12,0,20,4,0,0", "2,13,180,0,0,20,4,0,0"}),
        "\"vako6\",\"" + std::string(3000, 'x'),
    };
    const auto contents = [](const Song& s) {
        return std::tie(s.notes, s.twiceNoteCount, s.changes, s.changeCount, s.partPrograms,
                        s.partVolumes, s.grid, s.quartersPerBar, s.tempoText, s.copyrightText,
                        s.sequenceNameText);
    };
    for (const std::string& file : files) {
        Song whole;
        const SongTextOutcome expected = readSongText(whole, file);
        for (const size_t piece : {1, 2, 3, 16, 17, 4096}) {
            SCOPED_TRACE(file.substr(0, 40) + "... in pieces of " + std::to_string(piece));
            Song song;
            Pieces source(file, piece);
            const SongTextOutcome outcome = readSongText(song, source, file.size(), UINT64_MAX);
            EXPECT_EQ(
                std::tie(outcome.status, outcome.version, outcome.failureLine, outcome.endedEarly),
                std::tie(expected.status, expected.version, expected.failureLine,
                         expected.endedEarly));
            EXPECT_TRUE(contents(song) == contents(whole));
        }
    }
}

TEST(SongReaderTest, OnlyAFieldTheSongKeepsIsHeldAndItMustFitTheMemory) {
    const std::string longText = "\"" + std::string(100000, 'x') + "\"";
    // As the copyright name: 100,000 bytes where 40,000 may be held for it.
    std::vector<std::string> lines = v6({}, 0);
    lines[13] = longText + ",\"\"";
    std::string file = test::joinLines(lines);
    Song song;
    Pieces source(file, 4096);
    EXPECT_THROW(readSongText(song, source, file.size(), 160000), std::bad_alloc);
    // As a label the song does not keep, it is passed over, never held.
    lines = v6({}, 0);
    lines[12] = longText;
    file = test::joinLines(lines);
    Pieces label(file, 4096);
    EXPECT_EQ(readSongText(song, label, file.size(), 1000).status, SongTextStatus::Read);
}

TEST(SongReaderTest, MeterAndGridMustBeOnesTheMenusOffer) {
    for (const std::string line : {"0,4", "15,0", "15,5", "7,4"}) {
        std::vector<std::string> lines = v6({}, 0);
        lines[11] = line;
        Song song;
        EXPECT_EQ(read(song, lines).status, SongTextStatus::ReadFailure) << line;
    }
}

TEST(SongReaderTest, MagicIsComparedExactly) {
    for (const std::string magic : {"\"VAKO6\"", "\"vako7\"", "\"vako6 \"", "hello"}) {
        Song song;
        EXPECT_EQ(read(song, {magic, "junk"}).status, SongTextStatus::WrongMagic) << magic;
    }
}

} // namespace
} // namespace vako
