#include "tests/support/tone_purity.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace test_support {
namespace {

// In place, size a power of two.
void Fft(std::vector<std::complex<double>>* data) {
  std::vector<std::complex<double>>& a = *data;
  const size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    const std::complex<double> step = std::polar(1.0, -2 * M_PI / static_cast<double>(len));
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> w = 1;
      for (size_t k = 0; k < len / 2; ++k, w *= step) {
        const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * w;
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
      }
    }
  }
}

}  // namespace

double LoudestStrayDb(const std::vector<int16_t>& pcm, int rate, double fromMs,
                      const std::vector<std::pair<double, double>>& avoid, double* worstAtMs, double* worstHz) {
  constexpr size_t kWindow = 2048;
  constexpr int kGuardBins = 6;  // the 4-term Blackman-Harris main lobe, and a little
  double worst = -300;
  std::vector<std::complex<double>> bins(kWindow);
  for (size_t start = static_cast<size_t>(fromMs * rate / 1000); start + kWindow <= pcm.size(); start += kWindow) {
    const double beginMs = start * 1000.0 / rate, endMs = (start + kWindow) * 1000.0 / rate;
    bool clear = true;
    for (const auto& span : avoid) clear = clear && (endMs <= span.first || beginMs >= span.second);
    if (!clear) continue;
    for (size_t i = 0; i < kWindow; ++i) {
      const double x = 2 * M_PI * (i + 0.5) / kWindow;
      const double bh = 0.35875 - 0.48829 * std::cos(x) + 0.14128 * std::cos(2 * x) - 0.01168 * std::cos(3 * x);
      bins[i] = bh * pcm[start + i];
    }
    Fft(&bins);
    std::vector<double> power(kWindow / 2);
    for (size_t k = 0; k < power.size(); ++k) power[k] = std::norm(bins[k]);
    const size_t tone = static_cast<size_t>(std::max_element(power.begin() + 1, power.end()) - power.begin());
    if (power[tone] <= 0) continue;
    for (size_t k = kGuardBins; k < power.size(); ++k) {
      const double harmonic = std::round(static_cast<double>(k) / tone);
      // The tone's bin is off its true frequency by up to half a bin, its
      // harmonics' by as many halves.
      if (harmonic >= 1 && std::abs(static_cast<double>(k) - harmonic * tone) <= kGuardBins + harmonic / 2) continue;
      const double db = 10 * std::log10(std::max(power[k], 1e-30) / power[tone]);
      if (db > worst) {
        worst = db;
        if (worstAtMs) *worstAtMs = beginMs;
        if (worstHz) *worstHz = static_cast<double>(k) * rate / kWindow;
      }
    }
  }
  return worst;
}

}  // namespace test_support
