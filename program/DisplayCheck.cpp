#include "program/DisplayCheck.h"

#include <X11/Xlib.h>

#include <cstdlib>
#include <cstring>

bool DisplayUsable(std::string* why) {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform && *platform && std::strncmp(platform, "xcb", 3) != 0) return true;
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    const char* name = std::getenv("DISPLAY");
    *why = name && *name ? std::string("cannot open the X display \"") + name + "\""
                         : std::string("no X display (DISPLAY is not set)");
    return false;
  }
  XCloseDisplay(display);
  return true;
}
