#include "tests/publish/sync_marks.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstring>
#include <map>
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

ScreenFlasher::~ScreenFlasher() { Stop(); }

bool ScreenFlasher::Start() {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return false;
  m_display = display;
  m_stop = false;  // a flasher started again after Stop, on a new server
  Paint(false);
  m_thread = std::thread([this] { Loop(); });
  return true;
}

void ScreenFlasher::Stop() {
  m_stop = true;
  if (m_thread.joinable()) m_thread.join();
  if (m_display) XCloseDisplay(static_cast<Display*>(m_display));
  m_display = nullptr;
}

std::vector<FlashDraw> ScreenFlasher::draws() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_draws;
}

bool ScreenFlasher::LeftOutOnPurpose(long long second) {
  // A quarter of the seconds, in no pattern a shift of a few seconds repeats.
  return (static_cast<uint64_t>(second) * 0x9E3779B97F4A7C15ull) >> 62 == 0;
}

void ScreenFlasher::Paint(bool white) {
  Display* display = static_cast<Display*>(m_display);
  const int screen = DefaultScreen(display);
  const Window root = RootWindow(display, screen);
  XSetWindowBackground(display, root, white ? WhitePixel(display, screen) : BlackPixel(display, screen));
  XClearWindow(display, root);
  // Returns once the server has drawn it.
  XSync(display, False);
}

void ScreenFlasher::Loop() {
  using namespace std::chrono;
  auto second = time_point_cast<seconds>(steady_clock::now()) + seconds(1);
  const auto msAfter = [&second] { return duration<double, std::milli>(steady_clock::now() - second).count(); };
  while (!m_stop) {
    std::this_thread::sleep_until(second);
    FlashDraw draw;
    draw.second = duration_cast<seconds>(second.time_since_epoch()).count();
    if (LeftOutOnPurpose(draw.second)) {
    } else if (steady_clock::now() - second < milliseconds(2)) {
      draw.whiteSentMs = msAfter();
      Paint(true);
      draw.whiteDoneMs = msAfter();
      std::this_thread::sleep_until(second + milliseconds(m_flashMs));
      draw.darkSentMs = msAfter();
      Paint(false);
      draw.darkDoneMs = msAfter();
      draw.drawn = true;
      ++m_flashes;
    } else {
      ++m_skipped;
    }
    {
      std::lock_guard<std::mutex> lock(m_lock);
      m_draws.push_back(draw);
    }
    second += seconds(1);
  }
}

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

std::vector<RecordedFlash> RecordedFlashes(const std::vector<PictureLuma>& pictures) {
  std::vector<RecordedFlash> flashes;
  for (size_t n = 1; n < pictures.size(); ++n) {
    if (!(pictures[n].luma > 128 && pictures[n - 1].luma <= 128)) continue;
    const double rise = (pictures[n - 1].ptsMs + pictures[n].ptsMs) / 2;
    size_t dark = n + 1;
    while (dark < pictures.size() && pictures[dark].luma > 128) ++dark;
    if (dark == pictures.size()) break;
    flashes.push_back({rise, (pictures[dark - 1].ptsMs + pictures[dark].ptsMs) / 2});
    n = dark;
  }
  return flashes;
}

bool MatchFlashesToDraws(const std::vector<RecordedFlash>& flashes, const std::vector<FlashDraw>& draws,
                         std::vector<int>* drawOf, std::string* error) {
  drawOf->assign(flashes.size(), -1);
  std::map<long long, int> drawn;
  for (size_t k = 0; k < draws.size(); ++k)
    if (draws[k].drawn) drawn[draws[k].second] = static_cast<int>(k);
  if (flashes.empty() || drawn.empty()) {
    *error = "no flash to match";
    return false;
  }
  // Each flash's whole second counted from the first one's.
  std::vector<long long> offset;
  for (const auto& f : flashes) offset.push_back(std::llround((f.riseMs - flashes[0].riseMs) / 1000.0));
  size_t best = 0, runnerUp = 0;
  long long bestFirst = 0;
  for (const auto& [first, index] : drawn) {
    size_t fits = 0;
    for (long long o : offset) fits += drawn.count(first + o);
    if (fits > best) {
      runnerUp = best;
      best = fits;
      bestFirst = first;
    } else if (fits > runnerUp) {
      runnerUp = fits;
    }
  }
  // A wrong shift still meets about three quarters of the drawn seconds.
  if (best * 10 < flashes.size() * 9 || best - runnerUp < std::max<size_t>(3, flashes.size() / 10)) {
    *error = "the recording's " + std::to_string(flashes.size()) + " flashes fit no one shift of the drawn seconds (" +
             std::to_string(best) + " at best, then " + std::to_string(runnerUp) + ")";
    return false;
  }
  for (size_t j = 0; j < flashes.size(); ++j) {
    const auto found = drawn.find(bestFirst + offset[j]);
    if (found != drawn.end()) (*drawOf)[j] = found->second;
  }
  return true;
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

bool MarkOffsets(const std::string& recording, const std::string& folder, int rate, double beepHz,
                 std::vector<MarkOffset>* offsets, std::string* error) {
  std::vector<PictureLuma> pictures;
  std::vector<int16_t> pcm;
  double soundStartMs = 0;
  if (!PictureLumas(recording, &pictures, error) || !MonoSound(recording, folder, rate, &pcm, &soundStartMs, error))
    return false;
  std::vector<double> beeps = BeepOnsetsMs(pcm, rate, beepHz);
  offsets->clear();
  for (const RecordedFlash& flash : RecordedFlashes(pictures)) {
    const double middle = (flash.riseMs + flash.fallMs) / 2;
    double best = 1e9;
    for (double beep : beeps)
      if (std::abs(middle - (beep + soundStartMs)) < std::abs(best)) best = middle - (beep + soundStartMs);
    if (std::abs(best) < 400) offsets->push_back({middle - best, best});
  }
  return true;
}

}  // namespace publish_test
