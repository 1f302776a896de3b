#include "capture/PreviewWindows.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <cstdlib>

#include "capture/WindowBlitter.h"
#include "platform/base/tick.h"
#include "platform/grabora/x_connection_watch.h"
#include "platform/grabora/x_error_trap.h"

namespace {
constexpr long kEvents = ExposureMask | ButtonPressMask | PointerMotionMask | KeyPressMask | StructureNotifyMask;
constexpr Time kDoubleClickMs = 500;
constexpr int kDoubleClickSlop = 4;
constexpr uint32_t kCursorHideMs = 2000;
}  // namespace

PreviewWindows::PreviewWindows() = default;

PreviewWindows::~PreviewWindows() {
  if (!m_display) return;
  m_blitter.reset();
  if (Usable()) {
    XErrorTrap trap(m_display);
    if (m_blank) XFreeCursor(m_display, m_blank);
    if (m_gc) XFreeGC(m_display, m_gc);
    if (m_child) XDestroyWindow(m_display, m_child);
    if (m_full) XDestroyWindow(m_display, m_full);
  } else if (m_gc) {
    // The server is gone, so no request may be sent; the GC's client-side
    // record is plain Xlib memory and is freed without one.
    XFree(m_gc);
  }
  XCloseDisplay(m_display);
  m_watch.reset();  // only after the close: a lost connection may report while closing
}

int PreviewWindows::Descriptor() const { return m_display ? ConnectionNumber(m_display) : -1; }

bool PreviewWindows::Usable() const { return m_display && !(m_watch && m_watch->Lost()); }

bool PreviewWindows::Open() {
  m_display = XOpenDisplay(nullptr);
  if (!m_display) return false;
  m_watch = std::make_unique<XConnectionWatch>(m_display);
  XErrorTrap trap(m_display);
  const int screen = DefaultScreen(m_display);
  const Window root = RootWindow(m_display, screen);
  m_blitter = std::make_unique<WindowBlitter>(m_display, m_watch.get());
  XSetWindowAttributes attrs{};
  attrs.background_pixel = BlackPixel(m_display, screen);
  attrs.event_mask = kEvents;
  m_child = XCreateWindow(m_display, root, 0, 0, 320, 240, 0, CopyFromParent, InputOutput, CopyFromParent,
                          CWBackPixel | CWEventMask, &attrs);
  // No window manager places or decorates the full-screen window.
  attrs.override_redirect = True;
  m_full = XCreateWindow(m_display, root, 0, 0, DisplayWidth(m_display, screen), DisplayHeight(m_display, screen), 0,
                         CopyFromParent, InputOutput, CopyFromParent, CWBackPixel | CWEventMask | CWOverrideRedirect,
                         &attrs);
  m_gc = XCreateGC(m_display, m_child, 0, nullptr);
  XSetForeground(m_display, m_gc, BlackPixel(m_display, screen));
  static char empty[1] = {0};
  const Pixmap bits = XCreateBitmapFromData(m_display, root, empty, 1, 1);
  XColor black{};
  m_blank = XCreatePixmapCursor(m_display, bits, bits, &black, &black, 0, 0);
  XFreePixmap(m_display, bits);
  return !trap.Failed();
}

bool PreviewWindows::Show(HWND parent) {
  if (!Usable()) return false;
  XErrorTrap trap(m_display);
  XWindowAttributes host{};
  if (!XGetWindowAttributes(m_display, parent, &host) || trap.Failed()) return false;
  m_parent = parent;
  XReparentWindow(m_display, m_child, parent, 0, 0);
  XMoveResizeWindow(m_display, m_child, 0, 0, std::max(1, host.width), std::max(1, host.height));
  XMapRaised(m_display, m_child);
  XUnmapWindow(m_display, m_full);
  m_fullScreen = false;
  ShowCursor();
  return !trap.Failed();
}

void PreviewWindows::Hide() {
  if (!Usable()) return;
  XErrorTrap trap(m_display);
  ShowCursor();
  XUnmapWindow(m_display, m_child);
  XUnmapWindow(m_display, m_full);
  // Out of the host's window: destroying it must not take our window along.
  XReparentWindow(m_display, m_child, DefaultRootWindow(m_display), 0, 0);
  m_fullScreen = false;
  m_parent = 0;
}

void PreviewWindows::Fill(Window window) {
  XWindowAttributes a{};
  if (!XGetWindowAttributes(m_display, window, &a)) return;
  XFillRectangle(m_display, window, m_gc, 0, 0, static_cast<unsigned>(a.width), static_cast<unsigned>(a.height));
}

bool PreviewWindows::FollowHost(int* width, int* height) {
  if (!Usable() || !m_parent) return false;
  XErrorTrap trap(m_display);
  if (m_fullScreen) {
    *width = DisplayWidth(m_display, DefaultScreen(m_display));
    *height = DisplayHeight(m_display, DefaultScreen(m_display));
    return true;
  }
  XWindowAttributes host{};
  if (!XGetWindowAttributes(m_display, m_parent, &host)) return false;
  *width = std::max(1, host.width);
  *height = std::max(1, host.height);
  XMoveResizeWindow(m_display, m_child, 0, 0, static_cast<unsigned>(*width), static_cast<unsigned>(*height));
  return !trap.Failed();
}

void PreviewWindows::Paint(const BYTE* rgb, int width, int height) {
  int targetWidth = 0, targetHeight = 0;
  if (!rgb || !FollowHost(&targetWidth, &targetHeight)) return;
  m_blitter->Draw(Visible(), rgb, width, height, false, targetWidth, targetHeight);
}

bool PreviewWindows::HandleEvents(bool haveFrame) {
  if (!Usable()) return false;
  bool repaint = false;
  XErrorTrap trap(m_display);
  while (XPending(m_display) > 0) {
    XEvent event;
    XNextEvent(m_display, &event);
    switch (event.type) {
      case Expose:
        if (event.xexpose.count != 0) break;
        if (haveFrame)
          repaint = true;
        else
          Fill(event.xexpose.window);
        break;
      case ButtonPress:
        if (event.xbutton.button == Button1) OnButton(event.xbutton);
        break;
      case MotionNotify:
        if (event.xmotion.x != m_lastX || event.xmotion.y != m_lastY) {
          m_lastX = event.xmotion.x;
          m_lastY = event.xmotion.y;
          ShowCursor();
          NoteActivity();
        }
        break;
      case KeyPress:
        if (m_fullScreen && XLookupKeysym(&event.xkey, 0) == XK_Escape) {
          ShowCursor();
          NoteActivity();
          LeaveFullScreen();
        }
        break;
      default:
        break;
    }
  }
  return repaint;
}

void PreviewWindows::OnButton(const XButtonEvent& event) {
  // The host sees the click as its own.
  if (m_parent) {
    XEvent forward{};
    forward.xbutton = event;
    forward.xbutton.window = m_parent;
    forward.xbutton.send_event = True;
    XSendEvent(m_display, m_parent, False, ButtonPressMask, &forward);
  }
  const bool doubleClick = m_lastClickWindow == event.window && event.time - m_lastClickTime <= kDoubleClickMs &&
                           std::abs(event.x - m_lastClickX) <= kDoubleClickSlop &&
                           std::abs(event.y - m_lastClickY) <= kDoubleClickSlop;
  m_lastClickWindow = doubleClick ? 0 : event.window;
  m_lastClickTime = event.time;
  m_lastClickX = event.x;
  m_lastClickY = event.y;
  if (!doubleClick) return;
  ShowCursor();
  NoteActivity();
  if (m_fullScreen)
    LeaveFullScreen();
  else
    EnterFullScreen();
}

void PreviewWindows::EnterFullScreen() {
  if (!m_parent) return;
  XUnmapWindow(m_display, m_child);
  XMapRaised(m_display, m_full);
  // Escape must reach us without a window manager handing out the focus.
  XSync(m_display, False);
  XSetInputFocus(m_display, m_full, RevertToPointerRoot, CurrentTime);
  m_fullScreen = true;
}

void PreviewWindows::LeaveFullScreen() {
  XMapRaised(m_display, m_child);
  XUnmapWindow(m_display, m_full);
  m_fullScreen = false;
}

void PreviewWindows::ShowCursor() {
  if (m_cursorVisible) return;
  XUndefineCursor(m_display, m_full);
  m_cursorVisible = true;
}

void PreviewWindows::NoteActivity() { m_activityTick = platform::TickCount(); }

void PreviewWindows::Tick(uint32_t now) {
  if (!Usable() || !m_fullScreen || !m_cursorVisible || now - m_activityTick <= kCursorHideMs) return;
  XErrorTrap trap(m_display);
  XDefineCursor(m_display, m_full, m_blank);
  m_cursorVisible = false;
}
