// `KeyboardEntry`, the main window's side of a MIDI keyboard: the menu
// "MIDI入力" that picks the input port, what is played heard at once on the
// upper band's part (the percussion part in drum-pad mode), step entry while
// stopped (the mouse says where, the keys say what) and recording while the
// song plays. The window owns it as its member `keyboard`.
//
// Everything here runs on the user-interface thread. The device's thread only
// queues the messages and wakes the window; the window then calls
// `takeInput`, and again when `msUntilChordDue` has passed.
#pragma once

#include "midi/KeyboardInput.h"
#include "platform/MidiIn.h"
#include "view/Control.h"
#include "platform/Translation.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vako {

class MainWindowModel;

namespace msg {
inline const std::string kKeysNotFitting = markForTranslation("120番以上の鍵盤の音は鳴らすだけで、曲には入りません");
// The port `name` went away; the input is "なし" from now on.
std::string midiInputLost(const std::string& name);
// A recording was cut: `kept` notes joined the song, `leftOut` found no room.
std::string recordingCut(int64_t kept, int64_t leftOut);
} // namespace msg

class KeyboardEntry {
public:
    explicit KeyboardEntry(MainWindowModel& window);
    ~KeyboardEntry();
    KeyboardEntry(const KeyboardEntry&) = delete;
    KeyboardEntry& operator=(const KeyboardEntry&) = delete;

    // The menu "MIDI入力" beside "MIDI出力", and the thin line at the input
    // position on the score view ("inputPositionLine").
    MenuItem inputMenu;
    Control inputLine;

    // Where the ports come from (none: the menu offers only "なし").
    void setBackend(MidiInBackend* backend) { m_backend = backend; }
    // Fills the menu: "なし", then the ports present now; the choice checked.
    void openMenu();
    // Opens the port of that name ("" for none), closing the one before. A
    // port that will not open: a message, and no input.
    bool choose(const std::string& portName);
    // VAKO_MIDI_IN at start-up (nullptr or "" or "none": no input).
    void openAtStartup(const char* choice);
    bool inputOpen() const { return m_input != nullptr; }
    MidiIn* input() { return m_input.get(); }

    // Takes what arrived: thru to the output, then step entry or recording.
    // True when the song or a control changed (the window shows itself again).
    bool takeInput();
    // Milliseconds until a chord being gathered is complete (0 when due);
    // +infinity when none waits.
    double msUntilChordDue() const;
    // Looks whether the port is still there (call it about once a second while
    // `inputOpen`). A lost port: no input. Stopped, a message box says so;
    // playing, the status line says so at once and the box waits for the stop
    // (a box would hold up the window, its stop button with it). Keys held
    // when it went end there. True when it was lost.
    bool watchInput();

    // From the window: the pointer over a band, on a step of the staff (the
    // input position goes back under it), or off the staff.
    void pointerOverBand(int staff, int64_t position);
    void pointerOffStaff();
    // Playback started: what is played from now on is recorded.
    void playbackStarted();
    // Playback stops at `stopPosition`: the notes played, to join the song.
    std::vector<Note> playbackStopped(int32_t stopPosition);
    // Playback's redraw at the stop is done: what the status line has to say
    // about the recording (keys that do not fit, notes a limit left out) is
    // said now, after the redraw's read-out.
    void stopRedrawn();
    // The stop is over, its edit committed: a port lost while playing is told
    // by its box now, outside the stop (a box waits for the user).
    void playbackEnded();
    // The playback's loop went back to its start after `loopEndPosition` - 1.
    void loopJumped(int32_t loopEndPosition);
    // The page on view changed: the input-position line follows it.
    void pageTurned();
    // Another output device: programs are sent again before the next note.
    void outputChanged() { m_thru.forgetPrograms(); }

    // The position the next key enters at; none while the
    // pointer is off the staff.
    std::optional<int64_t> inputPosition() const { return m_position; }

private:
    int thruPart() const;
    void enterDueChords(double nowMs, bool& changed);
    bool enterChord(const GatheredChord& chord);
    void tellKeysNotFitting(size_t count);
    void showInputLine();
    void closeInput();
    double playPositionAt(double timeMs, double mostStepsBack = 1) const;

    MainWindowModel& m_window;
    MidiInBackend* m_backend = nullptr;
    std::unique_ptr<MidiIn> m_input;
    std::deque<MenuItem> m_items; // the entries of "MIDI入力"
    std::vector<MidiInMessage> m_batch;
    MidiThru m_thru;
    ChordGatherer m_gatherer;
    std::unique_ptr<NoteRecorder> m_recorder; // while playing
    std::optional<int64_t> m_position;
    int m_staff = 0;
    bool m_toldNotFitting = false;     // the status said so once for this input
    bool m_lineShown = false;          // since the last entry, until the pointer moves
    size_t m_notFittingAtStop = 0;     // keys the recording could not keep, told after the redraw
    int64_t m_playedLeftOutAtStop = 0; // notes the recorder had no room for, told likewise
    std::string m_lostWhilePlaying;    // the box to show after the stop; empty when none
};

} // namespace vako
