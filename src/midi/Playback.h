// Real-time playback of the song: from the first step of the page on view to
// the end, one pass per step (1/12 of a quarter note), while the window moves
// its cursor line and turns the pages, and percussion hits typed meanwhile are
// recorded and merged into the song at the stop.
//
// The engine owns no timer and no thread. Whoever drives it (the window from a
// timer, the tool from a sleeping loop, offline rendering from a fake clock)
// waits until `nextDeadline()` and calls `runDueSteps(now)`; every pass k
// after the start is due at t0 + k * 5000 / tempo milliseconds, kept exact with
// a fractional step length and re-anchored at the pass that changes the tempo,
// so no time spent in a pass or in waking up ever adds up to drift.
#pragma once

#include "midi/PlaybackOptions.h"
#include "midi/ShortMessage.h"
#include "platform/Clock.h"
#include "platform/MidiOut.h"
#include "song/Messages.h"
#include "song/Song.h"

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace vako {

constexpr int kMinTempo = 30;
constexpr int kMaxTempo = 600;
// The most notes one playback records: the hits typed and the notes played on
// a MIDI keyboard together. They join the song at the stop as one step of the
// edit history; this many (16 MB of notes) take at most a quarter of the
// history's bound, so the step is kept and can be undone beside the song's
// own notes that it moves. A keyboard played as fast as MIDI cables go fills
// it in half an hour of playing without a pause.
// (The editing layer checks the bound at compile time.)
constexpr int64_t kMostRecordedNotes = int64_t{1} << 20;
// The most notes a song holds: its count is kept twice over in 32 bits
// (`Song::twiceNoteCount`, as the song file stores it).
constexpr int64_t kMostSongNotes = INT32_MAX / 2;
constexpr int kCursorLeftX = 100;   // x of the playback cursor at a page's first step
constexpr int kPitchBendLineX = 64; // x of the pitch-bend line at the centre
constexpr int kStaffUnitsPerStep = 5;
constexpr int kStaffUnitsPerPage = 720;

// What playback needs from the window around it. Every hook has a silent
// default; the tool overrides what it shows.
class PlaybackListener {
public:
    virtual ~PlaybackListener() = default;

    virtual void showMessage(const std::string& text) { (void)text; }
    // Playing: picture of `playButton`, file drops on `scoreView`, the hover
    // cursor and ledger lines hidden, `pageScrollBar`, `transposeScrollBar`, `fileList` disabled.
    // Stopped: all of it back.
    virtual void setPlaying(bool playing) { (void)playing; }
    // Both ends of `playCursor` at x (staff units).
    virtual void moveCursorLine(int x) { (void)x; }
    // Both ends of `pitchBendIndicator` at the centre.
    virtual void centrePitchBendLine() {}
    // `page` of the view (0-based).
    virtual int page() const { return 0; }
    // `page` = page; with `turnView` also `pageScrollBar` = page, which redraws.
    virtual void setPage(int page, bool turnView) { (void)page, (void)turnView; }
    // `tempoBox` shows the text (the song's tempo text is already set to it).
    virtual void showTempoText(const std::string& text) { (void)text; }
    // A control change set `part`'s program or volume step: a band showing
    // that part shows it.
    virtual void showPartProgram(int part, int program) { (void)part, (void)program; }
    virtual void showPartVolume(int part, int volume) { (void)part, (void)volume; }
    // `redrawScore`.
    virtual void redraw() {}
    // Check mark of `keyboardDrumsMenu`; while set, every pass gives the score view
    // the keyboard focus so that tapped keys reach it.
    virtual bool isTapChecked() const { return false; }
    virtual void focusScore() {}
    // `transposeScrollBar`, the pitch shift -12..12.
    virtual int pitchShift() const { return 0; }
    // Notes played on a MIDI keyboard during this playback, in position order,
    // ending at `stopPosition` when still held: they join the song at the stop
    // together with the recorded hits, as many as there is room for
    // (kMostRecordedNotes a playback, kMostSongNotes a song).
    virtual std::vector<Note> takePlayedNotes(int32_t stopPosition) {
        (void)stopPosition;
        return {};
    }
    // The loop went back to its start after its last step: keys still held on
    // a MIDI keyboard end at `loopEndPosition`, the step after that last one.
    virtual void loopJumped(int32_t loopEndPosition) { (void)loopEndPosition; }
};

// Where a press of the play button starts.
struct PlaybackStart {
    // 0: the first step of the page on view; k >= 1: the first step of bar k.
    int32_t bar = 0;
    // One bar of clicks at the start tempo before the first step (the user
    // plays in on the drum pad or a MIDI keyboard). Nothing is recorded
    // during it and the recorded positions do not move.
    bool countIn = false;
};

// Playback state, by the names the rest of the program knows it by.
struct PlaybackState {
    bool stopped = true;
    double msPerStep = 5000.0 / 120; // 5000 / tempo, fractional
    int32_t playPosition = 0;        // step of the note side; recorded hits take it
    int32_t changePlayPosition = 0;  // step of the control-change side
    int32_t eventCursor = 1;         // next entry of the play list to sound
    int32_t changeCursor = 1;        // next control change in changes
    int32_t lastEvent = 0;           // last entry of the play list (2N)
    int32_t savedChangeCount = 1;    // changeCount at the start, put back at the stop
    std::vector<Note> tapNotes;      // recorded hits from index 1
    int32_t tapCount = 0;
    int64_t hitsRefused = 0; // hits typed after kMostRecordedNotes were kept
    // Set at the stop: the recorded notes (hits and played) that joined the
    // song, and those left out because the playback or the song had no room.
    int64_t recordedKept = 0;
    int64_t recordedLeftOut = 0;
    // Passes of the count-in still to come; playPosition waits meanwhile.
    int32_t countInPassesLeft = 0;
    // The loop in steps while one is set: loopStart..loopEnd - 1; after the
    // pass of loopEnd - 1 the next pass plays loopStart. 0 and 0 without one.
    int32_t loopStart = 0;
    int32_t loopEnd = 0;
    int64_t loopJumps = 0; // times the loop went back during this playback
};

class Playback {
public:
    Playback(Song& song, MidiOut& device, Clock& clock, PlaybackListener& listener);

    // Another output device from now on (the device menu).
    void setDevice(MidiOut& device) { m_device = &device; }

    // Mute, solo, metronome and loop, from now on: a part that stops sounding
    // while playing gets the note-offs of its sounding notes at once.
    void setOptions(const PlaybackOptions& options);
    const PlaybackOptions& options() const { return m_options; }

    // `playButton` pressed: stops while playing; otherwise starts when the tempo
    // text is a number from 30 to 600, else shows msg::kTempoRange.
    void press(const PlaybackStart& from = {});
    // The stop: reset, merge of recorded hits, redraw, pitch bend and balance
    // back to the centre. Nothing while stopped.
    void stop();
    // The program ends (Exit, window closed): playback ends without the stop's
    // messages and merge; the caller resets and closes the device.
    void quit();

    bool isPlaying() const { return !m_state.stopped; }
    const PlaybackState& state() const { return m_state; }
    // The play list: note-ons and note-offs 1..lastEvent in time order.
    const std::vector<Note>& playList() const { return m_playList; }

    // Clock time the next pass is due; +infinity while stopped.
    double nextDeadline() const;
    // Runs every pass due at `nowMs` (none when stopped); returns how many.
    // A pass up to one step late is caught up at once; when the driver was
    // held up for longer, the late pass runs now and the following ones keep
    // their own distance from it: the music goes on later instead of in a burst.
    int runDueSteps(double nowMs);

    // A percussion hit typed while playing: kept at the current step when
    // note >= 1 and there is room (kMostRecordedNotes per playback). True
    // when kept; a hit refused for want of room is counted.
    bool recordHit(int note);

    // Whether the count-in bar is still clicking.
    bool countingIn() const { return !m_state.stopped && m_state.countInPassesLeft > 0; }

private:
    void start(const PlaybackStart& from);
    void runPass();
    void runCountInPass();
    void sendNoteEvent(const Note& e, int shift);
    void releasePart(int part);
    void sendChannelVolume(int part);
    void holdPercussionVolumeForClicks();
    void endClick();
    void clickAt(int64_t position);
    void placeLoop();
    void jumpToLoopStart();
    void showPageBefore(int64_t position, bool mayTurnInPass);
    void applyControlChange(const ControlChange& cc);
    void mergeRecordedNotes(const std::vector<Note>& played);
    bool tempoTextInRange() const;

    Song& m_song;
    MidiOut* m_device;
    Clock& m_clock;
    PlaybackListener& m_listener;
    PlaybackState m_state;
    std::vector<Note> m_playList;
    int m_page = 0;
    // The start showed the page before its first step; its first pass turns the view.
    bool m_turnAwaited = false;
    PlaybackOptions m_options;
    // Notes sounding now, per part and key sent (the pitch shift applied):
    // note-ons less note-offs, so that muting a part ends exactly these.
    std::array<std::array<uint8_t, kMaxDataByte + 1>, kPartCount> m_sounding{};
    int m_clickKey = -1; // the click sounding since the last pass, or -1
    // While clicks may sound (the metronome on, or the count-in) the click
    // shares the percussion channel with part 10, yet keeps a level of its
    // own: the channel's volume stays at kClickVolumeStep and part 10's notes
    // carry their part's volume in their velocity instead. So part 10 set to
    // volume 0, muted or left out by a solo never silences the metronome.
    bool m_percussionVolumeHeld = false;
    // What the loop's start finds: the tempo and the parts' programs and
    // volumes after the changes before it (from those at the start).
    struct LoopEntry {
        int32_t tempo = 120;
        std::array<uint8_t, kPartCount> programs{};
        std::array<int16_t, kPartCount> volumes{};
    };
    LoopEntry m_loopEntry;
    int32_t m_startTempo = 120;
    std::array<uint8_t, kPartCount> m_startPrograms{};
    std::array<int16_t, kPartCount> m_startVolumes{};
    // Timing: pass k after the anchor is due at m_anchorMs + k * msPerStep.
    double m_anchorMs = 0;
    int64_t m_passesSinceAnchor = 0;
    double m_passDeadline = 0; // deadline of the pass being run
    bool m_inPass = false;
};

// Runs playback to its end (or until `keepGoing` returns false, which stops
// it): sleeps on the clock until each deadline and runs what is due.
// `keepGoing` is asked after every wake-up.
template <typename KeepGoing>
void playUntilStopped(Playback& playback, Clock& clock, KeepGoing&& keepGoing) {
    while (playback.isPlaying()) {
        clock.sleepUntil(playback.nextDeadline());
        playback.runDueSteps(clock.nowMs());
        if (playback.isPlaying() && !keepGoing()) playback.stop();
    }
}

} // namespace vako
