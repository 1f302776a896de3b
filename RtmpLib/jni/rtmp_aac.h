// The AAC sequence header body the client sends once per connection: AF 00
// and an AudioSpecificConfig announcing AAC-LC at half the sample rate with
// explicit, backward-compatible SBR (HE-AAC), as the encoder produces it.
#pragma once
#include <cstdint>

namespace rtmp {

constexpr int kAacSequenceHeaderSize = 7;

// False for a sample rate without a defined header (only 22050, 24000,
// 32000, 44100 and 48000 Hz have one). Channels other than 1 count as 2.
bool BuildAacSequenceHeader(int sampleRate, int channels, uint8_t out[kAacSequenceHeaderSize]);

}  // namespace rtmp
