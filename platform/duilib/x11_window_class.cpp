#include "platform/duilib/x11_window_class.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <vector>

#include "platform/duilib/x11_connection.h"

void SetX11WindowClass(HWND window, const std::string& name) {
  Display* display = WindowLayerDisplay();
  if (!display || !window || name.empty()) return;
  std::vector<char> text(name.begin(), name.end());
  text.push_back('\0');
  XClassHint hint;
  hint.res_name = text.data();
  hint.res_class = text.data();
  XSetClassHint(display, static_cast<Window>(window), &hint);
  XFlush(display);
}
