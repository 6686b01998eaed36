// Start-up of the main window and the controls of the view state.
#include "ViewTestSupport.h"

#include "song/Messages.h"
#include "song/OpenFile.h"
#include "song/SongTestSupport.h"
#include "song/SongWriter.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

namespace vako::test {
namespace {

// A window, not yet loaded for the start-up tests, loaded for the controls.
struct MainWindowModelStartup : ::testing::Test {
    Window w;
    MainWindowModel& f = *w.form;
};
struct MainWindowModelControls : MainWindowModelStartup {
    void SetUp() override { w.load(); }
};

TEST_F(MainWindowModelStartup, DefaultsMenusAndReadOuts) {
    w.load();
    EXPECT_EQ(f.caption, "ヴァコヴァコMIDI ～ 新規作成");
    EXPECT_TRUE(f.shown);
    EXPECT_FALSE(f.usingSilentDevice);
    EXPECT_TRUE(f.showNoteNamesMenu.checked && f.majorChordMenu.checked && f.editingMenu.checked &&
                f.keyboardEditsMenu.checked && f.gridSixteenthsMenu.checked &&
                f.meterFourMenu.checked);
    EXPECT_FALSE(f.showChangesMenu.checked || f.chordInputMenu.checked ||
                 f.gridQuartersMenu.checked || f.gridEighthsMenu.checked ||
                 f.gridFortyEighthsMenu.checked);
    // Ctrl+Z is "元に戻す"'s, which does what `やり直し` does.
    EXPECT_FALSE(f.undoMenu.enabled || f.undoStepMenu.enabled || f.redoStepMenu.enabled);
    EXPECT_EQ(f.undoMenu.shortcut, "");
    EXPECT_EQ(f.undoStepMenu.shortcut, "Ctrl+Z");
    EXPECT_EQ(f.redoStepMenu.shortcut, "Ctrl+Y");
    EXPECT_EQ(f.redoStepMenu.otherShortcut, "Ctrl+Shift+Z");
    EXPECT_EQ(f.saveAsMenu.shortcut, "Ctrl+A");
    EXPECT_EQ(f.saveMenu.shortcut, "Ctrl+S");
    EXPECT_EQ(f.saveToDesktopMenu.caption, "保存場所をデスクトップﾟにする");
    EXPECT_EQ(f.gridFortyEighthsMenu.caption, "12　（３連符の時に）");
    std::vector<std::string> bar;
    for (const MenuItem* m : f.menuBar()) bar.push_back(m->caption);
    EXPECT_EQ(bar[1], "編集"); // after "ファイル"
    ASSERT_EQ(bar.size(), 10u);
    EXPECT_EQ(bar[2], "選択");
    EXPECT_EQ(bar[6], "再生");
    EXPECT_EQ(bar[7], "MIDI出力");
    EXPECT_EQ(bar[8], "MIDI入力");
    EXPECT_EQ(bar[9], "言語 / Language");
    ASSERT_EQ(f.menuBar()[1]->children.size(), 2u);
    EXPECT_EQ(f.menuBar()[1]->children[0]->caption, "元に戻す");
    EXPECT_EQ(f.menuBar()[1]->children[1]->caption, "再実行");

    EXPECT_EQ(w.form->view.bandParts, (std::array<uint8_t, 2>{0, 9}));
    EXPECT_EQ(f.view.chordCode, 1059);
    EXPECT_EQ(f.view.newNoteLength, 12);
    EXPECT_EQ(w.song.grid, 15);
    EXPECT_EQ(w.song.quartersPerBar, 4);
    ASSERT_EQ(w.song.changes.size(), 3u);
    EXPECT_EQ(w.song.changes[1], (ControlChange{0, 120, kTempoChange}));
    EXPECT_EQ(w.song.changes[2].position, kEndMarkerPos);
    EXPECT_EQ(f.pageLabels[1].caption, "1 / 1 ページ");
    EXPECT_FALSE(f.playButton.enabled || f.exportButton.enabled);
    EXPECT_EQ(f.tempoBox.text(), "120");
    EXPECT_TRUE(w.ui.messages.empty());
    // Centred on the 1366 x 768 pixel screen of the fake window system.
    EXPECT_EQ(f.left, 1366 * 15 / 2 - f.width / 2);
    EXPECT_EQ(f.top, 768 * 15 / 2 - f.height / 2);
}

TEST_F(MainWindowModelStartup, FillsTheFourLists) {
    w.load();
    ASSERT_EQ(f.notePanel.strengthList.items.size(), 21u);
    EXPECT_EQ(f.notePanel.strengthList.items.front(), "20");
    EXPECT_EQ(f.notePanel.strengthList.items[7], "13");
    EXPECT_EQ(f.notePanel.strengthList.items.back(), "0");
    EXPECT_EQ(f.notePanel.balanceList.items,
              (std::vector<std::string>{"-4 左", "-3", "-2 やや左", "-1", "0", "1", "2 やや右", "3",
                                        "4 右"}));
    for (const Control& c : f.bandInstrumentLists) {
        ASSERT_EQ(c.items.size(), 128u);
        EXPECT_EQ(c.items[0], "1: グランドピアノ");
        EXPECT_EQ(c.items[30], "31: ディストーションギター "); // trailing blank kept
        EXPECT_EQ(c.items[40], "41: バイオリン");
        EXPECT_EQ(c.items[87], "88: ベース＆リード");
        EXPECT_EQ(c.items[127], "128: 銃声");
        EXPECT_EQ(c.listIndex, 0);
    }
    for (int k = 0; k < 128; ++k) {
        const std::string& item = f.bandInstrumentLists[0].items[k];
        EXPECT_EQ(item.substr(0, item.find(':')), std::to_string(k + 1));
        EXPECT_EQ(item.substr(item.find(':'), 2), ": ");
    }
}

TEST_F(MainWindowModelStartup, BuildsPartButtonsLedgerLinesAndLengthTools) {
    w.load();
    for (auto* column : {&f.upperPartButtons, &f.lowerPartButtons}) {
        for (int i = 0; i < 16; ++i) {
            const Control& b = (*column)[i];
            EXPECT_EQ(b.caption, i == 9 ? "打" : std::to_string(i + 1));
            EXPECT_TRUE(b.visible);
        }
    }
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(f.upperPartButtons[i].backColour, i == 0 ? colour::kLightRed : colour::kWhite);
        EXPECT_EQ(f.lowerPartButtons[i].backColour, i == 9 ? colour::kLightRed : colour::kWhite);
    }
    EXPECT_NE(f.findControl("lowerPartButtons(15)"), nullptr);
    for (int i = 1; i <= 8; ++i) {
        EXPECT_EQ(f.ledgerLinesAbove[i].y1, -1020 - 20 * i);
        EXPECT_EQ(f.ledgerLinesBelow[i].y1, -780 + 20 * i);
        EXPECT_EQ(f.ledgerLinesAbove[i].borderColour, i == 4 ? colour::kRed : colour::kBlack);
        EXPECT_EQ(f.ledgerLinesBelow[i].borderColour, i == 4 ? colour::kRed : colour::kBlack);
    }
    EXPECT_FALSE(f.lengthBox.visible);
    f.lengthTools[8].click();
    EXPECT_TRUE(f.lengthBox.visible);
    EXPECT_EQ(f.view.newNoteLength, 12); // the box holds "12"
    f.lengthTools[0].click();
    EXPECT_EQ(f.view.newNoteLength, 48);
    EXPECT_FALSE(f.lengthBox.visible);
}

TEST_F(MainWindowModelStartup, SetsUpEveryChannelThenSelectsTheBandInstruments) {
    w.load();
    const std::vector<uint32_t> sent = w.sent();
    ASSERT_EQ(sent.size(), 48u + 2u);
    for (int ch = 0; ch < 16; ++ch) {
        EXPECT_EQ(sent[3 * ch], pack(0xB0 + ch, 7, 100));
        EXPECT_EQ(sent[3 * ch + 1], pack(0xC0 + ch, 0, 0));
        EXPECT_EQ(sent[3 * ch + 2], pack(0xE0 + ch, 0, 0x40));
    }
    // Choosing item 0 in both instrument lists, as a user would.
    EXPECT_EQ(sent[48], pack(0xC0, 0, 0));
    EXPECT_EQ(sent[49], pack(0xC9, 0, 0));
}

TEST_F(MainWindowModelStartup, WithoutADeviceOrWithABusyOneGoesOnOnTheSilentDevice) {
    const std::pair<DeviceCase, std::string> cases[] = {
        {DeviceCase::None, "MIDI音源を使用できません."},
        {DeviceCase::Busy,
         "おそらく別のソフトで、すでにmidiが使われています。そちらを先に終了させてから、"
         "ヴァコヴァコMIDIを起動してください "}};
    for (const auto& [deviceCase, message] : cases) {
        SCOPED_TRACE(message);
        Window w(deviceCase);
        w.load();
        MainWindowModel& f = *w.form; // this window's, not the fixture's
        EXPECT_EQ(w.ui.messages, std::vector<std::string>{message});
        EXPECT_TRUE(f.usingSilentDevice);
        EXPECT_FALSE(w.ui.ended);
        // The rest of the start-up ran: lists, defaults and the first redraw.
        EXPECT_EQ(f.bandInstrumentLists[0].items.size(), 128u);
        EXPECT_EQ(w.song.changes.size(), 3u);
        EXPECT_EQ(f.pageLabels[1].caption, "1 / 1 ページ");
        EXPECT_GE(w.canvas.clearCount, 1);
        // Editing and saving work afterwards.
        w.song.fileName = "kept";
        EXPECT_EQ(SaveSong(w.song, f.folders, f), SaveStatus::Written);
        EXPECT_TRUE(std::filesystem::exists(w.folder / "kept.txt"));
    }
}

TEST_F(MainWindowModelStartup, OpensTheCommandLineFile) {
    const std::string path = std::string(EXAMPLES_DIR) + "/example.txt";
    w.load(path);
    EXPECT_TRUE(w.ui.messages.empty());
    EXPECT_EQ(f.caption, msg::kCaptionPrefix + path);
    EXPECT_GT(w.song.noteCount(), 0);
    // The file list stays: it shows where the song is saved, as its caption says.
    EXPECT_TRUE(f.fileList.visible);
    EXPECT_EQ(f.columnCaptions[2].caption, "下のリストで曲名をクリックすると読みこみます");
    EXPECT_FALSE(w.canvas.ofKind(DrawOp::Circle).empty());
    EXPECT_TRUE(f.playButton.enabled);
    EXPECT_EQ(f.tempoBox.text(), w.song.tempoText);
    // Named like a dropped song: the closing question and the save box say "example".
    EXPECT_EQ(w.song.songName, "example");
}

TEST_F(MainWindowModelStartup, StartupCleaningKeepsFilesTheProgramDidNotWrite) {
    // Names a user or another program gives its backups and swap files, and
    // what earlier versions named their temporaries (which proves nothing).
    const std::vector<std::string> othersFiles = {".notes.txt.backup", ".a.mid.orig", ".x.txt.swp",
                                                  ".song.txt.AB12cd", ".vakotmp-Ab12Cd"};
    const auto desktop = w.folder / "desktop";
    std::filesystem::create_directory(desktop);
    f.folders.desktopFolder = desktop;
    std::vector<std::string> leftovers;
    for (const auto& folder : {w.folder, desktop}) {
        for (const std::string& name : othersFiles) std::ofstream(folder / name) << "the user's";
        // A save of this program that was killed half-way.
        SaveInAnotherProcess killed(folder);
        leftovers.push_back((folder / killed.temporaryIn(folder)).string());
    }
    w.load();
    for (const auto& folder : {w.folder, desktop})
        for (const std::string& name : othersFiles)
            EXPECT_TRUE(std::filesystem::exists(folder / name)) << folder / name;
    for (const std::string& leftover : leftovers)
        EXPECT_FALSE(std::filesystem::exists(leftover)) << leftover;
}

TEST_F(MainWindowModelStartup, TheFileListShowsTheFilesThatOpenAsSongs) {
    for (const char* name : {"b.txt", "a.MID", "c.bmp", "d.mid", "e.midi", "f.MIDI", "g.Txt"})
        std::ofstream(w.folder / name) << "x";
    // Not a regular file: a named pipe would hold the window when opened.
    ASSERT_EQ(mkfifo((w.folder / "pipe.txt").c_str(), 0600), 0);
    std::filesystem::create_symlink("nowhere.txt", w.folder / "dangling.txt");
    w.load();
    EXPECT_EQ(f.fileList.items,
              (std::vector<std::string>{"a.MID", "b.txt", "d.mid", "e.midi", "f.MIDI"}));
}

TEST_F(MainWindowModelStartup, AMissingCommandLineFileIsReportedByTheLoader) {
    w.load("\"/no/such/file.txt\"");
    EXPECT_EQ(w.ui.messages, std::vector<std::string>{
                                 msg::cannotRead("\"/no/such/file.txt\"", msg::kReasonMissing)});
    EXPECT_FALSE(w.song.songName) << "an unread file gives the empty song no name";
    EXPECT_EQ(w.form->caption, msg::kCaptionPrefix + "新規作成");
}

TEST_F(MainWindowModelControls, MenusSetTheValueTheirCheckMarkAndRedraw) {
    const int clears = w.canvas.clearCount;
    f.gridFortyEighthsMenu.click();
    EXPECT_EQ(w.song.grid, 5);
    EXPECT_TRUE(f.gridFortyEighthsMenu.checked);
    EXPECT_FALSE(f.gridSixteenthsMenu.checked);
    f.gridQuartersMenu.click();
    EXPECT_EQ(w.song.grid, 60);
    EXPECT_FALSE(f.gridFortyEighthsMenu.checked);
    f.meterThreeMenu.click();
    EXPECT_EQ(w.song.quartersPerBar, 3);
    EXPECT_TRUE(f.meterThreeMenu.checked);
    EXPECT_FALSE(f.meterFourMenu.checked);
    f.showChangesMenu.click();
    EXPECT_TRUE(f.showChangesMenu.checked);
    f.showNoteNamesMenu.click();
    EXPECT_FALSE(f.showNoteNamesMenu.checked);
    EXPECT_EQ(w.canvas.clearCount, clears + 5);
    f.minorChordMenu.click();
    EXPECT_EQ(f.view.chordCode, 1047);
    EXPECT_TRUE(f.minorChordMenu.checked);
    EXPECT_FALSE(f.majorChordMenu.checked);
}

TEST_F(MainWindowModelControls, PartButtonsChooseTheBandsPartInstrumentAndVolume) {
    w.song.partPrograms[3] = 40;
    w.song.partVolumes[3] = 2;
    w.midi->clear();
    f.lowerPartButtons[3].click();
    EXPECT_EQ(w.form->view.bandParts[1], 3);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(f.lowerPartButtons[i].backColour, i == 3 ? colour::kLightRed : colour::kWhite);
    EXPECT_EQ(f.upperPartButtons[0].backColour, colour::kLightRed);
    EXPECT_EQ(f.bandInstrumentLists[1].listIndex, 40);
    EXPECT_EQ(f.bandVolumeScrollBars[1].value, 2);
    EXPECT_EQ(f.bandVolumeBoxes[1].text(), "2");
    // The list's and the scroll bar's handlers ran for part 3.
    EXPECT_EQ(w.sent(), (std::vector<uint32_t>{pack(0xC3, 40, 0), pack(0xB3, 7, 40)}));
    EXPECT_EQ(w.song.partVolumes[3], 2);
}

TEST_F(MainWindowModelControls, TranspositionReadOutShowsTheNegatedValue) {
    EXPECT_EQ(f.transposeLabels[1].caption, "+0");
    // 40 is clamped to the range.
    for (auto [value, shown] : {std::pair{-5, "+5"}, {3, "-3"}, {0, "+0"}, {40, "-12"}}) {
        f.transposeScrollBar.setValue(value);
        EXPECT_EQ(f.transposeLabels[1].caption, shown) << value;
    }
    EXPECT_EQ(f.transposeScrollBar.value, 12);
}

TEST_F(MainWindowModelControls, PageScrollBarTurnsPages) {
    w.setNotes({note(1, 60, 12, 0), note(300, 62, 12, 0)});
    f.redrawScore();
    EXPECT_EQ(f.pageScrollBar.max, 3);
    f.pageScrollBar.setValue(2);
    EXPECT_EQ(f.view.page, 2);
    EXPECT_EQ(f.pageLabels[1].caption, "3 / 3 ページ");
    f.pageScrollBar.setValue(3); // one page beyond the last note
    EXPECT_EQ(f.pageLabels[1].caption, "4 / 3 ページ");
    EXPECT_FALSE(f.playButton.enabled);
    // A shorter song pulls the page back into the range.
    w.setNotes({note(1, 60, 12, 0)});
    f.redrawScore();
    EXPECT_EQ(f.pageScrollBar.max, 1);
    EXPECT_EQ(f.view.page, 1);
    EXPECT_EQ(f.pageLabels[1].caption, "2 / 1 ページ");
}

TEST_F(MainWindowModelControls, LoadingAFileSetsTheMenusFromTheSong) {
    f.gridFortyEighthsMenu.click();
    f.meterSixMenu.click();
    const std::string path = std::string(EXAMPLES_DIR) + "/example.txt";
    ASSERT_EQ(openFile(w.song, path, f), OpenStatus::Loaded);
    int grids = 0;
    for (MenuItem* m :
         {&f.gridQuartersMenu, &f.gridEighthsMenu, &f.gridSixteenthsMenu, &f.gridFortyEighthsMenu})
        grids += m->checked;
    EXPECT_EQ(grids, 1);
    EXPECT_EQ(f.gridSixteenthsMenu.checked, w.song.grid == 15);
    EXPECT_EQ(f.meterFourMenu.checked, w.song.quartersPerBar == 4);
}

TEST_F(MainWindowModelControls, TilesABackgroundPictureOverTheView) {
    w.canvas.pictures["wall.bmp"] = {500, 700};
    w.canvas.keepAll = true;
    EXPECT_TRUE(w.form->tilePicture("wall.bmp"));
    const auto pictures = w.canvas.ofKind(DrawOp::Picture);
    // x = 0, 500 (<= 962); y = 0, 700 (<= 1200): four tiles from (-190, -1180).
    ASSERT_EQ(pictures.size(), 4u);
    EXPECT_EQ(pictures[0].x1, -190);
    EXPECT_EQ(pictures[0].y1, -1180);
    EXPECT_EQ(pictures[3].x1, 310);
    EXPECT_EQ(pictures[3].y1, -480);
    EXPECT_TRUE(w.canvas.hasPersistentPicture);
    w.canvas.pictures["empty.bmp"] = {0, 0};
    EXPECT_FALSE(w.form->tilePicture("empty.bmp"));
    EXPECT_FALSE(w.form->tilePicture("missing.bmp"));
}

} // namespace
} // namespace vako::test
