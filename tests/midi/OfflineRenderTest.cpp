#include "midi/OfflineRender.h"
#include "midi/Playback.h"
#include "platform/Clock.h"
#include "platform/MidiOut.h"
#include "platform/WavFormat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace vako {
namespace {

Song songWith(const std::vector<Note>& notes, int tempo = 120) {
    Song song;
    song.notes.assign(1, Note{});
    song.notes.insert(song.notes.end(), notes.begin(), notes.end());
    song.twiceNoteCount = static_cast<int32_t>(2 * notes.size());
    song.changes = {ControlChange{}, ControlChange{0, tempo, kTempoChange},
                    ControlChange{kEndMarkerPos, 0, 0}};
    song.changeCount = 1;
    song.tempoText = std::to_string(tempo);
    return song;
}

// Writes down every block it is handed.
class RecordingBlockSink final : public AudioBlockSink {
public:
    struct Block {
        std::vector<TimedMessage> messages;
        int64_t frames = 0;
    };
    void block(const std::vector<TimedMessage>& messages, int64_t frames) override {
        blocks.push_back({messages, frames});
    }
    bool wantsMore() const override { return int64_t(blocks.size()) < blockLimit; }

    std::vector<Block> blocks;
    int64_t blockLimit = INT64_MAX;
};

// The same song played in real time on the recording device: each message at
// the sample its time falls on, counted from the start.
std::vector<std::pair<int64_t, TimedMessage>> playedOnRecordingDevice(Song song, int sampleRate) {
    FakeClock clock;
    RecordingMidiOut out(clock);
    PlaybackListener listener;
    Playback playback(song, out, clock, listener);
    playback.press();
    playUntilStopped(playback, clock, [] { return true; });
    std::vector<std::pair<int64_t, TimedMessage>> timeline;
    for (const RecordingMidiOut::Entry& e : out.entries()) {
        if (e.kind == RecordingMidiOut::Kind::Close) continue;
        const auto frame = static_cast<int64_t>(std::llround(e.timeMs * sampleRate / 1000.0));
        timeline.push_back({frame, {e.message, 0, e.kind == RecordingMidiOut::Kind::Reset}});
    }
    return timeline;
}

TEST(OfflineRender, EachMessageArrivesInItsBlockAtItsSampleOffset) {
    // Tempo 120: a step is 41.67 ms, 41.67 samples at 1000 samples a second.
    Song song =
        songWith({{4, 60, 6, 0, 100, 64, 0}, {10, 64, 3, 1, 90, 64, 0}, {30, 67, 2, 0, 80, 64, 0}});
    const auto expected = playedOnRecordingDevice(song, 1000);
    OfflineRenderOptions options;
    options.sampleRate = 1000;
    options.blockFrames = 100;
    options.tailSeconds = 0.5;
    RecordingBlockSink sink;
    const OfflineRenderResult r = renderOffline(song, options, sink);
    ASSERT_TRUE(r.ok) << r.error;

    // Whole blocks, then the rest up to the end of the tail.
    ASSERT_FALSE(sink.blocks.empty());
    int64_t start = 0;
    std::vector<std::pair<int64_t, TimedMessage>> got;
    for (size_t i = 0; i < sink.blocks.size(); ++i) {
        const auto& b = sink.blocks[i];
        if (i + 1 < sink.blocks.size()) {
            EXPECT_EQ(b.frames, 100) << "block " << i;
        }
        for (const TimedMessage& m : b.messages) {
            EXPECT_GE(m.offset, 0);
            EXPECT_LT(m.offset, b.frames) << "block " << i;
            got.push_back({start + m.offset, {m.message, 0, m.reset}});
        }
        start += b.frames;
    }
    EXPECT_EQ(got, expected);
    EXPECT_EQ(start, r.frames);
    EXPECT_EQ(r.frames, std::llround(r.playSeconds * 1000 + 500));

    // The first note's note-on sounds 250 ms in: sample 250, the third block.
    const TimedMessage noteOn{0x90 | (60 << 8) | (100 << 16), 50, false};
    const auto& third = sink.blocks.at(2).messages;
    EXPECT_NE(std::find(third.begin(), third.end(), noteOn), third.end());
}

TEST(OfflineRender, ASinkThatTakesNoMoreEndsTheRendering) {
    Song song = songWith({{4, 60, 6, 0, 100, 64, 0}, {2000, 64, 3, 1, 90, 64, 0}});
    OfflineRenderOptions options;
    options.sampleRate = 1000;
    options.blockFrames = 100;
    RecordingBlockSink sink;
    sink.blockLimit = 3;
    const OfflineRenderResult r = renderOffline(song, options, sink);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(sink.blocks.size(), 3u);
    EXPECT_LT(r.playSeconds, 1.0) << "the engine stops soon after the sink is full";
}

TEST(OfflineRender, ASongLongerThanTheLimitIsRefusedWithItsLengthBeforeAnyBlock) {
    RecordingBlockSink sink;
    // One note near the end of the longest song: about 518 days at tempo 120.
    Song longest = songWith({{kEndMarkerPos - 13, 60, 12, 0, 120, 64, 0}});
    OfflineRenderOptions wav;
    wav.maxSeconds = wavFileMaxSeconds(44100);
    OfflineRenderResult r = renderOffline(longest, wav, sink);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "the song plays for 12427:34:05 (44739245 s); a WAV file holds at most "
                       "6:45:48 of this sound");
    EXPECT_TRUE(sink.blocks.empty());

    // 100 steps at tempo 120 and a two-second tail: about 6.2 s.
    Song shortSong = songWith({{99, 60, 1, 0, 100, 64, 0}});
    OfflineRenderOptions limit;
    limit.sampleRate = 1000;
    limit.maxSeconds = 6;
    r = renderOffline(shortSong, limit, sink);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "the song plays for 0:00:07 (7 s); a WAV file holds at most 0:00:06 of "
                       "this sound");
    EXPECT_TRUE(sink.blocks.empty());
    limit.maxSeconds = 7;
    r = renderOffline(shortSong, limit, sink);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_FALSE(sink.blocks.empty());
}

TEST(OfflineRender, ATempoOutsideTheRangeRendersNothing) {
    Song song = songWith({{1, 60, 12, 0, 120, 64, 0}});
    song.tempoText = "700";
    RecordingBlockSink sink;
    const OfflineRenderResult r = renderOffline(song, {}, sink);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "速さは30から600で選んでください");
    EXPECT_TRUE(sink.blocks.empty());
}

} // namespace
} // namespace vako
