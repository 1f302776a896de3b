#include "capture/PeakMeter.h"

namespace {
float Update(int16_t* held, int16_t decay, const short* pcm, int byteCount, int channel) {
  if (!pcm) return 0.0f;
  const int frames = byteCount >> 2;
  int16_t peak = 0;
  for (int i = 0; i < frames; ++i) {
    const int16_t s = pcm[2 * i + channel];
    // -32768 has no positive counterpart in 16 bits and never raises the peak.
    const int16_t magnitude = s < 0 ? static_cast<int16_t>(-s) : s;
    if (magnitude > peak) peak = magnitude;
  }
  if (peak >= *held) {
    *held = peak;
  } else {
    const int16_t fallen = static_cast<int16_t>(*held - decay);
    *held = fallen < 0 ? 0 : fallen;
  }
  return static_cast<float>(*held) / 32767.0f;
}
}  // namespace

float PeakMeter::Left(const short* pcm, int byteCount) { return Update(&peakLeft, decay, pcm, byteCount, 0); }
float PeakMeter::Right(const short* pcm, int byteCount) { return Update(&peakRight, decay, pcm, byteCount, 1); }
