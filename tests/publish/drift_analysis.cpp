#include "tests/publish/drift_analysis.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <sstream>

#include "tests/support/media_tools.h"
#include "tests/support/temp_dir.h"

namespace publish_test {
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

double ValueAfter(const std::string& line, const std::string& key) {
  const size_t at = line.find(key);
  return at == std::string::npos ? NAN : std::atof(line.c_str() + at + key.size());
}

}  // namespace

bool PictureLumas(const std::string& media, std::vector<PictureLuma>* pictures, std::string* error) {
  const test_support::CommandResult result =
      test_support::RunFfmpeg({"-v", "info", "-i", media, "-an", "-fps_mode", "passthrough", "-vf",
                               "scale=32:24,format=gray,showinfo", "-f", "null", "-"});
  if (result.exitCode != 0) {
    *error = "ffmpeg could not decode the pictures: " + result.err.substr(0, 2000);
    return false;
  }
  pictures->clear();
  std::istringstream lines(result.err);
  for (std::string line; std::getline(lines, line);) {
    if (line.find("Parsed_showinfo") == std::string::npos || line.find(" n:") == std::string::npos) continue;
    const double pts = ValueAfter(line, "pts_time:");
    const double luma = ValueAfter(line, "mean:[");
    if (!std::isnan(pts) && !std::isnan(luma)) pictures->push_back({pts * 1000.0, luma});
  }
  if (pictures->empty()) *error = "no picture in " + media;
  return !pictures->empty();
}

std::vector<double> FlashOnsetsMs(const std::vector<PictureLuma>& pictures) {
  std::vector<double> onsets;
  for (size_t n = 1; n < pictures.size(); ++n)
    if (pictures[n].luma > 128 && pictures[n - 1].luma <= 128)
      onsets.push_back((pictures[n - 1].ptsMs + pictures[n].ptsMs) / 2);
  return onsets;
}

bool MonoSound(const std::string& media, const std::string& folder, int rate, std::vector<int16_t>* pcm,
               double* firstMs, std::string* error) {
  std::vector<test_support::ProbedPacket> packets;
  if (!test_support::ProbePackets(media, &packets, error)) return false;
  *firstMs = -1;
  for (const auto& p : packets) {
    if (p.codecType == "audio" && p.ptsMs >= 0) {
      *firstMs = static_cast<double>(p.ptsMs);
      break;
    }
  }
  const std::string out = folder + "/sound.raw";
  const test_support::CommandResult result = test_support::RunFfmpeg(
      {"-v", "error", "-i", media, "-vn", "-ac", "1", "-ar", std::to_string(rate), "-f", "s16le", out});
  const std::string bytes = test_support::ReadFileBytes(out);
  if (result.exitCode != 0 || bytes.empty() || *firstMs < 0) {
    *error = "no sound decoded from " + media + ": " + result.err.substr(0, 2000);
    return false;
  }
  pcm->resize(bytes.size() / 2);
  std::memcpy(pcm->data(), bytes.data(), pcm->size() * 2);
  return true;
}

std::vector<double> BeepOnsetsMs(const std::vector<int16_t>& pcm, int rate, double hz) {
  // The level of hz in short Hann windows, every few samples.
  constexpr size_t kWindow = 128;
  constexpr size_t kHop = 8;
  std::vector<double> level;
  const double w = 2 * M_PI * hz / rate;
  for (size_t start = 0; start + kWindow <= pcm.size(); start += kHop) {
    std::complex<double> sum = 0;
    for (size_t i = 0; i < kWindow; ++i) {
      const double hann = 0.5 - 0.5 * std::cos(2 * M_PI * (i + 0.5) / kWindow);
      sum += hann * pcm[start + i] * std::polar(1.0, -w * static_cast<double>(i));
    }
    level.push_back(std::abs(sum));
  }
  std::vector<double> onsets;
  if (level.empty()) return onsets;
  const double loudest = *std::max_element(level.begin(), level.end());
  const size_t refractory = static_cast<size_t>(rate / 2 / kHop);
  const size_t peakSpan = static_cast<size_t>(rate / 25 / kHop);  // 40 ms
  for (size_t n = 0; n < level.size(); ++n) {
    if (level[n] < loudest / 4) continue;
    // This burst's own peak, then the first window that reached half of it.
    const size_t from = n > peakSpan ? n - peakSpan : 0;
    const size_t to = std::min(level.size(), n + peakSpan);
    const double peak = *std::max_element(level.begin() + static_cast<long>(n), level.begin() + static_cast<long>(to));
    size_t first = n;
    while (first > from && level[first - 1] >= peak / 2) --first;
    while (level[first] < peak / 2) ++first;
    onsets.push_back((static_cast<double>(first * kHop) + kWindow / 2.0) * 1000.0 / rate);
    n += refractory;
  }
  return onsets;
}

double LoudestStrayDb(const std::vector<int16_t>& pcm, int rate, double fromMs,
                      const std::vector<std::pair<double, double>>& avoid, double* worstAtMs, double* worstHz) {
  constexpr size_t kWindow = 2048;
  constexpr int kGuardBins = 6;  // the 4-term Blackman-Harris main lobe, and a little
  double worst = -300;
  *worstAtMs = -1;
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
        *worstAtMs = beginMs;
        *worstHz = static_cast<double>(k) * rate / kWindow;
      }
    }
  }
  return worst;
}

}  // namespace publish_test
