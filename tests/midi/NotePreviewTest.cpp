#include "midi/ShortMessage.h"

#include <gtest/gtest.h>

#include <tuple>

namespace vako {
namespace {

TEST(ShortMessage, PacksStatusAndDataBytesAndNeverLetsADataByteAbove127) {
    EXPECT_EQ(packShortMessage(0x90, 0x3C, 0x64), 0x643C90u);
    EXPECT_EQ(programChange(3, 40), 0x28C3u);
    EXPECT_EQ(pitchBendCentre(15), 0x4000EFu);
    EXPECT_EQ(controlChange(9, kControllerVolume, 6 * kVolumeUnit), 0x7807B9u);
    // Balance 128 is sent as 127; anything larger or negative is held in range.
    EXPECT_EQ(controlChange(0, kControllerBalance, 128), 0x7F0AB0u);
    EXPECT_EQ(controlChange(0, kControllerVolume, 140), 0x7F07B0u);
    EXPECT_EQ(packShortMessage(0xC0, 300), 0x7FC0u);
    EXPECT_EQ(packShortMessage(0xB0, -5, 1000), 0x7F00B0u);
}

TEST(NotePreview, NoteOnAndOffWithThePitchShiftOnEveryPartButPercussion) {
    // key (120 and up: the note's end), part, strength, shift, message (0: none).
    const std::tuple<int, int, int, int, uint32_t> cases[] = {
        {60, 0, 100, 0, 0x643C90u},
        {60, 0, 100, -2, 0x643E90u},
        {60, 5, 100, 12, 0x643095u},
        {180, 0, 99, 0, 0x3C80u},
        {180, 0, 99, -2, 0x3E80u},
        {36, 9, 120, 0, 0x782499u},
        {36, 9, 120, -12, 0x782499u},
        {156, 9, 120, 7, 0x2489u},
        {115, 0, 100, -12, 0x647F90u},
        {60, 0, 200, 0, 0x7F3C90u},
        // Nothing for no note, a key shifted out of range or a part that is no channel.
        {250, 0, 100, 0, 0},
        {240, 0, 100, 0, 0},
        {-1, 0, 100, 0, 0},
        {119, 0, 100, -12, 0}, // 131
        {239, 0, 100, -12, 0}, // its note-off
        {5, 0, 100, 6, 0},     // -1
        {60, 16, 100, 0, 0}};
    for (const auto& [key, part, strength, shift, message] : cases) {
        const auto sent = midiPMessage(key, part, strength, shift);
        EXPECT_EQ(sent.value_or(0), message) << key << " part " << part << " shift " << shift;
        EXPECT_EQ(sent.has_value(), message != 0);
    }
}

TEST(NotePreview, SendsThroughTheDevice) {
    FakeClock clock;
    RecordingMidiOut out(clock);
    midiP(out, 60, 0, 100, 0);
    midiP(out, 250, 0, 100, 0);
    midiP(out, 180, 0, 0, 0);
    EXPECT_EQ(out.messages(), (std::vector<uint32_t>{0x643C90, 0x3C80}));
}

} // namespace
} // namespace vako
