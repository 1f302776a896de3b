#include "platform/grabora/x_connection_watch.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <vector>

namespace {

// Xlib keeps one I/O error handler per process; ours answers for the watched
// connections and hands every other one to the handler it replaced.
std::mutex g_watchLock;
std::vector<XConnectionWatch*> g_watches;
XIOErrorHandler g_previousHandler = nullptr;

}  // namespace

XConnectionWatch::XConnectionWatch(Display* display) : m_display(display) {
  std::lock_guard lock(g_watchLock);
  static const bool installed = [] {
    g_previousHandler = XSetIOErrorHandler(OnIoError);
    return true;
  }();
  static_cast<void>(installed);
  g_watches.push_back(this);
  // Once the process-wide handler returns, Xlib calls this display's exit
  // handler, whose default exits too.
  XSetIOErrorExitHandler(m_display, OnIoErrorExit, this);
}

XConnectionWatch::~XConnectionWatch() {
  std::lock_guard lock(g_watchLock);
  g_watches.erase(std::remove(g_watches.begin(), g_watches.end(), this), g_watches.end());
}

void XConnectionWatch::MarkLost() {
  if (!m_lost.exchange(true)) {
    std::fprintf(stderr, "Grabora: connection to the X server %s lost; screen grabs fail from now on\n",
                 DisplayString(m_display));
  }
}

int XConnectionWatch::OnIoError(Display* display) {
  XIOErrorHandler previous = nullptr;
  {
    std::lock_guard lock(g_watchLock);
    bool watched = false;
    for (XConnectionWatch* watch : g_watches) {
      if (watch->m_display != display) continue;
      watch->MarkLost();
      watched = true;
    }
    if (watched) return 0;
    previous = g_previousHandler;
  }
  return previous ? previous(display) : 0;
}

void XConnectionWatch::OnIoErrorExit(Display*, void* self) { static_cast<XConnectionWatch*>(self)->MarkLost(); }
