// `MainWindowModel`, the main window without a toolkit: the state of every control
// (captions, check marks, enabled and visible states, list items and indices,
// scroll-bar ranges and values, positions of shapes, lines and labels) and the
// handlers that run on them. The toolkit layer builds widgets from the
// controls, forwards user actions to `click`/`setListIndex`/`setValue`/the
// mouse and key entry points, and shows the controls again after each one.
//
// Everything here runs on the one user-interface thread.
#pragma once

#include "editor/SongEditor.h"
#include "editor/StaffGeometry.h"
#include "editor/ViewState.h"
#include "midi/Playback.h"
#include "platform/Canvas.h"
#include "platform/Clipboard.h"
#include "platform/MidiDevices.h"
#include "platform/MidiOut.h"
#include "song/Song.h"
#include "song/SongFolders.h"
#include "song/SongHost.h"
#include "view/Control.h"
#include "view/FileCommands.h"
#include "view/KeyboardEntry.h"
#include "view/NotePanel.h"
#include "view/PositionPanel.h"
#include "view/StaffPicture.h"
#include "view/WindowSystem.h"

#include <array>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vako {

// The bar numbers stand on the score view's top row, above this y: a right
// click there opens their menu.
constexpr float kBarNumberRowBottom = -1150;

// Window units per pixel at the designed size.
constexpr double kTwipsPerPixel = 15;

// The score view's user scale: top-left corner and size in view units.
constexpr double kViewLeft = -140, kViewTop = -1180;
constexpr double kViewWidth = 962, kViewHeight = 1200;

class MainWindowModel : public SongHost {
public:
    // `openDevice` is asked for the MIDI output device once, during start-up.
    using DeviceOpener = std::function<MidiStartup()>;
    MainWindowModel(Song& song, Canvas& canvas, DeviceOpener openDevice, WindowSystem& ui,
                    SongFolders folders);
    MainWindowModel(const MainWindowModel&) = delete;
    MainWindowModel& operator=(const MainWindowModel&) = delete;

    // The load handler: defaults, run-time controls, lists, device, first
    // redraw, and the file named by `commandLine` when it is not empty.
    void load(const std::string& commandLine);

    // The full redraw of the score view, and the note display it ends with.
    void redrawScore();
    void drawNotes();

    // Check marks of a menu group cleared, as the menu handlers do first.
    void uncheckGridMenus();
    void uncheckMeterMenus();
    void uncheckChordMenus();

    // Mouse and keys on the score view (view units; button 1 left, 2 right;
    // shift bit 0 Shift, 1 Ctrl, 2 Alt). Note editing builds on these.
    void scoreMouseMove(int button, int shift, float X, float Y);
    void scoreMouseDown(int button, int shift, float X, float Y);
    void scoreMouseUp(int button, int shift, float X, float Y);
    // `padKeyCode` is the key by its place on the keyboard (keyCodeOfScanCode),
    // 0 when the toolkit does not tell; the drum pad prefers it to `keyCode`.
    void scoreKeyDown(int keyCode, int shift, int padKeyCode = 0);
    // The pointer left the score view: the cursor and the marks under it go.
    void scoreMouseLeft();
    // Mouse over the pitch-bend strip, in the strip's units.
    void pitchBendMouseMove(int button, int shift, float X, float Y);

    // "全パートを次の楽器に変更": every part but percussion plays `program`.
    void unifyInstruments(int program);
    // Undo and redo step through the edit history (`やり直し`, "元に戻す" and
    // Ctrl+Z back, "再実行", Ctrl+Y and Ctrl+Shift+Z forward), then show the
    // song again: the staff, the band controls, the fields and the read-outs.
    void undo();
    void redo();
    // The text boxes hand their text to the song (as when the typing is
    // done): every command that reads, stores or replaces the song runs this
    // first, so that a shortcut pressed while typing misses nothing.
    void commitTextBoxes();
    // Whether a text box shows typing the song has not taken yet.
    bool textBoxesTyping() const;
    // The undo and redo menu items enabled as the editor allows, greyed while
    // the song plays.
    void showUndoState();
    // A song was opened or merged, or New emptied it: the fields, the band
    // controls and the menus show it.
    void showNewSong();
    // True while the note panel or the position panel is open.
    bool panelOpen() const { return notePanel.visible || positionPanel.visible; }
    // A panel closed: the release of the press on its control (a length
    // tool acts on the press) must not reach the staff after it.
    void panelClosed() { m_releaseIsThePanels = true; }
    // Hooks of the toolkit layer. `rangeEditingMenu` shows the range editing window
    // modally at the window's left and top (window units); the redraw follows.
    std::function<void(double left, double top)> showRangeWindow;
    // The left press's preview: root note, part, and whether it still sounds.
    int32_t previewNote = 0;
    uint8_t previewPart = 0;
    bool previewSounding = false;
    ~MainWindowModel() override;

    // Selecting, copying and moving notes on the staff
    // (MainWindowModelSelection.cpp). The selection is view state
    // (`view.selectedNotes`); every operation on it is one editor step.
    std::vector<int32_t>& selectedNotes(); // empty once the song changed otherwise
    // The selection is now `notes` (ascending indices) of the song as it stands.
    void setSelection(std::vector<int32_t> notes);
    void selectPartsOfBands(bool upper, bool lower);
    void clearSelection();
    void copySelection();
    void cutSelection();
    // The earliest copied note lands at the last hovered place, into that
    // band's part; the pasted notes become the selection.
    void pasteClipboard();
    void duplicateSelection();
    void deleteSelection();
    // By `steps` steps and `semitones`; a refused move says why in the read-out.
    void moveSelection(int64_t steps, int semitones);
    // The clipboard copies go to (the system's in the program; by default
    // one of the window's own).
    void useClipboard(Clipboard& clipboard) { m_clipboard = &clipboard; }
    // "選択" and its items.
    MenuItem selectionMenu, selectUpperPartMenu, selectLowerPartMenu, selectBothPartsMenu,
        clearSelectionMenu, selectionSeparator, copyMenu, cutMenu, pasteMenu, duplicateMenu,
        deleteSelectionMenu;
    // The rubber band of Shift + drag, and "N 個選択中" beside the note count.
    Control selectionBand, selectionReadOut;

    // The staff as paper shows it: the bands' parts and the menus' choices
    // for names and markers; no selection, every part as it is.
    StaffPageLook paperLook() const;

    // The commands on files, closing included (FileCommands.h).
    FileCommands files{*this};
    bool scoreViewAcceptsDrops = true; // false while playing

    // Playback (MainWindowModelPlayback.cpp). The engine is the one keeper of
    // `stopped`; whoever drives it (the window's timer, a test's fake clock)
    // calls `playbackTick` when `msUntilNextStep` has passed.
    void togglePlayback(PlaybackStart from = {});
    void reverseSong();
    bool stopped() const;
    Playback& playback() { return *m_playback; }
    const Playback& playback() const { return *m_playback; }
    // A percussion hit typed while playing: kept at the playback position and
    // marked by a black line at the play cursor. False while stopped, for note
    // 0, or when the playback has recorded all it can (kMostRecordedNotes).
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

    // The user picks the language of the window: kept in `settingsFile` and
    // shown from the next start on, which a message (in that language) says.
    void chooseLanguage(const std::string& language);

    // The menu "MIDI出力": the devices present when it opens; choosing one
    // moves the output to it. Nothing is stored.
    void setDeviceList(MidiDeviceList* devices) { m_devices = devices; }
    void openDeviceMenu();
    bool chooseDevice(const std::string& deviceName);
    MenuItem deviceMenu;

    // How the song is heard (MainWindowModelListening.cpp): parts muted and
    // soloed, the metronome, the count-in, the start at a bar and the loop.
    // They last while the program runs and never reach the song.
    const PlaybackOptions& playbackOptions() const { return m_playbackOptions; }
    void setPartMuted(int part, bool muted);
    void setPartSoloed(int part, bool soloed);
    // Bars 1-based; a loop of first..last, both included, or none.
    void setLoop(int32_t firstBar, int32_t lastBar);
    void clearLoop() { setLoop(0, 0); }
    // Playback from the first step of `bar` (a playback running stops first).
    void playFromBar(int32_t bar);
    // Shift + the play button: playback from the bar the pointer last hovered
    // on the page on view; from the page's start when it has not been there.
    void playFromHoveredBar();
    // The menu "再生" and the right-click menus of the part buttons and the bar numbers.
    MenuItem listeningMenu, metronomeMenu, countInMenu, listeningSeparator, clearMuteAndSoloMenu,
        clearLoopMenu;
    std::array<MenuItem, kPartCount> muteMenus, soloMenus;
    MenuItem playFromBarMenu, loopFromBarMenu, loopToBarMenu;
    // The toolkit layer shows these items as a menu at the pointer.
    std::function<void(const std::vector<MenuItem*>&)> popUpMenu;
    // The bar a right click on the bar numbers at staff x `X` names (1-based).
    int32_t barAtX(float X) const;

    // A MIDI keyboard: the menu "MIDI入力", thru, step entry and recording
    // (KeyboardEntry.h).
    KeyboardEntry keyboard{*this};
    // The clock playback and the keyboard's chords are timed on.
    const Clock& clock() const { return *m_clock; }

    // SongHost: how loading and saving reach the window.
    void showMessage(const std::string& text) override;
    void setCaption(const std::string& caption) override { this->caption = caption; }
    void showStatus(const std::string& text) override { statusLine.caption = text; }
    MidiFileReading readMidiFile(Song& song, std::string_view bytes) override;
    bool isMergeChecked() const override { return mergeMenu.checked; }
    void setReverseChecked(bool checked) override { reverseSongMenu.checked = checked; }
    void partSettingsLoaded() override;
    void setPage(int page) override { view.page = page; }
    void redrawAfterLoad() override;
    bool tilePicture(const std::string& path) override;
    void showSavedConfirmation(const std::string& fileName) override;
    void refreshFileList() override;
    bool mayReplaceFile(const std::filesystem::path& path) override {
        return files.mayReplaceFile(path);
    }
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

    // The message boxes, the screen and the end of the program.
    WindowSystem& ui() { return m_ui; }
    // Playback stops (its recording joins the song) and the device is reset,
    // before the question about closing.
    void stopForClosing();
    // The close was agreed to: the device closes. Further closes ask nothing.
    void closeDevice();
    bool deviceClosed() const { return m_unloaded; }

    // The window shows the song and changes it only through the editor.
    const Song& song;
    SongEditor editor;
    ViewState view;
    Canvas& canvas;
    SongFolders folders;

    // The form itself, in window units.
    std::string caption; // "ヴァコヴァコMIDI ～ 新規作成" at the start
    double left = 0, top = 0;
    double width = 1320 * kTwipsPerPixel, height = 672 * kTwipsPerPixel;
    bool shown = false;
    bool usingSilentDevice = false; // no usable device was found at start-up

    // Menus.
    MenuItem fileMenu, newSongMenu, saveAsMenu, saveMenu, saveToDesktopMenu, exportMusicXmlMenu,
        exportPdfMenu, printMenu, quitMenu;
    MenuItem editingFeaturesMenu, gridSubmenu, gridFortyEighthsMenu, gridSixteenthsMenu,
        gridEighthsMenu, gridQuartersMenu, meterSubmenu, meterSixMenu, meterFourMenu,
        meterThreeMenu, meterTwoMenu, editingMenu, editingSeparator, undoMenu;
    MenuItem editMenu, undoStepMenu, redoStepMenu; // "編集": "元に戻す", "再実行"
    MenuItem inputFeaturesMenu, rangeEditingMenu, chordSubmenu, chordInputMenu, chordChoiceSubmenu,
        majorChordMenu, minorChordMenu, augmentedChordMenu, diminishedChordMenu, seventhChordMenu,
        suspendedFourthChordMenu, keyboardUseSubmenu, keyboardEditsMenu, keyboardDrumsMenu,
        showChangesMenu, showNoteNamesMenu;
    MenuItem playfulFeaturesMenu, reverseSongMenu, allPartsInstrumentSubmenu, allGrandPianoMenu,
        allMusicBoxMenu, allFluteMenu, allBrightnessMenu, allOtherInstrumentMenu, mergeMenu,
        pitchBendMenu;
    // "言語 / Language": one entry a language, each in its own language
    // ("日本語", "English"), the one in use checked.
    MenuItem languageMenu;
    std::deque<MenuItem> languageItems;
    // Where the language chosen in the menu is kept for the next start ("" keeps
    // it nowhere); the program sets it to the user's settings file.
    std::filesystem::path settingsFile;

    // Containers: the score view, the pitch-bend strip and the hidden picture
    // box of background pictures.
    Control scoreView, pitchBendStrip, backgroundPictureBox;
    // The two panels on the score view, each a container with its controls.
    NotePanel notePanel{*this};
    PositionPanel positionPanel{*this};
    // On the score view.
    Control noteMarker, changeMarker, noteCursor, playCursor, pitchNameLabel;
    std::array<Control, 9> ledgerLinesAbove,
        ledgerLinesBelow; // ledger lines above and below the staff
    // Read-outs and captions.
    Control statusLine, pitchBendCaption;
    std::array<Control, 2> pageLabels, transposeLabels;
    std::array<Control, 3> columnCaptions;
    std::array<Control, 9> fieldCaptions; // captions of fields, lists and groups
    std::array<Control, 16> upperPartButtons,
        lowerPartButtons; // part buttons of the upper and lower band
    // Buttons.
    Control exportButton, clearBackgroundButton, playButton;
    // Lists.
    std::array<Control, 2> bandInstrumentLists; // instrument of each band's part
    Control fileList;
    // Scroll bars.
    Control pageScrollBar, transposeScrollBar;
    std::array<Control, 2> bandVolumeScrollBars; // volume of each band's part
    // Text fields.
    Control tempoBox, copyrightBox, sequenceNameBox, lengthBox;
    std::array<Control, 2> bandVolumeBoxes;
    std::array<Control, 6> accidentalOptions;
    // Pictures: play/stop, the toolbox (0..8 beside the score, 10..17 in the note panel).
    std::array<Control, 2> playStopImages;
    std::array<Control, 18> lengthTools;
    std::array<Control, 1> toolboxFrame; // toolbox frame
    Control pitchBendIndicator;          // pitch-bend indicator

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
    void pageScrolled();
    void transposeChanged();
    void partButtonClick(int band, int part);
    void bandInstrumentChosen(int band);
    void bandVolumeChanged(int band);
    // A band control changed by the user, not by the program showing what
    // the song has (a load, playback, an undo).
    bool userChangedBandControl() const { return m_programSetting == 0; }
    void lengthToolClicked(int index);
    void toggleAndRedraw(MenuItem& item);
    void showSongFields();
    void syncMeterAndGridMenus();
    // The band controls show the parts' instruments and volumes as the song has them.
    void showBandSettings();
    // After an undo or redo: the song shown again.
    void showUndoneSong();

    // Parts of the redraw; they throw DrawFailure on data they cannot draw.
    void pageReadOut();
    void drawGrid();
    // How the staff is drawn now: paperLook on the page in view, the division
    // lines while stopped, the parts that sound (the note display adds the
    // selection).
    StaffPageLook staffLook();
    // Off the staff: the hover cursor, its name and ledger lines and the
    // marks of what lay under the pointer are hidden.
    void hideHover();
    // The note a click at `c` enters: its row's white key with the "入力する音" option.
    int noteToEnter(const ScoreCursor& c) const;
    // A key of the editing help on note `index`.
    void editingKey(int32_t index, int keyCode);
    // "全音符数は": the note count, and the grid step of the last hover.
    void noteCountReadOut();
    int m_cursorDivision = 0; // 0 until the pointer first moves over the staff

    // Selection (MainWindowModelSelection.cpp).
    void buildSelectionMenus();
    void wireSelection();
    // The read-out, with `reason` after the count when an operation did nothing.
    void showSelectionReadOut(const std::string& reason = "");
    // A key on the staff that works on the selection; false when it is none.
    bool selectionKey(int keyCode, int shift);
    // The mouse: Shift + press starts a band (or a Shift + click), a press on
    // a selected head may start a drag; the release finishes them.
    bool startSelectionGesture(int shift, float X, float Y);
    void dragSelectionBand(float X, float Y);
    bool finishSelectionGesture(float X, float Y);
    void selectInBand(float x1, float y1, float x2, float y2);
    void shiftClick(const ScoreCursor& c);
    enum class Gesture { None, Band, Drag };
    Gesture m_gesture = Gesture::None;
    float m_pressX = 0, m_pressY = 0;
    ScoreCursor m_pressCursor;
    // Where a paste goes: the position and band part of the last hover on the staff.
    bool m_pasteTargetKnown = false;
    int32_t m_pastePosition = 0;
    uint8_t m_pastePart = 0;
    MemoryClipboard m_ownClipboard;
    Clipboard* m_clipboard = &m_ownClipboard;

    // Files and playback.
    class PlaybackHooks;
    void wireFilesAndPlayback();
    void useDevice(std::unique_ptr<MidiOut> device, bool silent);
    void wireListening();
    // A part button's caption: the part's number, "打" for the percussion part.
    static std::string partButtonCaption(int part);
    void showPartSounding();
    void applyPlaybackOptions();
    void barNumbersRightClicked(float X);
    void drawLoopSpan();
    PlaybackOptions m_playbackOptions;
    int32_t m_barOfMenu = 1; // the bar the bar numbers' menu was opened on
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
    void buildLanguageMenu();
    void chooseOtherInstrumentForAll();
    void openRangeWindow();
    // Playback's recording joins the song as one step when it stops
    // (SongEditor::endPlayback), wherever it stops.
    void endPlayback();
    // Set while the program itself sets controls whose handlers change song
    // data (start-up, loads, playback): those changes do not mark the song.
    struct ProgramSetting {
        explicit ProgramSetting(MainWindowModel& f) : form(f) { ++form.m_programSetting; }
        ~ProgramSetting() { --form.m_programSetting; }
        MainWindowModel& form;
    };
    int m_programSetting = 0;
    // Keys the left press sounded (after transposition), for their note-offs.
    std::array<int, 4> m_previewKeys{};
    int m_previewKeyCount = 0;
    // Set when a panel closes, cleared by the next press on the staff: the
    // release in between belongs to the press on the panel.
    bool m_releaseIsThePanels = false;
    // Whether the notes stood in position order at the last redraw: the hover
    // then finds the notes under the pointer by binary search. Every change of
    // the notes ends with a redraw, a load with showNewSong.
    bool m_notesOrdered = true;
    // The last accepted texts of the digit-only boxes.
    std::string m_tempoAccepted, m_lengthAccepted;
};

// The 128 instrument names as the instrument lists show them ("1: グランドピアノ" ...).
const std::array<std::string, 128>& instrumentNames();

} // namespace vako
