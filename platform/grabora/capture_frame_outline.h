// The visible outline around the captured area: four thin override-redirect
// windows (no window manager decoration, never focused) placed just outside
// the rectangle, so they mark it without appearing in the captured picture.
// Owned by the screen capture object and driven under its lock.
#pragma once
#include <X11/Xlib.h>

class CaptureFrameOutline {
 public:
  explicit CaptureFrameOutline(Display* display);
  ~CaptureFrameOutline();
  CaptureFrameOutline(const CaptureFrameOutline&) = delete;
  CaptureFrameOutline& operator=(const CaptureFrameOutline&) = delete;

  // Places the outline around {x, y, width, height} and shows it.
  void Show(int x, int y, int width, int height);
  void Hide();
  bool IsShown() const { return m_shown; }
  // Back on top of the stacking order, moved to {x, y, width, height}.
  void Raise(int x, int y, int width, int height);

 private:
  void Place(int x, int y, int width, int height);

  static constexpr int kThickness = 3;
  Display* m_display;
  Window m_edges[4] = {0, 0, 0, 0};
  bool m_shown = false;
};
