// MIDI short messages as the output device takes them, and `midiP`, the one
// operation that turns a stored note value into a note-on or note-off.
//
// Packing: status + data1 * 256 + data2 * 65536 (status in the low byte). Data
// bytes are limited to 0-127 here, so no value from a song can turn into a
// status byte or a different message on the device.
#pragma once

#include "platform/MidiOut.h"

#include <cstdint>
#include <optional>

namespace vako {

constexpr int kMaxDataByte = 127;

constexpr uint8_t kStatusNoteOff = 0x80;
constexpr uint8_t kStatusNoteOn = 0x90;
constexpr uint8_t kStatusControlChange = 0xB0;
constexpr uint8_t kStatusProgramChange = 0xC0;
constexpr uint8_t kStatusPitchBend = 0xE0;

constexpr uint8_t kControllerModulation = 1;
constexpr uint8_t kControllerVolume = 7;
constexpr uint8_t kControllerBalance = 10;

constexpr int kCentreBalance = 64;       // 0x40
constexpr int kPitchBendCentreHigh = 64; // pitch bend 00 40: the centre
constexpr int kVolumeUnit = 20;          // controller 7 value per volume step

constexpr uint8_t dataByte(int64_t value) {
    return static_cast<uint8_t>(value < 0 ? 0 : value > kMaxDataByte ? kMaxDataByte : value);
}

constexpr uint32_t packShortMessage(uint8_t status, int64_t data1 = 0, int64_t data2 = 0) {
    return uint32_t{status} + uint32_t{dataByte(data1)} * 256u + uint32_t{dataByte(data2)} * 65536u;
}

// Channel messages; `channel` is 0-15.
constexpr uint32_t controlChange(int channel, uint8_t controller, int64_t value) {
    return packShortMessage(static_cast<uint8_t>(kStatusControlChange + channel), controller,
                            value);
}
constexpr uint32_t programChange(int channel, int64_t program) {
    return packShortMessage(static_cast<uint8_t>(kStatusProgramChange + channel), program);
}
constexpr uint32_t pitchBendCentre(int channel) {
    return packShortMessage(static_cast<uint8_t>(kStatusPitchBend + channel), 0,
                            kPitchBendCentreHigh);
}

// The message `midiP` sends for stored note value `doremi` on part `Tr` with
// velocity `Vo`, the pitch shift `shift` (-12..12) applied to every part but
// the percussion part:
//   doremi < 120       note-on of doremi - shift
//   doremi 120..239    note-off of doremi - 120 - shift, velocity 0
//   anything else      nothing
// Nothing either for a part outside 0-15 or a shifted key outside 0-127 (such
// a note cannot be played; its note-off is dropped the same way).
std::optional<uint32_t> midiPMessage(int doremi, int Tr, int Vo, int shift);

// `midiP`: sends that message, if any.
void midiP(MidiOut& out, int doremi, int Tr, int Vo, int shift);

} // namespace vako
