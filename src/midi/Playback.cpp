#include "midi/Playback.h"

#include "midi/EventList.h"
#include "midi/ShortMessage.h"
#include "song/SongFields.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <utility>

namespace vako {

namespace {

// The step length of a tempo. Tempos outside the range the program accepts
// (a control change from an odd file, say 0) play at the nearest end of it.
double msPerStep(int64_t tempo) {
    return 5000.0 / static_cast<double>(std::clamp<int64_t>(tempo, kMinTempo, kMaxTempo));
}

// The number a text reads as: blanks, an optional sign, digits and an optional
// fraction, then blanks. nullopt for anything else.
std::optional<double> readNumber(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double value = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// The whole-number value of a tempo text that reads as 30 to 600.
int32_t wholeTempo(const std::string& text) {
    const auto value = parseWholeNumber(text);
    return static_cast<int32_t>(
        std::clamp<int64_t>(value.value_or(kMinTempo), kMinTempo, kMaxTempo));
}

} // namespace

Playback::Playback(Song& song, MidiOut& device, Clock& clock, PlaybackListener& listener)
    : m_song(song), m_device(&device), m_clock(clock), m_listener(listener) {}

bool Playback::tempoTextInRange() const {
    const auto value = readNumber(m_song.tempoText);
    return value && *value >= kMinTempo && *value <= kMaxTempo;
}

void Playback::press(const PlaybackStart& from) {
    if (!m_state.stopped) {
        stop();
        return;
    }
    if (!tempoTextInRange()) {
        m_listener.showMessage(translated(msg::kTempoRange));
        return;
    }
    start(from);
}

void Playback::start(const PlaybackStart& from) {
    Song& song = m_song;
    PlaybackState& s = m_state;
    MidiOut& out = *m_device;

    m_percussionVolumeHeld = m_options.metronome || from.countIn;
    for (int c = 0; c < kPartCount; ++c) {
        sendChannelVolume(c);
        out.send(programChange(c, song.partPrograms[c]));
        out.send(pitchBendCentre(c));
        m_listener.centrePitchBendLine();
    }

    s.tapCount = 0;
    s.tapNotes.assign(1, Note{});
    s.hitsRefused = 0;
    s.recordedKept = s.recordedLeftOut = 0;
    s.countInPassesLeft = 0;
    s.loopJumps = 0;
    for (auto& keys : m_sounding) keys.fill(0);
    m_clickKey = -1;
    m_listener.setPlaying(true);

    const int32_t tempo = wholeTempo(song.tempoText);
    ensureChangeRoom(song.changes, int64_t{song.changeCount} + 1);
    song.changes[1].value = tempo;

    // The play list: note-ons and note-offs of every note, in time order.
    std::vector<Note> events = BuildNoteEvents(song, 10);
    const int64_t eventCount = (static_cast<int64_t>(events.size()) - 11);
    SortEvents(events, eventCount);
    // The work list is the play list from here on; nothing else reads it.
    m_playList = std::move(events);
    // Record 1 is the start tempo wherever it sits (an imported song has it at
    // position 1, maybe beside other changes there): only the others are sorted.
    SortCCs(song.changes, 2, song.changeCount);
    s.lastEvent = static_cast<int32_t>(eventCount);

    m_startTempo = tempo;
    m_startPrograms = song.partPrograms;
    m_startVolumes = song.partVolumes;

    // The first pass plays the step before the first one to sound.
    s.eventCursor = 1;
    s.changeCursor = 1;
    const int64_t firstPass =
        from.bar >= 2 ? barStartPosition(from.bar, song.quartersPerBar) - 1
                      : (from.bar == 1 ? -1 : int64_t{m_listener.page()} * kStepsPerPage - 1);
    s.playPosition = s.changePlayPosition =
        static_cast<int32_t>(std::min<int64_t>(firstPass, kEndMarkerPos - 1));
    m_page = m_listener.page();
    m_turnAwaited = false;
    showPageBefore(s.playPosition, false);

    // Catch-up: skip the events before the start, apply the control changes
    // before it, so instruments, volumes and tempo are right at the first sound.
    const auto firstDue = std::lower_bound(
        m_playList.begin() + 1, m_playList.begin() + 1 + eventCount, s.playPosition,
        [](const Note& e, int32_t pos) { return e.position < pos; });
    s.eventCursor = static_cast<int32_t>(firstDue - m_playList.begin());
    s.msPerStep = msPerStep(tempo);
    for (int32_t j = 1; j <= song.changeCount; ++j) {
        if (song.changes[j].position < s.changePlayPosition) {
            applyControlChange(song.changes[j]);
            ++s.changeCursor;
        }
    }

    song.changes[song.changeCount + 1].position = kEndMarkerPos;
    s.stopped = false;
    s.savedChangeCount = song.changeCount;
    placeLoop();

    if (from.countIn) {
        // A bar of clicks that ends at the first bar line after the first
        // pass: the real passes before that line count as its last steps.
        const int64_t stepsPerBar = int64_t{kStepsPerQuarter} * song.quartersPerBar;
        const int64_t firstSounding = int64_t{s.playPosition} + 1;
        const int64_t barLine =
            firstSounding <= kFirstBeatPosition
                ? kFirstBeatPosition
                : kFirstBeatPosition + (firstSounding - kFirstBeatPosition + stepsPerBar - 1) /
                                           stepsPerBar * stepsPerBar;
        s.countInPassesLeft = static_cast<int32_t>(stepsPerBar - (barLine - s.playPosition));
    }
    m_anchorMs = m_clock.nowMs();
    m_passesSinceAnchor = 0;
}

void Playback::showPageBefore(int64_t position, bool mayTurnInPass) {
    // The pass of position q turns the view when q is a page's last step but
    // one; before it the view shows the page of q (as q * 5 / 720 counts).
    const int page = static_cast<int>(std::max<int64_t>(0, position) / kStepsPerPage);
    const bool turnsInPass = position >= 0 && position % kStepsPerPage == kStepsPerPage - 1;
    if (turnsInPass && !mayTurnInPass) {
        m_page = page;
        m_listener.setPage(m_page, false); // the pass turns the view
        m_turnAwaited = true;
        return;
    }
    if (turnsInPass) {
        m_page = page;
        return;
    }
    if (page != m_page || page != m_listener.page()) {
        m_page = page;
        m_listener.setPage(m_page, true);
    }
}

double Playback::nextDeadline() const {
    if (m_state.stopped) return std::numeric_limits<double>::infinity();
    return m_anchorMs + static_cast<double>(m_passesSinceAnchor + 1) * m_state.msPerStep;
}

int Playback::runDueSteps(double nowMs) {
    int passes = 0;
    while (!m_state.stopped) {
        double deadline = nextDeadline();
        if (deadline > nowMs) break;
        if (nowMs - deadline > m_state.msPerStep) {
            // Held up for more than a step: this pass sounds now and the ones
            // after it keep their distance from it, so a stall moves the rest of
            // the music later instead of squeezing the missed steps together.
            m_anchorMs += nowMs - deadline;
            deadline = nowMs;
        }
        m_passDeadline = deadline;
        m_inPass = true;
        runPass();
        m_inPass = false;
        ++m_passesSinceAnchor;
        ++passes;
    }
    return passes;
}

void Playback::runPass() {
    Song& song = m_song;
    PlaybackState& s = m_state;
    if (s.countInPassesLeft > 0) {
        runCountInPass();
        return;
    }
    m_turnAwaited = false;

    // Cursor line, and the page turn one step before a page's last step.
    int32_t offset =
        static_cast<int32_t>((int64_t{s.playPosition} * kStaffUnitsPerStep) % kStaffUnitsPerPage);
    m_listener.moveCursorLine(kCursorLeftX + offset);
    if (offset == kStaffUnitsPerPage - kStaffUnitsPerStep) {
        ++m_page;
        m_listener.setPage(m_page, true);
    }
    if (s.stopped) return;

    // Control changes at this step.
    while (s.changeCursor >= 1 && s.changeCursor < static_cast<int64_t>(song.changes.size()) &&
           song.changes[s.changeCursor].position == s.changePlayPosition) {
        applyControlChange(song.changes[s.changeCursor]);
        ++s.changeCursor;
        if (s.stopped) return;
    }
    ++s.changePlayPosition;

    // Notes at this step, each after its modulation and balance.
    holdPercussionVolumeForClicks(); // the count-in may just have ended
    endClick();
    const int shift = m_listener.pitchShift();
    while (s.eventCursor <= s.lastEvent && m_playList[s.eventCursor].position == s.playPosition) {
        const Note& e = m_playList[s.eventCursor];
        if (e.part < kPartCount) sendNoteEvent(e, shift);
        ++s.eventCursor;
    }
    if (m_options.metronome) clickAt(s.playPosition);

    const bool inLoop = s.loopEnd > 0 && s.playPosition < s.loopEnd;
    if (inLoop && s.playPosition == s.loopEnd - 1) {
        jumpToLoopStart();
    } else {
        // The end: the last event has sounded (a loop ahead keeps playing to its end).
        if (!inLoop && m_playList[s.lastEvent].position <= s.playPosition) {
            stop();
            return;
        }
        ++s.playPosition;
    }
    if (m_listener.isTapChecked()) m_listener.focusScore();
}

void Playback::runCountInPass() {
    PlaybackState& s = m_state;
    // The count-in's steps lie just before the first pass, so its clicks fall
    // on the beats the playback goes on with.
    endClick();
    clickAt(int64_t{s.playPosition} - s.countInPassesLeft);
    --s.countInPassesLeft;
    if (m_listener.isTapChecked()) m_listener.focusScore();
}

void Playback::sendNoteEvent(const Note& e, int shift) {
    // A part that does not sound sends nothing; its notes that sounded before
    // it was muted were ended then.
    if (!m_options.partSounds(e.part)) return;
    int strength = e.velocity;
    if (e.part == kPercussionPart && m_percussionVolumeHeld) {
        // The channel is at the click's step: the part's own volume scales
        // the note instead (General MIDI synthesizers weigh a note's velocity
        // and its channel's volume by the same curve), as far as a velocity goes.
        strength = static_cast<int>(std::min<long>(
            kMaxDataByte, std::lround(static_cast<double>(e.velocity) *
                                      m_song.partVolumes[kPercussionPart] / kClickVolumeStep)));
        if (strength <= 0 && e.key < kNoteOffBase) return; // a part at volume 0 plays nothing
    }
    m_device->send(controlChange(e.part, kControllerModulation, e.modulation));
    m_device->send(controlChange(e.part, kControllerBalance, e.pan));
    const std::optional<uint32_t> message = midiPMessage(e.key, e.part, strength, shift);
    if (!message) return;
    m_device->send(*message);
    const uint32_t status = *message & 0xF0;
    const uint32_t key = (*message >> 8) & 0x7F;
    const uint32_t velocity = (*message >> 16) & 0x7F;
    uint8_t& sounding = m_sounding[e.part][key];
    if (status == kStatusNoteOn && velocity > 0) {
        if (sounding < UINT8_MAX) ++sounding;
    } else if (sounding > 0) {
        --sounding;
    }
}

void Playback::releasePart(int part) {
    for (int key = 0; key <= kMaxDataByte; ++key) {
        if (m_sounding[part][key] == 0) continue;
        m_device->send(packShortMessage(static_cast<uint8_t>(kStatusNoteOff + part), key, 0));
        m_sounding[part][key] = 0;
    }
}

void Playback::sendChannelVolume(int part) {
    const int step = part == kPercussionPart && m_percussionVolumeHeld
                         ? kClickVolumeStep
                         : std::clamp<int>(m_song.partVolumes[part], 0, kMaxVolumeStep);
    m_device->send(controlChange(part, kControllerVolume, int64_t{step} * kVolumeUnit));
}

void Playback::holdPercussionVolumeForClicks() {
    const bool hold = !m_state.stopped && (m_options.metronome || m_state.countInPassesLeft > 0);
    if (hold == m_percussionVolumeHeld) return;
    m_percussionVolumeHeld = hold;
    sendChannelVolume(kPercussionPart);
}

void Playback::endClick() {
    if (m_clickKey < 0) return;
    m_device->send(
        packShortMessage(static_cast<uint8_t>(kStatusNoteOff + kPercussionPart), m_clickKey, 0));
    m_clickKey = -1;
}

void Playback::clickAt(int64_t position) {
    const int64_t stepsPerBar = int64_t{kStepsPerQuarter} * m_song.quartersPerBar;
    // Steps from the first beat, counted down into the count-in too.
    const int64_t fromFirstBeat = position - kFirstBeatPosition;
    if (stepsPerBar <= 0 || fromFirstBeat % kStepsPerQuarter != 0) return;
    const bool accent = ((fromFirstBeat % stepsPerBar) + stepsPerBar) % stepsPerBar == 0;
    m_clickKey = accent ? kAccentClickKey : kClickKey;
    m_device->send(packShortMessage(static_cast<uint8_t>(kStatusNoteOn + kPercussionPart),
                                    m_clickKey, accent ? kAccentClickVelocity : kClickVelocity));
}

void Playback::setOptions(const PlaybackOptions& options) {
    const PlaybackOptions before = m_options;
    m_options = options;
    if (m_state.stopped) return;
    for (int part = 0; part < kPartCount; ++part)
        if (before.partSounds(part) && !options.partSounds(part)) releasePart(part);
    holdPercussionVolumeForClicks();
    if (before.loopFirstBar != options.loopFirstBar || before.loopLastBar != options.loopLastBar)
        placeLoop();
}

void Playback::placeLoop() {
    const Song& song = m_song;
    PlaybackState& s = m_state;
    s.loopStart = s.loopEnd = 0;
    if (!m_options.hasLoop()) return;
    const int64_t start = barStartPosition(m_options.loopFirstBar, song.quartersPerBar);
    const int64_t end = barStartPosition(int64_t{m_options.loopLastBar} + 1, song.quartersPerBar);
    if (end >= kEndMarkerPos) return; // no song reaches that far
    s.loopStart = static_cast<int32_t>(start);
    s.loopEnd = static_cast<int32_t>(end);

    // The changes before the loop's start, over the settings the playback started with.
    LoopEntry entry{m_startTempo, m_startPrograms, m_startVolumes};
    for (int32_t j = 1; j <= s.savedChangeCount; ++j) {
        const ControlChange& cc = song.changes[j];
        if (cc.position >= start) continue;
        const int part = cc.value % kPartCount;
        if (cc.kind == kTempoChange) {
            entry.tempo = cc.value;
        } else if (part >= 0 && cc.kind == kInstrumentChange) {
            entry.programs[part] = dataByte(cc.value / kPartCount);
        } else if (part >= 0 && cc.kind == kVolumeChange) {
            entry.volumes[part] =
                static_cast<int16_t>(std::clamp<int64_t>(cc.value / kPartCount, 0, kMaxVolumeStep));
        }
    }
    m_loopEntry = entry;
}

void Playback::jumpToLoopStart() {
    Song& song = m_song;
    PlaybackState& s = m_state;
    // Nothing sounds on into the next round.
    endClick();
    for (int part = 0; part < kPartCount; ++part) releasePart(part);
    m_listener.loopJumped(s.loopEnd);

    // The settings the loop's start had, where the round changed them.
    if (msPerStep(m_loopEntry.tempo) != s.msPerStep)
        applyControlChange({s.loopStart, m_loopEntry.tempo, kTempoChange});
    for (int part = 0; part < kPartCount; ++part) {
        if (song.partPrograms[part] != m_loopEntry.programs[part])
            applyControlChange(
                {s.loopStart, m_loopEntry.programs[part] * kPartCount + part, kInstrumentChange});
        if (song.partVolumes[part] != m_loopEntry.volumes[part])
            applyControlChange(
                {s.loopStart, m_loopEntry.volumes[part] * kPartCount + part, kVolumeChange});
    }

    s.playPosition = s.changePlayPosition = s.loopStart;
    const auto firstDue =
        std::lower_bound(m_playList.begin() + 1, m_playList.begin() + 1 + s.lastEvent, s.loopStart,
                         [](const Note& e, int32_t pos) { return e.position < pos; });
    s.eventCursor = static_cast<int32_t>(firstDue - m_playList.begin());
    s.changeCursor = 1;
    for (int32_t j = 1; j <= s.savedChangeCount; ++j)
        if (song.changes[j].position < s.loopStart) ++s.changeCursor;
    showPageBefore(s.loopStart, true);
    ++s.loopJumps;
}

void Playback::applyControlChange(const ControlChange& cc) {
    Song& song = m_song;
    const int32_t v = cc.value;
    switch (cc.kind) {
    case kTempoChange:
        m_state.msPerStep = msPerStep(v);
        if (m_inPass) {
            // The following passes keep the new step length from this pass's deadline.
            // runDueSteps counts this pass once it ends, so the next one is
            // due one new step after this pass's deadline.
            m_anchorMs = m_passDeadline;
            m_passesSinceAnchor = -1;
        }
        song.tempoText = std::to_string(v);
        m_listener.showTempoText(song.tempoText);
        break;
    case kInstrumentChange:
    case kVolumeChange: {
        const int part = v % kPartCount; // the sign of v, as the stored encoding has it
        if (part < 0) return; // no such part: the record is not a change the program made
        const int64_t amount = v / kPartCount;
        if (cc.kind == kInstrumentChange) {
            const uint8_t program = dataByte(amount);
            m_device->send(programChange(part, program));
            song.partPrograms[part] = program;
            m_listener.showPartProgram(part, program);
        } else {
            const int16_t step =
                static_cast<int16_t>(std::clamp<int64_t>(amount, 0, kMaxVolumeStep));
            song.partVolumes[part] = step;
            sendChannelVolume(part);
            m_listener.showPartVolume(part, step);
        }
        break;
    }
    default:
        break;
    }
}

void Playback::stop() {
    Song& song = m_song;
    PlaybackState& s = m_state;
    if (s.stopped) return;

    song.tempoText = std::to_string(song.changes[1].value);
    m_listener.showTempoText(song.tempoText);
    m_device->reset();
    m_listener.setPlaying(false);
    // Stopped before the first pass turned the view: the page it was on.
    if (m_turnAwaited) m_listener.setPage(m_page + 1, true);
    m_turnAwaited = false;
    const int32_t stopPosition = s.playPosition;
    s.playPosition = 0;
    s.stopped = true;
    s.countInPassesLeft = 0;
    for (auto& keys : m_sounding) keys.fill(0); // the reset ended them
    m_clickKey = -1;
    holdPercussionVolumeForClicks(); // part 10's own volume again, for what plays next

    const std::vector<Note> played = m_listener.takePlayedNotes(stopPosition);
    s.recordedLeftOut = s.hitsRefused;
    if (s.tapCount > 0 || !played.empty()) mergeRecordedNotes(played);
    m_listener.redraw();

    for (int c = 0; c < kPartCount; ++c) {
        m_device->send(pitchBendCentre(c));
        m_listener.centrePitchBendLine();
        m_device->send(controlChange(c, kControllerBalance, kCentreBalance));
    }
    m_listener.moveCursorLine(kCursorLeftX);
    song.changeCount = s.savedChangeCount;
}

void Playback::quit() {
    if (m_state.stopped) return;
    m_state.stopped = true;
    m_state.countInPassesLeft = 0;
    m_song.changeCount = m_state.savedChangeCount;
}

void Playback::mergeRecordedNotes(const std::vector<Note>& played) {
    Song& song = m_song;
    PlaybackState& s = m_state;
    // Hits and played notes go in together, within the playback's one step.

    const int64_t n =
        std::clamp<int64_t>(song.noteCount(), 0, static_cast<int64_t>(song.notes.size()) - 1);
    std::vector<Note> hits;
    hits.reserve(static_cast<size_t>(s.tapCount));
    for (int64_t j = 1; j <= s.tapCount; ++j) {
        Note hit;
        hit.position = s.tapNotes[j].position;
        hit.key = s.tapNotes[j].key;
        hit.length = 3;
        hit.part = kPercussionPart;
        hit.velocity = kNewNoteVelocity;
        hit.pan = kCentrePan;
        hits.push_back(hit);
    }
    // Both in position order; a hit goes before a played note at the same position.
    std::vector<Note> recorded;
    recorded.reserve(hits.size() + played.size());
    std::merge(hits.begin(), hits.end(), played.begin(), played.end(), std::back_inserter(recorded),
               [](const Note& a, const Note& b) { return a.position < b.position; });
    // What the playback and the song have room for; the earliest are kept.
    const int64_t room = std::min(kMostRecordedNotes, kMostSongNotes - n);
    if (static_cast<int64_t>(recorded.size()) > room) {
        s.recordedLeftOut += static_cast<int64_t>(recorded.size()) - room;
        recorded.resize(static_cast<size_t>(std::max<int64_t>(room, 0)));
    }
    const auto t = static_cast<int64_t>(recorded.size());
    s.recordedKept = t;

    std::vector<Note> merged(static_cast<size_t>(2 * (n + t) + 11));
    int64_t i = 1, j = 0, k = 1;
    // A recorded note goes before a note of the song at the same position.
    while (i <= n && j < t) {
        if (song.notes[i].position >= recorded[j].position)
            merged[k++] = recorded[j++];
        else
            merged[k++] = song.notes[i++];
    }
    while (i <= n) merged[k++] = song.notes[i++];
    while (j < t) merged[k++] = recorded[j++];

    song.notes = std::move(merged);
    song.twiceNoteCount = static_cast<int32_t>(2 * (n + t));
}

bool Playback::recordHit(int note) {
    PlaybackState& s = m_state;
    if (s.stopped || note < 1 || note > kMaxDataByte) return false;
    if (s.countInPassesLeft > 0) return false; // the count-in is not recorded
    if (s.tapCount >= kMostRecordedNotes) {
        ++s.hitsRefused;
        return false;
    }
    ++s.tapCount;
    Note hit;
    hit.position = s.playPosition;
    hit.key = static_cast<uint8_t>(note);
    s.tapNotes.push_back(hit);
    return true;
}

} // namespace vako
