#include "bench/screen_counter.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdlib>

namespace {

constexpr auto kPeriod = std::chrono::milliseconds(10);
constexpr int kMovingSide = 160;
constexpr int kMovingTop = 320;
constexpr int kMovingStep = 6;
// A mean this far from its inverse's counts as a clean block.
constexpr int kMinContrast = 96;

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int BlockMean(const uint8_t* grey, int stride, int left, int top) {
  // The middle half of the block, away from the edges compression smears.
  const int x0 = left + ScreenCounter::kBlockWidth / 4;
  const int y0 = top + ScreenCounter::kRowHeight / 4;
  const int w = ScreenCounter::kBlockWidth / 2;
  const int h = ScreenCounter::kRowHeight / 2;
  int sum = 0;
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) sum += grey[static_cast<size_t>(y) * stride + x];
  return sum / (w * h);
}

}  // namespace

bool ReadScreenCounter(const uint8_t* grey, int stride, uint32_t* value) {
  uint32_t result = 0;
  for (int bit = 0; bit < ScreenCounter::kBits; ++bit) {
    const int left = bit * ScreenCounter::kBlockWidth;
    const int upper = BlockMean(grey, stride, left, 0);
    const int lower = BlockMean(grey, stride, left, ScreenCounter::kRowHeight);
    if (std::abs(upper - lower) < kMinContrast) return false;
    if (upper > lower) result |= 1u << (ScreenCounter::kBits - 1 - bit);
  }
  *value = result;
  return true;
}

bool ScreenCounter::Start(const std::string& display, int width, int height) {
  if (width < kBits * kBlockWidth || height < kMovingTop + kMovingSide) return false;
  Display* probe = XOpenDisplay(display.c_str());
  if (!probe) return false;
  XCloseDisplay(probe);
  m_display = display;
  m_width = width;
  m_height = height;
  m_paintNs.assign(1u << kBits, -1);
  m_stopping = false;
  m_thread = std::thread(&ScreenCounter::Paint, this);
  return true;
}

void ScreenCounter::Stop() {
  m_stopping = true;
  if (m_thread.joinable()) m_thread.join();
}

int64_t ScreenCounter::PaintTimeNs(uint32_t value) const {
  std::lock_guard<std::mutex> lock(m_lock);
  return value < m_paintNs.size() ? m_paintNs[value] : -1;
}

void ScreenCounter::Paint() {
  Display* display = XOpenDisplay(m_display.c_str());
  if (!display) return;
  const int screen = DefaultScreen(display);
  const Window root = RootWindow(display, screen);
  const int depth = DefaultDepth(display, screen);
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  attributes.background_pixel = BlackPixel(display, screen);
  const Window window = XCreateWindow(display, root, 0, 0, m_width, m_height, 0, depth, InputOutput, CopyFromParent,
                                      CWOverrideRedirect | CWBackPixel, &attributes);
  XMapRaised(display, window);
  const Pixmap still = XCreatePixmap(display, window, m_width, m_height, depth);
  const Pixmap frame = XCreatePixmap(display, window, m_width, m_height, depth);
  const GC gc = XCreateGC(display, window, 0, nullptr);

  // A still "desktop" of coloured panels below the counter band.
  uint32_t seed = 12345;
  for (int n = 0; n < 400; ++n) {
    seed = seed * 1664525u + 1013904223u;
    XSetForeground(display, gc, seed & 0xffffff);
    seed = seed * 1664525u + 1013904223u;
    const int x = static_cast<int>(seed % m_width);
    seed = seed * 1664525u + 1013904223u;
    const int y = kBandHeight + static_cast<int>(seed % (m_height - kBandHeight));
    XFillRectangle(display, still, gc, x, y, 20 + (seed >> 8) % 200, 8 + (seed >> 16) % 60);
  }
  XCopyArea(display, still, frame, gc, 0, 0, m_width, m_height, 0, 0);

  const unsigned long white = WhitePixel(display, screen);
  const unsigned long black = BlackPixel(display, screen);
  auto next = std::chrono::steady_clock::now();
  int movingX = 0;
  for (uint32_t value = 0; !m_stopping && value < (1u << kBits); ++value) {
    for (int bit = 0; bit < kBits; ++bit) {
      const bool on = (value >> (kBits - 1 - bit)) & 1u;
      XSetForeground(display, gc, on ? white : black);
      XFillRectangle(display, frame, gc, bit * kBlockWidth, 0, kBlockWidth, kRowHeight);
      XSetForeground(display, gc, on ? black : white);
      XFillRectangle(display, frame, gc, bit * kBlockWidth, kRowHeight, kBlockWidth, kRowHeight);
    }
    XCopyArea(display, still, frame, gc, movingX, kMovingTop, kMovingSide, kMovingSide, movingX, kMovingTop);
    movingX = (movingX + kMovingStep) % (m_width - kMovingSide);
    XSetForeground(display, gc, 0x3080e0);
    XFillRectangle(display, frame, gc, movingX, kMovingTop, kMovingSide, kMovingSide);
    // One copy request: the server runs it whole, so no capture sees half
    // of one value and half of the next. The time is taken before the
    // request: no picture can show the value earlier, so a thread descheduled
    // after the paint can only make a latency look longer, never negative.
    const int64_t painted = NowNs();
    XCopyArea(display, frame, window, gc, 0, 0, m_width, m_height, 0, 0);
    XSync(display, False);
    {
      std::lock_guard<std::mutex> lock(m_lock);
      m_paintNs[value] = painted;
    }
    next += kPeriod;
    std::this_thread::sleep_until(next);
  }
  XFreeGC(display, gc);
  XFreePixmap(display, frame);
  XFreePixmap(display, still);
  XDestroyWindow(display, window);
  XCloseDisplay(display);
}
