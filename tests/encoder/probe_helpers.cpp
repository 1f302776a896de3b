#include "tests/encoder/probe_helpers.h"

#include <cmath>
#include <cstring>

#include "tests/support/media_tools.h"
#include "tests/support/temp_dir.h"

std::vector<uint8_t> DecodePictureRgb(const std::string& media, const std::string& scratchDir, double atSeconds) {
  const std::string out = scratchDir + "/picture.rgb";
  test_support::RunFfmpeg({"-v", "error", "-ss", std::to_string(atSeconds), "-i", media, "-frames:v", "1", "-f",
                           "rawvideo", "-pix_fmt", "rgb24", out});
  const std::string bytes = test_support::ReadFileBytes(out);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

std::vector<int16_t> DecodeSoundMono(const std::string& media, const std::string& scratchDir, double atSeconds,
                                     int rate) {
  const std::string out = scratchDir + "/sound.s16";
  test_support::RunFfmpeg({"-v", "error", "-ss", std::to_string(atSeconds), "-i", media, "-t", "1", "-vn", "-ac",
                           "1", "-ar", std::to_string(rate), "-f", "s16le", out});
  const std::string bytes = test_support::ReadFileBytes(out);
  std::vector<int16_t> samples(bytes.size() / 2);
  if (!samples.empty()) std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  return samples;
}

double DominantFrequency(const std::vector<int16_t>& samples, int rate, double stepHz) {
  double best = 0;
  double bestPower = -1;
  for (double f = 100; f <= 5000; f += stepHz) {
    // Goertzel filter for one frequency.
    const double w = 2 * M_PI * f / rate;
    const double c = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (int16_t x : samples) {
      const double s0 = x + c * s1 - s2;
      s2 = s1;
      s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - c * s1 * s2;
    if (power > bestPower) {
      bestPower = power;
      best = f;
    }
  }
  return best;
}
