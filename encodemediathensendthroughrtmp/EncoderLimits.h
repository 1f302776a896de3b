// What the encoder object can encode at all: the sound formats the HE-AAC
// wrapper opens with, the picture sizes SetVideoFormat takes and the most
// B-frames x264 plans. The encoder refuses anything else; the publish
// manager checks its parameters against the same rules so that a host's
// value can never leave a run connected with a codec that will not open.
#pragma once
#include <cstdint>

inline constexpr bool IsEncodableSampleRate(int rate) {
  return rate == 24000 || rate == 32000 || rate == 44100 || rate == 48000;
}
inline constexpr bool IsEncodableChannelCount(int channels) { return channels == 1 || channels == 2; }
inline constexpr int kEncodableBitsPerSample = 16;

// x264's own ceiling (X264_BFRAME_MAX); it quietly plans no more.
inline constexpr int kMaxEncodableBframes = 16;

// One RGB24 picture handed to SendRawVideo stays below this many bytes.
inline constexpr unsigned kMaxEncodablePictureBytes = 24883200;  // 4096 x 2025 x 3

// The I420 conversion works on 2 x 2 blocks, so both sides must be even.
inline constexpr bool IsEncodablePictureSize(int width, int height) {
  return width > 0 && height > 0 && (width & 1) == 0 && (height & 1) == 0 &&
         static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 3 < kMaxEncodablePictureBytes;
}
