// Sound checks for the capture tests: the dominant frequency of interleaved
// 16-bit PCM (first channel), found by scanning Goertzel powers.
#pragma once
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace capture_test {

inline double GoertzelPower(const std::vector<double>& x, double hz, int rate) {
  const double w = 2.0 * M_PI * hz / rate, c = 2.0 * std::cos(w);
  double s1 = 0, s2 = 0;
  for (double v : x) {
    const double s0 = v + c * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  return s1 * s1 + s2 * s2 - c * s1 * s2;
}

// Scans 100 Hz .. 5 kHz in 10 Hz steps over at most one second of audio.
inline double DominantFrequency(const std::vector<uint8_t>& pcm, int rate, int channels) {
  std::vector<double> x;
  const size_t frames = pcm.size() / (2 * static_cast<size_t>(channels));
  for (size_t i = 0; i < frames && x.size() < static_cast<size_t>(rate); ++i) {
    int16_t s;
    std::memcpy(&s, &pcm[i * 2 * channels], 2);
    x.push_back(s);
  }
  double best = 0, bestHz = 0;
  for (double hz = 100; hz <= 5000; hz += 10) {
    const double p = GoertzelPower(x, hz, rate);
    if (p > best) {
      best = p;
      bestHz = hz;
    }
  }
  return bestHz;
}

// Root mean square of the first channel.
inline double Rms(const std::vector<uint8_t>& pcm, int channels) {
  const size_t frames = pcm.size() / (2 * static_cast<size_t>(channels));
  if (frames == 0) return 0;
  double sum = 0;
  for (size_t i = 0; i < frames; ++i) {
    int16_t s;
    std::memcpy(&s, &pcm[i * 2 * channels], 2);
    sum += static_cast<double>(s) * s;
  }
  return std::sqrt(sum / frames);
}

}  // namespace capture_test
