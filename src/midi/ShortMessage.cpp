#include "midi/ShortMessage.h"

#include "midi/EventList.h"
#include "song/Song.h"

namespace vako {

std::optional<uint32_t> midiPMessage(int doremi, int Tr, int Vo, int shift) {
    if (Tr < 0 || Tr >= kPartCount) return std::nullopt;
    int key = 0;
    uint8_t status = 0;
    int velocity = 0;
    if (doremi >= 0 && doremi < kNoteOffBase) {
        key = doremi;
        status = kStatusNoteOn;
        velocity = Vo;
    } else if (doremi >= kNoteOffBase && doremi < 2 * kNoteOffBase) {
        key = doremi - kNoteOffBase;
        status = kStatusNoteOff;
    } else {
        return std::nullopt;
    }
    if (Tr != kPercussionPart) key -= shift;
    if (key < 0 || key > kMaxDataByte) return std::nullopt;
    return packShortMessage(static_cast<uint8_t>(status + Tr), key, velocity);
}

void midiP(MidiOut& out, int doremi, int Tr, int Vo, int shift) {
    if (const auto message = midiPMessage(doremi, Tr, Vo, shift)) out.send(*message);
}

} // namespace vako
