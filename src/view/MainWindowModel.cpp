#include "view/MainWindowModel.h"

#include "midi/MidiImport.h"
#include "midi/ShortMessage.h"
#include "platform/AtomicFile.h"
#include "song/Messages.h"
#include "song/OpenFile.h"
#include "song/SongWriter.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace vako {
namespace {

// Design positions are given in pixels of the designed window and stored in
// window units.
constexpr double px(double v) {
    return v * kTwipsPerPixel;
}

} // namespace

MainWindowModel::MainWindowModel(Song& song, Canvas& canvas, DeviceOpener openDevice,
                                 WindowSystem& ui, SongFolders folders)
    : song(song), editor(song), canvas(canvas), folders(std::move(folders)),
      m_openDevice(std::move(openDevice)), m_device(std::make_unique<NullMidiOut>()), m_ui(ui) {
    caption = translated(msg::kCaptionPrefix) + translated("新規作成");
    canvas.setOrigin(kViewLeft, kViewTop);
    canvas.setFontSize(9.75);
    buildMenus();
    buildControls();
    wireFilesAndPlayback();
    wireEditing();
    wireSelection();
    buildLanguageMenu();
}

// ---------------------------------------------------------------------------
// Design of the window

void MainWindowModel::buildMenus() {
    auto item = [this](MenuItem& m, const char* name, const char* caption,
                       std::vector<MenuItem*> children = {}) {
        m.name = name;
        m.caption = translated(caption);
        m.children = std::move(children);
        m_allMenus.push_back(&m);
    };
    item(newSongMenu, "新規作成", "新規作成");
    item(saveAsMenu, "保存", "保存");
    saveAsMenu.shortcut = "Ctrl+A";
    item(saveMenu, "上書き保存", "上書き保存");
    saveMenu.shortcut = "Ctrl+S";
    item(saveToDesktopMenu, "デスクトップに上書き保存", "保存場所をデスクトップﾟにする");
    item(exportMusicXmlMenu, "MusicXMLに書き出す", "MusicXMLに書き出す");
    item(exportPdfMenu, "PDFに書き出す", "PDFに書き出す");
    exportPdfMenu.onClick = [this] { files.exportPdf(); };
    item(printMenu, "印刷", "印刷");
    printMenu.shortcut = "Ctrl+P";
    printMenu.onClick = [this] { files.printScore(); };
    item(quitMenu, "終了", "終了");
    item(fileMenu, "ファイル", "ファイル",
         {&newSongMenu, &saveAsMenu, &saveMenu, &saveToDesktopMenu, &exportMusicXmlMenu,
          &exportPdfMenu, &printMenu, &quitMenu});

    item(gridFortyEighthsMenu, "b48", "12　（３連符の時に）");
    item(gridSixteenthsMenu, "b16", "4");
    item(gridEighthsMenu, "b8", "2　（８分音符の時に）");
    item(gridQuartersMenu, "b4", "1　（４分音符の時に）");
    gridSixteenthsMenu.checked = true;
    item(gridSubmenu, "分割数", "入力時の区切り数",
         {&gridFortyEighthsMenu, &gridSixteenthsMenu, &gridEighthsMenu, &gridQuartersMenu});
    item(meterSixMenu, "h6", "6");
    item(meterFourMenu, "h4", "4");
    item(meterThreeMenu, "h3", "3");
    item(meterTwoMenu, "h2", "2");
    meterFourMenu.checked = true;
    item(meterSubmenu, "拍子", "１小節の４分音符数",
         {&meterSixMenu, &meterFourMenu, &meterThreeMenu, &meterTwoMenu});
    item(editingMenu, "編集中", "編集中");
    editingMenu.checked = true;
    item(editingSeparator, "a", "-");
    // Ctrl+Z belongs to "元に戻す", which does the same.
    item(undoMenu, "やり直し", "やり直し");
    item(undoStepMenu, "元に戻す", "元に戻す");
    undoStepMenu.shortcut = "Ctrl+Z";
    undoStepMenu.enabled = false;
    item(redoStepMenu, "再実行", "再実行");
    redoStepMenu.shortcut = "Ctrl+Y";
    redoStepMenu.otherShortcut = "Ctrl+Shift+Z";
    redoStepMenu.enabled = false;
    item(editMenu, "編集", "編集", {&undoStepMenu, &redoStepMenu});
    item(editingFeaturesMenu, "機能A", "機能A",
         {&gridSubmenu, &meterSubmenu, &editingMenu, &editingSeparator, &undoMenu});

    item(rangeEditingMenu, "便利機能", "小節単位での処理");
    item(chordInputMenu, "和音入力有効", "和音入力有効");
    item(majorChordMenu, "メジャー", "メジャード・コード・・・明るい響き");
    item(minorChordMenu, "マイナー", "マイナー・コード・・・寂しい響き");
    item(augmentedChordMenu, "オーギュメント", "オーギュメント・コード・・・不安な響き");
    item(diminishedChordMenu, "ディミニッシュ", "ディミニッシュ・コード・・・不気味な響き");
    item(seventhChordMenu, "セブンス", "セブンス・コード");
    item(suspendedFourthChordMenu, "サスフォー", "サスフォー・コード");
    majorChordMenu.checked = true;
    item(chordChoiceSubmenu, "和音選択", "和音選択",
         {&majorChordMenu, &minorChordMenu, &augmentedChordMenu, &diminishedChordMenu,
          &seventhChordMenu, &suspendedFourthChordMenu});
    item(chordSubmenu, "和音", "和音", {&chordInputMenu, &chordChoiceSubmenu});
    item(keyboardEditsMenu, "編集の助け", "編集の助け");
    keyboardEditsMenu.checked = true;
    item(keyboardDrumsMenu, "打楽器をたたく", "打楽器をたたく（再生時にはリアルタイム録音）");
    item(keyboardUseSubmenu, "キーボードの使い道", "キーボードの使い道",
         {&keyboardEditsMenu, &keyboardDrumsMenu});
    item(showChangesMenu, "CC表示", "CC表示有効");
    item(showNoteNamesMenu, "音階表示有効", "音階表示有効");
    showNoteNamesMenu.checked = true;
    item(inputFeaturesMenu, "機能B", "機能B",
         {&rangeEditingMenu, &chordSubmenu, &keyboardUseSubmenu, &showChangesMenu,
          &showNoteNamesMenu});

    item(reverseSongMenu, "データを逆再生", "データを前後逆順にする");
    item(allGrandPianoMenu, "グランドピアノに変更", "1: グランドピアノ");
    item(allMusicBoxMenu, "ミュージックボックスに変更", "11: ミュージックボックス");
    item(allFluteMenu, "フルートに変更", "74: フルート");
    item(allBrightnessMenu, "ブライトネスに変更", "101: ブライトネス");
    item(allOtherInstrumentMenu, "その他の楽器に変更", "その他");
    item(allPartsInstrumentSubmenu, "全パートを同一楽器にする", "全パートを次の楽器に変更",
         {&allGrandPianoMenu, &allMusicBoxMenu, &allFluteMenu, &allBrightnessMenu,
          &allOtherInstrumentMenu});
    item(mergeMenu, "曲の合成", "曲の合成（曲の上書き読みこみ）");
    item(pitchBendMenu, "グイングィーンって感じの音", "手動ピッチベンド");
    item(playfulFeaturesMenu, "機能C", "遊びの機能",
         {&reverseSongMenu, &allPartsInstrumentSubmenu, &mergeMenu, &pitchBendMenu});

    buildSelectionMenus();
    m_menuBar = {&fileMenu, &editMenu, &selectionMenu, &editingFeaturesMenu, &inputFeaturesMenu,
                 &playfulFeaturesMenu};

    gridQuartersMenu.onClick = [this] { gridMenu(gridQuartersMenu, 60); };
    gridEighthsMenu.onClick = [this] { gridMenu(gridEighthsMenu, 30); };
    gridSixteenthsMenu.onClick = [this] { gridMenu(gridSixteenthsMenu, 15); };
    gridFortyEighthsMenu.onClick = [this] { gridMenu(gridFortyEighthsMenu, 5); };
    meterTwoMenu.onClick = [this] { meterMenu(meterTwoMenu, 2); };
    meterThreeMenu.onClick = [this] { meterMenu(meterThreeMenu, 3); };
    meterFourMenu.onClick = [this] { meterMenu(meterFourMenu, 4); };
    meterSixMenu.onClick = [this] { meterMenu(meterSixMenu, 6); };
    showChangesMenu.onClick = [this] { toggleAndRedraw(showChangesMenu); };
    showNoteNamesMenu.onClick = [this] { toggleAndRedraw(showNoteNamesMenu); };
    editingMenu.onClick = [this] { editingMenu.checked = !editingMenu.checked; };
    chordInputMenu.onClick = [this] { chordInputMenu.checked = !chordInputMenu.checked; };
    const std::pair<MenuItem*, int32_t> chords[] = {
        {&majorChordMenu, 1059},     {&minorChordMenu, 1047},    {&augmentedChordMenu, 1203},
        {&diminishedChordMenu, 903}, {&seventhChordMenu, 18340}, {&suspendedFourthChordMenu, 1071}};
    for (auto [menu, code] : chords) {
        menu->onClick = [this, menu = menu, code = code] {
            uncheckChordMenus();
            view.chordCode = code;
            menu->checked = true;
        };
    }
    keyboardEditsMenu.onClick = [this] {
        keyboardEditsMenu.checked = true, keyboardDrumsMenu.checked = false;
    };
    keyboardDrumsMenu.onClick = [this] {
        keyboardEditsMenu.checked = false, keyboardDrumsMenu.checked = true;
    };
    // The file commands, undo, range editing, reversing and the instrument
    // changes are wired by the layers that own them.
}

void MainWindowModel::registerControl(Control& c, const std::string& name, ControlKind kind,
                                      Container in, double l, double t, double w, double h) {
    c.name = name;
    c.kind = kind;
    c.container = in;
    c.left = l, c.top = t, c.width = w, c.height = h;
    if (kind == ControlKind::TextBox || kind == ControlKind::ComboBox ||
        kind == ControlKind::ListBox)
        c.backColour = colour::kWhite;
    m_controls.push_back(&c);
}

template <size_t N>
void MainWindowModel::registerArray(std::array<Control, N>& arr, const std::string& name,
                                    ControlKind kind, Container in, double l, double t, double w,
                                    double h) {
    for (size_t i = 0; i < N; ++i)
        registerControl(arr[i], name + "(" + std::to_string(i) + ")", kind, in, l, t, w, h);
}

void MainWindowModel::buildControls() {
    using K = ControlKind;
    using C = Container;
    const auto F = C::Form;

    // The score view and what lies on it (view units).
    registerControl(scoreView, "scoreView", K::Panel, F, px(4), px(4), px(500), px(624));
    scoreView.backColour = colour::kViewGrey;
    registerControl(noteCursor, "noteCursor", K::Shape, C::ScoreView, 90, -310, 10, 10);
    registerControl(noteMarker, "noteMarker", K::Shape, C::ScoreView, 0, 0, 12, 50);
    noteMarker.visible = false;
    noteMarker.borderColour = colour::kBlue;
    registerControl(changeMarker, "changeMarker", K::Shape, C::ScoreView, 0, 0, 90, 24);
    changeMarker.visible = false;
    changeMarker.borderColour = colour::kBlue;
    registerControl(pitchNameLabel, "pitchNameLabel", K::Label, C::ScoreView, 20, -320, 60, 24);
    pitchNameLabel.backColour = colour::kWhite;
    registerControl(playCursor, "playCursor", K::Line, C::ScoreView, 0, 0, 0, 0);
    playCursor.setLine(100, -1180, 100, 0);
    playCursor.borderColour = colour::kBlue;
    registerControl(keyboard.inputLine, "inputPositionLine", K::Line, C::ScoreView, 0, 0, 0, 0);

    // Part buttons: element 0 of each column; the others are made at start-up.
    registerControl(columnCaptions[0], "columnCaptions(0)", K::Label, F, px(514), px(4), px(44),
                    px(18));
    columnCaptions[0].caption = translated("上段");
    registerControl(columnCaptions[1], "columnCaptions(1)", K::Label, F, px(560), px(4), px(44),
                    px(18));
    columnCaptions[1].caption = translated("下段");
    registerControl(upperPartButtons[0], "upperPartButtons(0)", K::Label, F, px(514), px(24),
                    px(44), px(20));
    registerControl(lowerPartButtons[0], "lowerPartButtons(0)", K::Label, F, px(560), px(24),
                    px(44), px(20));
    for (Control* b : {&upperPartButtons[0], &lowerPartButtons[0]}) {
        b->caption = partButtonCaption(0);
        b->backColour = colour::kWhite;
    }
    upperPartButtons[0].onClick = [this] { partButtonClick(0, 0); };
    lowerPartButtons[0].onClick = [this] { partButtonClick(1, 0); };

    // The band controls.
    registerControl(fieldCaptions[0], "fieldCaptions(0)", K::Label, F, px(612), px(4), px(230),
                    px(18));
    fieldCaptions[0].caption = translated("上段のパートの楽器と音量");
    registerControl(fieldCaptions[1], "fieldCaptions(1)", K::Label, F, px(612), px(92), px(230),
                    px(18));
    fieldCaptions[1].caption = translated("下段のパートの楽器と音量");
    for (int k = 0; k < 2; ++k) {
        const double y = k == 0 ? 24 : 112;
        registerControl(bandInstrumentLists[k], "bandInstrumentLists(" + std::to_string(k) + ")",
                        K::ComboBox, F, px(612), px(y), px(230), px(24));
        bandInstrumentLists[k].onClick = [this, k] { bandInstrumentChosen(k); };
        registerControl(bandVolumeScrollBars[k], "bandVolumeScrollBars(" + std::to_string(k) + ")",
                        K::VScrollBar, F, px(850), px(y), px(18), px(62));
        // Up is louder: the top of the bar is volume 6.
        bandVolumeScrollBars[k].min = 6, bandVolumeScrollBars[k].max = 0,
        bandVolumeScrollBars[k].value = 5;
        bandVolumeScrollBars[k].onChange = [this, k] { bandVolumeChanged(k); };
        registerControl(bandVolumeBoxes[k], "bandVolumeBoxes(" + std::to_string(k) + ")",
                        K::TextBox, F, px(874), px(y), px(30), px(22));
        bandVolumeBoxes[k].caption = "5";
    }

    // The song's text fields.
    registerControl(fieldCaptions[2], "fieldCaptions(2)", K::Label, F, px(612), px(186), px(60),
                    px(18));
    fieldCaptions[2].caption = translated("テンポ");
    registerControl(tempoBox, "tempoBox", K::TextBox, F, px(682), px(184), px(60), px(22));
    tempoBox.caption = song.tempoText;
    registerControl(fieldCaptions[3], "fieldCaptions(3)", K::Label, F, px(612), px(214), px(62),
                    px(18));
    fieldCaptions[3].caption = translated("著作権名");
    registerControl(copyrightBox, "copyrightBox", K::TextBox, F, px(682), px(212), px(222), px(22));
    copyrightBox.caption = song.copyrightText;
    registerControl(fieldCaptions[4], "fieldCaptions(4)", K::Label, F, px(612), px(242), px(60),
                    px(18));
    fieldCaptions[4].caption = translated("曲名");
    registerControl(sequenceNameBox, "sequenceNameBox", K::TextBox, F, px(682), px(240), px(222),
                    px(22));
    sequenceNameBox.caption = song.sequenceNameText;

    // Transposition and the sharp/flat selectors.
    registerControl(transposeLabels[0], "transposeLabels(0)", K::Label, F, px(612), px(274), px(60),
                    px(18));
    transposeLabels[0].caption = translated("移調");
    registerControl(transposeScrollBar, "transposeScrollBar", K::VScrollBar, F, px(674), px(272),
                    px(18), px(62));
    transposeScrollBar.min = -12, transposeScrollBar.max = 12, transposeScrollBar.value = 0;
    transposeScrollBar.onChange = [this] { transposeChanged(); };
    registerControl(transposeLabels[1], "transposeLabels(1)", K::Label, F, px(696), px(294), px(40),
                    px(18));
    transposeLabels[1].caption = "+0";
    registerControl(fieldCaptions[5], "fieldCaptions(5)", K::Label, F, px(748), px(274), px(156),
                    px(18));
    fieldCaptions[5].caption = translated("入力する音");
    const char* optionCaptions[] = {markForTranslation("なし"), "#", "b", "",
                                    markForTranslation("半音上げる"),
                                    markForTranslation("半音下げる")};
    // "なし" is the widest (and "None" in English); a gap between the options
    // keeps each caption apart from the next option's mark on small screens too.
    static constexpr double kOptionLeft[] = {748, 815, 862}, kOptionWidth[] = {62, 44, 42};
    for (int i = 0; i < 6; ++i) {
        Control& o = accidentalOptions[i];
        if (i < 3) {
            registerControl(o, "accidentalOptions(" + std::to_string(i) + ")", K::OptionButton, F,
                            px(kOptionLeft[i]), px(294), px(kOptionWidth[i]), px(22));
        } else {
            registerControl(o, "accidentalOptions(" + std::to_string(i) + ")", K::OptionButton,
                            C::NotePanel, 20 + 180 * (i - 4), 160, 170, 30);
        }
        o.caption = translated(optionCaptions[i]);
    }
    accidentalOptions[0].checked = true;
    accidentalOptions[3].visible = false;

    // The pitch-bend strip: x 0..128 across, the centre at 64.
    registerControl(pitchBendCaption, "pitchBendCaption", K::Label, F, px(612), px(342), px(200),
                    px(18));
    pitchBendCaption.caption = translated("ピッチベンド窓");
    registerControl(pitchBendStrip, "pitchBendStrip", K::Panel, F, px(612), px(362), px(292),
                    px(36));
    pitchBendStrip.backColour = colour::kWhite;
    registerControl(pitchBendIndicator, "pitchBendIndicator", K::Line, C::PitchBendStrip, 0, 0, 0,
                    0);
    pitchBendIndicator.setLine(64, 0, 64, 1);
    pitchBendIndicator.borderColour = colour::kRed;

    // Play, export and the background button.
    registerControl(playButton, "playButton", K::Button, F, px(612), px(412), px(64), px(48));
    registerControl(exportButton, "exportButton", K::Button, F, px(684), px(412), px(130), px(48));
    exportButton.caption = translated("MIDIファイル作成");
    registerControl(clearBackgroundButton, "clearBackgroundButton", K::Button, F, px(822), px(412),
                    px(82), px(48));
    clearBackgroundButton.caption = translated("壁紙を消す");
    clearBackgroundButton.visible = false;
    registerArray(playStopImages, "playStopImages", K::Image, F, px(612), px(412), px(32), px(32));
    playStopImages[0].picture = PictureId::Play;
    playStopImages[1].picture = PictureId::Stop;
    for (Control& i : playStopImages) i.visible = false;

    // The toolbox: frame, eight length tools and the custom length.
    registerControl(fieldCaptions[6], "fieldCaptions(6)", K::Label, F, px(922), px(4), px(120),
                    px(18));
    fieldCaptions[6].caption = translated("音の長さ");
    registerControl(toolboxFrame[0], "toolboxFrame(0)", K::Shape, F, px(922), px(44), px(212),
                    px(62));
    const PictureId tools[] = {
        PictureId::Whole,         PictureId::Half,         PictureId::Quarter,
        PictureId::Eighth,        PictureId::Sixteenth,    PictureId::DottedHalf,
        PictureId::DottedQuarter, PictureId::DottedEighth, PictureId::Custom};
    for (int i = 0; i < 18; ++i) {
        const bool inPanel = i >= 10;
        registerControl(lengthTools[i], "lengthTools(" + std::to_string(i) + ")", K::Image,
                        inPanel ? C::NotePanel : F, inPanel ? 20 + 45 * (i - 10) : px(922),
                        inPanel ? 230 : px(44), inPanel ? 40 : px(20), inPanel ? 40 : px(20));
        if (i <= 8) lengthTools[i].picture = tools[i];
        lengthTools[i].onClick = [this, i] { lengthToolClicked(i); };
    }
    lengthTools[9].visible = false;
    // Panel tools set a note's length: 9, 18, 36, 3, 6, 12, 24, 48 steps.
    const PictureId panelTools[] = {PictureId::DottedEighth, PictureId::DottedQuarter,
                                    PictureId::DottedHalf,   PictureId::Sixteenth,
                                    PictureId::Eighth,       PictureId::Quarter,
                                    PictureId::Half,         PictureId::Whole};
    for (int i = 10; i < 18; ++i) lengthTools[i].picture = panelTools[i - 10];
    registerControl(lengthBox, "lengthBox", K::TextBox, F, px(1080), px(80), px(40), px(22));
    lengthBox.caption = "12";
    lengthBox.visible = false;

    // The file list, its hint, and the read-outs under the view.
    registerControl(columnCaptions[2], "columnCaptions(2)", K::Label, F, px(922), px(130), px(392),
                    px(20));
    columnCaptions[2].caption = translated("下のリストで曲名をクリックすると読みこみます");
    registerControl(fileList, "fileList", K::ListBox, F, px(922), px(152), px(392), px(480));
    // The read-out has room for the page numbers of the longest song (eight
    // digits each) beside a shorter scroll bar.
    registerControl(pageScrollBar, "pageScrollBar", K::HScrollBar, F, px(4), px(632), px(290),
                    px(18));
    pageScrollBar.min = 0, pageScrollBar.max = 1, pageScrollBar.value = 0,
    pageScrollBar.largeChange = 1;
    pageScrollBar.onChange = [this] { pageScrolled(); };
    registerControl(pageLabels[0], "pageLabels(0)", K::Label, F, px(368), px(632), px(40), px(18));
    pageLabels[0].visible = false; // the read-out next to it says it all
    registerControl(pageLabels[1], "pageLabels(1)", K::Label, F, px(298), px(632), px(206), px(18));
    pageLabels[1].caption = translated("{page} / {pages} ページ", {{"page", "1"}, {"pages", "1"}});
    // The whole width of the window: a save names its file here.
    registerControl(statusLine, "statusLine", K::Label, F, px(4), px(652), px(1312), px(18));
    // "N 個選択中" at the right end of the status line, shown while notes are selected.
    registerControl(selectionReadOut, "selectionReadOut", K::Label, F, px(1056), px(652), px(260),
                    px(18));
    selectionReadOut.visible = false;
    registerControl(selectionBand, "selectionBand", K::Shape, C::ScoreView, 0, 0, 0, 0);
    selectionBand.visible = false;
    selectionBand.borderColour = colour::kSelectedNote;

    // The note panel (on the score view, view units).
    registerControl(notePanel, "notePanel", K::Panel, C::ScoreView, 100, -1100, 400, 300);
    notePanel.visible = false;
    notePanel.backColour = colour::kWhite;
    registerControl(fieldCaptions[7], "fieldCaptions(7)", K::Label, C::NotePanel, 20, 20, 170, 28);
    fieldCaptions[7].caption = translated("音の強さ");
    registerControl(notePanel.strengthList, "noteStrengthList", K::ComboBox, C::NotePanel, 20, 55,
                    170, 36);
    registerControl(fieldCaptions[8], "fieldCaptions(8)", K::Label, C::NotePanel, 210, 20, 170, 28);
    fieldCaptions[8].caption = translated("音のバランス");
    registerControl(notePanel.balanceList, "noteBalanceList", K::ComboBox, C::NotePanel, 210, 55,
                    170, 36);
    registerControl(notePanel.deleteButton, "noteDeleteButton", K::Button, C::NotePanel, 20, 110,
                    170, 40);
    notePanel.deleteButton.caption = translated("削除");
    registerControl(notePanel.closeButton, "noteCloseButton", K::Button, C::NotePanel, 210, 110,
                    170, 40);
    notePanel.closeButton.caption = translated("閉じる");

    // The position panel (on the score view, view units).
    registerControl(positionPanel, "positionPanel", K::Panel, C::ScoreView, 100, -1100, 420, 260);
    positionPanel.visible = false;
    positionPanel.backColour = colour::kWhite;
    registerControl(positionPanel.prompt, "positionPanelPrompt", K::Label, C::PositionPanel, 20, 15,
                    380, 28);
    positionPanel.whilePlaying(false);
    // The sentence runs on one line in a smaller type (about 17 units a
    // character, up to 19 where the type is held at its smallest size); the
    // list and the number box stand in its two gaps.
    registerControl(positionPanel.sentence[0], "positionPanelSentence(0)", K::Label,
                    C::PositionPanel, 6, 60, 412, 30);
    positionPanel.sentence[0].caption = translated("この位置で　 　　　　　　　　　　を　　　　　に");
    positionPanel.sentence[0].fontSize = 7;
    registerControl(positionPanel.kindList, "changeKindList", K::ComboBox, C::PositionPanel, 104,
                    55, 164, 36);
    positionPanel.kindList.items = {translated("テンポ"), translated("楽器"),
                                    translated("ボリューム")};
    registerControl(positionPanel.valueBox, "changeValueBox", K::TextBox, C::PositionPanel, 314, 55,
                    56, 36);
    registerControl(positionPanel.sentence[1], "positionPanelSentence(1)", K::Label,
                    C::PositionPanel, 20, 115, 200, 30);
    positionPanel.sentence[1].caption = translated("この位置の操作を");
    registerControl(positionPanel.deleteButton, "deleteChangeButton", K::Button, C::PositionPanel,
                    230, 108, 150, 40);
    positionPanel.deleteButton.caption = translated("削除する");
    registerControl(positionPanel.setButton, "positionSetButton", K::Button, C::PositionPanel, 20,
                    190, 170, 44);
    positionPanel.setButton.caption = translated("設定");
    registerControl(positionPanel.closeButton, "positionCloseButton", K::Button, C::PositionPanel,
                    210, 190, 170, 44);
    positionPanel.closeButton.caption = translated("閉じる");

    // The hidden picture box that background pictures are loaded into.
    registerControl(backgroundPictureBox, "backgroundPictureBox", K::Panel, F, 0, 0, 0, 0);
    backgroundPictureBox.visible = false;

    // Ledger lines of the cursor: element 0 of each array; the rest at start-up.
    registerControl(ledgerLinesAbove[0], "ledgerLinesAbove(0)", K::Line, C::ScoreView, 0, 0, 0, 0);
    registerControl(ledgerLinesBelow[0], "ledgerLinesBelow(0)", K::Line, C::ScoreView, 0, 0, 0, 0);
    ledgerLinesAbove[0].setLine(90, -1020, 125, -1020);
    ledgerLinesBelow[0].setLine(90, -780, 125, -780);
    ledgerLinesAbove[0].visible = ledgerLinesBelow[0].visible = false;
}

} // namespace vako

namespace vako {

// ---------------------------------------------------------------------------
// Start-up

void MainWindowModel::buildPartButtons() {
    for (int band = 0; band < 2; ++band) {
        auto& column = band == 0 ? upperPartButtons : lowerPartButtons;
        const std::string name = band == 0 ? "upperPartButtons" : "lowerPartButtons";
        for (int i = 1; i < kPartCount; ++i) {
            const Control& above = column[i - 1];
            registerControl(column[i], name + "(" + std::to_string(i) + ")", ControlKind::Label,
                            Container::Form, above.left, above.top + above.height, above.width,
                            above.height);
            column[i].caption = partButtonCaption(i);
            column[i].visible = true;
            column[i].onClick = [this, band, i] { partButtonClick(band, i); };
        }
        for (int i = 0; i < kPartCount; ++i) column[i].backColour = colour::kWhite;
    }
    upperPartButtons[0].backColour = colour::kLightRed;
    lowerPartButtons[kPercussionPart].backColour = colour::kLightRed;
}

void MainWindowModel::buildLedgerLines() {
    for (int i = 1; i <= 8; ++i) {
        registerControl(ledgerLinesAbove[i], "ledgerLinesAbove(" + std::to_string(i) + ")",
                        ControlKind::Line, Container::ScoreView, 0, 0, 0, 0);
        registerControl(ledgerLinesBelow[i], "ledgerLinesBelow(" + std::to_string(i) + ")",
                        ControlKind::Line, Container::ScoreView, 0, 0, 0, 0);
        ledgerLinesAbove[i].setLine(ledgerLinesAbove[0].x1, -1020 - 20 * i, ledgerLinesAbove[0].x2,
                                    -1020 - 20 * i);
        ledgerLinesBelow[i].setLine(ledgerLinesBelow[0].x1, -780 + 20 * i, ledgerLinesBelow[0].x2,
                                    -780 + 20 * i);
        ledgerLinesAbove[i].visible = ledgerLinesBelow[i].visible = false;
    }
    ledgerLinesAbove[4].borderColour = colour::kRed;
    ledgerLinesBelow[4].borderColour = colour::kRed;
}

void MainWindowModel::layOutToolboxAtStart() {
    const double l = toolboxFrame[0].left, t = toolboxFrame[0].top;
    for (int i = 0; i < 8; ++i) {
        Control& icon = lengthTools[i];
        if (i < 5)
            icon.move(l + i * (icon.width + 50), t);
        else
            icon.move(l + (i - 5) * (icon.width + 50), t + 600);
    }
}

void MainWindowModel::fillLists() {
    notePanel.strengthList.items.clear();
    for (int k = 0; k <= 20; ++k) notePanel.strengthList.items.push_back(std::to_string(20 - k));
    notePanel.balanceList.items = {translated("-4 左"),     "-3", translated("-2 やや左"),
                                   "-1",                    "0",  "1",
                                   translated("2 やや右"), "3",  translated("4 右")};
    for (Control& c : bandInstrumentLists)
        c.items.assign(instrumentNames().begin(), instrumentNames().end());
}

void MainWindowModel::load(const std::string& commandLine) {
    // Saves that were interrupted (a kill, a power cut) left their temporary
    // files behind; nothing else would ever remove them.
    removeStaleTemporaryFiles(folders.songFolder);
    removeStaleTemporaryFiles(folders.desktopFolder);
    refreshFileList();
    playButton.picture = playStopImages[0].picture;
    undoMenu.enabled = false;
    view.bandParts = {0, 9};
    view.chordCode = 1059;
    left = static_cast<double>(roundHalfEven(m_ui.screenWidth()) / 2 - roundHalfEven(width) / 2);
    top = static_cast<double>(roundHalfEven(m_ui.screenHeight()) / 2 - roundHalfEven(height) / 2);
    buildPartButtons();
    buildLedgerLines();
    // The song starts with its defaults: no notes, the start tempo 120, every
    // part on program 1 at volume 5, 4/4 and the sixteenth grid.
    editor.startAfresh();

    MidiStartup opened = m_openDevice ? m_openDevice() : MidiStartup{};
    if (!opened.device) {
        opened.device = std::make_unique<NullMidiOut>();
        opened.silentFallback = true;
    }
    if (!opened.message.empty()) {
        // No usable device, or one that another program holds: the window
        // still works on the silent device, so notes can be written, saved and
        // exported, and another device can be picked from "MIDI出力".
        showMessage(translated(opened.message));
    }
    useDevice(std::move(opened.device), opened.silentFallback);
    for (int part = 0; part < kPartCount; ++part) {
        midiOutShortMsg(controlChange(part, kControllerVolume, 100));
        midiOutShortMsg(programChange(part, 0));
        midiOutShortMsg(pitchBendCentre(part));
    }

    view.page = 0;
    noteCursor.width = 12;
    noteCursor.height = 18;
    // The hover cursor and its name appear where the pointer first moves
    // over the staff, not at a place the pointer never was.
    noteCursor.visible = pitchNameLabel.visible = false;
    layOutToolboxAtStart();
    lengthTools[2].click();
    shown = true;
    redrawScore();
    fillLists();
    {
        ProgramSetting setting(*this);
        bandInstrumentLists[0].setListIndex(0);
        bandInstrumentLists[1].setListIndex(0);
    }

    // A file named on the command line opens as a dropped one does. The file
    // list stays: it shows the folder the song is saved into.
    if (!commandLine.empty()) files.openAtStartup(commandLine);
}

void MainWindowModel::showSongFields() {
    tempoBox.caption = song.tempoText;
    copyrightBox.caption = song.copyrightText;
    sequenceNameBox.caption = song.sequenceNameText;
}

// ---------------------------------------------------------------------------
// Handlers of the view state

void MainWindowModel::uncheckGridMenus() {
    gridQuartersMenu.checked = gridEighthsMenu.checked = gridSixteenthsMenu.checked =
        gridFortyEighthsMenu.checked = false;
}
void MainWindowModel::uncheckMeterMenus() {
    meterTwoMenu.checked = meterThreeMenu.checked = meterFourMenu.checked = meterSixMenu.checked =
        false;
}
void MainWindowModel::uncheckChordMenus() {
    for (MenuItem* m : {&majorChordMenu, &minorChordMenu, &augmentedChordMenu, &diminishedChordMenu,
                        &seventhChordMenu, &suspendedFourthChordMenu})
        m->checked = false;
}

// The grid and the meter travel in the song file: a change of either is an
// edit of the song and a step of the history.
void MainWindowModel::gridMenu(MenuItem& item, int divisions) {
    uncheckGridMenus();
    editor.setGrid(divisions);
    item.checked = true;
    showUndoState();
    redrawScore();
}

void MainWindowModel::meterMenu(MenuItem& item, int quarters) {
    uncheckMeterMenus();
    editor.setMeter(quarters);
    item.checked = true;
    showUndoState();
    redrawScore();
}

void MainWindowModel::syncMeterAndGridMenus() {
    uncheckGridMenus();
    uncheckMeterMenus();
    for (auto [menu, value] : {std::pair{&gridQuartersMenu, 60},
                               {&gridEighthsMenu, 30},
                               {&gridSixteenthsMenu, 15},
                               {&gridFortyEighthsMenu, 5}})
        if (song.grid == value) menu->checked = true;
    for (auto [menu, value] : {std::pair{&meterTwoMenu, 2},
                               {&meterThreeMenu, 3},
                               {&meterFourMenu, 4},
                               {&meterSixMenu, 6}})
        if (song.quartersPerBar == value) menu->checked = true;
}

void MainWindowModel::toggleAndRedraw(MenuItem& item) {
    item.checked = !item.checked;
    redrawScore();
}

void MainWindowModel::pageScrolled() {
    view.page = pageScrollBar.value;
    redrawScore(); // writes the page read-out too
    keyboard.pageTurned();
}

void MainWindowModel::transposeChanged() {
    const int shown = -transposeScrollBar.value;
    transposeLabels[1].caption = (shown >= 0 ? "+" : "") + std::to_string(shown);
}

void MainWindowModel::partButtonClick(int band, int part) {
    auto& column = band == 0 ? upperPartButtons : lowerPartButtons;
    for (Control& b : column) b.backColour = colour::kWhite;
    column[part].backColour = colour::kLightRed;
    view.bandParts[band] = static_cast<uint8_t>(part);
    {
        ProgramSetting setting(*this); // shows the part's settings, changes none
        bandInstrumentLists[band].setListIndex(song.partPrograms[part]);
        bandVolumeScrollBars[band].setValue(song.partVolumes[part]);
    }
    redrawScore();
}

// A band control the program sets only shows what the song has; one the
// user sets changes the song's part.
void MainWindowModel::bandInstrumentChosen(int band) {
    const int entry = bandInstrumentLists[band].listIndex;
    if (entry < 0) return;
    const int part = view.bandParts[band] % kPartCount;
    if (userChangedBandControl()) {
        editor.setPartProgram(part, entry);
        showUndoState();
    }
    midiOutShortMsg(programChange(part, entry));
}

void MainWindowModel::bandVolumeChanged(int band) {
    const int v = bandVolumeScrollBars[band].value;
    const int part = view.bandParts[band] % kPartCount;
    if (userChangedBandControl()) {
        editor.setPartVolume(part, v);
        showUndoState();
    }
    midiOutShortMsg(controlChange(part, kControllerVolume, int64_t{v} * kVolumeUnit));
    bandVolumeBoxes[band].caption = std::to_string(v);
}

void MainWindowModel::lengthToolClicked(int index) {
    static constexpr int kToolLength[] = {48, 24, 12, 6, 3, 36, 18, 9};
    if (index >= 10) return notePanel.lengthToolClicked(index); // the note panel's tools
    if (index < 8) {
        view.newNoteLength = static_cast<int16_t>(kToolLength[index]);
    } else if (index == 8) {
        if (!lengthBox.caption.empty())
            view.newNoteLength = static_cast<int16_t>(std::stoi(lengthBox.caption));
    } else {
        return;
    }
    const double l = toolboxFrame[0].left, t = toolboxFrame[0].top;
    for (int i = 0; i <= 8; ++i) {
        Control& icon = lengthTools[i];
        icon.move(l + 40 + (i % 5) * (icon.width + 40) + 350 * (i / 5), t + 40 + 370 * (i / 5));
    }
    lengthTools[index].move(l + 700, t - 300);
    lengthBox.visible = index == 8;
}

// ---------------------------------------------------------------------------
// SongHost

MidiFileReading MainWindowModel::readMidiFile(Song& song, std::string_view bytes) {
    return readMidiFileInto(song, bytes);
}

void MainWindowModel::showMessage(const std::string& text) {
    m_ui.messageBox(text);
}

std::string MainWindowModel::inputBox(const std::string& prompt, const std::string& title,
                                      const std::string& defaultText) {
    return m_ui.inputBox(prompt, title, defaultText);
}

void MainWindowModel::midiOutShortMsg(uint32_t message) {
    m_device->send(message);
}

void MainWindowModel::partSettingsLoaded() {
    // Every part's program and a channel volume of 100, as a load has always sent them.
    for (int part = 0; part < kPartCount; ++part) {
        midiOutShortMsg(controlChange(part, kControllerVolume, 100));
        midiOutShortMsg(programChange(part, song.partPrograms[part]));
    }
    showBandSettings();
}

void MainWindowModel::redrawAfterLoad() {
    showSongFields();
    syncMeterAndGridMenus();
    redrawScore();
    pageScrolled();
}

bool MainWindowModel::tilePicture(const std::string& path) {
    double w = 0, h = 0;
    if (!canvas.loadPicture(path, w, h)) return false;
    const double bigW = roundHalfEven(kViewWidth), bigH = roundHalfEven(kViewHeight);
    w = roundHalfEven(w), h = roundHalfEven(h);
    if (w < 1 || h < 1) return false; // an empty picture would tile for ever
    for (double x = 0; x <= bigW; x += w)
        for (double y = 0; y <= bigH; y += h) canvas.drawPicture(x - 190, y - 1180, w, h);
    canvas.keepAsPersistentPicture();
    return true;
}

void MainWindowModel::showSavedConfirmation(const std::string& fileName) {
    // In the status line, whole, in place of whatever it said before.
    statusLine.caption = msg::savedAs(fileName);
}

void MainWindowModel::refreshFileList() {
    fileList.items = songFileNames(folders.songFolder);
    fileList.listIndex = -1;
}

Control* MainWindowModel::findControl(const std::string& name) const {
    for (Control* c : m_controls)
        if (c->name == name) return c;
    return nullptr;
}

} // namespace vako
