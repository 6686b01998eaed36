// `Formmain`, the main window without a toolkit: the state of every control
// (captions, check marks, enabled and visible states, list items and indices,
// scroll-bar ranges and values, positions of shapes, lines and labels) and the
// handlers that run on them. The toolkit layer builds widgets from the
// controls, forwards user actions to `click`/`setListIndex`/`setValue`/the
// mouse and key entry points, and shows the controls again after each one.
//
// Everything here runs on the one user-interface thread.
#pragma once

#include "editor/StaffGeometry.h"
#include "editor/ViewState.h"
#include "midi/Playback.h"
#include "platform/Canvas.h"
#include "platform/MidiDevices.h"
#include "platform/MidiOut.h"
#include "song/Song.h"
#include "song/SongFolders.h"
#include "song/SongHost.h"
#include "view/Control.h"
#include "view/WindowSystem.h"

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vako {

// Window units per pixel at the designed size.
constexpr double kTwipsPerPixel = 15;

// The score view's user scale: top-left corner and size in view units.
constexpr double kViewLeft = -140, kViewTop = -1180;
constexpr double kViewWidth = 962, kViewHeight = 1200;

class Formmain : public SongHost {
public:
    // `openDevice` is asked for the MIDI output device once, during start-up.
    using DeviceOpener = std::function<MidiStartup()>;
    Formmain(Song& song, Canvas& canvas, DeviceOpener openDevice, WindowSystem& ui,
             SongFolders folders);
    Formmain(const Formmain&) = delete;
    Formmain& operator=(const Formmain&) = delete;

    // The load handler: defaults, run-time controls, lists, device, first
    // redraw, and the file named by `commandLine` when it is not empty.
    void Form_Load(const std::string& commandLine);

    // The full redraw of the score view, and the note display it ends with.
    void 線引き();
    void 音符表示();

    // Check marks of a menu group cleared, as the menu handlers do first.
    void 分割数チェック外し();
    void 拍子チェック外し();
    void 和音チェック外し();

    // Mouse and keys on the score view (view units; button 1 left, 2 right;
    // shift bit 0 Shift, 1 Ctrl, 2 Alt). Note editing builds on these.
    void Picture1_MouseMove(int button, int shift, float X, float Y);
    void Picture1_MouseDown(int button, int shift, float X, float Y);
    void Picture1_MouseUp(int button, int shift, float X, float Y);
    // `padKeyCode` is the key by its place on the keyboard (keyCodeOfScanCode),
    // 0 when the toolkit does not tell; the drum pad prefers it to `keyCode`.
    void Picture1_KeyDown(int keyCode, int shift, int padKeyCode = 0);
    // Mouse over the pitch-bend strip, in the strip's units.
    void Picture4_MouseMove(int button, int shift, float X, float Y);
    // Closing the main window; false when the close is cancelled.
    bool Form_QueryUnload();

    // Note editing: instruments of every part but percussion, and undo.
    void 楽器統一(uint8_t& p);
    void やり直し_Click();
    // True while the note panel or the position panel is open.
    bool panelOpen() const { return Picture2.visible || Picture3.visible; }
    // The song's data changed by the user: `bytModified` = 1, unless the
    // program itself is setting controls (start-up, a load, playback).
    void userChangedSong();
    // Hooks of the toolkit layer. `便利機能` shows the range editing window
    // modally at the window's left and top (window units); the redraw follows.
    std::function<void(double left, double top)> showRangeWindow;
    // The left press's preview: root note, part, and whether it still sounds.
    int32_t lngPreviewNote = 0;
    uint8_t varPreviewPart = 0;
    bool intPreviewOn = false;
    ~Formmain() override;

    // Files (FormmainFiles.cpp): the file list, files dropped on the score view
    // (first file only), the background button and the file menu.
    void File1_Click();
    void Picture1_OLEDragDrop(const std::vector<std::string>& paths);
    void Command2_Click();
    void 新規作成_Click();
    bool 保存_Click(); // true when the song file was written
    void 上書き保存_Click();
    void 終了_Click();
    // The export button: the Standard MIDI File under a name the user types.
    void Command1_MouseDown();
    bool picture1AcceptsDrops = true; // false while playing

    // Playback (FormmainPlayback.cpp). The engine is the one keeper of
    // `blnStopped`; whoever drives it (the window's timer, a test's fake clock)
    // calls `playbackTick` when `msUntilNextStep` has passed.
    void Command4_MouseDown();
    void データを逆再生_Click();
    bool blnStopped() const;
    Playback& playback() { return *m_playback; }
    // A percussion hit typed while playing: kept at the playback position and
    // marked by a black line at the play cursor. False while stopped, for note
    // 0, or when 10000 hits are kept already.
    bool tapWhilePlaying(int note);
    // Milliseconds until the next step is due (0 when overdue); +infinity
    // while stopped.
    double msUntilNextStep() const;
    // Runs the steps due now. True when a control besides the play cursor
    // changed (page turn, tempo, instrument, volume, the stop).
    bool playbackTick();
    // The clock playback runs on (a steady clock unless a test gives another);
    // only while stopped.
    void useClock(Clock& clock);
    bool scoreFocusRequested = false; // playback asks the score view to take the keys

    // The menu "MIDI出力": the devices present when it opens; choosing one
    // moves the output to it. Nothing is stored.
    void setDeviceList(MidiDeviceList* devices) { m_devices = devices; }
    void MIDI出力_Open();
    bool chooseDevice(const std::string& deviceName);
    MenuItem MIDI出力;

    // SongHost: how loading and saving reach the window.
    void showMessage(const std::string& text) override;
    void setCaption(const std::string& caption) override { this->caption = caption; }
    void showStatus(const std::string& text) override { Label1.caption = text; }
    MidiFileReading readMidiFile(Song& song, std::string_view bytes) override;
    bool isMergeChecked() const override { return 曲の合成.checked; }
    void setReverseChecked(bool checked) override { データを逆再生.checked = checked; }
    void selectBandInstrument(int band, int program) override;
    void setBandVolume(int band, int volume) override;
    void sendShortMessage(uint32_t message) override { midiOutShortMsg(message); }
    void setPage(int page) override { view.intPage = page; }
    void redrawAfterLoad() override;
    bool tilePicture(const std::string& path) override;
    void drawSavedConfirmation(const std::string& fileName) override;
    void refreshFileList() override;
    std::string inputBox(const std::string& prompt, const std::string& title,
                         const std::string& defaultText) override;

    // The device in use (the silent one before start-up and when the system
    // has none).
    void midiOutShortMsg(uint32_t message);
    MidiOut& device() { return *m_device; }

    // Every control and the menu bar, for the toolkit layer.
    const std::vector<Control*>& controls() const { return m_controls; }
    const std::vector<MenuItem*>& menuBar() const { return m_menuBar; }
    Control* findControl(const std::string& name) const;
    MenuItem* findMenu(const std::string& name) const;

    Song& song;
    ViewState view;
    Canvas& canvas;
    SongFolders folders;

    // The form itself, in window units.
    std::string caption = "ヴァコヴァコMIDI ～ 新規作成";
    double left = 0, top = 0;
    double width = 1320 * kTwipsPerPixel, height = 672 * kTwipsPerPixel;
    bool shown = false;
    bool usingSilentDevice = false; // no usable device was found at start-up

    // Menus.
    MenuItem ファイル, 新規作成, 保存, 上書き保存, デスクトップに上書き保存, 終了;
    MenuItem 機能A, 分割数, b48, b16, b8, b4, 拍子, h6, h4, h3, h2, 編集中, a, やり直し;
    MenuItem 機能B, 便利機能, 和音, 和音入力有効, 和音選択, メジャー, マイナー, オーギュメント,
        ディミニッシュ, セブンス, サスフォー, キーボードの使い道, 編集の助け, 打楽器をたたく,
        CC表示, 音階表示有効;
    MenuItem 機能C, データを逆再生, 全パートを同一楽器にする, グランドピアノに変更,
        ミュージックボックスに変更, フルートに変更, ブライトネスに変更, その他の楽器に変更,
        曲の合成, グイングィーンって感じの音;

    // Containers: the score view, the note panel, the position panel, the
    // pitch-bend strip and the hidden picture box of background pictures.
    Control Picture1, Picture2, Picture3, Picture4, Picture5;
    // On the score view.
    Control Shape3, Shape4, Shape6, Line1, Label7;
    std::array<Control, 9> Line2, Line3; // ledger lines above and below the staff
    // Read-outs and captions.
    Control Label1, Label8, Label9;
    std::array<Control, 2> Label2, Label5, Label11;
    std::array<Control, 3> Label10;
    std::array<Control, 9> Label13;          // captions of fields, lists and groups
    std::array<Control, 16> Label6, Label12; // part buttons of the upper and lower band
    // Buttons.
    Control Command1, Command2, Command3, Command4, Command5, Command6, Command7, Command8;
    // Lists.
    std::array<Control, 2> Combo1; // instrument of each band's part
    Control Combo2, Combo3, Combo4, File1;
    // Scroll bars.
    Control HScroll2, VScroll3;
    std::array<Control, 2> VScroll4; // volume of each band's part
    // Text fields.
    Control Text1, Text2, Text3, Text4, Text5;
    std::array<Control, 2> Text9;
    std::array<Control, 6> Option1;
    // Pictures: play/stop, the toolbox (0..8 beside the score, 10..17 in the note panel).
    std::array<Control, 2> Image2;
    std::array<Control, 18> Image4;
    std::array<Control, 1> Shape2; // toolbox frame
    Control Line4;                 // pitch-bend indicator

private:
    void buildMenus();
    void buildControls();
    void buildPartButtons();
    void buildLedgerLines();
    void fillLists();
    void layOutToolboxAtStart();
    void registerControl(Control& c, const std::string& name, ControlKind kind, Container in,
                         double l, double t, double w, double h);
    template <size_t N>
    void registerArray(std::array<Control, N>& arr, const std::string& name, ControlKind kind,
                       Container in, double l, double t, double w, double h);

    // Handlers of this window's controls.
    void gridMenu(MenuItem& item, int divisions);
    void meterMenu(MenuItem& item, int quarters);
    void HScroll2_Change();
    void VScroll3_Change();
    void partButtonClick(int band, int part);
    void Combo1_Click(int band);
    void VScroll4_Change(int band);
    void Image4_Click(int index);
    void toggleAndRedraw(MenuItem& item);
    void showSongFields();
    void syncMeterAndGridMenus();

    // Parts of the redraw; they throw DrawFailure on data they cannot draw.
    void pageReadOut();
    void drawGrid();
    void drawBarNumbers();
    void drawControlChanges();
    // "全音符数は": the note count, and the grid step of the last hover.
    void noteCountReadOut();
    int m_cursorDivision = 0; // 0 until the pointer first moves over the staff

    // Files and playback.
    class PlaybackHooks;
    void wireFilesAndPlayback();
    bool askToSaveBeforeReplacing();
    bool saveAnswered(WindowSystem::Answer answer);
    // False when a merge could not read its file: the open song, its name and
    // the caption stay as they were.
    bool openFromWindow(const std::string& path, const std::string& shownPath);
    void useDevice(std::unique_ptr<MidiOut> device, bool silent);
    std::unique_ptr<PlaybackListener> m_playbackListener; // the hooks below, owned
    PlaybackHooks* m_playbackHooks = nullptr;
    std::unique_ptr<Clock> m_steadyClock;
    Clock* m_clock = nullptr;
    std::unique_ptr<Playback> m_playback;
    MidiDeviceList* m_devices = nullptr;
    std::deque<MenuItem> m_deviceItems; // the entries of "MIDI出力"
    bool m_unloaded = false;            // the close was agreed to; the device is closed

    DeviceOpener m_openDevice;
    std::unique_ptr<MidiOut> m_device;
    WindowSystem& m_ui;
    std::vector<Control*> m_controls;
    std::vector<MenuItem*> m_menuBar;
    std::vector<MenuItem*> m_allMenus;

    // Editing handlers (mouse, keys, panels, chords and instruments).
    void wireEditing();
    void openNotePanel(float X, float Y);
    void openPositionPanel(const ScoreCursor& c);
    void showSelectedNoteInPanel();
    void notePanelLength(int index);
    void Combo2_Click();
    void Combo3_Click();
    void Option1_Click(int index);
    void Command7_Click();
    void Command3_Click();
    void Command5_Click();
    void hidePositionPanel();
    // While playing, the position panel keeps what was entered but its buttons
    // wait for the stop (playback puts the change list back when it ends).
    void positionPanelWhilePlaying(bool playing);
    void その他の楽器に変更_Click();
    void 便利機能_Click();
    // Set while the program itself sets controls whose handlers change song
    // data (start-up, loads, playback): those changes do not mark the song.
    struct ProgramSetting {
        explicit ProgramSetting(Formmain& f) : form(f) { ++form.m_programSetting; }
        ~ProgramSetting() { --form.m_programSetting; }
        Formmain& form;
    };
    int m_programSetting = 0;
    // Keys the left press sounded (after transposition), for their note-offs.
    std::array<int, 4> m_previewKeys{};
    int m_previewKeyCount = 0;
    // Whether the notes stood in position order at the last redraw: the hover
    // then finds the notes under the pointer by binary search. Every change of
    // the notes ends with a redraw.
    bool m_notesOrdered = true;
    // The last accepted texts of the digit-only boxes.
    std::string m_text1Accepted, m_text4Accepted, m_text5Accepted;
};

// The 128 instrument names as the instrument lists show them ("1: グランドピアノ" ...).
const std::array<std::string, 128>& instrumentNames();

} // namespace vako
