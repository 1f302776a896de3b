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

}  // namespace publish_test
