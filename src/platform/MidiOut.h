// A MIDI output device as the rest of the program sees it: short messages,
// a reset that silences every channel, and closing. A short message is packed
// into one number: status + data1 * 256 + data2 * 65536.
//
// Sending never reports failure (nothing could be done about it); a message to
// a closed device has no effect.
#pragma once

#include "platform/Clock.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vako {

// Data bytes a channel message of this status byte carries: program change
// and channel pressure one, the others two.
inline size_t channelMessageDataBytes(uint8_t status) {
    const uint8_t kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
}

class MidiOut {
public:
    virtual ~MidiOut() = default;
    virtual void send(uint32_t message) = 0;
    // Silences every channel: all notes off, sustain released.
    virtual void reset() = 0;
    virtual void close() = 0;
    // What the user is told the device is called.
    virtual std::string name() const = 0;
};

// The silent device: accepts everything, sounds nothing.
class NullMidiOut final : public MidiOut {
public:
    void send(uint32_t) override {}
    void reset() override {}
    void close() override {}
    std::string name() const override { return "null"; }
};

// Keeps everything it is told, with the time of the clock at that moment.
class RecordingMidiOut final : public MidiOut {
public:
    enum class Kind : uint8_t { Message, Reset, Close };
    struct Entry {
        double timeMs = 0;
        Kind kind = Kind::Message;
        uint32_t message = 0; // Kind::Message only

        friend bool operator==(const Entry&, const Entry&) = default;
    };

    explicit RecordingMidiOut(const Clock& clock) : m_clock(clock) {}

    void send(uint32_t message) override {
        if (!m_closed) m_entries.push_back({m_clock.nowMs(), Kind::Message, message});
    }
    void reset() override {
        if (!m_closed) m_entries.push_back({m_clock.nowMs(), Kind::Reset, 0});
    }
    void close() override {
        if (!m_closed) m_entries.push_back({m_clock.nowMs(), Kind::Close, 0});
        m_closed = true;
    }
    std::string name() const override { return "recording"; }

    const std::vector<Entry>& entries() const { return m_entries; }
    // The packed short messages alone, in order.
    std::vector<uint32_t> messages() const {
        std::vector<uint32_t> out;
        for (const Entry& e : m_entries)
            if (e.kind == Kind::Message) out.push_back(e.message);
        return out;
    }
    void clear() { m_entries.clear(); }
    // Room for a long recording, so that keeping a message never allocates.
    void reserve(size_t count) { m_entries.reserve(count); }

private:
    const Clock& m_clock;
    std::vector<Entry> m_entries;
    bool m_closed = false;
};

} // namespace vako
