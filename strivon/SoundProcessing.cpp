#include "strivon/SoundProcessing.h"

#include <cstdlib>

void ApplyVolume(int16_t* samples, size_t count, int volume, bool mute) {
  if (volume <= 0 || mute) {
    for (size_t i = 0; i < count; ++i) samples[i] = 0;
    return;
  }
  if (volume >= 100) return;
  for (size_t i = 0; i < count; ++i) samples[i] = static_cast<int16_t>(samples[i] * volume / 100);
}

int PeakSample(const int16_t* samples, size_t count) {
  int peak = 0;
  for (size_t i = 0; i < count; ++i) {
    if (samples[i] > peak) peak = samples[i];
  }
  return peak;
}

void Limiter::Mix(int16_t* dst, size_t dstCount, const int16_t* src, size_t srcCount) {
  if (!dst || !src || dstCount == 0 || srcCount == 0) return;
  const size_t count = srcCount < dstCount ? srcCount : dstCount;
  float g = m_gain;
  for (size_t i = 0; i < count; ++i) {
    float x = (static_cast<float>(dst[i]) + static_cast<float>(src[i])) / 32768.0f * g;
    if (x > 1.0f) {
      g = 1.0f / x;
      x = 1.0f;
    } else if (x < -1.0f) {
      g = -1.0f / x;
      x = -1.0f;
    }
    if (g < 1.0f) g += (1.0f - g) * 0.03125f;
    dst[i] = static_cast<int16_t>(x * 32767.0f);
  }
  m_gain = g;
}

SilenceDetector::Change SilenceDetector::Check(const int16_t* samples, size_t bytes, int bytesPerSecond) {
  const size_t count = bytes / 2;
  bool sound = false;
  for (size_t i = 0; i < count && !sound; ++i) sound = std::abs(static_cast<int>(samples[i])) > kSoundThreshold;
  if (m_muted) {
    if (!sound) return Change::kNone;
    m_muted = false;
    m_silentBytes = 0;
    return Change::kSoundReturned;
  }
  if (sound) {
    m_silentBytes = 0;
    return Change::kNone;
  }
  m_silentBytes += bytes;
  if (bytesPerSecond > 0 && m_silentBytes > 5ull * static_cast<uint64_t>(bytesPerSecond)) {
    m_muted = true;
    return Change::kBecameSilent;
  }
  return Change::kNone;
}

size_t DownmixStereoToMono(const int16_t* stereo, size_t count, int16_t* mono) {
  const size_t frames = count / 2;
  for (size_t i = 0; i < frames; ++i)
    mono[i] = static_cast<int16_t>((static_cast<int>(stereo[2 * i]) + stereo[2 * i + 1]) / 2);
  return frames;
}
