#include "platform/duilib/modal_withdrawal.h"

#include <QGuiApplication>
#include <QWindow>
#include <chrono>
#include <thread>

// After Qt: Xlib's macros (Bool, Status, None) break Qt's headers.
#include <X11/Xlib.h>

#include "platform/duilib/x11_connection.h"
#include "platform/grabora/x_error_trap.h"

namespace {

// A window manager that has not let go of the window by then is not waited
// for any longer; the hide goes ahead as before.
constexpr auto kLetGoWait = std::chrono::milliseconds(1000);
constexpr auto kLetGoPoll = std::chrono::milliseconds(2);

// The window's parent, 0 when the window is gone. Each question takes the
// shared error trap only briefly: the library's capture threads use it too.
Window ParentOf(Display* display, Window window, Window* root) {
  XErrorTrap trap(display);
  Window parent = 0;
  Window* children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, window, root, &parent, &children, &count)) parent = 0;
  if (children) XFree(children);
  return trap.Failed() ? 0 : parent;
}

// Destroyed, or at least unmapped: the walk only goes into mapped windows.
bool FrameGone(Display* display, Window frame) {
  XErrorTrap trap(display);
  XWindowAttributes attributes{};
  const bool read = XGetWindowAttributes(display, frame, &attributes) != 0;
  return trap.Failed() || !read || attributes.map_state == IsUnmapped;
}

}  // namespace

void WithdrawModalBeforeHide(QWidget* window) {
  if (!window || !window->isWindow() || !window->isVisible()) return;
  QWindow* native = window->windowHandle();
  if (!native || !native->isModal() || QGuiApplication::platformName() != QLatin1String("xcb")) return;
  Display* display = WindowLayerDisplay();
  if (!display) return;
  const auto client = static_cast<Window>(native->winId());
  Window root = 0;
  const Window frame = ParentOf(display, client, &root);
  // Not reparented: no window manager holds it in a frame of its own.
  if (frame == 0 || frame == root) return;
  {
    XErrorTrap trap(display);
    XWithdrawWindow(display, client, DefaultScreen(display));
  }
  const auto deadline = std::chrono::steady_clock::now() + kLetGoWait;
  while (std::chrono::steady_clock::now() < deadline) {
    Window currentRoot = 0;
    const Window parent = ParentOf(display, client, &currentRoot);
    if ((parent == 0 || parent == currentRoot) && FrameGone(display, frame)) return;
    std::this_thread::sleep_for(kLetGoPoll);
  }
}
