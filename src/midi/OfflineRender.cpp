#include "midi/OfflineRender.h"

#include "midi/Playback.h"
#include "platform/Clock.h"
#include "platform/MidiOut.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vako {

namespace {

// A device that gathers the engine's messages into audio blocks: each message
// at the sample the clock shows, a block handed on once time has passed its end.
class BlockingMidiOut final : public MidiOut {
public:
    BlockingMidiOut(const Clock& clock, AudioBlockSink& sink, int sampleRate, int64_t blockFrames)
        : m_clock(clock), m_sink(sink), m_sampleRate(sampleRate), m_blockFrames(blockFrames) {}

    void send(uint32_t message) override { add({message, 0, false}); }
    void reset() override { add({0, 0, true}); }
    void close() override {}
    std::string name() const override { return "render"; }

    int64_t frameAt(double ms) const {
        return static_cast<int64_t>(std::llround(ms * m_sampleRate / 1000.0));
    }

    // Hands on everything up to `frame`; the last block may be short.
    void finish(int64_t frame) {
        passBlocksBefore(frame);
        if ((frame > m_blockStart || !m_pending.empty()) && m_sink.wantsMore()) {
            m_sink.block(m_pending, frame - m_blockStart);
            m_pending.clear();
            m_blockStart = frame;
        }
    }
    int64_t frames() const { return m_blockStart; }

private:
    void add(TimedMessage message) {
        const int64_t frame = frameAt(m_clock.nowMs());
        passBlocksBefore(frame);
        message.offset = frame - m_blockStart;
        m_pending.push_back(message);
    }
    // Hands on every whole block that ends at or before `frame`.
    void passBlocksBefore(int64_t frame) {
        while (frame >= m_blockStart + m_blockFrames && m_sink.wantsMore()) {
            m_sink.block(m_pending, m_blockFrames);
            m_pending.clear();
            m_blockStart += m_blockFrames;
        }
    }

    const Clock& m_clock;
    AudioBlockSink& m_sink;
    int m_sampleRate;
    int64_t m_blockFrames;
    int64_t m_blockStart = 0;
    std::vector<TimedMessage> m_pending;
};

class RenderListener final : public PlaybackListener {
public:
    explicit RenderListener(int page) : m_page(page) {}
    void showMessage(const std::string& text) override { message = text; }
    int page() const override { return m_page; }
    void setPage(int page, bool) override { m_page = page; }

    std::string message;

private:
    int m_page;
};

// "1:02:03" for 3723 seconds.
std::string clockText(double seconds) {
    const auto whole = static_cast<int64_t>(std::ceil(seconds));
    char text[48];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(whole / 3600),
                  static_cast<long long>(whole / 60 % 60), static_cast<long long>(whole % 60));
    return text;
}

// How long a playback that has just started will play: one pass per step up
// to the step of its last event, each as long as the tempo then in effect.
// The engine keeps exact time the same way, so this is the length to within a
// pass.
double playSecondsAhead(const Playback& playback, const Song& song) {
    const PlaybackState& s = playback.state();
    const int64_t lastPos = playback.playList()[s.lastEvent].position;
    double ms = 0, msPerStep = s.msPerStep;
    int64_t pos = s.playPosition;
    // Tempo changes still to come, in the order playback applies them.
    for (int64_t j = s.changeCursor; j <= song.changeCount && j < int64_t(song.changes.size());
         ++j) {
        const ControlChange& cc = song.changes[j];
        if (cc.position > lastPos) break;
        if (cc.kind != kTempoChange || cc.position < pos) continue;
        ms += double(cc.position - pos) * msPerStep;
        pos = cc.position;
        msPerStep = 5000.0 / std::clamp<int64_t>(cc.value, kMinTempo, kMaxTempo);
    }
    ms += double(std::max<int64_t>(lastPos - pos + 1, 0)) * msPerStep;
    return ms / 1000.0;
}

} // namespace

OfflineRenderResult renderOffline(Song& song, const OfflineRenderOptions& options,
                                  AudioBlockSink& sink) {
    OfflineRenderResult result;
    FakeClock clock;
    BlockingMidiOut device(clock, sink, options.sampleRate,
                           std::max<int64_t>(options.blockFrames, 1));
    RenderListener listener(options.startPage);
    Playback playback(song, device, clock, listener);
    PlaybackOptions heard = options.playback;
    heard.loopFirstBar = heard.loopLastBar = 0; // a file has an end
    playback.setOptions(heard);
    playback.press();
    if (!playback.isPlaying()) {
        result.error = listener.message;
        return result;
    }
    const double seconds = playSecondsAhead(playback, song) + options.tailSeconds;
    if (seconds > options.maxSeconds) {
        playback.quit();
        result.error = "the song plays for " + clockText(seconds) + " (" +
                       std::to_string(static_cast<int64_t>(std::ceil(seconds))) +
                       " s); a WAV file holds at most " + clockText(options.maxSeconds) +
                       " of this sound";
        return result;
    }
    playUntilStopped(playback, clock, [&] { return sink.wantsMore(); });
    result.playSeconds = clock.nowMs() / 1000.0;
    device.finish(device.frameAt(clock.nowMs() + options.tailSeconds * 1000.0));
    result.frames = device.frames();
    result.ok = true;
    return result;
}

} // namespace vako
