#include "view/Formmain.h"

#include "platform/AtomicFile.h"
#include "song/Messages.h"
#include "song/OpenF.h"
#include "song/SongWriter.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>

namespace vako {
namespace {

// Design positions are given in pixels of the designed window and stored in
// window units.
constexpr double px(double v) {
    return v * kTwipsPerPixel;
}

const std::string kDropHint = "楽譜にファイルをドロップしてデータを読みこんでください";

uint32_t packShort(int status, int data1, int data2) {
    return static_cast<uint32_t>(status & 0xFF) + static_cast<uint32_t>(data1 & 0xFF) * 256 +
           static_cast<uint32_t>(data2 & 0xFF) * 65536;
}

std::string lowerAscii(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

Formmain::Formmain(Song& song, Canvas& canvas, DeviceOpener openDevice, WindowSystem& ui,
                   SongFolders folders)
    : song(song), canvas(canvas), folders(std::move(folders)), m_openDevice(std::move(openDevice)),
      m_device(std::make_unique<NullMidiOut>()), m_ui(ui) {
    canvas.setOrigin(kViewLeft, kViewTop);
    canvas.setFontSize(9.75);
    buildMenus();
    buildControls();
    wireFilesAndPlayback();
    wireEditing();
}

// ---------------------------------------------------------------------------
// Design of the window

void Formmain::buildMenus() {
    auto item = [this](MenuItem& m, const char* name, const char* caption,
                       std::vector<MenuItem*> children = {}) {
        m.name = name;
        m.caption = caption;
        m.children = std::move(children);
        m_allMenus.push_back(&m);
    };
    item(新規作成, "新規作成", "新規作成");
    item(保存, "保存", "保存");
    保存.shortcut = "Ctrl+A";
    item(上書き保存, "上書き保存", "上書き保存");
    上書き保存.shortcut = "Ctrl+S";
    item(デスクトップに上書き保存, "デスクトップに上書き保存", "保存場所をデスクトップﾟにする");
    item(終了, "終了", "終了");
    item(ファイル, "ファイル", "ファイル",
         {&新規作成, &保存, &上書き保存, &デスクトップに上書き保存, &終了});

    item(b48, "b48", "12　（３連符の時に）");
    item(b16, "b16", "4");
    item(b8, "b8", "2　（８分音符の時に）");
    item(b4, "b4", "1　（４分音符の時に）");
    b16.checked = true;
    item(分割数, "分割数", "入力時の区切り数", {&b48, &b16, &b8, &b4});
    item(h6, "h6", "6");
    item(h4, "h4", "4");
    item(h3, "h3", "3");
    item(h2, "h2", "2");
    h4.checked = true;
    item(拍子, "拍子", "１小節の４分音符数", {&h6, &h4, &h3, &h2});
    item(編集中, "編集中", "編集中");
    編集中.checked = true;
    item(a, "a", "-");
    item(やり直し, "やり直し", "やり直し");
    やり直し.shortcut = "Ctrl+Z";
    item(機能A, "機能A", "機能A", {&分割数, &拍子, &編集中, &a, &やり直し});

    item(便利機能, "便利機能", "小節単位での処理");
    item(和音入力有効, "和音入力有効", "和音入力有効");
    item(メジャー, "メジャー", "メジャード・コード・・・明るい響き");
    item(マイナー, "マイナー", "マイナー・コード・・・寂しい響き");
    item(オーギュメント, "オーギュメント", "オーギュメント・コード・・・不安な響き");
    item(ディミニッシュ, "ディミニッシュ", "ディミニッシュ・コード・・・不気味な響き");
    item(セブンス, "セブンス", "セブンス・コード");
    item(サスフォー, "サスフォー", "サスフォー・コード");
    メジャー.checked = true;
    item(和音選択, "和音選択", "和音選択",
         {&メジャー, &マイナー, &オーギュメント, &ディミニッシュ, &セブンス, &サスフォー});
    item(和音, "和音", "和音", {&和音入力有効, &和音選択});
    item(編集の助け, "編集の助け", "編集の助け");
    編集の助け.checked = true;
    item(打楽器をたたく, "打楽器をたたく", "打楽器をたたく（再生時にはリアルタイム録音）");
    item(キーボードの使い道, "キーボードの使い道", "キーボードの使い道",
         {&編集の助け, &打楽器をたたく});
    item(CC表示, "CC表示", "CC表示有効");
    item(音階表示有効, "音階表示有効", "音階表示有効");
    音階表示有効.checked = true;
    item(機能B, "機能B", "機能B", {&便利機能, &和音, &キーボードの使い道, &CC表示, &音階表示有効});

    item(データを逆再生, "データを逆再生", "データを前後逆順にする");
    item(グランドピアノに変更, "グランドピアノに変更", "1: グランドピアノ");
    item(ミュージックボックスに変更, "ミュージックボックスに変更", "11: ミュージックボックス");
    item(フルートに変更, "フルートに変更", "74: フルート");
    item(ブライトネスに変更, "ブライトネスに変更", "101: ブライトネス");
    item(その他の楽器に変更, "その他の楽器に変更", "その他");
    item(全パートを同一楽器にする, "全パートを同一楽器にする", "全パートを次の楽器に変更",
         {&グランドピアノに変更, &ミュージックボックスに変更, &フルートに変更, &ブライトネスに変更,
          &その他の楽器に変更});
    item(曲の合成, "曲の合成", "曲の合成（曲の上書き読みこみ）");
    item(グイングィーンって感じの音, "グイングィーンって感じの音", "手動ピッチベンド");
    item(機能C, "機能C", "遊びの機能",
         {&データを逆再生, &全パートを同一楽器にする, &曲の合成, &グイングィーンって感じの音});

    m_menuBar = {&ファイル, &機能A, &機能B, &機能C};

    b4.onClick = [this] { gridMenu(b4, 60); };
    b8.onClick = [this] { gridMenu(b8, 30); };
    b16.onClick = [this] { gridMenu(b16, 15); };
    b48.onClick = [this] { gridMenu(b48, 5); };
    h2.onClick = [this] { meterMenu(h2, 2); };
    h3.onClick = [this] { meterMenu(h3, 3); };
    h4.onClick = [this] { meterMenu(h4, 4); };
    h6.onClick = [this] { meterMenu(h6, 6); };
    CC表示.onClick = [this] { toggleAndRedraw(CC表示); };
    音階表示有効.onClick = [this] { toggleAndRedraw(音階表示有効); };
    編集中.onClick = [this] { 編集中.checked = !編集中.checked; };
    和音入力有効.onClick = [this] { 和音入力有効.checked = !和音入力有効.checked; };
    const std::pair<MenuItem*, int32_t> chords[] = {{&メジャー, 1059},       {&マイナー, 1047},
                                                    {&オーギュメント, 1203}, {&ディミニッシュ, 903},
                                                    {&セブンス, 18340},      {&サスフォー, 1071}};
    for (auto [menu, code] : chords) {
        menu->onClick = [this, menu = menu, code = code] {
            和音チェック外し();
            view.lngChordCode = code;
            menu->checked = true;
        };
    }
    編集の助け.onClick = [this] { 編集の助け.checked = true, 打楽器をたたく.checked = false; };
    打楽器をたたく.onClick = [this] { 編集の助け.checked = false, 打楽器をたたく.checked = true; };
    // The file commands, undo, range editing, reversing and the instrument
    // changes are wired by the layers that own them.
}

void Formmain::registerControl(Control& c, const std::string& name, ControlKind kind, Container in,
                               double l, double t, double w, double h) {
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
void Formmain::registerArray(std::array<Control, N>& arr, const std::string& name, ControlKind kind,
                             Container in, double l, double t, double w, double h) {
    for (size_t i = 0; i < N; ++i)
        registerControl(arr[i], name + "(" + std::to_string(i) + ")", kind, in, l, t, w, h);
}

void Formmain::buildControls() {
    using K = ControlKind;
    using C = Container;
    const auto F = C::Form;

    // The score view and what lies on it (view units).
    registerControl(Picture1, "Picture1", K::Panel, F, px(4), px(4), px(500), px(624));
    Picture1.backColour = colour::kViewGrey;
    registerControl(Shape6, "Shape6", K::Shape, C::Picture1, 90, -310, 10, 10);
    registerControl(Shape3, "Shape3", K::Shape, C::Picture1, 0, 0, 12, 50);
    Shape3.visible = false;
    Shape3.borderColour = colour::kBlue;
    registerControl(Shape4, "Shape4", K::Shape, C::Picture1, 0, 0, 90, 24);
    Shape4.visible = false;
    Shape4.borderColour = colour::kBlue;
    registerControl(Label7, "Label7", K::Label, C::Picture1, 20, -320, 60, 24);
    Label7.backColour = colour::kWhite;
    registerControl(Line1, "Line1", K::Line, C::Picture1, 0, 0, 0, 0);
    Line1.setLine(100, -1180, 100, 0);
    Line1.borderColour = colour::kBlue;

    // Part buttons: element 0 of each column; the others are made at start-up.
    registerControl(Label10[0], "Label10(0)", K::Label, F, px(514), px(4), px(44), px(18));
    Label10[0].caption = "上段";
    registerControl(Label10[1], "Label10(1)", K::Label, F, px(560), px(4), px(44), px(18));
    Label10[1].caption = "下段";
    registerControl(Label6[0], "Label6(0)", K::Label, F, px(514), px(24), px(44), px(20));
    registerControl(Label12[0], "Label12(0)", K::Label, F, px(560), px(24), px(44), px(20));
    for (Control* b : {&Label6[0], &Label12[0]}) {
        b->caption = "1";
        b->backColour = colour::kWhite;
    }
    Label6[0].onClick = [this] { partButtonClick(0, 0); };
    Label12[0].onClick = [this] { partButtonClick(1, 0); };

    // The band controls.
    registerControl(Label13[0], "Label13(0)", K::Label, F, px(612), px(4), px(230), px(18));
    Label13[0].caption = "上段のパートの楽器と音量";
    registerControl(Label13[1], "Label13(1)", K::Label, F, px(612), px(92), px(230), px(18));
    Label13[1].caption = "下段のパートの楽器と音量";
    for (int k = 0; k < 2; ++k) {
        const double y = k == 0 ? 24 : 112;
        registerControl(Combo1[k], "Combo1(" + std::to_string(k) + ")", K::ComboBox, F, px(612),
                        px(y), px(230), px(24));
        Combo1[k].onClick = [this, k] { Combo1_Click(k); };
        registerControl(VScroll4[k], "VScroll4(" + std::to_string(k) + ")", K::VScrollBar, F,
                        px(850), px(y), px(18), px(62));
        VScroll4[k].min = 0, VScroll4[k].max = 6, VScroll4[k].value = 5;
        VScroll4[k].onChange = [this, k] { VScroll4_Change(k); };
        registerControl(Text9[k], "Text9(" + std::to_string(k) + ")", K::TextBox, F, px(874), px(y),
                        px(30), px(22));
        Text9[k].caption = "5";
    }

    // The song's text fields.
    registerControl(Label13[2], "Label13(2)", K::Label, F, px(612), px(186), px(60), px(18));
    Label13[2].caption = "テンポ";
    registerControl(Text1, "Text1", K::TextBox, F, px(674), px(184), px(60), px(22));
    Text1.caption = song.tempoText;
    Text1.onChange = [this] { song.tempoText = Text1.caption; };
    registerControl(Label13[3], "Label13(3)", K::Label, F, px(612), px(214), px(60), px(18));
    Label13[3].caption = "著作権名";
    registerControl(Text2, "Text2", K::TextBox, F, px(674), px(212), px(230), px(22));
    Text2.caption = song.copyrightText;
    Text2.onChange = [this] { song.copyrightText = Text2.caption; };
    registerControl(Label13[4], "Label13(4)", K::Label, F, px(612), px(242), px(60), px(18));
    Label13[4].caption = "曲名";
    registerControl(Text3, "Text3", K::TextBox, F, px(674), px(240), px(230), px(22));
    Text3.caption = song.sequenceNameText;
    Text3.onChange = [this] { song.sequenceNameText = Text3.caption; };

    // Transposition and the sharp/flat selectors.
    registerControl(Label5[0], "Label5(0)", K::Label, F, px(612), px(274), px(60), px(18));
    Label5[0].caption = "移調";
    registerControl(VScroll3, "VScroll3", K::VScrollBar, F, px(674), px(272), px(18), px(62));
    VScroll3.min = -12, VScroll3.max = 12, VScroll3.value = 0;
    VScroll3.onChange = [this] { VScroll3_Change(); };
    registerControl(Label5[1], "Label5(1)", K::Label, F, px(696), px(294), px(40), px(18));
    Label5[1].caption = "+0";
    registerControl(Label13[5], "Label13(5)", K::Label, F, px(748), px(274), px(156), px(18));
    Label13[5].caption = "入力する音";
    const char* optionCaptions[] = {"なし", "#", "b", "", "半音上げる", "半音下げる"};
    for (int i = 0; i < 6; ++i) {
        Control& o = Option1[i];
        if (i < 3) {
            registerControl(o, "Option1(" + std::to_string(i) + ")", K::OptionButton, F,
                            px(748 + 54 * i), px(294), px(54), px(22));
        } else {
            registerControl(o, "Option1(" + std::to_string(i) + ")", K::OptionButton, C::Picture2,
                            20 + 180 * (i - 4), 160, 170, 30);
        }
        o.caption = optionCaptions[i];
    }
    Option1[0].checked = true;
    Option1[3].visible = false;

    // The pitch-bend strip: x 0..128 across, the centre at 64.
    registerControl(Label9, "Label9", K::Label, F, px(612), px(342), px(200), px(18));
    Label9.caption = "ピッチベンド窓";
    registerControl(Picture4, "Picture4", K::Panel, F, px(612), px(362), px(292), px(36));
    Picture4.backColour = colour::kWhite;
    registerControl(Line4, "Line4", K::Line, C::Picture4, 0, 0, 0, 0);
    Line4.setLine(64, 0, 64, 1);
    Line4.borderColour = colour::kRed;

    // Play, export and the background button.
    registerControl(Command4, "Command4", K::Button, F, px(612), px(412), px(64), px(48));
    registerControl(Command1, "Command1", K::Button, F, px(684), px(412), px(130), px(48));
    Command1.caption = "MIDIファイル作成";
    registerControl(Command2, "Command2", K::Button, F, px(822), px(412), px(82), px(48));
    Command2.caption = "壁紙を消す";
    Command2.visible = false;
    registerArray(Image2, "Image2", K::Image, F, px(612), px(412), px(32), px(32));
    Image2[0].picture = PictureId::Play;
    Image2[1].picture = PictureId::Stop;
    for (Control& i : Image2) i.visible = false;

    // The toolbox: frame, eight length tools and the custom length.
    registerControl(Label13[6], "Label13(6)", K::Label, F, px(922), px(4), px(120), px(18));
    Label13[6].caption = "音の長さ";
    registerControl(Shape2[0], "Shape2(0)", K::Shape, F, px(922), px(44), px(212), px(62));
    const PictureId tools[] = {
        PictureId::Whole,         PictureId::Half,         PictureId::Quarter,
        PictureId::Eighth,        PictureId::Sixteenth,    PictureId::DottedHalf,
        PictureId::DottedQuarter, PictureId::DottedEighth, PictureId::Custom};
    for (int i = 0; i < 18; ++i) {
        const bool inPanel = i >= 10;
        registerControl(Image4[i], "Image4(" + std::to_string(i) + ")", K::Image,
                        inPanel ? C::Picture2 : F, inPanel ? 20 + 45 * (i - 10) : px(922),
                        inPanel ? 230 : px(44), inPanel ? 40 : px(20), inPanel ? 40 : px(20));
        if (i <= 8) Image4[i].picture = tools[i];
        Image4[i].onClick = [this, i] { Image4_Click(i); };
    }
    Image4[9].visible = false;
    // Panel tools set a note's length: 9, 18, 36, 3, 6, 12, 24, 48 steps.
    const PictureId panelTools[] = {PictureId::DottedEighth, PictureId::DottedQuarter,
                                    PictureId::DottedHalf,   PictureId::Sixteenth,
                                    PictureId::Eighth,       PictureId::Quarter,
                                    PictureId::Half,         PictureId::Whole};
    for (int i = 10; i < 18; ++i) Image4[i].picture = panelTools[i - 10];
    registerControl(Text4, "Text4", K::TextBox, F, px(1080), px(80), px(40), px(22));
    Text4.caption = "12";
    Text4.visible = false;

    // The file list, its hint, and the read-outs under the view.
    registerControl(Label10[2], "Label10(2)", K::Label, F, px(922), px(130), px(392), px(20));
    Label10[2].caption = "下のリストで曲名をクリックすると読みこみます";
    registerControl(File1, "File1", K::ListBox, F, px(922), px(152), px(392), px(480));
    // The read-out has room for the page numbers of the longest song (eight
    // digits each) beside a shorter scroll bar.
    registerControl(HScroll2, "HScroll2", K::HScrollBar, F, px(4), px(632), px(290), px(18));
    HScroll2.min = 0, HScroll2.max = 1, HScroll2.value = 0, HScroll2.largeChange = 1;
    HScroll2.onChange = [this] { HScroll2_Change(); };
    registerControl(Label2[0], "Label2(0)", K::Label, F, px(368), px(632), px(40), px(18));
    Label2[0].visible = false; // the read-out next to it says it all
    registerControl(Label2[1], "Label2(1)", K::Label, F, px(298), px(632), px(206), px(18));
    Label2[1].caption = "1 / 1 ページ";
    registerControl(Label1, "Label1", K::Label, F, px(4), px(652), px(500), px(18));

    // The note panel (on the score view, view units).
    registerControl(Picture2, "Picture2", K::Panel, C::Picture1, 100, -1100, 400, 300);
    Picture2.visible = false;
    Picture2.backColour = colour::kWhite;
    registerControl(Label13[7], "Label13(7)", K::Label, C::Picture2, 20, 20, 170, 28);
    Label13[7].caption = "音の強さ";
    registerControl(Combo2, "Combo2", K::ComboBox, C::Picture2, 20, 55, 170, 36);
    registerControl(Label13[8], "Label13(8)", K::Label, C::Picture2, 210, 20, 170, 28);
    Label13[8].caption = "音のバランス";
    registerControl(Combo3, "Combo3", K::ComboBox, C::Picture2, 210, 55, 170, 36);
    registerControl(Command7, "Command7", K::Button, C::Picture2, 20, 110, 170, 40);
    Command7.caption = "削除";
    registerControl(Command8, "Command8", K::Button, C::Picture2, 210, 110, 170, 40);
    Command8.caption = "閉じる";

    // The position panel (on the score view, view units).
    registerControl(Picture3, "Picture3", K::Panel, C::Picture1, 100, -1100, 420, 260);
    Picture3.visible = false;
    Picture3.backColour = colour::kWhite;
    registerControl(Label8, "Label8", K::Label, C::Picture3, 20, 15, 380, 28);
    positionPanelWhilePlaying(false);
    // The sentence runs on one line in a smaller type (about 17 units a
    // character, up to 19 where the type is held at its smallest size); the
    // list and the number box stand in its two gaps.
    registerControl(Label11[0], "Label11(0)", K::Label, C::Picture3, 6, 60, 412, 30);
    Label11[0].caption = "この位置で　 　　　　　　　　　　を　　　　　に";
    Label11[0].fontSize = 7;
    registerControl(Combo4, "Combo4", K::ComboBox, C::Picture3, 104, 55, 164, 36);
    Combo4.items = {"テンポ", "楽器", "ボリューム"};
    registerControl(Text5, "Text5", K::TextBox, C::Picture3, 314, 55, 56, 36);
    registerControl(Label11[1], "Label11(1)", K::Label, C::Picture3, 20, 115, 200, 30);
    Label11[1].caption = "この位置の操作を";
    registerControl(Command3, "Command3", K::Button, C::Picture3, 230, 108, 150, 40);
    Command3.caption = "削除する";
    registerControl(Command5, "Command5", K::Button, C::Picture3, 20, 190, 170, 44);
    Command5.caption = "設定";
    registerControl(Command6, "Command6", K::Button, C::Picture3, 210, 190, 170, 44);
    Command6.caption = "閉じる";

    // The hidden picture box that background pictures are loaded into.
    registerControl(Picture5, "Picture5", K::Panel, F, 0, 0, 0, 0);
    Picture5.visible = false;

    // Ledger lines of the cursor: element 0 of each array; the rest at start-up.
    registerControl(Line2[0], "Line2(0)", K::Line, C::Picture1, 0, 0, 0, 0);
    registerControl(Line3[0], "Line3(0)", K::Line, C::Picture1, 0, 0, 0, 0);
    Line2[0].setLine(90, -1020, 125, -1020);
    Line3[0].setLine(90, -780, 125, -780);
    Line2[0].visible = Line3[0].visible = false;
}

} // namespace vako

namespace vako {

// ---------------------------------------------------------------------------
// Start-up

void Formmain::buildPartButtons() {
    for (int band = 0; band < 2; ++band) {
        auto& column = band == 0 ? Label6 : Label12;
        const std::string name = band == 0 ? "Label6" : "Label12";
        for (int i = 1; i < kPartCount; ++i) {
            const Control& above = column[i - 1];
            registerControl(column[i], name + "(" + std::to_string(i) + ")", ControlKind::Label,
                            Container::Form, above.left, above.top + above.height, above.width,
                            above.height);
            column[i].caption = i == kPercussionPart ? "打" : std::to_string(i + 1);
            column[i].visible = true;
            column[i].onClick = [this, band, i] { partButtonClick(band, i); };
        }
        for (int i = 0; i < kPartCount; ++i) column[i].backColour = colour::kWhite;
    }
    Label6[0].backColour = colour::kLightRed;
    Label12[kPercussionPart].backColour = colour::kLightRed;
}

void Formmain::buildLedgerLines() {
    for (int i = 1; i <= 8; ++i) {
        registerControl(Line2[i], "Line2(" + std::to_string(i) + ")", ControlKind::Line,
                        Container::Picture1, 0, 0, 0, 0);
        registerControl(Line3[i], "Line3(" + std::to_string(i) + ")", ControlKind::Line,
                        Container::Picture1, 0, 0, 0, 0);
        Line2[i].setLine(Line2[0].x1, -1020 - 20 * i, Line2[0].x2, -1020 - 20 * i);
        Line3[i].setLine(Line3[0].x1, -780 + 20 * i, Line3[0].x2, -780 + 20 * i);
        Line2[i].visible = Line3[i].visible = false;
    }
    Line2[4].borderColour = colour::kRed;
    Line3[4].borderColour = colour::kRed;
}

void Formmain::layOutToolboxAtStart() {
    const double l = Shape2[0].left, t = Shape2[0].top;
    for (int i = 0; i < 8; ++i) {
        Control& icon = Image4[i];
        if (i < 5)
            icon.move(l + i * (icon.width + 50), t);
        else
            icon.move(l + (i - 5) * (icon.width + 50), t + 600);
    }
}

void Formmain::fillLists() {
    Combo2.items.clear();
    for (int k = 0; k <= 20; ++k) Combo2.items.push_back(std::to_string(20 - k));
    Combo3.items = {"-4 左", "-3", "-2 やや左", "-1", "0", "1", "2 やや右", "3", "4 右"};
    for (Control& c : Combo1) c.items.assign(instrumentNames().begin(), instrumentNames().end());
}

void Formmain::Form_Load(const std::string& commandLine) {
    // Saves that were interrupted (a kill, a power cut) left their temporary
    // files behind; nothing else would ever remove them.
    removeStaleTemporaryFiles(folders.songFolder);
    removeStaleTemporaryFiles(folders.desktopFolder);
    refreshFileList();
    Command4.picture = Image2[0].picture;
    やり直し.enabled = false;
    song.bytSelPart = {0, 9};
    view.lngChordCode = 1059;
    left = static_cast<double>(roundHalfEven(m_ui.screenWidth()) / 2 - roundHalfEven(width) / 2);
    top = static_cast<double>(roundHalfEven(m_ui.screenHeight()) / 2 - roundHalfEven(height) / 2);
    buildPartButtons();
    buildLedgerLines();
    song.intPartVolume.fill(5);
    song.bytPartInstrument.fill(0);

    MidiStartup opened = m_openDevice ? m_openDevice() : MidiStartup{};
    if (!opened.device) {
        opened.device = std::make_unique<NullMidiOut>();
        opened.silentFallback = true;
    }
    if (!opened.message.empty()) {
        // No usable device, or one that another program holds: the window
        // still works on the silent device, so notes can be written, saved and
        // exported, and another device can be picked from "MIDI出力".
        showMessage(opened.message);
    }
    useDevice(std::move(opened.device), opened.silentFallback);
    for (int ch = 0; ch < kPartCount; ++ch) {
        midiOutShortMsg(packShort(0xB0 + ch, 0x07, 0x64));
        midiOutShortMsg(packShort(0xC0 + ch, 0x00, 0));
        midiOutShortMsg(packShort(0xE0 + ch, 0x00, 0x40));
    }

    song.intMidiTimebase = 480;
    song.varCCCount = 1;
    song.udtCCs.assign(3, CCRec{});
    song.udtCCs[1] = CCRec{0, 120, kTempoChange};
    song.udtCCs[2].lngPos = kEndMarkerPos;
    song.bytQuartersPerBar = 4;
    view.intPage = 0;
    Shape6.width = 12;
    Shape6.height = 18;
    layOutToolboxAtStart();
    Image4[2].click();
    song.bytDivisions = 15;
    shown = true;
    song.varNoteCountX2 = 0;
    song.udtNotes.assign(1, NoteRec{});
    線引き();
    fillLists();
    {
        ProgramSetting setting(*this);
        Combo1[0].setListIndex(0);
        Combo1[1].setListIndex(0);
    }

    if (!commandLine.empty()) {
        // A song opened this way is named as a dropped one is, so the closing
        // question and the save box name it instead of showing a blank.
        if (OpenF(song, commandLine, *this) == OpenStatus::Loaded)
            song.varSongName = songNameFromPath(commandLine);
        showSongFields();
        File1.visible = false;
        Label10[2].caption = kDropHint;
        Label10[2].height = 700;
    }
}

void Formmain::showSongFields() {
    Text1.caption = song.tempoText;
    Text2.caption = song.copyrightText;
    Text3.caption = song.sequenceNameText;
}

// ---------------------------------------------------------------------------
// Handlers of the view state

void Formmain::分割数チェック外し() {
    b4.checked = b8.checked = b16.checked = b48.checked = false;
}
void Formmain::拍子チェック外し() {
    h2.checked = h3.checked = h4.checked = h6.checked = false;
}
void Formmain::和音チェック外し() {
    for (MenuItem* m :
         {&メジャー, &マイナー, &オーギュメント, &ディミニッシュ, &セブンス, &サスフォー})
        m->checked = false;
}

void Formmain::gridMenu(MenuItem& item, int divisions) {
    分割数チェック外し();
    song.bytDivisions = static_cast<uint8_t>(divisions);
    item.checked = true;
    userChangedSong(); // the grid travels in the song file
    線引き();
}

void Formmain::meterMenu(MenuItem& item, int quarters) {
    拍子チェック外し();
    song.bytQuartersPerBar = static_cast<uint8_t>(quarters);
    item.checked = true;
    userChangedSong(); // the meter travels in the song file
    線引き();
}

void Formmain::syncMeterAndGridMenus() {
    分割数チェック外し();
    拍子チェック外し();
    for (auto [menu, value] : {std::pair{&b4, 60}, {&b8, 30}, {&b16, 15}, {&b48, 5}})
        if (song.bytDivisions == value) menu->checked = true;
    for (auto [menu, value] : {std::pair{&h2, 2}, {&h3, 3}, {&h4, 4}, {&h6, 6}})
        if (song.bytQuartersPerBar == value) menu->checked = true;
}

void Formmain::toggleAndRedraw(MenuItem& item) {
    item.checked = !item.checked;
    線引き();
}

void Formmain::HScroll2_Change() {
    view.intPage = HScroll2.value;
    線引き(); // writes the page read-out too
}

void Formmain::VScroll3_Change() {
    const int shown = -VScroll3.value;
    Label5[1].caption = (shown >= 0 ? "+" : "") + std::to_string(shown);
}

void Formmain::partButtonClick(int band, int part) {
    auto& column = band == 0 ? Label6 : Label12;
    for (Control& b : column) b.backColour = colour::kWhite;
    column[part].backColour = colour::kLightRed;
    song.bytSelPart[band] = static_cast<uint8_t>(part);
    {
        ProgramSetting setting(*this); // shows the part's settings, changes none
        Combo1[band].setListIndex(song.bytPartInstrument[part]);
        VScroll4[band].setValue(song.intPartVolume[part]);
    }
    線引き();
}

void Formmain::Combo1_Click(int band) {
    const int entry = Combo1[band].listIndex;
    if (entry < 0) return;
    const int part = song.bytSelPart[band] % kPartCount;
    song.bytPartInstrument[part] = static_cast<uint8_t>(entry);
    midiOutShortMsg(packShort(0xC0 + part, entry, 0));
    userChangedSong();
}

void Formmain::VScroll4_Change(int band) {
    const int v = VScroll4[band].value;
    const int part = song.bytSelPart[band] % kPartCount;
    song.intPartVolume[part] = static_cast<int16_t>(v);
    midiOutShortMsg(packShort(0xB0 + part, 7, 20 * v));
    Text9[band].caption = std::to_string(v);
    userChangedSong();
}

void Formmain::Image4_Click(int index) {
    static constexpr int kToolLength[] = {48, 24, 12, 6, 3, 36, 18, 9};
    if (index >= 10) return notePanelLength(index); // the note panel's tools
    if (index < 8) {
        view.intNoteLen = static_cast<int16_t>(kToolLength[index]);
    } else if (index == 8) {
        if (!Text4.caption.empty())
            view.intNoteLen = static_cast<int16_t>(std::stoi(Text4.caption));
    } else {
        return;
    }
    const double l = Shape2[0].left, t = Shape2[0].top;
    for (int i = 0; i <= 8; ++i) {
        Control& icon = Image4[i];
        icon.move(l + 40 + (i % 5) * (icon.width + 40) + 350 * (i / 5), t + 40 + 370 * (i / 5));
    }
    Image4[index].move(l + 700, t - 300);
    Text4.visible = index == 8;
}

// ---------------------------------------------------------------------------
// SongHost

namespace {

// `text` broken into lines no wider than `width` on `canvas` at its font size,
// between characters (Japanese text has no spaces to break at).
std::vector<std::string> wrapText(const Canvas& canvas, const std::string& text, double width) {
    std::vector<std::string> lines(1);
    for (size_t i = 0; i < text.size();) {
        size_t n = 1; // bytes of the UTF-8 character at i
        const auto b = static_cast<unsigned char>(text[i]);
        if (b >= 0xF0)
            n = 4;
        else if (b >= 0xE0)
            n = 3;
        else if (b >= 0xC0)
            n = 2;
        const std::string ch = text.substr(i, n);
        if (!lines.back().empty() && canvas.textWidth(lines.back() + ch) > width)
            lines.emplace_back();
        lines.back() += ch;
        i += n;
    }
    return lines;
}

// Prints `lines` as one block from (x, y) at `size` points, inside the score
// view: the block moves left as far as the view's left edge, then takes a
// smaller type down to `smallest` points, then a line too long still runs on
// over several lines.
void printInsideView(Canvas& canvas, const std::vector<std::string>& lines, double x, double y,
                     double size, double smallest) {
    constexpr double kRightEdge = kViewLeft + kViewWidth - 10, kLeftEdge = kViewLeft + 10;
    auto widest = [&] {
        double w = 0;
        for (const std::string& line : lines) w = std::max(w, canvas.textWidth(line));
        return w;
    };
    canvas.setFontSize(size);
    while (size > smallest && kLeftEdge + widest() > kRightEdge) canvas.setFontSize(--size);
    x = std::clamp(kRightEdge - widest(), kLeftEdge, x);
    canvas.setCurrentY(y);
    for (const std::string& line : lines) {
        for (const std::string& part : wrapText(canvas, line, kRightEdge - x)) {
            canvas.setCurrentX(x);
            canvas.print(part);
        }
    }
}

} // namespace

void Formmain::showMessage(const std::string& text) {
    m_ui.messageBox(text);
}

std::string Formmain::inputBox(const std::string& prompt, const std::string& title,
                               const std::string& defaultText) {
    return m_ui.inputBox(prompt, title, defaultText);
}

void Formmain::midiOutShortMsg(uint32_t message) {
    m_device->send(message);
}

void Formmain::selectBandInstrument(int band, int program) {
    ProgramSetting setting(*this);
    if (band == 0 || band == 1) Combo1[band].setListIndex(program);
}

void Formmain::setBandVolume(int band, int volume) {
    ProgramSetting setting(*this);
    if (band == 0 || band == 1) VScroll4[band].setValue(volume);
}

void Formmain::redrawAfterLoad() {
    showSongFields();
    syncMeterAndGridMenus();
    線引き();
    HScroll2_Change();
}

bool Formmain::tilePicture(const std::string& path) {
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

void Formmain::drawSavedConfirmation(const std::string& fileName) {
    printInsideView(canvas, {fileName + msg::kSavedSuffix}, 250, -570, 18, 10);
    printInsideView(canvas, {msg::kHowToOpen1, msg::kHowToOpen2}, 200, -80, 10, 8);
    canvas.setFontSize(9);
}

void Formmain::refreshFileList() {
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folders.songFolder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const std::string ext = lowerAscii(it->path().extension().string());
        if ((ext == ".txt" || ext == ".mid") && !isTemporaryFileName(name) &&
            it->is_regular_file(ec))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    File1.items = std::move(names);
    File1.listIndex = -1;
}

Control* Formmain::findControl(const std::string& name) const {
    for (Control* c : m_controls)
        if (c->name == name) return c;
    return nullptr;
}

MenuItem* Formmain::findMenu(const std::string& name) const {
    for (MenuItem* m : m_allMenus)
        if (m->name == name) return m;
    return nullptr;
}

} // namespace vako
