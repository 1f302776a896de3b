// Keeps an X protocol error (a window that vanished, a bad drawable) from
// ending the process: Xlib's default handler exits. While an XErrorTrap for
// a display is alive, errors on that display are recorded instead; errors on
// other displays (e.g. the program's own GUI connection) go to whatever
// handler was installed before. Used by every Grabora call that can fail on
// the server side.
#pragma once
#include <X11/Xlib.h>

class XErrorTrap {
 public:
  explicit XErrorTrap(Display* display);
  ~XErrorTrap();
  XErrorTrap(const XErrorTrap&) = delete;
  XErrorTrap& operator=(const XErrorTrap&) = delete;

  // Waits for the server to answer everything sent so far; true when any
  // request since the trap was set failed.
  bool Failed();

 private:
  Display* m_display;
};
