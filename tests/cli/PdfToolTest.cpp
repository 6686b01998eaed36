// `vako pdf`: the score on paper from the command line, read back by
// poppler's tools as a reader of the file would.
#include "RunTool.h"
#include "song/SongTestSupport.h"
#include "song/SongWriter.h"

#include <gtest/gtest.h>

#include <regex>

namespace vako {
namespace {

std::string quoted(const std::filesystem::path& p) {
    return "'" + p.string() + "'";
}

const std::filesystem::path kExampleSong = std::filesystem::path(EXAMPLES_DIR) / "example.txt";

int pdfPages(const std::filesystem::path& pdf) {
    const ToolRun info = runProgram("pdfinfo", quoted(pdf));
    std::smatch m;
    if (!std::regex_search(info.output, m, std::regex("Pages:\\s+(\\d+)"))) return -1;
    return std::stoi(m[1]);
}

std::string pdfText(const std::filesystem::path& pdf) {
    return runProgram("pdftotext", "-raw " + quoted(pdf) + " -", " 2>/dev/null").output;
}

// A song of `pages` pages: a run of eighth notes in part 1, a drum hit on each beat.
std::filesystem::path writeLongSong(const std::filesystem::path& folder, int pages) {
    Song song;
    song.notes.resize(1);
    for (int32_t pos = 3; pos <= pages * kStepsPerPage - 12; pos += 6) {
        song.notes.push_back({pos, static_cast<uint8_t>(48 + pos % 30), 6, 0, 120, 64, 0});
        if (pos % 12 == 3) song.notes.push_back({pos, 36, 3, 9, 120, 64, 0});
    }
    song.twiceNoteCount = 2 * static_cast<int32_t>(song.notes.size() - 1);
    song.sequenceNameText = "Long Study";
    song.copyrightText = "nobody";
    const std::filesystem::path path = folder / "long.txt";
    EXPECT_EQ(saveSongTo(song, path), "");
    return path;
}

TEST(PdfTool, TheExampleSongOnTwoSheetsWithItsTitleAndPageCount) {
    test::TempFolder folder;
    const std::filesystem::path out = folder.path() / "example.pdf";
    const ToolRun run = runTool("pdf " + quoted(kExampleSong) + " " + quoted(out));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(test::readBytes(out).substr(0, 5), "%PDF-");
    EXPECT_EQ(pdfPages(out), 2);
    const std::string text = pdfText(out);
    EXPECT_NE(text.find("ちいさな練習曲"), std::string::npos) << text;
    EXPECT_NE(text.find("vakomidi"), std::string::npos) << text;
    EXPECT_NE(text.find("1 / 2"), std::string::npos) << text;
    EXPECT_NE(text.find("2 / 2"), std::string::npos) << text;
    // Note names and bar numbers are text, not pictures of text.
    EXPECT_NE(text.find("ド"), std::string::npos) << text;
    EXPECT_NE(text.find("4 5 6"), std::string::npos) << text;
}

TEST(PdfTool, ALongSongGetsASheetAPageAndARangePrintsOnlyItsPages) {
    test::TempFolder folder;
    const std::filesystem::path song = writeLongSong(folder.path(), 7);
    const std::filesystem::path all = folder.path() / "all.pdf", some = folder.path() / "some.pdf";
    ToolRun run = runTool("pdf " + quoted(song) + " " + quoted(all));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(pdfPages(all), 7);
    std::string text = pdfText(all);
    EXPECT_NE(text.find("Long Study"), std::string::npos);
    EXPECT_NE(text.find("1 / 7"), std::string::npos);
    EXPECT_NE(text.find("7 / 7"), std::string::npos);
    // Bars 19 to 21 are page 7's.
    EXPECT_NE(text.find("19 20 21"), std::string::npos);

    run = runTool("pdf " + quoted(song) + " " + quoted(some) + " --pages 3-4 --paper letter");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(pdfPages(some), 2);
    text = pdfText(some);
    EXPECT_NE(text.find("2 / 2"), std::string::npos);
    EXPECT_NE(text.find("7 8 9"), std::string::npos) << "bars 7 to 9 on page 3";
    EXPECT_EQ(text.find("1 2 3"), std::string::npos) << "page 1 left out";
    EXPECT_NE(runProgram("pdfinfo", quoted(some)).output.find("612 x 792"), std::string::npos);
}

TEST(PdfTool, TheBandsShowThePartsAsked) {
    test::TempFolder folder;
    const std::filesystem::path song = writeLongSong(folder.path(), 1);
    const std::filesystem::path drums = folder.path() / "drums.pdf",
                                none = folder.path() / "none.pdf";
    ASSERT_EQ(
        runTool("pdf " + quoted(song) + " " + quoted(drums) + " --upper 10 --lower 10").exitCode,
        0);
    ASSERT_EQ(runTool("pdf " + quoted(song) + " " + quoted(none) + " --upper 2 --lower 3").exitCode,
              0);
    // Percussion has no note names; part 1's notes are on neither band.
    EXPECT_EQ(pdfText(drums).find("レ"), std::string::npos);
    EXPECT_EQ(pdfText(none).find("レ"), std::string::npos);
    const std::filesystem::path piano = folder.path() / "piano.pdf";
    ASSERT_EQ(runTool("pdf " + quoted(song) + " " + quoted(piano) + " --lower 1").exitCode, 0);
    EXPECT_NE(pdfText(piano).find("レ"), std::string::npos);
}

TEST(PdfTool, WrongRequestsWriteNothing) {
    test::TempFolder folder;
    const std::filesystem::path out = folder.path() / "out.pdf";
    for (const std::string options :
         {"--upper 17", "--lower 0", "--pages 3-2", "--paper a3", "--upper", "--colour red"}) {
        const ToolRun run =
            runTool("pdf " + quoted(kExampleSong) + " " + quoted(out) + " " + options);
        EXPECT_EQ(run.exitCode, 2) << options;
        EXPECT_NE(run.output.find("usage: vako pdf"), std::string::npos) << run.output;
    }
    ToolRun run = runTool("pdf " + quoted(kExampleSong) + " " + quoted(out) + " --pages 3-9");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("2 page(s)"), std::string::npos) << run.output;
    run = runTool("pdf " + quoted(folder.path() / "missing.txt") + " " + quoted(out));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_FALSE(std::filesystem::exists(out));
}

// Only `pdf` loads the toolkit: the tool itself links none of it.
TEST(PdfTool, TheToolStartsWithoutTheToolkit) {
    const ToolRun libraries = runProgram("ldd", VAKO_TOOL);
    ASSERT_EQ(libraries.exitCode, 0) << libraries.output;
    EXPECT_EQ(libraries.output.find("libQt6"), std::string::npos) << libraries.output;
}

} // namespace
} // namespace vako
