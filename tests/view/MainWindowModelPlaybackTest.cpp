// Playback in the main window on a fake clock: the play button, the controls
// while playing, the play cursor and the page turns, control changes shown in
// the window, tapped hits, the reverse command and the device menu.
#include "ViewTestSupport.h"

#include "midi/ShortMessage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

namespace vako::test {
namespace {

class WindowPlayback : public ::testing::Test {
protected:
    void SetUp() override {
        w.load();
        f().useClock(w.clock);
    }
    MainWindowModel& f() { return *w.form; }

    void start(const std::vector<Note>& notes) {
        w.setNotes(notes);
        f().redrawScore();
        f().playButton.click();
        ASSERT_FALSE(f().stopped());
    }

    Window w;
};

TEST_F(WindowPlayback, ThePlayButtonStartsAndTheWindowChangesForPlaying) {
    EXPECT_TRUE(f().stopped());
    EXPECT_TRUE(std::isinf(f().msUntilNextStep()));
    // An out-of-range tempo starts nothing.
    w.setNotes({note(1, 60, 12, 0)});
    f().tempoBox.setText("700");
    f().playButton.click();
    EXPECT_EQ(w.ui.messages, std::vector<std::string>{"速さは30から600で選んでください"});
    EXPECT_TRUE(f().stopped());
    EXPECT_EQ(f().playButton.picture, PictureId::Play);
    f().tempoBox.setText("120");

    start({note(1, 60, 12, 0), note(13, 62, 12, 0)});
    EXPECT_EQ(f().playButton.picture, PictureId::Stop);
    EXPECT_FALSE(f().scoreViewAcceptsDrops || f().noteCursor.visible ||
                 f().pitchNameLabel.visible || f().pageScrollBar.enabled ||
                 f().transposeScrollBar.enabled || f().fileList.enabled);
    for (const Control& l : f().ledgerLinesAbove) EXPECT_FALSE(l.visible);
    EXPECT_TRUE(f().playButton.enabled) << "the same button stops";
    // One step at tempo 120 is 5000 / 120 ms.
    EXPECT_NEAR(f().msUntilNextStep(), 5000.0 / 120, 1e-9);

    // Position -1, 0, then the first step of the song.
    for (const double x : {95.0, 100.0, 105.0}) {
        w.playbackStep();
        EXPECT_EQ(f().playCursor.x1, x);
        EXPECT_EQ(f().playCursor.x2, x);
    }

    f().playButton.click(); // stop
    EXPECT_TRUE(f().stopped());
    EXPECT_EQ(f().playButton.picture, PictureId::Play);
    EXPECT_TRUE(f().scoreViewAcceptsDrops && f().noteCursor.visible && f().pitchNameLabel.visible &&
                f().pageScrollBar.enabled && f().transposeScrollBar.enabled &&
                f().fileList.enabled);
    EXPECT_EQ(f().playCursor.x1, 100);
    EXPECT_TRUE(std::isinf(f().msUntilNextStep()));
}

TEST_F(WindowPlayback, NotesReachTheDeviceInTimeOrderAndTheSongEndsByItself) {
    start({note(1, 60, 12, 0), note(13, 64, 6, 0)});
    w.midi->clear();
    while (w.playbackStep()) {}
    std::vector<uint32_t> notes;
    for (uint32_t m : w.sent())
        if ((m & 0xE0) == 0x80) notes.push_back(m);
    // At step 13 the note-off goes before the note-on.
    EXPECT_EQ(notes, (std::vector<uint32_t>{0x90 + 60 * 256 + 120 * 65536, 0x80 + 60 * 256,
                                            0x90 + 64 * 256 + 120 * 65536, 0x80 + 64 * 256}));
    // The clock times never go back.
    double lastTime = -1;
    for (const auto& e : w.midi->entries()) {
        EXPECT_GE(e.timeMs, lastTime);
        lastTime = e.timeMs;
    }
    EXPECT_TRUE(f().stopped());
    EXPECT_EQ(f().playButton.picture, PictureId::Play);
}

TEST_F(WindowPlayback, ThePageTurnsOneStepBeforeThePagesLastStep) {
    start({note(1, 60, 12, 0), note(150, 62, 12, 0), note(300, 64, 12, 0)});
    f().gridFortyEighthsMenu.click(); // division lines would be drawn while stopped
    w.playThrough(142);
    EXPECT_EQ(f().view.page, 0);
    const int clears = w.canvas.clearCount;
    w.playThrough(143);
    EXPECT_EQ(f().playCursor.x1, 815);
    EXPECT_EQ(f().view.page, 1);
    EXPECT_EQ(f().pageScrollBar.value, 1);
    EXPECT_EQ(w.canvas.clearCount, clears + 1) << "the turn redraws";
    EXPECT_EQ(f().pageLabels[1].caption, "2 / 3 ページ");
    // No division lines while playing, and the page count from the play list.
    for (const DrawOp& op : w.canvas.ofKind(DrawOp::Line)) EXPECT_NE(op.colour, colour::kLightGrey);
    EXPECT_EQ(f().pageScrollBar.max, 312 / 144 + 1);
    w.playThrough(144);
    EXPECT_EQ(f().playCursor.x1, 100);
    EXPECT_EQ(f().view.page, 1);
}

TEST_F(WindowPlayback, PlaybackPastPage32768TurnsTheViewWithIt) {
    const int page = 32767; // the last page a 16-bit page could show
    w.setNotes({note(1, 60, 12, 0), note(page * 144 + 100, 62, 12, 0),
                note((page + 2) * 144 + 10, 64, 12, 0)});
    f().redrawScore();
    f().pageScrollBar.setValue(page);
    ASSERT_EQ(f().view.page, page);
    f().playButton.click();
    ASSERT_FALSE(f().stopped());
    for (const int expected : {page + 1, page + 2}) {
        w.playThrough(int32_t{expected} * 144 - 1);
        EXPECT_EQ(f().view.page, expected);
        EXPECT_EQ(f().pageScrollBar.value, expected);
        EXPECT_EQ(f().pageLabels[1].caption,
                  std::to_string(expected + 1) + " / " + std::to_string(page + 3) + " ページ");
    }
    f().playButton.click();
}

TEST_F(WindowPlayback, ThePositionPanelKeepsItsEntryWhilePlayingAndSetsItAfterTheStop) {
    w.setNotes({note(1, 60, 12, 0), note(300, 62, 12, 0)});
    f().redrawScore();
    // The panel on an empty place of the upper band, at position 48.
    const float x = 5.0f * (48 + 18) + 7, y = -600.0f - 10.0f * (30 - 6) - 5;
    w.rightPress(x, y);
    ASSERT_TRUE(f().positionPanel.visible);
    f().positionPanel.valueBox.setText("90");
    EXPECT_TRUE(f().positionPanel.setButton.enabled);

    f().playButton.click();
    ASSERT_FALSE(f().stopped());
    EXPECT_FALSE(f().positionPanel.setButton.enabled);
    EXPECT_FALSE(f().positionPanel.deleteButton.enabled);
    EXPECT_EQ(f().positionPanel.prompt.caption, "停止してから押してください。");
    f().positionPanel.setButton.click(); // a click the toolkit should not have delivered
    EXPECT_TRUE(f().positionPanel.visible) << "the entry is not dropped";
    EXPECT_EQ(f().positionPanel.valueBox.text(), "90");
    EXPECT_EQ(w.song.changeCount, 1);

    f().playButton.click(); // stop
    EXPECT_TRUE(f().positionPanel.setButton.enabled);
    EXPECT_TRUE(f().positionPanel.deleteButton.enabled);
    EXPECT_EQ(f().positionPanel.prompt.caption, "操作を選んでください。");
    f().positionPanel.setButton.click();
    EXPECT_FALSE(f().positionPanel.visible);
    ASSERT_EQ(w.song.changeCount, 2);
    EXPECT_EQ(w.song.changes[2], (ControlChange{48, 90, kTempoChange}));
}

TEST_F(WindowPlayback, ControlChangesShowInTheTempoBoxAndTheBandControls) {
    w.song.changes = {ControlChange{},
                      {0, 120, kTempoChange},
                      {5, 60, kTempoChange},
                      {6, 40 * 16 + 0, kInstrumentChange},
                      {7, 2 * 16 + 9, kVolumeChange},
                      {kEndMarkerPos, 0, 0}};
    w.song.changeCount = 4;
    start({note(1, 60, 12, 0), note(40, 36, 3, 9)});
    w.playThrough(7);
    EXPECT_EQ(f().tempoBox.text(), "60");
    EXPECT_NEAR(f().msUntilNextStep(), 5000.0 / 60, 1e-9);
    EXPECT_EQ(f().bandInstrumentLists[0].listIndex, 40);
    EXPECT_EQ(f().bandVolumeScrollBars[1].value, 2) << "the lower band shows the percussion part";
    EXPECT_EQ(f().bandVolumeBoxes[1].caption, "2");
    EXPECT_FALSE(w.modified()) << "playback changes no song data";
    f().playButton.click();
    EXPECT_EQ(f().tempoBox.text(), "120") << "the start tempo comes back at the stop";
}

TEST_F(WindowPlayback, TappedHitsAreMarkedAndMergedAtTheStopAlsoWhenTheWindowCloses) {
    start({note(10, 60, 12, 0), note(40, 62, 12, 0)});
    w.playThrough(10);
    ASSERT_TRUE(f().tapWhilePlaying(35));
    ASSERT_TRUE(f().tapWhilePlaying(38));
    const auto marks = w.canvas.ofKind(DrawOp::Line);
    ASSERT_FALSE(marks.empty());
    EXPECT_EQ(marks.back().x1, f().playCursor.x1);
    EXPECT_EQ(marks.back().y1, -150);
    EXPECT_EQ(marks.back().y2, -450);
    EXPECT_FALSE(f().tapWhilePlaying(0));

    // Closing the window while playing stops too, and keeps the hits: they
    // go in at the step after the pass for 10, on part 10.
    w.ui.answers = {WindowSystem::Answer::No};
    EXPECT_TRUE(f().files.queryClose());
    EXPECT_TRUE(f().stopped());
    EXPECT_EQ(w.keys(), (std::vector<int>{60, 35, 38, 62}));
    EXPECT_EQ(w.song.notes[2].position, 11);
    EXPECT_EQ(w.song.notes[2].part, 9);
    EXPECT_TRUE(f().undoMenu.enabled);
    EXPECT_FALSE(f().tapWhilePlaying(35)) << "stopped";
}

TEST_F(WindowPlayback, TheReverseCommandMirrorsTheNotesAndTogglesItsMark) {
    w.setNotes({note(1, 60, 12, 0), note(5, 62, 12, 0), note(13, 64, 12, 0)});
    EXPECT_EQ(f().reverseSongMenu.caption, "データを前後逆順にする");
    const int clears = w.canvas.clearCount;
    f().reverseSongMenu.click();
    EXPECT_TRUE(f().reverseSongMenu.checked);
    EXPECT_EQ(w.canvas.clearCount, clears + 1);
    EXPECT_EQ(w.positions(), (std::vector<int32_t>{1, 9, 13}));
    EXPECT_EQ(w.keys(), (std::vector<int>{64, 62, 60}));
    f().reverseSongMenu.click();
    EXPECT_FALSE(f().reverseSongMenu.checked);
    EXPECT_EQ(w.song.notes[2].position, 5);
    // Each reverse is an edit; undoing both is back at the opened song.
    EXPECT_TRUE(w.modified());
    f().undo();
    f().undo();
    EXPECT_EQ(w.song.notes[2].position, 5);
    EXPECT_FALSE(w.modified());
}

// Devices of the "MIDI出力" menu: two that open, one that does not. What each
// device is told is kept by the test, beyond the device's life.
class MenuBackend final : public MidiOutBackend {
public:
    explicit MenuBackend(std::map<std::string, std::unique_ptr<RecordingMidiOut>>& recorders)
        : m_recorders(recorders) {}
    bool isSynth() const override { return false; }
    std::vector<std::string> deviceNames() override { return {"Keys", "Synth B", "Held"}; }
    std::unique_ptr<MidiOut> open(const std::string& name, std::string& error) override {
        if (name == "Held") {
            error = "busy";
            return nullptr;
        }
        return std::make_unique<Named>(name, *m_recorders.at(name));
    }

    class Named final : public MidiOut {
    public:
        Named(std::string name, RecordingMidiOut& recording)
            : m_name(std::move(name)), m_recording(recording) {}
        void send(uint32_t m) override { m_recording.send(m); }
        void reset() override { m_recording.reset(); }
        void close() override { m_recording.close(); }
        std::string name() const override { return m_name; }

    private:
        std::string m_name;
        RecordingMidiOut& m_recording;
    };

private:
    std::map<std::string, std::unique_ptr<RecordingMidiOut>>& m_recorders;
};

TEST_F(WindowPlayback, TheDeviceMenuListsTheDevicesAndMovesTheOutput) {
    std::map<std::string, std::unique_ptr<RecordingMidiOut>> recorders;
    for (const char* name : {"Keys", "Synth B"})
        recorders[name] = std::make_unique<RecordingMidiOut>(w.clock);
    MidiDeviceList devices;
    devices.add(std::make_unique<MenuBackend>(recorders));
    f().setDeviceList(&devices);
    f().openDeviceMenu();
    ASSERT_EQ(f().deviceMenu.children.size(), 3u);
    EXPECT_EQ(f().deviceMenu.children[0]->caption, "Keys");
    for (MenuItem* item : f().deviceMenu.children) EXPECT_FALSE(item->checked);

    w.song.partPrograms[3] = 41;
    f().deviceMenu.children[0]->click();
    w.midi = nullptr; // the start-up device is gone
    EXPECT_TRUE(f().deviceMenu.children[0]->checked);
    // The new device gets every part's volume, program and centred pitch bend.
    const auto setUp = recorders["Keys"]->messages();
    ASSERT_EQ(setUp.size(), 48u);
    EXPECT_EQ(setUp[3 * 3 + 1], programChange(3, 41));

    f().deviceMenu.children[1]->click();
    EXPECT_EQ(recorders["Keys"]->entries().back().kind, RecordingMidiOut::Kind::Close)
        << "the old device is let go";
    EXPECT_TRUE(f().deviceMenu.children[1]->checked);
    EXPECT_FALSE(f().deviceMenu.children[0]->checked);
    // Notes go to it from now on, playback included.
    start({note(1, 60, 12, 0)});
    while (w.playbackStep()) {}
    const auto played = recorders["Synth B"]->messages();
    EXPECT_NE(std::find(played.begin(), played.end(), 0x90u + 60 * 256 + 120 * 65536),
              played.end());

    // A device that will not open: said so, the sound stays where it was.
    f().openDeviceMenu();
    f().deviceMenu.children[2]->click();
    ASSERT_EQ(w.ui.messages.size(), 1u);
    EXPECT_NE(w.ui.messages[0].find("Held"), std::string::npos);
    EXPECT_EQ(f().device().name(), "Synth B");
    EXPECT_TRUE(f().deviceMenu.children[1]->checked);

    // No device at all: one entry that says so, greyed.
    MidiDeviceList none;
    f().setDeviceList(&none);
    f().openDeviceMenu();
    ASSERT_EQ(f().deviceMenu.children.size(), 1u);
    EXPECT_FALSE(f().deviceMenu.children[0]->enabled);
}

} // namespace
} // namespace vako::test
