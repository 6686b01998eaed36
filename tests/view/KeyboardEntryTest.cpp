// A MIDI keyboard in the main window, on a fake clock and a scripted input:
// the menu "MIDI入力", thru, step entry under the mouse, recording while
// playing and a port that goes away.
#include "ViewTestSupport.h"

#include "midi/ShortMessage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace vako::test {
namespace {

uint32_t noteOn(int key, int velocity, int channel = 0) {
    return packShortMessage(static_cast<uint8_t>(kStatusNoteOn + channel), key, velocity);
}
uint32_t noteOff(int key, int channel = 0) {
    return packShortMessage(static_cast<uint8_t>(kStatusNoteOff + channel), key, 0);
}

// The system's input ports, as the test says they are.
class FakeInputPorts final : public MidiInBackend {
public:
    explicit FakeInputPorts(const Clock& clock) : m_clock(clock) {}
    std::vector<std::string> portNames() override { return ports; }
    std::unique_ptr<MidiIn> open(const std::string& portName, std::string& error) override {
        if (refuse || std::find(ports.begin(), ports.end(), portName) == ports.end()) {
            error = "使用中";
            return nullptr;
        }
        auto in = std::make_unique<ScriptedMidiIn>(m_clock, MidiInWakeUp{}, portName);
        keyboard = in.get();
        return in;
    }

    std::vector<std::string> ports{"Keys A", "Keys B"};
    bool refuse = false;
    ScriptedMidiIn* keyboard = nullptr; // the port opened last

private:
    const Clock& m_clock;
};

class KeyboardInWindow : public ::testing::Test {
protected:
    void SetUp() override {
        w.load();
        f().useClock(w.clock);
        f().keyboard.setBackend(&ports);
        ASSERT_TRUE(f().keyboard.choose("Keys A"));
    }
    MainWindowModel& f() { return *w.form; }
    ScriptedMidiIn& keys() { return *ports.keyboard; }

    // The pointer over the upper (staff 0) or lower band on step `pos` of the
    // page on view (a multiple of 3 on the starting grid).
    void hover(int32_t pos, int staff = 0) {
        f().scoreMouseMove(0, 0, 5.0f * (pos + 18) + 1, staff == 0 ? -900.0f : -300.0f);
    }
    // Keys pressed together and let go `heldMs` later; then the window waits
    // until the chord is due, as its timer would.
    void play(const std::vector<int>& keysDown, double heldMs = 100, int velocity = 100) {
        for (int k : keysDown) keys().deliver(noteOn(k, velocity));
        w.clock.advance(heldMs);
        for (int k : keysDown) keys().deliver(noteOff(k));
        f().keyboard.takeInput();
        if (const double wait = f().keyboard.msUntilChordDue(); std::isfinite(wait)) {
            w.clock.advance(wait);
            f().keyboard.takeInput();
        }
    }
    std::vector<std::string> captions(const MenuItem& menu) {
        std::vector<std::string> out;
        for (const MenuItem* item : menu.children) out.push_back(item->caption);
        return out;
    }
    const MenuItem* checkedEntry() {
        for (const MenuItem* item : f().keyboard.inputMenu.children)
            if (item->checked) return item;
        return nullptr;
    }

    Window w;
    FakeInputPorts ports{w.clock};
};

TEST_F(KeyboardInWindow, TheInputMenuOffersNoneAndThePortsAndChecksTheChoice) {
    ASSERT_NE(std::find(f().menuBar().begin(), f().menuBar().end(), &f().keyboard.inputMenu),
              f().menuBar().end());
    EXPECT_EQ(f().keyboard.inputMenu.caption, "MIDI入力");
    ports.ports.push_back("Keys C"); // plugged in after start-up
    f().keyboard.openMenu();
    EXPECT_EQ(captions(f().keyboard.inputMenu),
              (std::vector<std::string>{"なし", "Keys A", "Keys B", "Keys C"}));
    ASSERT_NE(checkedEntry(), nullptr);
    EXPECT_EQ(checkedEntry()->caption, "Keys A");

    f().keyboard.inputMenu.children[3]->click();
    EXPECT_EQ(f().keyboard.input()->name(), "Keys C");
    EXPECT_EQ(checkedEntry()->caption, "Keys C");
    f().keyboard.inputMenu.children[0]->click();
    EXPECT_FALSE(f().keyboard.inputOpen());
    EXPECT_EQ(checkedEntry()->caption, "なし");

    // A port that will not open: a message, and "なし" stays checked.
    ports.refuse = true;
    f().keyboard.inputMenu.children[1]->click();
    EXPECT_FALSE(f().keyboard.inputOpen());
    ASSERT_EQ(w.ui.messages.size(), 1u);
    EXPECT_NE(w.ui.messages[0].find("Keys A"), std::string::npos);
    EXPECT_EQ(checkedEntry()->caption, "なし");

    ports.ports.clear();
    f().keyboard.openMenu();
    EXPECT_EQ(captions(f().keyboard.inputMenu),
              (std::vector<std::string>{"なし", "（MIDI入力が見つかりません）"}));
    EXPECT_FALSE(f().keyboard.inputMenu.children[1]->enabled);
}

TEST_F(KeyboardInWindow, TheStartUpChoiceOpensAPortByPartOfItsNameOrSaysWhyNot) {
    f().keyboard.choose("");
    f().keyboard.openAtStartup("port:B");
    ASSERT_TRUE(f().keyboard.inputOpen());
    EXPECT_EQ(f().keyboard.input()->name(), "Keys B");
    EXPECT_TRUE(w.ui.messages.empty());

    f().keyboard.choose("");
    f().keyboard.openAtStartup("port:Piano");
    EXPECT_FALSE(f().keyboard.inputOpen());
    EXPECT_EQ(w.ui.messages.size(), 1u);
    f().keyboard.openAtStartup(nullptr);
    f().keyboard.openAtStartup("none");
    EXPECT_EQ(w.ui.messages.size(), 1u) << "no input asked for, nothing to say";
}

TEST_F(KeyboardInWindow, KeysSoundOnTheUpperBandsPartWithItsInstrumentOrOnThePercussion) {
    w.form->view.bandParts[0] = 3;
    w.song.partPrograms[3] = 40;
    const size_t before = w.sent().size();
    keys().deliver(noteOn(60, 100, 5)); // the keyboard's own channel does not matter
    keys().deliver(noteOff(60, 5));
    f().keyboard.takeInput();
    const std::vector<uint32_t> all = w.sent();
    const std::vector<uint32_t> sent(all.begin() + static_cast<long>(before), all.end());
    EXPECT_EQ(sent,
              (std::vector<uint32_t>{programChange(3, 40), noteOn(60, 100, 3), noteOff(60, 3)}));

    f().keyboardDrumsMenu.click();
    keys().deliver(noteOn(36, 90));
    f().keyboard.takeInput();
    EXPECT_EQ(w.sent().back(), noteOn(36, 90, kPercussionPart));
}

TEST_F(KeyboardInWindow, AKeyEntersItsNoteUnderTheMouseAndTheInputPositionMovesOn) {
    w.form->view.bandParts[1] = 4;
    hover(12, 1);
    play({60}, 100, 100);
    ASSERT_EQ(w.song.noteCount(), 1);
    EXPECT_EQ(w.song.notes[1], (Note{12, 60, 12, 4, 102, kCentrePan, 0}))
        << "the band's part, the chosen length, strength from velocity";
    EXPECT_TRUE(w.modified());
    EXPECT_TRUE(f().undoMenu.enabled);
    EXPECT_EQ(f().keyboard.inputPosition(), 24);
    EXPECT_TRUE(f().keyboard.inputLine.visible);
    // On the beat line of 24, the x a note there is drawn at.
    EXPECT_EQ(f().keyboard.inputLine.x1, 90 + 5 * (24 - 1));
    EXPECT_EQ(f().keyboard.inputLine.y1, -600) << "on the lower band";

    play({62}, 100, 20);
    ASSERT_EQ(w.song.noteCount(), 2);
    EXPECT_EQ(w.song.notes[2], (Note{24, 62, 12, 4, 18, kCentrePan, 0}));
    f().undoMenu.click();
    EXPECT_EQ(w.song.noteCount(), 1) << "each entry is one edit";

    hover(48, 1); // the mouse takes the input position back
    EXPECT_FALSE(f().keyboard.inputLine.visible);
    play({64});
    EXPECT_EQ(w.song.notes[2].position, 48);

    f().scoreMouseMove(0, 0, 5.0f * (40 + 18), -1300.0f); // above the staff
    play({65});
    EXPECT_EQ(w.song.noteCount(), 2) << "off the staff, keys only sound";
}

TEST_F(KeyboardInWindow, KeysPlayedWithin40MsEnterOneChord) {
    hover(3);
    for (auto [key, waitMs] : {std::pair{67, 10}, {60, 20}, {64, 15}}) {
        keys().deliver(noteOn(key, 100));
        w.clock.advance(waitMs);
    }
    keys().deliver(noteOff(60));
    keys().deliver(noteOff(64));
    keys().deliver(noteOff(67));
    f().keyboard.takeInput(); // 45 ms after the first key: the window has passed
    EXPECT_EQ(w.positions(), (std::vector<int32_t>{3, 3, 3}));
    EXPECT_EQ(w.keys(), (std::vector<int>{60, 64, 67}));
    f().undoMenu.click();
    EXPECT_EQ(w.song.noteCount(), 0) << "the chord is one edit";
}

// Stopped, the pointer on the staff: a note-on without its note-off, then a
// melody. Nothing used to go in until the port went away, then all of it as
// one chord; a flood of note-ons with bytes that are no data did the same.
TEST_F(KeyboardInWindow, AKeyWhoseNoteOffNeverComesHoldsBackNoKeyAfterIt) {
    hover(3);
    keys().deliverBytes({0x90, 0x30, 0x64});
    for (int i = 0; i < 100; ++i)
        keys().deliverBytes({0x90, static_cast<unsigned char>(0x80 + i % 16), 0xFF});
    w.clock.advance(200);
    f().keyboard.takeInput();
    ASSERT_EQ(w.keys(), (std::vector<int>{0x30})) << "the stuck key goes in on its own, at once";

    const std::vector<int> melody = {60, 62, 64, 65, 67, 69, 71, 72};
    for (int key : melody) play({key}, 150);
    std::vector<int> expected = {0x30};
    expected.insert(expected.end(), melody.begin(), melody.end());
    EXPECT_EQ(w.keys(), expected);
    EXPECT_EQ(w.positions(), (std::vector<int32_t>{3, 15, 27, 39, 51, 63, 75, 87, 99}));
}

TEST_F(KeyboardInWindow, ThePageTurnsWhenTheInputPositionLeavesIt) {
    hover(138);
    play({60});
    EXPECT_EQ(w.song.notes[1].position, 138);
    EXPECT_EQ(f().keyboard.inputPosition(), 150);
    EXPECT_EQ(std::tuple(f().view.page, f().pageScrollBar.value, f().keyboard.inputLine.x1),
              std::tuple(1, 1, 90.0 + 5 * (6 - 1)));
    EXPECT_TRUE(f().keyboard.inputLine.visible);
    f().pageScrollBar.setValue(0);
    EXPECT_FALSE(f().keyboard.inputLine.visible) << "its page is not on view";
    f().pageScrollBar.setValue(1);
    EXPECT_TRUE(f().keyboard.inputLine.visible);
    play({62});
    EXPECT_EQ(w.song.notes[2].position, 150);
}

TEST_F(KeyboardInWindow, KeysAboveTheSongsRangeSoundButAreNotEnteredAndTheStatusSaysSoOnce) {
    hover(3);
    play({60, 120});
    ASSERT_EQ(w.song.noteCount(), 1);
    EXPECT_EQ(w.song.notes[1].key, 60);
    // Key 120 is the first the song cannot hold, and the status line says so.
    EXPECT_EQ(f().statusLine.caption, "120番以上の鍵盤の音は鳴らすだけで、曲には入りません");
    const std::vector<uint32_t> sent = w.sent();
    EXPECT_NE(std::find(sent.begin(), sent.end(), noteOn(120, 100)), sent.end()) << "it sounds";

    hover(15);
    play({125});
    EXPECT_EQ(w.song.noteCount(), 1);
    EXPECT_NE(f().statusLine.caption, msg::kKeysNotFitting) << "said once";
}

TEST_F(KeyboardInWindow, NotesPlayedWhilePlayingJoinTheSongSnappedAtTheStop) {
    w.setNotes({note(1, 48, 12, 0), note(200, 50, 12, 0)});
    f().redrawScore();
    w.form->view.bandParts[0] = 2;
    f().playButton.click();
    w.playThrough(11);               // the pass for 11 ran just now
    keys().deliver(noteOn(64, 100)); // 11.0 -> 12 on the grid of 3 steps
    w.playThrough(13);
    w.clock.advance(f().playback().state().msPerStep * 0.6);
    keys().deliver(noteOn(60, 60)); // 13.6 -> 15
    w.playThrough(18);
    keys().deliver(noteOff(64)); // 18
    w.playThrough(30);
    keys().deliver(noteOff(60));      // 30
    keys().deliver(noteOn(126, 100)); // sounds, cannot be kept
    keys().deliver(noteOff(126));
    f().scoreMouseMove(0, 0, 5.0f * (30 + 18) + 1, -900.0f); // the read-out is shown
    f().keyboard.takeInput();
    EXPECT_EQ(w.song.noteCount(), 2) << "they join at the stop";
    f().playButton.click();

    ASSERT_EQ(w.song.noteCount(), 4);
    EXPECT_EQ(w.song.notes[2], (Note{12, 64, 6, 2, 102, kCentrePan, 0}));
    EXPECT_EQ(w.song.notes[3], (Note{15, 60, 15, 2, 60, kCentrePan, 0}));
    EXPECT_TRUE(w.modified());
    EXPECT_EQ(f().statusLine.caption, msg::kKeysNotFitting);
    f().undoMenu.click();
    EXPECT_EQ(w.song.noteCount(), 2) << "one edit";
}

TEST_F(KeyboardInWindow, ANoteHeldAtTheStopEndsThereAndDrumPadModeRecordsPercussion) {
    w.setNotes({note(1, 48, 12, 0), note(300, 50, 12, 0)});
    f().redrawScore();
    f().keyboardDrumsMenu.click();
    f().playButton.click();
    w.playThrough(24);
    keys().deliver(noteOn(38, 100)); // 24
    w.playThrough(48);
    f().playButton.click(); // stops at 49 (-> 48) with the key down
    ASSERT_EQ(w.song.noteCount(), 3);
    EXPECT_EQ(w.song.notes[2], (Note{24, 38, 24, kPercussionPart, 102, kCentrePan, 0}));
}

// Recording used to stop without a word at 10,000 notes a playback.
TEST_F(KeyboardInWindow, ARecordingCutByItsLimitSaysHowManyWentInAndHowManyNot) {
    w.setNotes({note(1, 48, 12, 0), note(300, 50, 12, 0)});
    f().redrawScore();
    hover(30); // the read-out is shown
    f().playButton.click();
    w.playThrough(12);
    for (int64_t i = 0; i < kMostRecordedNotes - 3; ++i) ASSERT_TRUE(f().playback().recordHit(36));
    for (int key : {60, 62, 64, 65, 67}) {
        keys().deliver(noteOn(key, 100));
        keys().deliver(noteOff(key));
    }
    w.playThrough(24);
    f().playButton.click();
    EXPECT_EQ(w.song.noteCount(), 2 + kMostRecordedNotes);
    EXPECT_EQ(f().statusLine.caption, msg::recordingCut(kMostRecordedNotes, 2));
    EXPECT_TRUE(w.ui.messages.empty());
    f().undoMenu.click();
    EXPECT_EQ(w.song.noteCount(), 2) << "the recording is one step the history keeps";
}

// Unplugged while recording: the held key used to run to the end of playback,
// and the box about the lost port held up the window while the song played on.
TEST_F(KeyboardInWindow, AKeyHeldWhenThePortGoesWhilePlayingEndsThereWithoutABox) {
    w.setNotes({note(1, 48, 12, 0), note(400, 50, 12, 0)});
    f().redrawScore();
    f().playButton.click();
    w.playThrough(24);
    keys().deliver(noteOn(64, 100)); // 24
    w.playThrough(48);
    keys().loseDevice(); // 48; the window looks a little later
    w.playThrough(60);
    EXPECT_TRUE(f().keyboard.watchInput());
    EXPECT_FALSE(f().stopped());
    EXPECT_TRUE(w.ui.messages.empty()) << "no box while playing";
    EXPECT_EQ(f().statusLine.caption, msg::midiInputLost("Keys A"));
    EXPECT_EQ(w.sent().back(), noteOff(64)) << "it stops sounding";
    EXPECT_FALSE(f().keyboard.watchInput());

    w.playThrough(200);
    f().playButton.click();
    ASSERT_EQ(w.song.noteCount(), 3);
    EXPECT_EQ(w.song.notes[2], (Note{24, 64, 24, 0, 102, kCentrePan, 0}));
    EXPECT_EQ(w.ui.messages, (std::vector<std::string>{msg::midiInputLost("Keys A")}))
        << "told by the box after the stop, once";
}

TEST_F(KeyboardInWindow, APortThatGoesAwayIsToldOnceAndTheProgramGoesOn) {
    f().keyboard.openMenu();
    hover(3);
    keys().deliver(noteOn(60, 100));
    f().keyboard.takeInput();
    keys().loseDevice();
    EXPECT_TRUE(f().keyboard.watchInput());
    EXPECT_FALSE(f().keyboard.inputOpen());
    ASSERT_EQ(w.ui.messages.size(), 1u);
    EXPECT_NE(w.ui.messages[0].find("Keys A"), std::string::npos);
    EXPECT_EQ(checkedEntry()->caption, "なし");
    EXPECT_EQ(w.sent().back(), noteOff(60)) << "the held key stops sounding";
    EXPECT_EQ(w.song.noteCount(), 1) << "what was played before goes in";
    EXPECT_FALSE(f().keyboard.watchInput());
    EXPECT_FALSE(f().keyboard.takeInput());
    EXPECT_EQ(w.ui.messages.size(), 1u);
}

} // namespace
} // namespace vako::test
