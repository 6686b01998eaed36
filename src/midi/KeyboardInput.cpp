#include "midi/KeyboardInput.h"

#include "midi/ShortMessage.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>

namespace vako {

namespace {

constexpr int kStrengthStep = 6;
constexpr int kHighestStrength = 120;
constexpr uint8_t kControllerSustain = 64;
// Positions are 32-bit: a note cannot start or last beyond this.
constexpr int64_t kLastSongPosition = INT32_MAX;

} // namespace

int strengthOfVelocity(int velocity) {
    const int nearest = (velocity + kStrengthStep / 2) / kStrengthStep * kStrengthStep;
    return std::clamp(nearest, kStrengthStep, kHighestStrength);
}

KeyMessage decodeKeyMessage(uint32_t message) {
    const int status = message & 0xF0;
    const int data1 = (message >> 8) & 0x7F;
    const int data2 = (message >> 16) & 0x7F;
    KeyMessage m;
    switch (status) {
    case kStatusNoteOn:
        m.kind = data2 > 0 ? KeyMessage::Kind::NoteOn : KeyMessage::Kind::NoteOff;
        m.key = data1;
        m.velocity = data2;
        break;
    case kStatusNoteOff:
        m.kind = KeyMessage::Kind::NoteOff;
        m.key = data1;
        break;
    case kStatusControlChange:
        if (data1 == kControllerSustain) {
            m.kind = KeyMessage::Kind::Sustain;
            m.value = data2;
        }
        break;
    case kStatusPitchBend:
        m.kind = KeyMessage::Kind::PitchBend;
        m.value = data1 + data2 * 128;
        break;
    default:
        break;
    }
    return m;
}

bool MidiThru::route(uint32_t message, int part, int program, MidiOut& out) {
    if (part < 0 || part >= kPartCount) return false;
    const KeyMessage m = decodeKeyMessage(message);
    const auto channel = static_cast<uint8_t>(part);
    switch (m.kind) {
    case KeyMessage::Kind::NoteOn:
        if (program >= 0 && program <= kMaxDataByte && m_programSent[channel] != program) {
            out.send(programChange(channel, program));
            m_programSent[channel] = static_cast<int16_t>(program);
        }
        // The same key still sounding elsewhere is ended first: its note-off
        // could only ever reach one of the two channels.
        if (m_keyChannel[m.key] >= 0 && m_keyChannel[m.key] != channel)
            out.send(packShortMessage(kStatusNoteOff + m_keyChannel[m.key], m.key, 0));
        out.send(packShortMessage(kStatusNoteOn + channel, m.key, m.velocity));
        m_keyChannel[m.key] = static_cast<int8_t>(channel);
        return true;
    case KeyMessage::Kind::NoteOff: {
        const int to = m_keyChannel[m.key] >= 0 ? m_keyChannel[m.key] : channel;
        out.send(packShortMessage(static_cast<uint8_t>(kStatusNoteOff + to), m.key, 0));
        m_keyChannel[m.key] = -1;
        return true;
    }
    case KeyMessage::Kind::Sustain:
        if (m.value >= 64) {
            m_pedalDown.set(channel);
            out.send(controlChange(channel, kControllerSustain, m.value));
        } else {
            m_pedalDown.set(channel);
            for (int c = 0; c < kPartCount; ++c) {
                if (!m_pedalDown.test(c)) continue;
                out.send(controlChange(c, kControllerSustain, m.value));
            }
            m_pedalDown.reset();
        }
        return true;
    case KeyMessage::Kind::PitchBend:
        out.send(packShortMessage(static_cast<uint8_t>(kStatusPitchBend + channel), m.value & 0x7F,
                                  m.value >> 7));
        return true;
    case KeyMessage::Kind::Other:
        break;
    }
    return false;
}

void MidiThru::releaseAll(MidiOut& out) {
    for (int key = 0; key < 128; ++key) {
        if (m_keyChannel[key] < 0) continue;
        out.send(
            packShortMessage(static_cast<uint8_t>(kStatusNoteOff + m_keyChannel[key]), key, 0));
        m_keyChannel[key] = -1;
    }
    for (int c = 0; c < kPartCount; ++c)
        if (m_pedalDown.test(c)) out.send(controlChange(c, kControllerSustain, 0));
    m_pedalDown.reset();
}

void ChordGatherer::take(uint32_t message, double timeMs) {
    const KeyMessage m = decodeKeyMessage(message);
    if (m.kind != KeyMessage::Kind::NoteOn) return;

    if (m_current && timeMs - m_current->firstMs > kChordWindowMs) finishCurrent();
    if (!m_current) {
        m_current = GatheredChord{};
        m_current->firstMs = timeMs;
        m_currentKeys.reset();
    }
    if (m_currentKeys.test(m.key)) return; // struck again: the first strength stays
    m_currentKeys.set(m.key);
    if (keyFitsSong(m.key))
        m_current->keys.push_back(
            {static_cast<uint8_t>(m.key), static_cast<uint8_t>(strengthOfVelocity(m.velocity))});
    else
        m_current->keysNotFitting.push_back(static_cast<uint8_t>(m.key));
}

bool ChordGatherer::currentComplete(double nowMs) const {
    return m_current && nowMs - m_current->firstMs >= kChordWindowMs;
}

void ChordGatherer::finishCurrent() {
    std::sort(m_current->keys.begin(), m_current->keys.end(),
              [](const EnteredKey& a, const EnteredKey& b) { return a.key < b.key; });
    m_ready.push_back(std::move(*m_current));
    m_current.reset();
    m_currentKeys.reset();
}

std::optional<GatheredChord> ChordGatherer::poll(double nowMs) {
    if (currentComplete(nowMs)) finishCurrent();
    if (m_ready.empty()) return std::nullopt;
    GatheredChord chord = std::move(m_ready.front());
    m_ready.pop_front();
    return chord;
}

std::optional<GatheredChord> ChordGatherer::flush() {
    if (m_current) finishCurrent();
    return poll(-std::numeric_limits<double>::infinity());
}

double ChordGatherer::nextDeadlineMs() const {
    if (!m_ready.empty()) return -std::numeric_limits<double>::infinity();
    if (m_current) return m_current->firstMs + kChordWindowMs;
    return std::numeric_limits<double>::infinity();
}

NoteRecorder::NoteRecorder(int part, int gridSteps, int64_t mostNotes)
    : m_part(std::clamp(part, 0, kPartCount - 1)), m_grid(std::max(gridSteps, 1)),
      m_mostNotes(std::max<int64_t>(mostNotes, 0)) {}

int64_t NoteRecorder::snap(double position) const {
    if (!(position > 0)) return 0; // before the song, or not a number
    // The grid's cells start at the first beat, as the staff draws them.
    const double snapped =
        std::round((position - kFirstBeatPosition) / m_grid) * m_grid + kFirstBeatPosition;
    return static_cast<int64_t>(std::min(snapped, static_cast<double>(kLastSongPosition)));
}

void NoteRecorder::take(uint32_t message, double stepPosition) {
    const KeyMessage m = decodeKeyMessage(message);
    if (m.kind == KeyMessage::Kind::NoteOn) {
        if (!keyFitsSong(m.key)) {
            ++m_keysNotFitting;
            return;
        }
        // Struck again while held: the sounding note ends here, a new one starts.
        if (m_held[m.key].down) take(packShortMessage(kStatusNoteOff, m.key, 0), stepPosition);
        m_held[m.key] = {true, snap(stepPosition),
                         static_cast<uint8_t>(strengthOfVelocity(m.velocity))};
        return;
    }
    if (m.kind != KeyMessage::Kind::NoteOff || !m_held[m.key].down) return;
    Held& held = m_held[m.key];
    held.down = false;
    if (static_cast<int64_t>(m_notes.size()) >= m_mostNotes) {
        ++m_notesLeftOut;
        return;
    }
    const int64_t end = std::max(snap(stepPosition), held.start + m_grid);
    if (held.start > kLastSongPosition || end - held.start > kLastSongPosition) return;
    Note note;
    note.position = static_cast<int32_t>(held.start);
    note.key = static_cast<uint8_t>(m.key);
    note.length = static_cast<int32_t>(end - held.start);
    note.part = static_cast<uint8_t>(m_part);
    note.velocity = held.strength;
    note.pan = kCentrePan;
    note.modulation = 0;
    m_notes.push_back(note);
}

void NoteRecorder::releaseAll(double stepPosition) {
    for (int key = 0; key < 128; ++key)
        if (m_held[key].down) take(packShortMessage(kStatusNoteOff, key, 0), stepPosition);
}

std::vector<Note> NoteRecorder::stop(double stopPosition) {
    releaseAll(stopPosition);
    std::vector<Note> notes = std::move(m_notes);
    m_notes.clear();
    std::stable_sort(notes.begin(), notes.end(), [](const Note& a, const Note& b) {
        return a.position != b.position ? a.position < b.position : a.key < b.key;
    });
    return notes;
}

} // namespace vako
