// The sample arithmetic of the manager's sound path: the publish volume, the
// limiter that mixes background sound into the microphone, the level the
// host sees, and the silence detector that drops the audio bit rate after
// five seconds of silence. Pure functions and small state holders; the
// manager calls them from the capture threads and the send thread.
#pragma once
#include <cstddef>
#include <cstdint>

// Every sample scaled by volume / 100 (truncated toward zero) when volume is
// below 100; silence when volume is 0 or mute is set.
void ApplyVolume(int16_t* samples, size_t count, int volume, bool mute);

// The largest sample value (negative samples do not count), 0 for none.
int PeakSample(const int16_t* samples, size_t count);
// 0..100 of full scale.
inline int PeakPercent(int peak) { return peak * 100 / 32767; }

// Adds src into dst through a soft limiter whose gain drops on clipping and
// recovers 1/32 of its distance to 1 per sample. The gain carries over from
// block to block. Samples of dst beyond srcCount are left alone.
class Limiter {
 public:
  void Mix(int16_t* dst, size_t dstCount, const int16_t* src, size_t srcCount);
  float gain() const { return m_gain; }

 private:
  float m_gain = 1.0f;
};

// Watches the outgoing sound; reports when five seconds of silence have
// passed and when sound returns.
class SilenceDetector {
 public:
  enum class Change { kNone, kBecameSilent, kSoundReturned };
  static constexpr int kSoundThreshold = 3275;

  Change Check(const int16_t* samples, size_t bytes, int bytesPerSecond);
  bool muted() const { return m_muted; }

 private:
  bool m_muted = false;
  uint64_t m_silentBytes = 0;
};

// Interleaved stereo to mono by averaging the two channels; returns the
// sample count written (count / 2). mono may be stereo itself (in place).
size_t DownmixStereoToMono(const int16_t* stereo, size_t count, int16_t* mono);
