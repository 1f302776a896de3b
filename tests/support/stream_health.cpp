#include "tests/support/stream_health.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <vector>

#include "tests/support/media_tools.h"

namespace test_support {

namespace {

bool Overlaps(const LeftOut& leftOut, long long from, long long to) {
  for (const auto& [begin, end] : leftOut)
    if (from < end && to > begin) return true;
  return false;
}

// The longest part of [from, to] outside every left-out stretch: a hole that
// starts in the second after a fault still counts for what lies beyond it.
long long LongestOutside(const LeftOut& leftOut, long long from, long long to) {
  LeftOut covering;
  for (const auto& [begin, end] : leftOut)
    if (from < end && to > begin) covering.emplace_back(std::max(begin, from), std::min(end, to));
  std::sort(covering.begin(), covering.end());
  long long longest = 0, at = from;
  for (const auto& [begin, end] : covering) {
    longest = std::max(longest, begin - at);
    at = std::max(at, end);
  }
  return std::max(longest, to - at);
}

}  // namespace

bool MeasureStreamHealth(const std::string& recording, long long t0Ms, StreamHealth* health, std::string* error,
                         const LeftOut& leftOut) {
  *health = StreamHealth{};
  std::vector<ProbedPacket> packets;
  if (!ProbePackets(recording, &packets, error)) return false;
  long long begin = -1, end = -1;
  for (const ProbedPacket& p : packets) {
    if (p.ptsMs < 0) continue;
    begin = begin < 0 ? p.ptsMs : std::min(begin, p.ptsMs);
    end = std::max(end, p.ptsMs);
  }
  if (begin < 0) {
    if (error) *error = "the recording holds no stamped packet";
    return false;
  }
  const long long from = begin + t0Ms;

  std::vector<long long> pictures, sound;
  for (const ProbedPacket& p : packets) {
    if (p.ptsMs < 0) continue;
    long long& last = p.codecType == "video" ? health->lastPictureMs : health->lastSoundMs;
    last = std::max(last, p.ptsMs - begin);
    if (p.codecType == "video" && p.ptsMs >= from) pictures.push_back(p.ptsMs);
    if (p.codecType == "audio") sound.push_back(p.ptsMs);
  }
  health->pictures = static_cast<int>(pictures.size());
  if (pictures.size() >= 2) {
    const auto [first, last] = std::minmax_element(pictures.begin(), pictures.end());
    if (*last > *first) health->picturesPerSecond = (pictures.size() - 1) * 1000.0 / static_cast<double>(*last - *first);
  }
  std::sort(pictures.begin(), pictures.end());
  health->fewestPicturesInASecond = -1;
  for (long long second = from; second + 1000 <= end - 500; second += 200) {
    if (Overlaps(leftOut, second - begin, second - begin + 1000)) continue;
    const auto count = std::lower_bound(pictures.begin(), pictures.end(), second + 1000) -
                       std::lower_bound(pictures.begin(), pictures.end(), second);
    if (health->fewestPicturesInASecond < 0 || count < health->fewestPicturesInASecond) {
      health->fewestPicturesInASecond = static_cast<int>(count);
      health->fewestPicturesAtMs = second - begin;
    }
  }

  std::sort(sound.begin(), sound.end());
  std::vector<long long> steps;
  for (size_t i = 1; i < sound.size(); ++i) steps.push_back(sound[i] - sound[i - 1]);
  if (steps.empty()) {
    health->largestSoundGapMs = std::max(0LL, end - from);
  } else {
    // A packet lasts as long as the usual step between two of them.
    std::vector<long long> sorted = steps;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const long long packetMs = sorted[sorted.size() / 2];
    std::vector<long long> edges{from};
    for (long long stamp : sound)
      if (stamp >= from) edges.push_back(stamp);
    long long largest = 0;
    for (size_t i = 1; i < edges.size(); ++i)
      largest = std::max(largest, LongestOutside(leftOut, edges[i - 1] - begin, edges[i] - begin) - packetMs);
    health->largestSoundGapMs = largest;
    health->soundEndsEarlyMs = std::max(0LL, end - (edges.back() + packetMs));
  }

  health->decodeErrorText = DecodeErrors(recording);
  std::istringstream lines(health->decodeErrorText);
  for (std::string line; std::getline(lines, line);) health->decodeErrors += line.empty() ? 0 : 1;
  return true;
}

std::string DescribeStreamHealth(const StreamHealth& health) {
  char text[300];
  std::snprintf(text, sizeof text,
                "%d pictures at %.2f fps (fewest in a second %d, from %lld ms), largest sound gap %lld ms, sound "
                "ends %lld ms early, %d decode errors",
                health.pictures, health.picturesPerSecond, health.fewestPicturesInASecond, health.fewestPicturesAtMs,
                health.largestSoundGapMs, health.soundEndsEarlyMs, health.decodeErrors);
  return std::string(text) + (health.decodeErrorText.empty() ? "" : ":\n" + health.decodeErrorText.substr(0, 600));
}

// The sound encoder's delay at the end of a run, with room for the last
// sound block that was still on its way.
constexpr long long kSoundEncoderTailMs = 300;

std::string StreamHealthProblems(const StreamHealth& health, int fps, long long maxSoundGapMs, bool everySecond) {
  std::string problems;
  if (health.pictures < 2 || std::abs(health.picturesPerSecond - fps) > fps * 0.05)
    problems += "picture rate not " + std::to_string(fps) + " within 5%; ";
  if (everySecond && health.fewestPicturesInASecond < fps * 0.95 - 1e-9)
    problems += "a second with fewer than 95% of " + std::to_string(fps) + " pictures; ";
  if (health.largestSoundGapMs > maxSoundGapMs) problems += "sound hole over " + std::to_string(maxSoundGapMs) + " ms; ";
  if (health.soundEndsEarlyMs > kSoundEncoderTailMs) problems += "sound ends early; ";
  if (health.decodeErrors > 0) problems += "decode errors; ";
  return problems.empty() ? problems : problems + DescribeStreamHealth(health);
}

}  // namespace test_support
