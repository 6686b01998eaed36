#include "view/KeyboardEntry.h"

#include "editor/NoteEdits.h"
#include "midi/Playback.h"
#include "view/MainWindowModel.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace vako {
namespace {

std::string cannotOpen(const std::string& error) {
    return translated("MIDI入力を開けません。（{error}）", {{"error", error}});
}

} // namespace

std::string msg::midiInputLost(const std::string& name) {
    return translated("MIDI入力 {port} が使えなくなりました。入力は「なし」になります。",
                      {{"port", name}});
}

std::string msg::recordingCut(int64_t kept, int64_t leftOut) {
    return translated("録音した {recorded} 個の音符のうち {kept} 個を曲に入れました（入りきらない "
                      "{leftOut} 個は入っていません）",
                      {{"recorded", std::to_string(kept + leftOut)},
                       {"kept", std::to_string(kept)},
                       {"leftOut", std::to_string(leftOut)}});
}

KeyboardEntry::KeyboardEntry(MainWindowModel& window) : m_window(window) {
    inputMenu.name = "MIDI入力";
    inputMenu.caption = translated("MIDI入力");
    inputLine.visible = false;
    inputLine.borderColour = colour::kRed;
}

KeyboardEntry::~KeyboardEntry() {
    if (m_input) m_input->close();
}

void KeyboardEntry::openMenu() {
    m_items.clear();
    inputMenu.children.clear();
    MenuItem& none = m_items.emplace_back();
    none.name = "MIDI入力:なし";
    none.caption = translated("なし");
    none.checked = !m_input;
    none.onClick = [this] { choose(""); };
    inputMenu.children.push_back(&none);
    std::vector<std::string> names;
    if (m_backend) names = m_backend->portNames();
    for (const std::string& name : names) {
        MenuItem& item = m_items.emplace_back();
        item.name = "MIDI入力:" + name;
        item.caption = name;
        item.checked = m_input && m_input->name() == name;
        item.onClick = [this, name] { choose(name); };
        inputMenu.children.push_back(&item);
    }
    if (names.empty()) {
        MenuItem& nothing = m_items.emplace_back();
        nothing.name = "MIDI入力:none";
        nothing.caption = translated("（MIDI入力が見つかりません）");
        nothing.enabled = false;
        inputMenu.children.push_back(&nothing);
    }
}

bool KeyboardEntry::choose(const std::string& portName) {
    if (m_input && m_input->name() == portName) return true;
    closeInput();
    bool opened = portName.empty();
    if (!portName.empty()) {
        std::string error = translated("MIDI入力の仕組みがありません");
        if (m_backend) m_input = m_backend->open(portName, error);
        if (m_input) {
            opened = true;
            m_toldNotFitting = false;
        } else {
            m_window.showMessage(cannotOpen(portName + ": " + error));
        }
    }
    // The first entry is "なし".
    for (MenuItem& item : m_items)
        item.checked = item.enabled && (m_input ? item.caption == m_input->name()
                                                : &item == &m_items.front());
    return opened;
}

void KeyboardEntry::openAtStartup(const char* choiceText) {
    bool recognised = true;
    const MidiInChoice choice = parseMidiInChoice(choiceText, &recognised);
    if (!recognised) {
        m_window.showMessage(cannotOpen(translated("{setting} は port:名前 の形ではありません",
                                                   {{"setting", std::string("VAKO_MIDI_IN=") +
                                                                    choiceText}})));
        return;
    }
    if (choice.none) return;
    if (!m_backend) {
        m_window.showMessage(cannotOpen(translated("MIDI入力の仕組みがありません")));
        return;
    }
    std::string error;
    m_input = openMidiIn(*m_backend, choice, error);
    if (!m_input) m_window.showMessage(cannotOpen(error));
    m_toldNotFitting = false;
}

void KeyboardEntry::closeInput() {
    if (!m_input) return;
    m_input->close();
    // Keys still down when the input goes would sound on for ever.
    m_thru.releaseAll(m_window.device());
    m_input.reset();
    m_gatherer.flush();
    while (m_gatherer.poll(std::numeric_limits<double>::infinity())) {}
}

int KeyboardEntry::thruPart() const {
    const MainWindowModel& w = m_window;
    return w.keyboardDrumsMenu.checked ? kPercussionPart : w.view.bandParts[0] % kPartCount;
}

bool KeyboardEntry::takeInput() {
    if (!m_input) return false;
    MainWindowModel& w = m_window;
    m_batch.clear();
    m_input->take(m_batch);
    bool changed = false;
    const int part = thruPart();
    for (const MidiInMessage& m : m_batch) {
        m_thru.route(m.message, part, w.song.partPrograms[part], w.device());
        if (m_recorder) {
            // Keys of the count-in sound through but are not recorded.
            if (!w.playback().countingIn()) m_recorder->take(m.message, playPositionAt(m.timeMs));
        } else
            m_gatherer.take(m);
    }
    enterDueChords(w.clock().nowMs(), changed);
    return changed;
}

void KeyboardEntry::enterDueChords(double nowMs, bool& changed) {
    while (std::optional<GatheredChord> chord = m_gatherer.poll(nowMs))
        if (enterChord(*chord)) changed = true;
}

double KeyboardEntry::msUntilChordDue() const {
    const double deadline = m_gatherer.nextDeadlineMs();
    if (!std::isfinite(deadline) && deadline > 0) return deadline;
    return std::max(0.0, deadline - m_window.clock().nowMs());
}

bool KeyboardEntry::watchInput() {
    if (!m_input || m_input->state() != MidiInState::Lost) return false;
    const std::string name = m_input->name();
    // What was played before the port went still goes in.
    bool changed = false;
    takeInput();
    if (m_recorder) {
        // Keys held when it went end where it went, as the device stamped it
        // (this look comes up to a second later), not at the stop: their
        // note-offs will never come.
        m_recorder->releaseAll(
            playPositionAt(m_input->lostAtMs(), std::numeric_limits<double>::infinity()));
    } else {
        if (std::optional<GatheredChord> chord = m_gatherer.flush()) changed |= enterChord(*chord);
        enterDueChords(std::numeric_limits<double>::infinity(), changed);
    }
    closeInput();
    for (MenuItem& item : m_items) item.checked = &item == &m_items.front();
    if (m_window.stopped()) {
        m_window.showMessage(msg::midiInputLost(name));
    } else {
        m_window.statusLine.caption = msg::midiInputLost(name);
        m_lostWhilePlaying = msg::midiInputLost(name);
    }
    return true;
}

void KeyboardEntry::tellKeysNotFitting(size_t count) {
    if (count == 0 || m_toldNotFitting) return;
    m_toldNotFitting = true;
    m_window.statusLine.caption = translated(msg::kKeysNotFitting);
}

bool KeyboardEntry::enterChord(const GatheredChord& chord) {
    MainWindowModel& w = m_window;
    if (chord.keys.empty() || !m_position || !w.stopped() || w.panelOpen() ||
        !w.editingMenu.checked || *m_position > kLastSongPos) {
        tellKeysNotFitting(chord.keysNotFitting.size());
        return !chord.keysNotFitting.empty();
    }

    const auto pos = static_cast<int32_t>(*m_position);
    const int part = w.view.bandParts[m_staff] % kPartCount;
    // One chord is one edit, each key at its own place among the notes at
    // this position, with the strength it was struck with.
    w.editor.enterKeys(pos, chord.keys, w.view.newNoteLength, part);
    w.showUndoState();
    m_position = *m_position + std::max<int64_t>(w.view.newNoteLength, 1);

    // The page follows the input position.
    w.redrawScore();
    const int64_t page = (*m_position - 1) / kStepsPerPage;
    if (page != w.view.page && page <= INT32_MAX / kStepsPerPage) {
        w.pageScrollBar.max = std::max<int>(w.pageScrollBar.max, static_cast<int>(page));
        w.pageScrollBar.setValue(static_cast<int>(page)); // redraws the page
    }
    showInputLine();
    tellKeysNotFitting(chord.keysNotFitting.size()); // after the redraw's read-out
    return true;
}

void KeyboardEntry::stopRedrawn() {
    tellKeysNotFitting(m_notFittingAtStop);
    m_notFittingAtStop = 0;
    const PlaybackState& s = m_window.playback().state();
    const int64_t leftOut = s.recordedLeftOut + m_playedLeftOutAtStop;
    m_playedLeftOutAtStop = 0;
    if (leftOut > 0) m_window.statusLine.caption = msg::recordingCut(s.recordedKept, leftOut);
}

void KeyboardEntry::loopJumped(int32_t loopEndPosition) {
    // Keys held over the loop's end end there; the next round starts afresh.
    if (m_recorder) m_recorder->releaseAll(loopEndPosition);
}

void KeyboardEntry::playbackEnded() {
    if (!m_lostWhilePlaying.empty()) m_window.showMessage(std::exchange(m_lostWhilePlaying, {}));
}

void KeyboardEntry::pageTurned() {
    if (m_lineShown) showInputLine();
}

void KeyboardEntry::showInputLine() {
    const MainWindowModel& w = m_window;
    m_lineShown = m_position.has_value();
    if (!m_position) {
        inputLine.visible = false;
        return;
    }
    const int64_t step = *m_position - int64_t{w.view.page} * kStepsPerPage;
    inputLine.visible = step >= 1 && step <= kStepsPerPage;
    // On the beat line of the step, across the band.
    const auto x = static_cast<double>(xOfStep(step));
    if (m_staff == 0)
        inputLine.setLine(x, kViewTop, x, bandBase(0));
    else
        inputLine.setLine(x, bandBase(0), x, bandBase(1));
}

void KeyboardEntry::pointerOverBand(int staff, int64_t position) {
    m_staff = staff;
    m_position = position;
    m_lineShown = false;
    inputLine.visible = false; // the note cursor shows where the next key goes
}

void KeyboardEntry::pointerOffStaff() {
    m_position.reset();
    m_lineShown = false;
    inputLine.visible = false;
}

double KeyboardEntry::playPositionAt(double timeMs, double mostStepsBack) const {
    // The next pass (at playPosition) is due at nextDeadline: a message that
    // came earlier lies that many steps before it. The window takes the
    // messages before every pass, so they are at most a step old.
    const Playback& p = m_window.playback();
    const PlaybackState& s = p.state();
    const double ahead = (p.nextDeadline() - timeMs) / s.msPerStep;
    if (!std::isfinite(ahead)) return s.playPosition;
    return s.playPosition - std::clamp(ahead, 0.0, mostStepsBack);
}

void KeyboardEntry::playbackStarted() {
    MainWindowModel& w = m_window;
    m_gatherer.flush();
    while (m_gatherer.poll(std::numeric_limits<double>::infinity())) {}
    m_thru.forgetPrograms(); // playback sends the song's programs
    const int gridSteps = stepsPerGridCell(w.song.grid);
    m_recorder = std::make_unique<NoteRecorder>(thruPart(), gridSteps, kMostRecordedNotes);
    m_lostWhilePlaying.clear();
    m_lineShown = false;
    inputLine.visible = false;
}

std::vector<Note> KeyboardEntry::playbackStopped(int32_t stopPosition) {
    // The window took what came before the stop (togglePlayback, playbackTick).
    if (!m_recorder) return {};
    std::vector<Note> notes = m_recorder->stop(stopPosition);
    m_notFittingAtStop = static_cast<size_t>(m_recorder->keysNotFitting());
    m_playedLeftOutAtStop = m_recorder->notesLeftOut();
    m_recorder.reset();
    m_thru.forgetPrograms();
    // Notes before the song's first step (played in the pass before it) cannot be kept.
    std::erase_if(notes, [](const Note& n) { return n.position < 1; });
    return notes;
}

} // namespace vako
