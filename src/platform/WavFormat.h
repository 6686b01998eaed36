// The WAV files the renderer writes: 16-bit PCM, two channels.
#pragma once

#include <cstdint>

namespace vako {

constexpr int kWavChannels = 2;
constexpr int kWavBytesPerSample = 2;
constexpr uint32_t kWavHeaderBytes = 44;
// The RIFF size fields are 32 bits: the data may take no more than this.
constexpr uint64_t kMaxWavDataBytes = 0xFFFFFFFFu - 36;

// The longest sound such a file holds at `sampleRate`.
constexpr double wavFileMaxSeconds(int sampleRate) {
    return double(kMaxWavDataBytes / (kWavChannels * kWavBytesPerSample)) / sampleRate;
}

} // namespace vako
