#include "bench/frame_latency.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

extern char** environ;

namespace {

// Stamps (in ms) of the decoded pictures in output order, from the showinfo
// lines ffmpeg printed.
std::vector<long long> ShowinfoStamps(const std::string& logPath) {
  std::vector<long long> stamps;
  std::ifstream log(logPath);
  std::string line;
  while (std::getline(log, line)) {
    if (line.find("Parsed_showinfo") == std::string::npos) continue;
    const size_t at = line.find(" pts:");
    if (at == std::string::npos || line.find(" n:") == std::string::npos) continue;
    stamps.push_back(std::atoll(line.c_str() + at + 5));
  }
  return stamps;
}

// Runs ffmpeg decoding flvPath to grey counter bands on its stdout; every
// band is handed to onBand in output order.
template <typename OnBand>
bool DecodeBands(const std::string& flvPath, const std::string& logPath, int width, OnBand onBand,
                 std::string* error) {
  const std::string crop = "crop=" + std::to_string(width) + ":" + std::to_string(ScreenCounter::kBandHeight) +
                           ":0:0,showinfo";
  std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-nostdin", "-loglevel", "info", "-i", flvPath,
                                   "-map", "0:v", "-fps_mode", "passthrough", "-vf", crop, "-f", "rawvideo",
                                   "-pix_fmt", "gray", "pipe:1"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  const int rc = ::posix_spawnp(&pid, "ffmpeg", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  if (rc != 0) {
    ::close(out[0]);
    *error = "ffmpeg could not be started";
    return false;
  }
  const size_t bandBytes = static_cast<size_t>(width) * ScreenCounter::kBandHeight;
  std::vector<uint8_t> band(bandBytes);
  size_t filled = 0;
  for (;;) {
    const ssize_t got = ::read(out[0], band.data() + filled, bandBytes - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    filled += static_cast<size_t>(got);
    if (filled == bandBytes) {
      onBand(band.data());
      filled = 0;
    }
  }
  ::close(out[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    *error = "ffmpeg could not decode " + flvPath + " (see " + logPath + ")";
    return false;
  }
  return true;
}

}  // namespace

double Quantile(std::vector<double> values, double q) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t rank = static_cast<size_t>(std::ceil(q * values.size()));
  return values[std::min(values.size() - 1, rank == 0 ? 0 : rank - 1)];
}

bool MeasureLatency(const std::string& flvPath, int width, const std::vector<TappedPicture>& pictures,
                    const ScreenCounter& counter, const std::string& csvPath, LatencyFigures* figures,
                    std::string* error) {
  *figures = LatencyFigures{};
  const std::string logPath = flvPath + ".decode.log";
  std::vector<uint32_t> values;  // counter per decoded picture; UINT32_MAX when unreadable
  const bool decoded = DecodeBands(
      flvPath, logPath, width,
      [&](const uint8_t* band) {
        uint32_t value = 0;
        values.push_back(ReadScreenCounter(band, width, &value) ? value : UINT32_MAX);
      },
      error);
  if (!decoded) return false;
  const std::vector<long long> stamps = ShowinfoStamps(logPath);
  if (stamps.size() != values.size()) {
    *error = "decoded " + std::to_string(values.size()) + " pictures but ffmpeg reported " +
             std::to_string(stamps.size());
    return false;
  }
  figures->decoded = static_cast<int>(values.size());
  std::ofstream csv(csvPath);
  csv << "picture,publisher_stamp_ms,arrival_ms,counter,paint_ms,latency_ms\n";
  const int64_t originNs = pictures.empty() ? 0 : pictures.front().arrivalNs;
  uint32_t previous = UINT32_MAX;
  for (size_t n = 0; n < values.size(); ++n) {
    const long long index = (stamps[n] + RtmpTap::kFlvStepMs / 2) / RtmpTap::kFlvStepMs;
    const int64_t painted = values[n] == UINT32_MAX ? -1 : counter.PaintTimeNs(values[n]);
    if (painted < 0 || index < 0 || index >= static_cast<long long>(pictures.size())) {
      figures->unreadable += 1;
      continue;
    }
    if (values[n] == previous) figures->repeated += 1;
    previous = values[n];
    const TappedPicture& picture = pictures[static_cast<size_t>(index)];
    figures->latenciesMs.push_back((picture.arrivalNs - painted) / 1e6);
    csv << index << ',' << picture.timestamp << ',' << (picture.arrivalNs - originNs) / 1e6 << ',' << values[n] << ','
        << (painted - originNs) / 1e6 << ',' << figures->latenciesMs.back() << '\n';
  }
  figures->medianMs = Quantile(figures->latenciesMs, 0.5);
  figures->p95Ms = Quantile(figures->latenciesMs, 0.95);
  if (!figures->latenciesMs.empty())
    figures->maxMs = *std::max_element(figures->latenciesMs.begin(), figures->latenciesMs.end());
  return true;
}
