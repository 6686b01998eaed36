#include "midi/Playback.h"
#include "midi/ShortMessage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

#include <string>
#include <vector>

namespace vako {
namespace {

using Kind = RecordingMidiOut::Kind;

Note note(int32_t pos, uint8_t key, int32_t len, uint8_t part = 0, uint8_t velocity = 100,
          uint8_t pan = 64, uint8_t modulation = 0) {
    return {pos, key, len, part, velocity, pan, modulation};
}

Song songWith(const std::vector<Note>& notes, const std::vector<ControlChange>& changes = {}) {
    Song song;
    song.notes.assign(1, Note{});
    song.notes.insert(song.notes.end(), notes.begin(), notes.end());
    song.twiceNoteCount = static_cast<int32_t>(2 * notes.size());
    song.changes.assign(2, ControlChange{});
    song.changes[1] = {0, 120, kTempoChange};
    song.changes.insert(song.changes.end(), changes.begin(), changes.end());
    song.changeCount = static_cast<int32_t>(song.changes.size() - 1);
    song.changes.push_back({kEndMarkerPos, 0, 0});
    return song;
}

// Writes down what the window would be asked to do.
class LogListener : public PlaybackListener {
public:
    void showMessage(const std::string& text) override { log.push_back("message " + text); }
    void setPlaying(bool playing) override { log.push_back(playing ? "playing" : "stopped"); }
    void moveCursorLine(int x) override {
        cursorX = x;
        if (onCursor) onCursor(x);
    }
    int page() const override { return shownPage; }
    void setPage(int page, bool turnView) override {
        shownPage = page;
        log.push_back((turnView ? "turn " : "page ") + std::to_string(page) + " at x " +
                      std::to_string(cursorX));
    }
    void showTempoText(const std::string& text) override { log.push_back("tempo " + text); }
    // The window's bands show parts 1 and 10 (0 and 9).
    void showPartProgram(int part, int program) override {
        if (part == 0 || part == 9)
            log.push_back("instrument " + std::to_string(part == 0 ? 0 : 1) + " " +
                          std::to_string(program));
    }
    void showPartVolume(int part, int volume) override {
        if (part == 0 || part == 9)
            log.push_back("volume " + std::to_string(part == 0 ? 0 : 1) + " " +
                          std::to_string(volume));
    }
    void redraw() override { log.push_back("redraw"); }
    int pitchShift() const override { return shift; }

    std::vector<std::string> log;
    int shownPage = 0;
    int cursorX = 0;
    int shift = 0;
    std::function<void(int)> onCursor;
};

struct Rig {
    explicit Rig(Song s) : song(std::move(s)) {}
    Song song;
    FakeClock clock{1000};
    RecordingMidiOut out{clock};
    LogListener listener;
    Playback playback{song, out, clock, listener};

    // Sleeps to the next deadline and runs what is due: one pass.
    void pass() {
        clock.sleepUntil(playback.nextDeadline());
        playback.runDueSteps(clock.nowMs());
    }
    void passUntilPlayPos(int32_t pos) {
        while (playback.isPlaying() && playback.state().playPosition < pos) pass();
    }
    void playToEnd() {
        playUntilStopped(playback, clock, [] { return true; });
    }
    // Messages sent from entry `from` on, as (time since start, message).
    std::vector<std::pair<double, uint32_t>> sent(size_t from = 0) const {
        std::vector<std::pair<double, uint32_t>> out;
        for (size_t i = from; i < this->out.entries().size(); ++i) {
            const auto& e = this->out.entries()[i];
            if (e.kind == Kind::Message) out.emplace_back(e.timeMs - 1000, e.message);
        }
        return out;
    }
};

std::vector<uint32_t> setupMessages(const Song& song) {
    std::vector<uint32_t> m;
    for (int c = 0; c < 16; ++c) {
        m.push_back(controlChange(c, kControllerVolume, song.partVolumes[c] * 20));
        m.push_back(programChange(c, song.partPrograms[c]));
        m.push_back(pitchBendCentre(c));
    }
    return m;
}

TEST(Playback, OneNoteFromStartToEndSendsExactlyTheseMessagesOnTime) {
    Rig rig(songWith({note(1, 60, 12, 2, 100, 128, 5)}));
    rig.song.partVolumes[2] = 6;
    rig.song.partPrograms[2] = 40;
    rig.playback.press();
    ASSERT_TRUE(rig.playback.isPlaying());
    EXPECT_EQ(rig.out.messages(), setupMessages(rig.song));
    EXPECT_EQ(rig.out.messages()[6], 0x7807B2u);
    EXPECT_EQ(rig.out.messages()[7], 0x28C2u);

    rig.pass(); // position -1: only the cursor, at x 95
    EXPECT_EQ(rig.listener.cursorX, 95);
    EXPECT_EQ(rig.out.entries().size(), 48u);
    rig.pass(); // position 0: the start tempo record
    EXPECT_EQ(rig.listener.log.back(), "tempo 120");
    const size_t before = rig.out.entries().size();
    rig.playToEnd();

    const double step = 5000.0 / 120;
    const std::vector<std::pair<double, uint32_t>> expected = {
        {3 * step, 0x0501B2},  {3 * step, 0x7F0AB2},  {3 * step, 0x643C92}, // position 1
        {15 * step, 0x0001B2}, {15 * step, 0x000AB2}, {15 * step, 0x3C82},  // position 13
    };
    const auto sent = rig.sent(before);
    ASSERT_GE(sent.size(), 6u);
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(sent[i].first, expected[i].first, 1e-9) << i;
        EXPECT_EQ(sent[i].second, expected[i].second) << i;
    }
    // The stop: reset, then pitch bend and balance to the centre on every channel.
    const auto& entries = rig.out.entries();
    ASSERT_EQ(entries.size(), before + 6 + 1 + 32);
    EXPECT_EQ(entries[before + 6].kind, Kind::Reset);
    for (int c = 0; c < 16; ++c) {
        EXPECT_EQ(entries[before + 7 + 2 * c].message, pitchBendCentre(c));
        EXPECT_EQ(entries[before + 8 + 2 * c].message, controlChange(c, kControllerBalance, 64));
    }
    EXPECT_FALSE(rig.playback.isPlaying());
    EXPECT_EQ(rig.playback.state().playPosition, 0);
    EXPECT_EQ(rig.listener.cursorX, 100);
    EXPECT_EQ(rig.listener.log.back(), "redraw");
}

TEST(Playback, TheDeadlinesOfALongSongDoNotDrift) {
    Rig rig(songWith({note(1, 60, 1), note(10000, 62, 1)}));
    rig.playback.press();
    rig.playToEnd();
    const auto sent = rig.sent(48);
    // The note-on at position 10000 is sounded by pass 10002.
    ASSERT_GE(sent.size(), 9u);
    EXPECT_NEAR(sent[8].first, 10002 * 5000.0 / 120, 1e-6);
    EXPECT_EQ(sent[8].second, 0x643E90u);
}

TEST(Playback, ATempoChangeTakesEffectFromItsStepAndTheStartTempoComesBackAtTheStop) {
    Rig rig(songWith({note(24, 60, 1), note(26, 62, 1)}, {{25, 60, kTempoChange}}));
    rig.playback.press();
    rig.playToEnd();
    const double fast = 5000.0 / 120, slow = 5000.0 / 60;
    const auto sent = rig.sent(48);
    EXPECT_NEAR(sent[2].first, 26 * fast, 1e-9); // note-on at 24
    // The pass of position 25 is due at 27 fast steps; position 26 one slow step later.
    EXPECT_NEAR(sent[8].first, 27 * fast + slow, 1e-9);
    EXPECT_EQ(sent[8].second, 0x643E90u);
    EXPECT_NEAR(rig.playback.state().msPerStep, slow, 1e-12);
    const std::vector<std::string>& log = rig.listener.log;
    EXPECT_NE(std::find(log.begin(), log.end(), "tempo 60"), log.end());
    EXPECT_EQ(rig.song.tempoText, "120");
}

TEST(Playback, StartingOnALaterPageSkipsEarlierNotesButAppliesEarlierChanges) {
    // Page 2 holds positions 289 to 432; playback starts at 287.
    Rig rig(songWith({note(100, 50, 10), note(286, 51, 1), note(287, 52, 1), note(300, 53, 1)},
                     {{50, 40 * 16 + 9, kInstrumentChange},
                      {60, 6 * 16 + 9, kVolumeChange},
                      {200, 60, kTempoChange},
                      {287, 3 * 16 + 0, kInstrumentChange}}));
    rig.listener.shownPage = 2;
    rig.playback.press();
    EXPECT_EQ(rig.listener.log,
              (std::vector<std::string>{"playing", "page 1 at x 0", "tempo 120", "instrument 1 40",
                                        "volume 1 6", "tempo 60"}));
    EXPECT_EQ(rig.listener.shownPage, 1);
    EXPECT_EQ(rig.playback.state().playPosition, 287);
    EXPECT_EQ(rig.song.partPrograms[9], 40);
    EXPECT_EQ(rig.song.partVolumes[9], 6);
    const auto setup = rig.sent();
    ASSERT_EQ(setup.size(), 50u);
    EXPECT_EQ(setup[48].second, 0x28C9u);
    EXPECT_EQ(setup[49].second, 0x7807B9u);
    EXPECT_NEAR(rig.playback.state().msPerStep, 5000.0 / 60, 1e-12);

    rig.pass(); // position 287: turns to page 2 with the cursor at 815
    const std::vector<std::string> passLog(rig.listener.log.end() - 2, rig.listener.log.end());
    EXPECT_EQ(passLog, (std::vector<std::string>{"turn 2 at x 815", "instrument 0 3"}));
    const auto first = rig.sent(50);
    // The change at 287, the end of the note at 286, the note at 287.
    ASSERT_EQ(first.size(), 7u);
    EXPECT_EQ(first[0].second, 0x03C0u);
    EXPECT_EQ(first[3].second, 0x3380u);
    EXPECT_EQ(first[6].second, 0x643490u);
    rig.playToEnd();
    for (const auto& [time, message] : rig.sent())
        EXPECT_NE(message & 0xFFFF, 0x3290u) << "note 50 lies before the page";
}

TEST(Playback, ASongWithoutNotesStopsAtPositionZero) {
    Rig first(songWith({}));
    first.playback.press();
    first.pass();
    EXPECT_TRUE(first.playback.isPlaying());
    first.pass();
    EXPECT_FALSE(first.playback.isPlaying());

    Rig later(songWith({}));
    later.listener.shownPage = 3;
    later.playback.press();
    later.pass();
    EXPECT_FALSE(later.playback.isPlaying());
}

TEST(Playback, TheTempoTextMustReadAsANumberFrom30To600) {
    for (const char* text : {"29", "601", "abc", "", "29.9", "600.4", "1e2", "120x"}) {
        Rig rig(songWith({note(1, 60, 1)}));
        rig.song.tempoText = text;
        rig.playback.press();
        EXPECT_FALSE(rig.playback.isPlaying()) << text;
        EXPECT_TRUE(rig.out.entries().empty()) << text;
        EXPECT_EQ(rig.listener.log,
                  (std::vector<std::string>{"message 速さは30から600で選んでください"}));
    }
    for (const char* text : {"30", "600", " 120 ", "99.5"}) {
        Rig rig(songWith({note(1, 60, 1)}));
        rig.song.tempoText = text;
        rig.playback.press();
        EXPECT_TRUE(rig.playback.isPlaying()) << text;
    }
    Rig rig(songWith({note(1, 60, 1)}));
    rig.song.tempoText = "99.5";
    rig.playback.press();
    EXPECT_EQ(rig.song.changes[1].value, 100); // halves go to the even neighbour
}

TEST(Playback, AStopEndsThePassInProgress) {
    // The user's stop lands while a pass is under way (here: as the cursor
    // moves for position 1); nothing of that pass follows the stop's messages.
    Rig rig(songWith({note(1, 60, 4), note(1, 64, 4)}, {{1, 2 * 16, kInstrumentChange}}));
    rig.listener.onCursor = [&](int x) {
        if (x == 105 && rig.playback.isPlaying()) rig.playback.press();
    };
    rig.playback.press();
    for (int i = 0; i < 10; ++i) rig.pass();
    const auto& entries = rig.out.entries();
    ASSERT_EQ(entries.size(), 48u + 1 + 32);
    EXPECT_EQ(entries[48].kind, Kind::Reset);
    EXPECT_EQ(entries.back().message, controlChange(15, kControllerBalance, 64));
    EXPECT_EQ(rig.playback.nextDeadline(), std::numeric_limits<double>::infinity());
    EXPECT_EQ(rig.playback.runDueSteps(1e12), 0);
}

TEST(Playback, HitsAreMergedBeforeNotesAtTheirPosition) {
    Rig rig(songWith({note(10, 60, 5), note(40, 62, 20)}));
    EXPECT_FALSE(rig.playback.recordHit(36)); // not playing
    rig.playback.press();
    rig.passUntilPlayPos(10);
    EXPECT_TRUE(rig.playback.recordHit(36));
    EXPECT_TRUE(rig.playback.recordHit(38));
    EXPECT_FALSE(rig.playback.recordHit(0));
    rig.passUntilPlayPos(50);
    EXPECT_TRUE(rig.playback.recordHit(42));
    rig.playback.press(); // stop
    ASSERT_EQ(rig.song.twiceNoteCount, 4 + 6);
    const std::vector<Note> merged(rig.song.notes.begin() + 1, rig.song.notes.begin() + 6);
    EXPECT_EQ(merged, (std::vector<Note>{{10, 36, 3, 9, 120, 64, 0},
                                         {10, 38, 3, 9, 120, 64, 0},
                                         note(10, 60, 5),
                                         note(40, 62, 20),
                                         {50, 42, 3, 9, 120, 64, 0}}));
    EXPECT_GE(rig.song.notes.size(), size_t(10 + 10 + 1));
    const std::vector<std::string> tail(rig.listener.log.end() - 2, rig.listener.log.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"stopped", "redraw"}));
}

// A recording used to stop without a word at 10,000 notes a playback. What a
// playback records is bounded by what its one undo step can hold; the hits
// and the played notes share that room, the earliest are kept, and what is
// left out is counted for the window to tell.
TEST(Playback, WhatARecordingHasNoRoomForIsCountedAndTheEarliestAreKept) {
    struct PlayedNotes : LogListener {
        std::vector<Note> played;
        std::vector<Note> takePlayedNotes(int32_t) override { return std::move(played); }
    };
    Song song = songWith({note(1, 60, 5)});
    FakeClock clock;
    RecordingMidiOut out(clock);
    PlayedNotes listener;
    Playback playback(song, out, clock, listener);
    playback.press();
    for (int64_t i = 0; i < kMostRecordedNotes - 10; ++i) ASSERT_TRUE(playback.recordHit(36));
    listener.played.assign(15, note(0, 64, 3));
    for (int32_t i = 0; i < 15; ++i) listener.played[i].position = 100 - i; // 100 down to 86
    std::reverse(listener.played.begin(), listener.played.end());
    playback.press();
    ASSERT_EQ(song.noteCount(), 1 + kMostRecordedNotes);
    EXPECT_EQ(playback.state().recordedKept, kMostRecordedNotes);
    EXPECT_EQ(playback.state().recordedLeftOut, 5);
    EXPECT_EQ(song.notes[song.noteCount()].position, 95) << "the five latest are left out";

    playback.press();
    for (int64_t i = 0; i < kMostRecordedNotes; ++i) ASSERT_TRUE(playback.recordHit(38));
    EXPECT_FALSE(playback.recordHit(38));
    EXPECT_FALSE(playback.recordHit(38));
    playback.press();
    EXPECT_EQ(playback.state().recordedLeftOut, 2) << "hits refused while playing count too";
}

TEST(Playback, OddRecordsNeverSendABadMessage) {
    Rig rig(songWith(
        {note(1, 60, 2, 17), note(1, 119, 2, 0, 250, 200, 255)},
        {{1, -5, kInstrumentChange}, {1, 9 * 16 + 2, kVolumeChange}, {1, 0, kTempoChange}}));
    rig.listener.shift = -12; // 119 would become 131
    rig.playback.press();
    rig.playToEnd();
    for (const auto& [time, message] : rig.sent()) {
        EXPECT_LT((message >> 8) & 0xFF, 128u);
        EXPECT_LT((message >> 16) & 0xFF, 128u);
        EXPECT_EQ(message >> 24, 0u);
        EXPECT_NE(message & 0xF0, 0x90u) << "no note can sound";
    }
    EXPECT_EQ(rig.song.partVolumes[2], 6);
    // A tempo of 0 plays at 30 instead of dividing by zero.
    EXPECT_NEAR(rig.playback.state().msPerStep, 5000.0 / 30, 1e-12);
}

TEST(Playback, AHeldUpDriverGoesOnFromNowInsteadOfRacing) {
    Rig rig(songWith({note(1000, 60, 1)}));
    rig.playback.press();
    rig.pass();
    const double late = rig.playback.nextDeadline() + 1000;
    EXPECT_EQ(rig.playback.runDueSteps(late), 1);
    EXPECT_NEAR(rig.playback.nextDeadline(), late + 5000.0 / 120, 1e-9);
}

// Times (since the start) of the note-ons sent from entry `from` on.
std::vector<double> noteOnTimes(const Rig& rig, size_t from) {
    std::vector<double> times;
    for (const auto& [time, message] : rig.sent(from))
        if ((message & 0xF0) == 0x90 && ((message >> 16) & 0xFF) > 0) times.push_back(time);
    return times;
}

TEST(Playback, AStallMovesTheStepsAfterItInsteadOfSqueezingThem) {
    const double step = 5000.0 / 120;
    for (const double stall : {120.0, 0.5 * step}) {
        Rig rig(songWith({note(3, 60, 1), note(4, 62, 1), note(5, 64, 1)}));
        rig.playback.press();
        rig.passUntilPlayPos(3); // the next pass sounds the note at step 3
        const double due = rig.playback.nextDeadline();
        const size_t from = rig.out.entries().size();
        rig.clock.set(due + stall);
        rig.playback.runDueSteps(rig.clock.nowMs());
        rig.playToEnd();
        const double woke = due + stall - 1000;
        const std::vector<double> times = noteOnTimes(rig, from);
        ASSERT_EQ(times.size(), 3u) << stall;
        // After a 120 ms stall the steps go on one step apart from the
        // wake-up; less than a step late, they catch up at once and the steps
        // after it are on time.
        const double base = stall > step ? woke : due - 1000;
        EXPECT_NEAR(times[0], woke, 1e-9);
        EXPECT_NEAR(times[1], base + step, 1e-9);
        EXPECT_NEAR(times[2], base + 2 * step, 1e-9);
    }
}

TEST(Playback, TheControlChangeCountComesBackAfterThePlayback) {
    Rig rig(songWith({note(5, 60, 1)}));
    rig.playback.press();
    rig.pass();
    rig.song.changeCount = 2; // a change added while playing
    rig.playToEnd();
    EXPECT_EQ(rig.song.changeCount, 1);
}

TEST(Playback, TheStartTempoStaysRecordOneBesideAnotherChangeAtItsPosition) {
    // As an import leaves it: the start tempo at position 1, an instrument
    // change (program 40 on part 9) at the same position right behind it.
    Rig rig(songWith({note(1, 60, 12)}, {{1, 40 * 16 + 9, kInstrumentChange}}));
    rig.song.changes[1] = {1, 90, kTempoChange};
    rig.song.tempoText = "90";
    for (int round = 0; round < 2; ++round) {
        rig.playback.press();
        rig.playToEnd();
        EXPECT_EQ(rig.song.changes[1], (ControlChange{1, 90, kTempoChange})) << round;
        EXPECT_EQ(rig.song.changes[2], (ControlChange{1, 40 * 16 + 9, kInstrumentChange})) << round;
        EXPECT_EQ(rig.song.tempoText, "90") << round;
    }
}

TEST(Playback, ANoteOfLengthZeroIsSwitchedOffAfterItSounds) {
    Rig rig(songWith({note(1, 60, 0), note(1, 64, 12)}));
    rig.playback.press();
    const size_t before = rig.out.entries().size();
    rig.playToEnd();
    std::vector<uint32_t> keys; // note-ons and note-offs in the order sent
    for (const auto& [time, message] : rig.sent(before))
        if ((message & 0xE0) == 0x80) keys.push_back(message & 0xFFFF);
    EXPECT_EQ(keys, (std::vector<uint32_t>{0x4090, 0x3C90, 0x3C80, 0x4080}));
}

// ---------------------------------------------------------------------------
// Mute and solo, the metronome and its count-in, the start at a bar, the loop

constexpr double kStep = 5000.0 / 120;

// The pass of position q after a start on page 0 is due (q + 2) steps after the start.
int32_t positionAt(double timeSinceStart) {
    return static_cast<int32_t>(std::lround(timeSinceStart / kStep)) - 2;
}

std::vector<uint32_t> messagesOnChannel(const Rig& rig, int channel, size_t from = 0) {
    std::vector<uint32_t> m;
    for (const auto& [time, message] : rig.sent(from))
        if ((message & 0x0F) == static_cast<uint32_t>(channel) && (message & 0xF0) != 0xF0)
            m.push_back(message);
    return m;
}

bool isNoteOn(uint32_t message) {
    return (message & 0xF0) == 0x90 && ((message >> 16) & 0x7F) > 0;
}

TEST(PlaybackOptions, MutedPartsAndPartsBesideASoloSendNoNotes) {
    const Song song = songWith({note(1, 60, 4, 0), note(1, 62, 4, 1), note(1, 36, 4, 9)});
    struct Case {
        std::vector<int> muted, soloed, sounding;
    };
    for (const Case& c : {Case{{1}, {}, {0, 9}}, Case{{}, {9}, {9}}, Case{{}, {0, 1}, {0, 1}},
                          Case{{0}, {0, 9}, {9}}, Case{{9}, {}, {0, 1}}}) {
        Rig rig(song);
        PlaybackOptions options;
        for (int part : c.muted) options.muted[part] = true;
        for (int part : c.soloed) options.soloed[part] = true;
        rig.playback.setOptions(options);
        rig.playback.press();
        const size_t setup = rig.out.entries().size();
        rig.playToEnd();
        for (int part : {0, 1, 9}) {
            const bool sounds =
                std::find(c.sounding.begin(), c.sounding.end(), part) != c.sounding.end();
            const std::vector<uint32_t> sent = messagesOnChannel(rig, part, setup);
            // A sounding part: modulation, balance, note-on, then the same for the note-off;
            // after the stop's reset, pitch bend and balance to the centre on every channel.
            EXPECT_EQ(sent.size(), sounds ? 8u : 2u) << "part " << part;
            EXPECT_EQ(std::count_if(sent.begin(), sent.end(), isNoteOn), sounds ? 1 : 0)
                << "part " << part;
        }
    }
}

TEST(PlaybackOptions, MutingDuringANoteEndsItAtOnceAndLaterNotesFollowTheNewState) {
    Rig rig(songWith({note(1, 60, 24, 2), note(1, 64, 24, 3), note(40, 67, 4, 2)}));
    rig.listener.shift = 2; // sounding as 58 and 62
    rig.playback.press();
    rig.passUntilPlayPos(10);
    const size_t before = rig.out.entries().size();
    PlaybackOptions options;
    options.muted[2] = true;
    rig.playback.setOptions(options);
    EXPECT_EQ(rig.sent(before),
              (std::vector<std::pair<double, uint32_t>>{{rig.clock.nowMs() - 1000, 0x3A82}}));

    // Muting again sends nothing more; the part's own note-off and the later note are silent.
    rig.playback.setOptions(options);
    EXPECT_EQ(rig.out.entries().size(), before + 1);
    const size_t muted = rig.out.entries().size();
    rig.passUntilPlayPos(30);
    EXPECT_TRUE(messagesOnChannel(rig, 2, muted).empty());
    EXPECT_EQ(messagesOnChannel(rig, 3, muted).back(), 0x3E83u) << "part 4 plays on";

    // Unmuted, the part's next note sounds.
    rig.playback.setOptions(PlaybackOptions{});
    rig.passUntilPlayPos(41);
    const std::vector<uint32_t> after = messagesOnChannel(rig, 2, muted);
    EXPECT_EQ(std::count_if(after.begin(), after.end(), isNoteOn), 1);
    EXPECT_EQ(after.back(), 0x644192u);

    // A solo of another part silences it the same way.
    const size_t soloFrom = rig.out.entries().size();
    options = {};
    options.soloed[5] = true;
    rig.playback.setOptions(options);
    EXPECT_EQ(messagesOnChannel(rig, 2, soloFrom), (std::vector<uint32_t>{0x4182}));
}

struct Click {
    int32_t position;
    bool accent;
};

std::vector<Click> clicksSent(const Rig& rig, size_t from) {
    std::vector<Click> clicks;
    for (const auto& [time, message] : rig.sent(from))
        if (isNoteOn(message) && (message & 0x0F) == 9)
            clicks.push_back({positionAt(time), ((message >> 8) & 0x7F) == kAccentClickKey});
    return clicks;
}

TEST(PlaybackOptions, TheMetronomeClicksEveryQuarterAndAccentsEachBarsFirstBeat) {
    for (const int quarters : {2, 3, 4, 6}) {
        Rig rig(songWith({note(3 + 2 * 12 * quarters, 60, 1)})); // two bars, then the note
        rig.song.quartersPerBar = static_cast<uint8_t>(quarters);
        PlaybackOptions options;
        options.metronome = true;
        rig.playback.setOptions(options);
        rig.playback.press();
        const size_t setup = rig.out.entries().size();
        rig.playToEnd();
        const std::vector<Click> clicks = clicksSent(rig, setup);
        ASSERT_EQ(clicks.size(), static_cast<size_t>(2 * quarters + 1)) << quarters;
        for (size_t k = 0; k < clicks.size(); ++k) {
            EXPECT_EQ(clicks[k].position, 3 + 12 * static_cast<int32_t>(k)) << quarters;
            EXPECT_EQ(clicks[k].accent, k % quarters == 0) << quarters << " beat " << k;
        }
        // Each click is let go in the next pass; nothing of it reaches the song.
        const auto sent = rig.sent(setup);
        const auto firstClick = std::find_if(sent.begin(), sent.end(), [](const auto& m) {
            return m.second == packShortMessage(0x99, kAccentClickKey, kAccentClickVelocity);
        });
        ASSERT_NE(firstClick, sent.end());
        const auto release = std::find_if(sent.begin(), sent.end(), [&](const auto& m) {
            return m.second == packShortMessage(0x89, kAccentClickKey, 0) &&
                   std::abs(m.first - (firstClick->first + kStep)) < 1e-6;
        });
        EXPECT_NE(release, sent.end()) << quarters;
        EXPECT_EQ(rig.song.noteCount(), 1);
    }
}

TEST(PlaybackOptions, ACountInClicksOneBarBeforeTheSongAndRecordsNothing) {
    for (const int quarters : {3, 4}) {
        Rig rig(songWith({note(3, 60, 12)}));
        rig.song.quartersPerBar = static_cast<uint8_t>(quarters);
        rig.playback.press({.bar = 0, .countIn = true});
        ASSERT_TRUE(rig.playback.countingIn());
        const size_t setup = rig.out.entries().size();
        int tapsDuring = 0;
        while (rig.playback.countingIn()) {
            if (rig.playback.recordHit(36)) ++tapsDuring;
            rig.pass();
        }
        EXPECT_EQ(tapsDuring, 0);
        EXPECT_EQ(rig.listener.cursorX, 0) << "the cursor waits for the song";
        EXPECT_EQ(rig.playback.state().playPosition, -1);
        rig.passUntilPlayPos(3);
        ASSERT_TRUE(rig.playback.recordHit(38)); // at position 3, the first beat
        rig.playToEnd();

        // One bar of clicks, a quarter apart, the accent first, and the song's
        // first beat a quarter after the last of them.
        std::vector<double> clickTimes, noteTimes;
        for (const auto& [time, message] : rig.sent(setup)) {
            if (!isNoteOn(message)) continue;
            ((message & 0x0F) == 9 ? clickTimes : noteTimes).push_back(time);
        }
        ASSERT_EQ(clickTimes.size(), static_cast<size_t>(quarters)) << "no metronome after it";
        ASSERT_EQ(noteTimes.size(), 1u);
        for (size_t k = 0; k < clickTimes.size(); ++k)
            EXPECT_NEAR(clickTimes[k], clickTimes[0] + 12.0 * kStep * k, 1e-9);
        EXPECT_NEAR(noteTimes[0], clickTimes.back() + 12 * kStep, 1e-9);
        ASSERT_EQ(rig.song.noteCount(), 2);
        EXPECT_EQ(rig.song.notes[1], (Note{3, 38, 3, 9, 120, 64, 0}));
    }
}

TEST(PlaybackOptions, StartingAtABarSkipsItsEarlierNotesAndAppliesItsEarlierChanges) {
    // Bar 4 of a 4/4 song starts at 3 + 3 * 48 = 147, on page 1.
    Rig rig(songWith({note(100, 50, 60, 9), note(146, 51, 1), note(147, 52, 1)},
                     {{20, 33 * 16 + 9, kInstrumentChange},
                      {30, 2 * 16 + 9, kVolumeChange},
                      {40, 90, kTempoChange},
                      {147, 3 * 16 + 0, kInstrumentChange}}));
    rig.playback.press({.bar = 4});
    EXPECT_EQ(rig.listener.log,
              (std::vector<std::string>{"playing", "turn 1 at x 0", "tempo 120", "instrument 1 33",
                                        "volume 1 2", "tempo 90"}));
    EXPECT_EQ(rig.playback.state().playPosition, 146);
    EXPECT_NEAR(rig.playback.state().msPerStep, 5000.0 / 90, 1e-12);
    const size_t setup = rig.out.entries().size();
    rig.playToEnd();
    std::vector<uint32_t> noteOns;
    for (const auto& [time, message] : rig.sent(setup))
        if (isNoteOn(message)) noteOns.push_back(message & 0xFFFF);
    // The note at 146 is the step before the bar and sounds in the first pass.
    EXPECT_EQ(noteOns, (std::vector<uint32_t>{0x3390, 0x3490}));

    // Bar 1 is the page-0 start.
    Rig first(songWith({note(1, 60, 1)}));
    first.listener.shownPage = 3;
    first.playback.press({.bar = 1});
    EXPECT_EQ(first.playback.state().playPosition, -1);
    EXPECT_EQ(first.listener.shownPage, 0);
}

TEST(PlaybackOptions, TheLoopGoesBackWithoutAGapEndsEverySoundingNoteAndRestoresItsStart) {
    // 4/4: bar 2 is 51..98, bar 3 is 99..146. A note hangs over the loop's end;
    // the loop's second bar changes the tempo and part 1's instrument.
    Rig rig(songWith({note(51, 60, 12), note(140, 64, 30), note(200, 67, 1)},
                     {{10, 5 * 16, kInstrumentChange},
                      {99, 60, kTempoChange},
                      {99, 7 * 16, kInstrumentChange}}));
    PlaybackOptions options;
    options.loopFirstBar = 2;
    options.loopLastBar = 3;
    rig.playback.setOptions(options);
    rig.playback.press({.bar = 2});
    EXPECT_EQ(rig.playback.state().loopStart, 51);
    EXPECT_EQ(rig.playback.state().loopEnd, 147);

    std::vector<double> passTimes;
    rig.listener.onCursor = [&](int) { passTimes.push_back(rig.clock.nowMs()); };
    const size_t setup = rig.out.entries().size();
    while (rig.playback.state().loopJumps < 3) rig.pass();
    rig.pass(); // the first step of the fourth round
    const double slow = 5000.0 / 60;
    // Steps keep the spacing of their tempo across the jump: no gap, no
    // burst; the jump puts back tempo 120 of the loop's start.
    for (size_t i = 1; i < passTimes.size(); ++i) {
        const double gap = passTimes[i] - passTimes[i - 1];
        EXPECT_TRUE(std::abs(gap - kStep) < 1e-6 || std::abs(gap - slow) < 1e-6) << i;
    }
    const auto sent = rig.sent(setup);
    // Every round sounds the loop's first note and ends the hanging one at the jump.
    int roundsStarted = 0, hangingEnded = 0;
    for (const auto& [time, message] : sent) {
        if (message == 0x643C90u) ++roundsStarted;
        if (message == 0x4080u) ++hangingEnded;
        EXPECT_NE(message & 0xFFFF, 0x4390u) << "the note after the loop never plays";
    }
    EXPECT_EQ(roundsStarted, 4);
    EXPECT_EQ(hangingEnded, 3);
    // At the jump: the note-off, then the start's tempo and instrument again.
    const auto off =
        std::find_if(sent.begin(), sent.end(), [](const auto& m) { return m.second == 0x4080u; });
    ASSERT_NE(off, sent.end());
    ASSERT_LT(off + 1, sent.end());
    EXPECT_EQ((off + 1)->second, programChange(0, 5));
    EXPECT_EQ(rig.song.tempoText, "120");
    EXPECT_NEAR(rig.playback.state().msPerStep, kStep, 1e-12);
    EXPECT_EQ(rig.playback.state().playPosition, 52);

    rig.playback.press();
    EXPECT_EQ(rig.song.partPrograms[0], 5);
}

TEST(PlaybackOptions, HitsRecordedInEveryRoundOfALoopKeepTheirPositions) {
    Rig rig(songWith({note(60, 60, 1)}));
    PlaybackOptions options;
    options.loopFirstBar = options.loopLastBar = 2; // 51..98
    rig.playback.setOptions(options);
    rig.playback.press();
    rig.passUntilPlayPos(70);
    ASSERT_TRUE(rig.playback.recordHit(36));
    while (rig.playback.state().loopJumps < 1) rig.pass();
    rig.passUntilPlayPos(80);
    ASSERT_TRUE(rig.playback.recordHit(38));
    rig.playback.press();
    ASSERT_EQ(rig.song.noteCount(), 3);
    EXPECT_EQ(rig.song.notes[2].position, 70);
    EXPECT_EQ(rig.song.notes[3].position, 80);
}

TEST(PlaybackOptions, ALoopBeyondTheSongsEndPlaysOnUntilStopped) {
    Rig rig(songWith({note(5, 60, 1)}));
    PlaybackOptions options;
    options.loopFirstBar = 1;
    options.loopLastBar = 1; // 1..50
    options.metronome = true;
    rig.playback.setOptions(options);
    rig.playback.press();
    for (int i = 0; i < 500; ++i) rig.pass();
    EXPECT_TRUE(rig.playback.isPlaying());
    EXPECT_GE(rig.playback.state().loopJumps, 9);
    // Clearing the loop lets the playback end.
    rig.playback.setOptions(PlaybackOptions{});
    rig.pass();
    EXPECT_FALSE(rig.playback.isPlaying());
}


// The click and part 10 share the percussion channel. What the channel's
// volume was set to (controller 7 on channel 10), in order, and the velocities
// part 10's note-ons carried.
struct PercussionChannel {
    std::vector<int> volumes;
    std::vector<int> noteVelocities;
    int clicks = 0;
};

PercussionChannel percussionChannel(const Rig& rig, size_t from = 0) {
    PercussionChannel c;
    for (uint32_t message : messagesOnChannel(rig, 9, from)) {
        const int data1 = (message >> 8) & 0x7F, data2 = (message >> 16) & 0x7F;
        if ((message & 0xF0) == 0xB0 && data1 == kControllerVolume) c.volumes.push_back(data2);
        if (!isNoteOn(message)) continue;
        if (data1 == kClickKey || data1 == kAccentClickKey)
            ++c.clicks;
        else
            c.noteVelocities.push_back(data2);
    }
    return c;
}

TEST(PlaybackOptions, TheClickKeepsItsLevelWhateverPartTensVolumeMuteOrSolo) {
    // Part 10 hits at the first and third beats; four clicks.
    const Song song = songWith({note(3, 36, 4, 9, 96), note(27, 38, 4, 9, 96)});
    struct Case {
        int volume;
        bool muted, soloElsewhere;
        std::vector<int> velocities;
    };
    for (const Case& c : {Case{0, false, false, {}}, Case{6, true, false, {}},
                          Case{6, false, true, {}}, Case{3, false, false, {58, 58}},
                          Case{5, false, false, {96, 96}}, Case{6, false, false, {115, 115}}}) {
        Rig rig(song);
        rig.song.partVolumes[9] = static_cast<int16_t>(c.volume);
        PlaybackOptions options;
        options.metronome = true;
        options.muted[9] = c.muted;
        options.soloed[2] = c.soloElsewhere;
        rig.playback.setOptions(options);
        rig.playback.press();
        rig.playToEnd();
        const PercussionChannel channel = percussionChannel(rig);
        // The click's step throughout the playback, part 10's own after it.
        EXPECT_EQ(channel.volumes, (std::vector<int>{100, c.volume * 20})) << c.volume;
        EXPECT_EQ(channel.clicks, 3) << c.volume; // beats 1-3: the song ends at its last note
        EXPECT_EQ(channel.noteVelocities, c.velocities) << c.volume;
        EXPECT_EQ(rig.song.partVolumes[9], c.volume) << "the song keeps its volume";
    }
}

TEST(PlaybackOptions, WithoutClicksPartTenPlaysAtItsOwnChannelVolumeAsBefore) {
    Rig rig(songWith({note(3, 36, 4, 9, 96), note(27, 38, 4, 9, 96)}));
    rig.song.partVolumes[9] = 3;
    rig.playback.press();
    rig.playToEnd();
    const PercussionChannel channel = percussionChannel(rig);
    EXPECT_EQ(channel.volumes, (std::vector<int>{60}));
    EXPECT_EQ(channel.noteVelocities, (std::vector<int>{96, 96}));
    EXPECT_EQ(channel.clicks, 0);
}

TEST(PlaybackOptions, PartTensVolumeChangesAndTheMetronomeSwitchedWhilePlayingKeepTheClickLevel) {
    // Part 10's volume changes to 0 at position 20, then to 6 at 40.
    Rig rig(songWith({note(3, 36, 4, 9, 90), note(27, 38, 4, 9, 90), note(51, 38, 4, 9, 90),
                      note(75, 36, 4, 9, 90)},
                     {{20, 0 * 16 + 9, kVolumeChange}, {40, 6 * 16 + 9, kVolumeChange}}));
    rig.song.partVolumes[9] = 4;
    PlaybackOptions options;
    options.metronome = true;
    rig.playback.setOptions(options);
    rig.playback.press();
    rig.passUntilPlayPos(45);
    PercussionChannel channel = percussionChannel(rig);
    EXPECT_EQ(channel.volumes, (std::vector<int>{100, 100, 100}))
        << "the song's changes leave the channel at the click's level";
    EXPECT_EQ(channel.noteVelocities, (std::vector<int>{72})) << "4 of 5 steps; none at 0";
    EXPECT_EQ(channel.clicks, 4);
    EXPECT_EQ(rig.song.partVolumes[9], 6);

    // The metronome off: the channel goes back to part 10's volume at once,
    // and on and off again follows it.
    const size_t switched = rig.out.entries().size();
    options.metronome = false;
    rig.playback.setOptions(options);
    EXPECT_EQ(percussionChannel(rig, switched).volumes, (std::vector<int>{120}));
    options.metronome = true;
    rig.playback.setOptions(options);
    rig.playback.setOptions(options); // the same again: nothing more
    options.metronome = false;
    rig.playback.setOptions(options);
    rig.playToEnd();
    channel = percussionChannel(rig, switched);
    EXPECT_EQ(channel.volumes, (std::vector<int>{120, 100, 120}));
    EXPECT_EQ(channel.noteVelocities, (std::vector<int>{90, 90}));
    EXPECT_EQ(channel.clicks, 0);

    // Louder than a velocity can say: the loudest velocity.
    Rig loud(songWith({note(3, 36, 4, 9, 120)}));
    loud.song.partVolumes[9] = 6;
    options.metronome = true;
    loud.playback.setOptions(options);
    loud.playback.press();
    loud.playToEnd();
    EXPECT_EQ(percussionChannel(loud).noteVelocities, (std::vector<int>{127}));
}

TEST(PlaybackOptions, ACountInHoldsTheClickLevelOnlyWhileItCounts) {
    Rig rig(songWith({note(3, 36, 4, 9, 96)}));
    rig.song.partVolumes[9] = 0;
    rig.playback.press({.bar = 0, .countIn = true});
    while (rig.playback.countingIn()) rig.pass();
    PercussionChannel channel = percussionChannel(rig);
    EXPECT_EQ(channel.volumes, (std::vector<int>{100}));
    EXPECT_EQ(channel.clicks, 4);
    rig.playToEnd();
    channel = percussionChannel(rig);
    EXPECT_EQ(channel.volumes, (std::vector<int>{100, 0}));
    EXPECT_EQ(channel.noteVelocities, (std::vector<int>{96})) << "sent as before, at volume 0";
}

} // namespace
} // namespace vako
