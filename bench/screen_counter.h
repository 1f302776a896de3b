// A full-screen X11 window that shows a counter, advanced and repainted
// every 10 ms, as a row of black/white blocks (with its inverse below, so a
// damaged read is noticed): large enough to survive compression and the
// colour conversion. Each value's paint time (steady clock, taken just
// before the paint request) is kept, so a picture that reached a server can
// be traced back to the moment its screen content came to exist. The
// rest of the screen holds a still picture with a moving block, some work
// for the encoder.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class ScreenCounter {
 public:
  static constexpr int kBits = 20;
  static constexpr int kBlockWidth = 64;
  static constexpr int kRowHeight = 80;
  // Pictures only need these top rows for ReadCounter.
  static constexpr int kBandHeight = 2 * kRowHeight;

  ScreenCounter() = default;
  ~ScreenCounter() { Stop(); }
  ScreenCounter(const ScreenCounter&) = delete;
  ScreenCounter& operator=(const ScreenCounter&) = delete;

  // Opens display, maps the window over the whole width x height screen and
  // starts painting. False when the display cannot be used.
  bool Start(const std::string& display, int width, int height);
  void Stop();
  // When value was painted, or -1 when it was not (yet).
  int64_t PaintTimeNs(uint32_t value) const;

 private:
  void Paint();

  std::string m_display;
  int m_width = 0;
  int m_height = 0;
  std::atomic<bool> m_stopping{false};
  std::thread m_thread;
  mutable std::mutex m_lock;
  std::vector<int64_t> m_paintNs;
};

// Reads the counter off the top rows of a grey picture (one byte per pixel,
// rows of stride bytes, at least kBits x kBlockWidth wide and kBandHeight
// high). False when a block is not clearly the opposite of its inverse.
bool ReadScreenCounter(const uint8_t* grey, int stride, uint32_t* value);
