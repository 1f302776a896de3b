#include "platform/duilib/x11_window_class.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <mutex>
#include <vector>

namespace {

// One connection for the process's windows, opened on first use; the GUI
// thread is the only caller, the lock keeps it safe regardless.
Display* ClassDisplay() {
  static std::mutex lock;
  static Display* display = nullptr;
  static bool tried = false;
  std::lock_guard<std::mutex> hold(lock);
  if (!tried) {
    tried = true;
    display = XOpenDisplay(nullptr);
  }
  return display;
}

}  // namespace

void SetX11WindowClass(HWND window, const std::string& name) {
  Display* display = ClassDisplay();
  if (!display || !window || name.empty()) return;
  std::vector<char> text(name.begin(), name.end());
  text.push_back('\0');
  XClassHint hint;
  hint.res_name = text.data();
  hint.res_class = text.data();
  XSetClassHint(display, static_cast<Window>(window), &hint);
  XFlush(display);
}
