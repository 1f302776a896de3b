// The Grabora object behind IScreenCapture: one X connection per object,
// every use of it under one lock (the manager grabs on its worker thread and
// shows the outline from the host thread).
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/grabora/IScreenCapture.h"
#include "platform/grabora/capture_frame_outline.h"
#include "platform/grabora/cursor_blend.h"
#include "platform/grabora/pixel_pack.h"
#include "platform/grabora/screen_grabber.h"
#include "platform/grabora/x_connection_watch.h"
#include "platform/grabora/x_error_trap.h"

namespace {

struct Area {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const Area&) const = default;
};

class CScreenCapture final : public IScreenCapture {
 public:
  CScreenCapture(Display* display, std::unique_ptr<XConnectionWatch> watch)
      : m_display(display),
        m_watch(std::move(watch)),
        m_grabber(std::make_unique<ScreenGrabber>(display)),
        m_outline(std::make_unique<CaptureFrameOutline>(display)) {
    const int screen = DefaultScreen(m_display);
    m_screenWidth = DisplayWidth(m_display, screen);
    m_screenHeight = DisplayHeight(m_display, screen);
    m_rect = RECT{0, 0, m_screenWidth, m_screenHeight};
  }

  ~CScreenCapture() {
    // Outline windows and the shared segment go before the connection.
    m_outline.reset();
    m_grabber.reset();
    XCloseDisplay(m_display);
  }

  void Release() override { delete this; }

  void SetFollowCursor(bool follow) override {
    std::lock_guard lock(m_lock);
    m_followCursor = follow;
  }

  bool SetBitDepth(int bitsPerPixel) override { return bitsPerPixel == 24; }

  bool SetCaptureRect(const RECT* rect) override {
    if (!rect || rect->right <= rect->left || rect->bottom <= rect->top) return false;
    std::lock_guard lock(m_lock);
    m_rect = *rect;
    if (m_outline->IsShown() && !m_window) {
      Area area = ClampToScreen(m_rect);
      m_outline->Show(area.x, area.y, area.width, area.height);
    }
    return true;
  }

  bool GrabFrame(BITMAPINFOHEADER** info, BYTE** pixels, int* byteCount) override {
    if (info) *info = nullptr;
    if (pixels) *pixels = nullptr;
    if (byteCount) *byteCount = 0;
    if (!info || !pixels || !byteCount) return false;
    std::lock_guard lock(m_lock);
    // A lost server stays lost: no request is sent on the dead connection.
    if (m_watch->Lost()) return false;
    Area area;
    if (!CurrentArea(&area)) return false;
    XImage* image = m_grabber->Grab(area.x, area.y, area.width, area.height);
    if (!image || m_watch->Lost()) return false;
    const size_t bytes = static_cast<size_t>(area.width) * area.height * 3;
    m_pixels.resize(bytes);
    PackImageToBgr24(image, m_pixels.data());
    if (m_followCursor) BlendCursor(m_display, area.x, area.y, area.width, area.height, m_pixels.data());
    if (m_window && m_outline->IsShown() && !(area == m_lastArea)) {
      m_outline->Raise(area.x, area.y, area.width, area.height);
    }
    m_lastArea = area;
    m_info = BITMAPINFOHEADER{};
    m_info.biSize = sizeof(BITMAPINFOHEADER);
    m_info.biWidth = area.width;
    m_info.biHeight = area.height;  // positive, yet rows are top-down (library convention)
    m_info.biPlanes = 1;
    m_info.biBitCount = 24;
    m_info.biCompression = 0;  // uncompressed RGB
    m_info.biSizeImage = static_cast<DWORD>(bytes);
    *info = &m_info;
    *pixels = m_pixels.data();
    *byteCount = static_cast<int>(bytes);
    return true;
  }

  void ShowCaptureFrame(int show) override {
    std::lock_guard lock(m_lock);
    if (!show) {
      m_outline->Hide();
      return;
    }
    Area area;
    if (CurrentArea(&area)) m_outline->Show(area.x, area.y, area.width, area.height);
    XFlush(m_display);
  }

  bool IsCaptureFrameShown() override {
    std::lock_guard lock(m_lock);
    return m_outline->IsShown();
  }

  void RaiseCaptureFrame() override {
    std::lock_guard lock(m_lock);
    Area area;
    if (CurrentArea(&area)) m_outline->Raise(area.x, area.y, area.width, area.height);
    XFlush(m_display);
  }

  void ClearCaptureWindow() override { SetCaptureWindow(0); }

  void SetCaptureWindow(HWND window) override {
    std::lock_guard lock(m_lock);
    m_window = static_cast<Window>(window);
    if (m_outline->IsShown()) {
      Area area;
      if (CurrentArea(&area)) m_outline->Show(area.x, area.y, area.width, area.height);
    }
  }

  bool DisplayLost() override { return m_watch->Lost(); }

 private:
  // Edges are clamped one by one, so no width of an unclamped (possibly
  // huge) rectangle is ever computed.
  Area ClampToScreen(const RECT& r) const {
    const int left = std::max<LONG>(0, r.left), top = std::max<LONG>(0, r.top);
    const int right = std::min<LONG>(m_screenWidth, r.right);
    const int bottom = std::min<LONG>(m_screenHeight, r.bottom);
    return Area{left, top, std::max(0, right - left), std::max(0, bottom - top)};
  }

  // The area the next grab covers: the captured window where it is now, or
  // the rectangle; clamped to the screen. false when nothing is left.
  bool CurrentArea(Area* area) {
    if (m_window) {
      XErrorTrap trap(m_display);
      XWindowAttributes attributes{};
      int rootX = 0, rootY = 0;
      Window child = 0;
      const bool known = XGetWindowAttributes(m_display, m_window, &attributes) &&
                         XTranslateCoordinates(m_display, m_window, DefaultRootWindow(m_display),
                                               0, 0, &rootX, &rootY, &child);
      if (trap.Failed() || !known) return false;
      *area = ClampToScreen(RECT{rootX, rootY, rootX + attributes.width, rootY + attributes.height});
    } else {
      *area = ClampToScreen(m_rect);
    }
    return area->width > 0 && area->height > 0;
  }

  std::mutex m_lock;
  Display* m_display;
  // Outlives the XCloseDisplay of the destructor, which can still find the
  // connection broken.
  std::unique_ptr<XConnectionWatch> m_watch;
  int m_screenWidth = 0;
  int m_screenHeight = 0;
  // Both hold server resources, so they end before the connection closes.
  std::unique_ptr<ScreenGrabber> m_grabber;
  std::unique_ptr<CaptureFrameOutline> m_outline;
  RECT m_rect{};
  Window m_window = 0;
  bool m_followCursor = false;
  Area m_lastArea;
  BITMAPINFOHEADER m_info{};
  std::vector<BYTE> m_pixels;
};

}  // namespace

IScreenCapture* CreateScreenCapture() {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return nullptr;
  auto watch = std::make_unique<XConnectionWatch>(display);
  const int screen = DefaultScreen(display);
  const int depth = DefaultDepth(display, screen);
  if (DefaultVisual(display, screen)->c_class != TrueColor || (depth != 24 && depth != 32)) {
    XCloseDisplay(display);
    return nullptr;
  }
  return new CScreenCapture(display, std::move(watch));
}
