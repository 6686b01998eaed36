// What the program does with the messages of a MIDI keyboard, apart from the
// window: passing them on to the output so the player hears them ("thru"),
// gathering the keys pressed together into chords for step entry, turning a
// key's velocity into a note's strength, and recording what is played during
// playback as notes. All of it runs on the user-interface thread, fed from
// MidiIn::take().
#pragma once

#include "platform/MidiIn.h"
#include "platform/MidiOut.h"
#include "song/Song.h"

#include <array>
#include <bitset>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace vako {

// The keys a song can hold; a keyboard's 120-127 sound but are not entered.
constexpr int kHighestSongKey = 119;
inline bool keyFitsSong(int key) {
    return key >= 0 && key <= kHighestSongKey;
}

// The strength a note entered with this note-on velocity (1-127) gets: the
// nearest step of 6, never below 6 (a note that cannot be heard) nor above the
// editor's highest strength, 120.
int strengthOfVelocity(int velocity);

// A short message taken apart. Note-on with velocity 0 counts as a note-off.
struct KeyMessage {
    enum class Kind : uint8_t { NoteOn, NoteOff, Sustain, PitchBend, Other };
    Kind kind = Kind::Other;
    int key = 0;      // NoteOn, NoteOff: 0-127
    int velocity = 0; // NoteOn: 1-127
    int value = 0;    // Sustain: pedal 0-127; PitchBend: the two data bytes as sent
};
KeyMessage decodeKeyMessage(uint32_t message);

// Passes what the keyboard plays to the output on the channel of the part the
// player is writing in, whatever channel the keyboard sends on: note-on and
// note-off, the sustain pedal and pitch bend. Other messages stay with the
// keyboard. Keys sound as played (the view's pitch shift is for stored notes).
class MidiThru {
public:
    // Sends `message` for `part` (0-15) whose instrument is `program`; before a
    // note-on the program change goes out first when this channel did not get
    // that program from here last. A note-off goes to the channel its note-on
    // went to, and pedal up to every channel the pedal went down on, so no note
    // is left hanging when the part changes while a key is held. True when
    // anything was sent.
    bool route(uint32_t message, int part, int program, MidiOut& out);
    // Ends what thru left sounding (keys held, pedal down): the keyboard was
    // lost, or the output changes.
    void releaseAll(MidiOut& out);
    // Someone else sent program changes (playback, the instrument menu, a new
    // output): send the program again before the next note.
    void forgetPrograms() { m_programSent.fill(-1); }

private:
    std::array<int16_t, kPartCount> m_programSent = filled(-1);
    std::array<int8_t, 128> m_keyChannel = filledKeys();
    std::bitset<kPartCount> m_pedalDown;

    static std::array<int16_t, kPartCount> filled(int16_t v) {
        std::array<int16_t, kPartCount> a{};
        a.fill(v);
        return a;
    }
    static std::array<int8_t, 128> filledKeys() {
        std::array<int8_t, 128> a{};
        a.fill(-1);
        return a;
    }
};

// One key of a gathered chord.
struct EnteredKey {
    uint8_t key = 0;      // 0-119
    uint8_t strength = 0; // strengthOfVelocity of its note-on

    friend bool operator==(const EnteredKey&, const EnteredKey&) = default;
};

struct GatheredChord {
    double firstMs = 0;                  // the first note-on
    std::vector<EnteredKey> keys;        // ascending, each key once; may be empty
    std::vector<uint8_t> keysNotFitting; // played, outside 0-119, not entered
};

// Gathers the keys of a step entry into chords: a note-on joins the chord
// being gathered when it comes within kChordWindowMs of the chord's first
// note-on. The chord is complete once its window has passed, whatever is still
// held: a key whose note-off never comes (a stuck key, a lost message) holds
// back nothing after it.
class ChordGatherer {
public:
    static constexpr double kChordWindowMs = 40;

    void take(uint32_t message, double timeMs);
    void take(const MidiInMessage& m) { take(m.message, m.timeMs); }
    // The oldest chord complete at `nowMs`, if any.
    std::optional<GatheredChord> poll(double nowMs);
    // Finishes the chord being gathered, complete or not (the keyboard was
    // lost, the player switched to recording) and gives the oldest chord not
    // taken yet; poll() gives any others.
    std::optional<GatheredChord> flush();
    // When poll() may next give a chord without another message arriving:
    // the end of the window of the chord being gathered; +infinity when none is.
    double nextDeadlineMs() const;

private:
    void finishCurrent();
    bool currentComplete(double nowMs) const;

    std::optional<GatheredChord> m_current;
    std::bitset<128> m_currentKeys; // every key played into m_current, fitting or not
    std::deque<GatheredChord> m_ready;
};

// Records what is played during playback as notes of one part: each note
// starts where its note-on came and lasts until its note-off, both snapped to
// the input grid (a note is at least one grid step long). Notes still held at
// the stop end at the stop. Positions come from the caller in steps with a
// fraction (the playback position at the message's arrival time).
class NoteRecorder {
public:
    // `gridSteps`: 12, 6, 3 or 1 (the input grid of 60, 30, 15 or 5 staff
    // units). `mostNotes`: the notes kept; those ended after them are counted.
    NoteRecorder(int part, int gridSteps, int64_t mostNotes);

    void take(uint32_t message, double stepPosition);
    // Ends every note still held at `stepPosition` (the keyboard was lost).
    void releaseAll(double stepPosition);
    // The recorded notes in position order, a chord by ascending key; the
    // recorder is empty again afterwards. Strength from velocity, centre
    // balance, no modulation.
    std::vector<Note> stop(double stopPosition);
    // Keys outside 0-119 played into this recorder (they sounded, not recorded).
    int keysNotFitting() const { return m_keysNotFitting; }
    // Notes played after `mostNotes` were kept: not recorded.
    int64_t notesLeftOut() const { return m_notesLeftOut; }

private:
    int64_t snap(double position) const;

    struct Held {
        bool down = false;
        int64_t start = 0;
        uint8_t strength = 0;
    };
    int m_part;
    int m_grid;
    int64_t m_mostNotes;
    std::array<Held, 128> m_held{};
    std::vector<Note> m_notes;
    int m_keysNotFitting = 0;
    int64_t m_notesLeftOut = 0;
};

} // namespace vako
