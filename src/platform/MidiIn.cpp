#include "platform/MidiIn.h"

#include "platform/MidiOut.h"

#include <string_view>

namespace vako {

size_t MidiIn::take(std::vector<MidiInMessage>& out) {
    size_t count = 0;
    MidiInMessage m;
    while (m_queue.pop(m)) {
        out.push_back(m);
        ++count;
    }
    return count;
}

MidiInState MidiIn::state() {
    if (m_closed.load(std::memory_order_relaxed)) return MidiInState::Closed;
    if (lostAtMs() != std::numeric_limits<double>::infinity()) return MidiInState::Lost;
    return MidiInState::Open;
}

void MidiIn::markLost() {
    double notLost = std::numeric_limits<double>::infinity();
    m_lostAtMs.compare_exchange_strong(notLost, m_clock.nowMs(), std::memory_order_acq_rel);
}

void MidiIn::arrived(const unsigned char* bytes, size_t size) {
    if (size == 0 || size > 3) return;
    // A message cut short is no message: its missing data bytes are not zero.
    if (bytes[0] >= 0x80 && bytes[0] < 0xF0 && size < 1 + channelMessageDataBytes(bytes[0])) return;
    uint32_t message = 0;
    for (size_t i = 0; i < size; ++i) message |= uint32_t{bytes[i]} << (8 * i);
    arrivedPacked(message, m_clock.nowMs());
}

void MidiIn::arrivedPacked(uint32_t message, double timeMs) {
    const uint32_t status = message & 0xFF;
    if (status < 0x80 || status >= 0xF0) return;
    // A data byte of 0x80 or above is a broken message (or a flood of noise):
    // dropped whole. Masked, it would turn into some other key or a note-on
    // whose note-off never comes.
    const size_t dataBytes = channelMessageDataBytes(static_cast<uint8_t>(status));
    const uint32_t data = (message >> 8) & (dataBytes == 1 ? 0xFFu : 0xFFFFu);
    if ((data & 0x8080u) != 0) return;
    if (m_closed.load(std::memory_order_relaxed)) return;
    if (!m_queue.push({timeMs, status | (data << 8)})) {
        m_dropped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    if (m_wakeUp) m_wakeUp();
}

MidiInChoice parseMidiInChoice(const char* value, bool* recognised) {
    if (recognised) *recognised = true;
    const std::string_view text = value ? value : "";
    if (text.empty() || text == "none") return {};
    constexpr std::string_view kPort = "port:";
    if (text.substr(0, kPort.size()) == kPort && text.size() > kPort.size())
        return {false, std::string(text.substr(kPort.size()))};
    if (recognised) *recognised = false;
    return {};
}

std::unique_ptr<MidiIn> openMidiIn(MidiInBackend& backend, const MidiInChoice& choice,
                                   std::string& error) {
    error.clear();
    if (choice.none) return nullptr;
    for (const std::string& name : backend.portNames())
        if (name.find(choice.portName) != std::string::npos) return backend.open(name, error);
    error = "no MIDI input port has \"" + choice.portName + "\" in its name";
    return nullptr;
}

} // namespace vako
