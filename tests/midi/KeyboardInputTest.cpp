#include "midi/KeyboardInput.h"

#include "midi/ShortMessage.h"
#include "platform/Clock.h"
#include "platform/MidiIn.h"
#include "platform/MidiOut.h"

#include <gtest/gtest.h>

#include <limits>
#include <tuple>
#include <vector>

namespace vako {
namespace {

uint32_t noteOn(int key, int velocity, int channel = 0) {
    return packShortMessage(static_cast<uint8_t>(kStatusNoteOn + channel), key, velocity);
}
uint32_t noteOff(int key, int channel = 0) {
    return packShortMessage(static_cast<uint8_t>(kStatusNoteOff + channel), key, 0);
}
uint32_t sustain(int value, int channel = 0) {
    return controlChange(channel, 64, value);
}

std::vector<uint8_t> keysOf(const GatheredChord& chord) {
    std::vector<uint8_t> keys;
    for (const EnteredKey& k : chord.keys) keys.push_back(k.key);
    return keys;
}

TEST(KeyboardStrength, VelocityBecomesTheNearestStepOfSixBetweenSixAnd120) {
    for (auto [velocity, strength] :
         {std::pair{1, 6}, {8, 6}, {9, 12}, {64, 66}, {100, 102}, {120, 120}, {127, 120}})
        EXPECT_EQ(strengthOfVelocity(velocity), strength) << velocity;
}

class ThruTest : public ::testing::Test {
protected:
    FakeClock clock;
    RecordingMidiOut out{clock};
    MidiThru thru;
};

TEST_F(ThruTest, PlaysOnThePartsChannelWithItsInstrumentSentOnce) {
    // The keyboard sends on channel 3; the part written in is 5 with program 40.
    EXPECT_TRUE(thru.route(noteOn(60, 100, 3), 5, 40, out));
    EXPECT_TRUE(thru.route(noteOff(60, 3), 5, 40, out));
    EXPECT_TRUE(thru.route(noteOn(62, 90, 3), 5, 40, out));
    EXPECT_EQ(out.messages(), (std::vector<uint32_t>{programChange(5, 40), noteOn(60, 100, 5),
                                                     noteOff(60, 5), noteOn(62, 90, 5)}));
    // Another instrument for the part, and a part that has not had it yet.
    out.clear();
    thru.route(noteOn(64, 80), 5, 41, out);
    thru.route(noteOn(65, 80), 2, 41, out);
    EXPECT_EQ(out.messages(), (std::vector<uint32_t>{programChange(5, 41), noteOn(64, 80, 5),
                                                     programChange(2, 41), noteOn(65, 80, 2)}));
    // After playback or the instrument menu sent programs of their own.
    out.clear();
    thru.forgetPrograms();
    thru.route(noteOn(66, 80), 2, 41, out);
    EXPECT_EQ(out.messages(), (std::vector<uint32_t>{programChange(2, 41), noteOn(66, 80, 2)}));
}

TEST_F(ThruTest, PercussionPartPlaysOnTheDrumChannel) {
    thru.route(noteOn(36, 120), kPercussionPart, 0, out);
    thru.route(noteOff(36), kPercussionPart, 0, out);
    EXPECT_EQ(out.messages(), (std::vector<uint32_t>{programChange(9, 0), 0x782499u, 0x2489u}));
}

TEST_F(ThruTest, SustainAndPitchBendPassOtherMessagesStay) {
    EXPECT_TRUE(thru.route(sustain(127, 0), 4, 0, out));
    EXPECT_TRUE(thru.route(packShortMessage(0xE0, 0x12, 0x50), 4, 0, out));
    EXPECT_FALSE(thru.route(controlChange(0, kControllerVolume, 100), 4, 0, out));
    EXPECT_FALSE(thru.route(packShortMessage(0xD0, 50), 4, 0, out)); // channel pressure
    EXPECT_FALSE(thru.route(programChange(0, 7), 4, 0, out));
    EXPECT_EQ(out.messages(),
              (std::vector<uint32_t>{sustain(127, 4), packShortMessage(0xE4, 0x12, 0x50)}));
}

TEST_F(ThruTest, ChangingPartWhileAKeyIsHeldLeavesNoNoteHanging) {
    thru.route(sustain(127), 0, 0, out);
    thru.route(noteOn(60, 100), 0, 0, out);
    // The player moves to the lower band's part with the key and pedal down.
    thru.route(noteOff(60), 1, 0, out);
    thru.route(sustain(0), 1, 0, out);
    EXPECT_EQ(out.messages(),
              (std::vector<uint32_t>{sustain(127, 0), programChange(0, 0), noteOn(60, 100, 0),
                                     noteOff(60, 0), sustain(0, 0), sustain(0, 1)}));
}

TEST(ChordGathering, SingleKeysAreChordsOfOneWhenPlayedApart) {
    ChordGatherer g;
    g.take(noteOn(60, 100), 0);
    EXPECT_FALSE(g.poll(10)); // the window is still open
    g.take(noteOff(60), 100);
    auto first = g.poll(100);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->keys, (std::vector<EnteredKey>{{60, 102}}));
    EXPECT_EQ(first->firstMs, 0);
    g.take(noteOn(62, 50), 200);
    g.take(noteOff(62), 300);
    auto second = g.poll(300);
    ASSERT_TRUE(second);
    EXPECT_EQ(keysOf(*second), (std::vector<uint8_t>{62}));
    EXPECT_FALSE(g.poll(1000));
}

TEST(ChordGathering, KeysWithin40MsAreOneChordEvenWhenReleasedAtOnce) {
    ChordGatherer g;
    g.take(noteOn(67, 100), 0);
    g.take(noteOff(67), 10); // a short stab before the other keys land
    g.take(noteOn(60, 100), 25);
    g.take(noteOn(64, 100), 40);
    EXPECT_EQ(g.nextDeadlineMs(), 40);
    g.take(noteOff(60), 60);
    g.take(noteOff(64), 61);
    auto chord = g.poll(61);
    ASSERT_TRUE(chord);
    EXPECT_EQ(keysOf(*chord), (std::vector<uint8_t>{60, 64, 67})); // ascending
    // A key 41 ms after the first starts anew.
    g.take(noteOn(60, 100), 100);
    g.take(noteOff(60), 110);
    EXPECT_EQ(g.nextDeadlineMs(), 140);
    EXPECT_FALSE(g.poll(139));
    g.take(noteOn(64, 100), 141);
    EXPECT_EQ(keysOf(*g.poll(141)), (std::vector<uint8_t>{60}));
}

// A key whose note-off never comes (90 30 64 and nothing after it) used to
// hold every later key in its chord until the port went away.
TEST(ChordGathering, AChordClosesFortyMsAfterItsFirstKeyWhateverIsStillHeld) {
    ChordGatherer g;
    g.take(noteOn(0x30, 0x64), 0); // never let go
    EXPECT_EQ(g.nextDeadlineMs(), 40);
    EXPECT_FALSE(g.poll(39));
    EXPECT_EQ(keysOf(*g.poll(40)), (std::vector<uint8_t>{0x30}));
    // Keys pressed one after another while the others are held: a chord each.
    for (int key : {60, 62, 64}) {
        const double t = 200.0 + 150 * (key - 60);
        g.take(noteOn(key, 100), t);
        EXPECT_EQ(g.nextDeadlineMs(), t + 40);
        auto chord = g.poll(t + 40);
        ASSERT_TRUE(chord) << key;
        EXPECT_EQ(keysOf(*chord), (std::vector<uint8_t>{static_cast<uint8_t>(key)}));
    }
    EXPECT_EQ(g.nextDeadlineMs(), std::numeric_limits<double>::infinity());
}

TEST(ChordGathering, KeysOutsideTheSongAreReportedNotEntered) {
    ChordGatherer g;
    // Keys up to 119 fit a song.
    g.take(noteOn(119, 100), 0);
    g.take(noteOn(120, 100), 5);
    g.take(noteOff(119), 50);
    g.take(noteOff(120), 50);
    auto chord = g.poll(50);
    ASSERT_TRUE(chord);
    EXPECT_EQ(keysOf(*chord), (std::vector<uint8_t>{119}));
    EXPECT_EQ(chord->keysNotFitting, (std::vector<uint8_t>{120}));
}

TEST(NoteRecording, StartsAndLengthsSnapToTheGridInPositionOrder) {
    NoteRecorder r(3, 3, 100);      // grid of 15 staff units: 3 steps
    r.take(noteOn(64, 100), 13.2);  // -> 12
    r.take(noteOn(60, 64), 11.6);   // -> 12, same chord; lower key first
    r.take(noteOff(64), 19.4);      // -> 18: length 6
    r.take(noteOff(60), 12.4);      // -> 12: never shorter than the grid
    r.take(noteOn(67, 127), 2.0);   // -> 3
    r.take(noteOff(67), 40.0);      // -> 39
    r.take(noteOn(125, 100), 20.0); // sounds, not recorded
    r.take(noteOff(125), 21.0);
    const std::vector<Note> notes = r.stop(50);
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(notes[0], (Note{3, 67, 36, 3, 120, kCentrePan, 0}));
    EXPECT_EQ(notes[1], (Note{12, 60, 3, 3, 66, kCentrePan, 0}));
    EXPECT_EQ(notes[2], (Note{12, 64, 6, 3, 102, kCentrePan, 0}));
    EXPECT_EQ(r.keysNotFitting(), 1);
}

TEST(NoteRecording, NotesHeldAtTheStopEndThere) {
    NoteRecorder r(kPercussionPart, 12, 100);
    r.take(noteOn(36, 100), 27);
    r.take(noteOn(38, 100), 33); // -> 39 (halves round away from zero)
    EXPECT_EQ(r.stop(61), (std::vector<Note>{{27, 36, 36, kPercussionPart, 102, kCentrePan, 0},
                                             {39, 38, 24, kPercussionPart, 102, kCentrePan, 0}}))
        << "ended at 63";
    EXPECT_TRUE(r.stop(100).empty()); // taken once
}

TEST(NoteRecording, TheQuarterAndEighthGridsTakeTheBeatsTheStaffDraws) {
    // The staff's beats start at step 3 (its first bar line), 15, 27, ...;
    // its half beats at 3, 9, 15, ...
    for (auto [grid, played, placed] : {std::tuple{12, 13.0, 15},
                                        {12, 7.0, 3},
                                        {12, 22.0, 27},
                                        {6, 10.0, 9},
                                        {6, 5.0, 3},
                                        {6, 13.0, 15}}) {
        NoteRecorder r(0, grid, 100);
        r.take(noteOn(60, 100), played);
        r.take(noteOff(60), played + grid);
        const std::vector<Note> notes = r.stop(100);
        ASSERT_EQ(notes.size(), 1u);
        EXPECT_EQ(notes[0].position, placed) << played << " on a grid of " << grid;
        EXPECT_EQ(notes[0].length, grid);
    }
}

TEST(NoteRecording, NotesEndedOnceItsRoomIsFullAreCountedNotKept) {
    NoteRecorder r(0, 1, 2);
    for (int key : {60, 62, 64}) {
        r.take(noteOn(key, 100), key);
        r.take(noteOff(key), key + 1);
    }
    r.take(noteOn(65, 100), 70); // still held at the stop
    const std::vector<Note> notes = r.stop(80);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[1].key, 62);
    EXPECT_EQ(r.notesLeftOut(), 2);
}

TEST(NoteRecording, AKeyStruckAgainWhileHeldEndsTheFirstNote) {
    NoteRecorder r(0, 1, 100);
    r.take(noteOn(60, 100), 1);
    r.take(noteOn(60, 100), 5);
    r.take(noteOff(60), 9);
    EXPECT_EQ(r.stop(20), (std::vector<Note>{{1, 60, 4, 0, 102, kCentrePan, 0},
                                             {5, 60, 4, 0, 102, kCentrePan, 0}}));
}

// The keyboard is unplugged with a chord held down: what it played before
// still arrives, the held keys stop sounding, and the chord is entered.
TEST(KeyboardPortLoss, QueuedMessagesStayHeldNotesEndAndTheChordIsKept) {
    FakeClock clock;
    RecordingMidiOut out(clock);
    ScriptedMidiIn keyboard(clock);
    MidiThru thru;
    ChordGatherer gatherer;
    keyboard.deliverAt(noteOn(60, 100), 0);
    keyboard.deliverAt(noteOn(64, 100), 5);
    keyboard.loseDevice();
    keyboard.deliverAt(noteOn(67, 100), 6); // a last message the driver still had
    EXPECT_EQ(keyboard.state(), MidiInState::Lost);

    std::vector<MidiInMessage> taken;
    EXPECT_EQ(keyboard.take(taken), 3u);
    for (const MidiInMessage& m : taken) {
        thru.route(m.message, 0, 0, out);
        gatherer.take(m);
    }
    EXPECT_FALSE(gatherer.poll(20)); // the chord's window is still open
    out.clear();
    thru.releaseAll(out);
    EXPECT_EQ(out.messages(), (std::vector<uint32_t>{noteOff(60), noteOff(64), noteOff(67)}));
    auto chord = gatherer.flush();
    ASSERT_TRUE(chord);
    EXPECT_EQ(keysOf(*chord), (std::vector<uint8_t>{60, 64, 67}));
    EXPECT_FALSE(gatherer.flush());
}

} // namespace
} // namespace vako
