// The command-line tool as a user runs it.
#include "RunTool.h"
#include "song/SongTestSupport.h"

#include <gtest/gtest.h>

namespace vako {
namespace {

std::string quoted(const std::filesystem::path& p) {
    return "'" + p.string() + "'";
}

const std::vector<std::string>& kExample = test::twoNoteSongLines();

TEST(ToolTest, ConvertReproducesTheTwentyOneLineFileByteForByte) {
    test::TempFolder folder;
    test::writeBytes(folder / "in.txt", test::joinLines(kExample));
    const ToolRun run =
        runTool("convert " + quoted(folder / "in.txt") + " " + quoted(folder / "out.txt"));
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(test::readBytes(folder / "out.txt"), test::joinLines(kExample));
}

TEST(ToolTest, ConvertUpgradesAnOldVersion) {
    test::TempFolder folder;
    test::writeBytes(folder / "old.txt",
                     test::joinLines({"\"vako3\"", "\"x\"", "4", "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0",
                                      "\"x\"", "1,1,60,12,0,20,4,0,0", "2,13,180,0,0,20,4,0,0",
                                      "3,13,64,12,0,20,4,0,0", "4,25,184,0,0,20,4,0,0"}));
    const ToolRun run =
        runTool("convert " + quoted(folder / "old.txt") + " " + quoted(folder / "new.txt"));
    EXPECT_EQ(run.exitCode, 0) << run.output;
    // A freshly started editor keeps its start texts for the names.
    std::vector<std::string> expected = kExample;
    expected[15] = "\"著作権名\",\"曲名\"";
    EXPECT_EQ(test::readBytes(folder / "new.txt"), test::joinLines(expected));
}

TEST(ToolTest, ConvertTakesAndWritesMidiFilesNamedDotMidi) {
    test::TempFolder folder;
    test::writeBytes(folder / "in.txt", test::joinLines(kExample));
    ToolRun run = runTool("convert " + quoted(folder / "in.txt") + " " + quoted(folder / "a.midi"));
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(test::readBytes(folder / "a.midi").substr(0, 4), "MThd");
    run = runTool("info " + quoted(folder / "a.midi"));
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("\"notes\":2,"), std::string::npos) << run.output;
}

TEST(ToolTest, InfoDescribesTheSongAsJson) {
    const ToolRun run = runTool(std::string("info '") + EXAMPLES_DIR + "/example.txt'");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(
        run.output,
        "{\"notes\":40,\"ccs\":2,\"tempo\":112,\"divisions\":15,\"quartersPerBar\":4,"
        "\"copyright\":\"vakomidi\",\"name\":\"ちいさな練習曲\",\"pages\":2,\"lastPos\":183}\n");
}

TEST(ToolTest, UnreadableInputExitsOneWithTheEditorsMessageThePathAndWhy) {
    test::TempFolder folder;
    const std::filesystem::path missing = folder / "missing.txt";
    ToolRun run = runTool("info " + quoted(missing));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.output,
              "そのファイルは読み込めません\n" + missing.string() + "（ファイルがありません）\n");

    const std::filesystem::path other = folder / "other.txt";
    test::writeBytes(other, "\"something else\"\r\n");
    run = runTool("convert " + quoted(other) + " " + quoted(folder / "o.txt"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.output, "これはヴァコヴァコMIDIのデータではありません\n" + other.string() + "\n");
    EXPECT_FALSE(std::filesystem::exists(folder / "o.txt"));

    const std::filesystem::path bin = folder / "bin.txt";
    test::writeBytes(bin, std::string("\"vako6\"\r\n\xff\x00\x01", 12));
    run = runTool("info " + quoted(bin));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.output, "そのファイルは読み込めません\n" + bin.string() +
                              "（ファイルが 2 行目で途切れています）\n");

    const std::filesystem::path wave = folder / "a.wav";
    test::writeBytes(wave, "RIFF");
    run = runTool("info " + quoted(wave));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.output, "そのファイルは読み込めません\n" + wave.string() +
                              "（曲のファイル（.txt）でもMIDIファイル（.mid）でもありません）\n");
}

TEST(ToolTest, UsageErrorsExitTwo) {
    EXPECT_EQ(runTool("").exitCode, 2);
    EXPECT_EQ(runTool("convert onlyone.txt").exitCode, 2);
    EXPECT_EQ(runTool("frobnicate a b").exitCode, 2);
}

// play and render live in the sound module beside the tool; a tool copied
// away from it still converts and says what play is missing.
TEST(ToolTest, PlayWithoutTheSoundModuleSaysSoAndExitsOne) {
    test::TempFolder folder;
    std::filesystem::copy_file(VAKO_TOOL, folder / "vako");
    std::filesystem::permissions(folder / "vako", std::filesystem::perms::owner_exec,
                                 std::filesystem::perm_options::add);
    test::writeBytes(folder / "in.txt", test::joinLines(kExample));
    const auto run = [&](const std::string& args) {
        return runProgram(quoted(folder / "vako"), args);
    };
    EXPECT_EQ(run("info " + quoted(folder / "in.txt")).exitCode, 0);
    const ToolRun play = run("play " + quoted(folder / "in.txt"));
    EXPECT_EQ(play.exitCode, 1);
    EXPECT_NE(play.output.find("play needs the sound module"), std::string::npos) << play.output;
    EXPECT_NE(play.output.find("vako-sound.so: not there"), std::string::npos) << play.output;
}

} // namespace
} // namespace vako

namespace vako {
namespace {

// The tool with only the given environment (no VAKO_LANG unless given),
// its settings in `config`.
ToolRun runToolIn(const std::string& environment, const std::filesystem::path& config,
                  const std::string& args) {
    return runProgram("env -i XDG_CONFIG_HOME='" + config.string() + "' " + environment + " " +
                          VAKO_TOOL,
                      args);
}

TEST(ToolLanguage, MessagesFollowTheLocaleTheSavedChoiceAndVakoLang) {
    test::TempFolder folder;
    const std::filesystem::path missing = folder / "missing.txt";
    const std::string args = "info '" + missing.string() + "'";
    const std::string english = "That file cannot be read\n" + missing.string() +
                                " (there is no such file)\n";
    const std::string japanese =
        "そのファイルは読み込めません\n" + missing.string() + "（ファイルがありません）\n";
    const std::filesystem::path config = folder / "config";
    // Locales this machine may not have installed at all: the catalog is the program's own.
    EXPECT_EQ(runToolIn("LANG=en_US.UTF-8", config, args).output, english);
    EXPECT_EQ(runToolIn("LANG=fr_FR.UTF-8", config, args).output, english);
    EXPECT_EQ(runToolIn("LANG=ja_JP.UTF-8", config, args).output, japanese);
    EXPECT_EQ(runToolIn("LANG=C.UTF-8", config, args).output, japanese);
    EXPECT_EQ(runToolIn("", config, args).output, japanese);
    EXPECT_EQ(runToolIn("LANG=C VAKO_LANG=en", config, args).output, english);
    // The choice made in the window's menu, and VAKO_LANG above it.
    std::filesystem::create_directories(config / "vakomidi");
    test::writeBytes(config / "vakomidi" / "vakomidi.conf", "language=en\n");
    EXPECT_EQ(runToolIn("LANG=ja_JP.UTF-8", config, args).output, english);
    EXPECT_EQ(runToolIn("LANG=ja_JP.UTF-8 VAKO_LANG=ja", config, args).output, japanese);
}

} // namespace
} // namespace vako
