#include "platform/grabora/x_error_trap.h"

#include <mutex>

namespace {

// Xlib keeps a single process-wide handler, so the traps share one record.
std::recursive_mutex g_trapLock;
int (*g_previousHandler)(Display*, XErrorEvent*) = nullptr;
Display* g_trappedDisplay = nullptr;
int g_trapDepth = 0;
bool g_errorSeen = false;

int TrapHandler(Display* display, XErrorEvent* event) {
  if (display == g_trappedDisplay) {
    g_errorSeen = true;
    return 0;
  }
  return g_previousHandler ? g_previousHandler(display, event) : 0;
}

}  // namespace

XErrorTrap::XErrorTrap(Display* display) : m_display(display) {
  g_trapLock.lock();
  XSync(m_display, False);  // errors of earlier requests are not ours
  if (g_trapDepth++ == 0) {
    g_previousHandler = XSetErrorHandler(TrapHandler);
    g_trappedDisplay = m_display;
    g_errorSeen = false;
  }
}

XErrorTrap::~XErrorTrap() {
  XSync(m_display, False);
  if (--g_trapDepth == 0) {
    XSetErrorHandler(g_previousHandler);
    g_previousHandler = nullptr;
    g_trappedDisplay = nullptr;
  }
  g_trapLock.unlock();
}

bool XErrorTrap::Failed() {
  XSync(m_display, False);
  bool seen = g_errorSeen;
  g_errorSeen = false;
  return seen;
}
