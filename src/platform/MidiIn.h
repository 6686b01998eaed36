// A MIDI input device as the rest of the program sees it: short messages
// stamped with the time they arrived, packed as MidiOut packs them
// (status + data1 * 256 + data2 * 65536).
//
// Devices call back on a thread of their own. They only put the message into
// a bounded queue (never waiting, never allocating) and wake the consumer; the
// user-interface thread takes the messages out and does everything else, so
// nothing of the song is ever touched off that thread. A queue that overflows
// keeps what it has and counts what it had to drop.
//
// Nothing here throws: a port that cannot be opened gives nullptr and a
// reason, a port that goes away turns the device's state to Lost.
#pragma once

#include "platform/Clock.h"
#include "platform/SpscRing.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace vako {

struct MidiInMessage {
    double timeMs = 0;    // arrival, on the clock the device was given
    uint32_t message = 0; // packed short message; the status byte is 0x80-0xEF

    friend bool operator==(const MidiInMessage&, const MidiInMessage&) = default;
};

enum class MidiInState : uint8_t { Open, Lost, Closed };

// Called on the device's thread after a message was queued. It must return at
// once (post an event, set a flag); it is never called on the consumer's thread.
using MidiInWakeUp = std::function<void()>;

class MidiIn {
public:
    // Room for half a second of a keyboard played as fast as MIDI cables go.
    static constexpr size_t kQueueCapacity = 4096;

    virtual ~MidiIn() = default;

    // Consumer side: appends the messages that arrived since the last call,
    // oldest first, and returns how many. Never waits.
    size_t take(std::vector<MidiInMessage>& out);
    // Messages lost because the consumer fell behind by a whole queue.
    uint64_t dropped() const { return m_dropped.load(std::memory_order_relaxed); }

    // Open until the port goes away or close() is called. Devices that have to
    // look for their port do it here, so call it now and then (once a second),
    // not for every message.
    virtual MidiInState state();
    // When the port was found gone, on the device's clock; +infinity while it
    // was not. Keys held then were let go then, as far as anyone can know.
    double lostAtMs() const { return m_lostAtMs.load(std::memory_order_acquire); }
    // Stops the messages; those already queued can still be taken.
    virtual void close() = 0;
    // What the user is told the device is called.
    virtual std::string name() const = 0;

protected:
    MidiIn(const Clock& clock, MidiInWakeUp wakeUp) : m_clock(clock), m_wakeUp(std::move(wakeUp)) {}

    // Producer side, on the device's thread: queues one message of `size`
    // bytes stamped with the clock's time now. Anything but a whole channel
    // message (system exclusive, clock, active sensing, a stray data byte, a
    // message cut short or with a data byte of 0x80 and above) is ignored.
    void arrived(const unsigned char* bytes, size_t size);
    // As arrived(), for a message already packed and stamped; bytes the
    // message's status does not use are ignored.
    void arrivedPacked(uint32_t message, double timeMs);
    // The first call stamps the loss with the clock's time now.
    void markLost();
    void markClosed() { m_closed.store(true, std::memory_order_relaxed); }
    const Clock& clock() const { return m_clock; }

private:
    const Clock& m_clock;
    MidiInWakeUp m_wakeUp;
    SpscRing<MidiInMessage, kQueueCapacity> m_queue;
    std::atomic<uint64_t> m_dropped{0};
    std::atomic<double> m_lostAtMs{std::numeric_limits<double>::infinity()};
    std::atomic<bool> m_closed{false};
};

// The device tests play: whatever thread calls deliver() (one at a time) is
// the device's thread.
class ScriptedMidiIn final : public MidiIn {
public:
    explicit ScriptedMidiIn(const Clock& clock, MidiInWakeUp wakeUp = {},
                            std::string name = "scripted")
        : MidiIn(clock, std::move(wakeUp)), m_name(std::move(name)) {}

    // A message arriving now, or at a given time.
    void deliver(uint32_t message) { arrivedPacked(message, clock().nowMs()); }
    void deliverAt(uint32_t message, double timeMs) { arrivedPacked(message, timeMs); }
    // As a device sends it: 1 to 3 bytes.
    void deliverBytes(const std::vector<unsigned char>& bytes) {
        arrived(bytes.data(), bytes.size());
    }
    // The keyboard is unplugged.
    void loseDevice() { markLost(); }

    void close() override { markClosed(); }
    std::string name() const override { return m_name; }

private:
    std::string m_name;
};

// The input ports of one kind of system (RtMidi's ALSA and JACK, say).
class MidiInBackend {
public:
    virtual ~MidiInBackend() = default;
    // The ports present now; empty when there are none or the system's MIDI
    // service is not running.
    virtual std::vector<std::string> portNames() = 0;
    // Opens the port of exactly that name; nullptr with `error` set when it
    // cannot (gone, refused, no service).
    virtual std::unique_ptr<MidiIn> open(const std::string& portName, std::string& error) = 0;
};

// The input VAKO_MIDI_IN names: unset, empty or "none" for no input,
// "port:NAME" for the first port whose name contains NAME.
struct MidiInChoice {
    bool none = true;
    std::string portName; // part of the port's name, when !none

    friend bool operator==(const MidiInChoice&, const MidiInChoice&) = default;
};

// `recognised` is false for any other text (no input is chosen then).
MidiInChoice parseMidiInChoice(const char* value, bool* recognised = nullptr);

// Opens the first port of `backend` whose name contains the choice's name.
// nullptr with `error` set when no port matches or it will not open; nullptr
// with `error` empty when the choice is no input.
std::unique_ptr<MidiIn> openMidiIn(MidiInBackend& backend, const MidiInChoice& choice,
                                   std::string& error);

} // namespace vako
