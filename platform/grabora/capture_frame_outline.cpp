#include "platform/grabora/capture_frame_outline.h"

#include <X11/Xutil.h>

#include "platform/grabora/x_error_trap.h"

namespace {

unsigned long OutlineColour(Display* display) {
  XColor colour{};
  colour.red = 0xffff;
  colour.green = 0;
  colour.blue = 0;
  colour.flags = DoRed | DoGreen | DoBlue;
  if (XAllocColor(display, DefaultColormap(display, DefaultScreen(display)), &colour)) {
    return colour.pixel;
  }
  return WhitePixel(display, DefaultScreen(display));
}

}  // namespace

CaptureFrameOutline::CaptureFrameOutline(Display* display) : m_display(display) {}

CaptureFrameOutline::~CaptureFrameOutline() {
  XErrorTrap trap(m_display);
  for (Window& edge : m_edges) {
    if (edge) XDestroyWindow(m_display, edge);
    edge = 0;
  }
}

void CaptureFrameOutline::Place(int x, int y, int width, int height) {
  const int t = kThickness;
  // top, bottom, left, right; all outside the captured rectangle
  const int geometry[4][4] = {{x - t, y - t, width + 2 * t, t},
                              {x - t, y + height, width + 2 * t, t},
                              {x - t, y, t, height},
                              {x + width, y, t, height}};
  XErrorTrap trap(m_display);
  for (int i = 0; i < 4; ++i) {
    const unsigned w = static_cast<unsigned>(geometry[i][2] > 0 ? geometry[i][2] : 1);
    const unsigned h = static_cast<unsigned>(geometry[i][3] > 0 ? geometry[i][3] : 1);
    if (!m_edges[i]) {
      XSetWindowAttributes attributes{};
      attributes.override_redirect = True;
      attributes.background_pixel = OutlineColour(m_display);
      m_edges[i] = XCreateWindow(m_display, DefaultRootWindow(m_display), geometry[i][0],
                                 geometry[i][1], w, h, 0, CopyFromParent, InputOutput,
                                 CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
    } else {
      XMoveResizeWindow(m_display, m_edges[i], geometry[i][0], geometry[i][1], w, h);
    }
  }
}

void CaptureFrameOutline::Show(int x, int y, int width, int height) {
  Place(x, y, width, height);
  XErrorTrap trap(m_display);
  for (Window edge : m_edges) {
    if (edge) XMapRaised(m_display, edge);
  }
  m_shown = true;
}

void CaptureFrameOutline::Hide() {
  XErrorTrap trap(m_display);
  for (Window edge : m_edges) {
    if (edge) XUnmapWindow(m_display, edge);
  }
  m_shown = false;
}

void CaptureFrameOutline::Raise(int x, int y, int width, int height) {
  if (!m_shown) return;
  Place(x, y, width, height);
  XErrorTrap trap(m_display);
  for (Window edge : m_edges) {
    if (edge) XRaiseWindow(m_display, edge);
  }
}
