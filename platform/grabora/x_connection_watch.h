// Keeps a broken X server connection from ending the process. Xlib's default
// answer to a lost connection (server killed or gone) is exit(), called from
// whichever thread noticed it: for the screen capture that is the manager's
// grab thread. A watched connection is marked lost instead; Xlib fails every
// later request on it, and the capture stops asking. Connections that are
// not watched (the program's own windows) keep the handler the program set.
// One watch per screen capture object, alive until after its XCloseDisplay.
#pragma once
#include <X11/Xlib.h>

#include <atomic>

class XConnectionWatch {
 public:
  explicit XConnectionWatch(Display* display);
  ~XConnectionWatch();
  XConnectionWatch(const XConnectionWatch&) = delete;
  XConnectionWatch& operator=(const XConnectionWatch&) = delete;

  bool Lost() const { return m_lost.load(); }

 private:
  static int OnIoError(Display* display);
  static void OnIoErrorExit(Display* display, void* self);
  void MarkLost();

  Display* m_display;
  std::atomic<bool> m_lost{false};
};
