// Where offline rendering hands its output: the time cut into audio blocks,
// each with the messages that fall in it at their sample offsets. The built-in
// synthesizer turns them into samples; tests record them.
#pragma once

#include <cstdint>
#include <vector>

namespace vako {

struct TimedMessage {
    uint32_t message = 0; // packed short message; unused for a reset
    int64_t offset = 0;   // samples from the start of its block, at most the block's length
    bool reset = false;   // every channel back to rest (MidiOut::reset)

    bool operator==(const TimedMessage&) const = default;
};

class AudioBlockSink {
public:
    virtual ~AudioBlockSink() = default;
    // The next `frames` samples, with the messages to apply within them in
    // order: the samples before a message's offset sound without it.
    virtual void block(const std::vector<TimedMessage>& messages, int64_t frames) = 0;
    // False once the sink takes no more (its file failed or is full).
    virtual bool wantsMore() const { return true; }
};

} // namespace vako
