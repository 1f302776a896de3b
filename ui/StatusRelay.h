// Hands the library's status words to the main window while it is attached.
// The proxy calls it on the library's threads; the main window detaches it
// before it goes, so a word that arrives during shut-down is dropped instead
// of reaching a window that no longer exists.
#pragma once
#include <mutex>

#include "app/ScreenCaptureProxy.h"

template <typename Window>
class StatusRelayTo : public CScreenCaptureProxy::ScreenCaptureProxyNotify {
 public:
  explicit StatusRelayTo(Window* window) : m_window(window) {}
  void OnStatus(const char* status) override {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_window) m_window->QueueStatus(status);
  }
  // After this returns no word reaches the window.
  void Detach() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_window = nullptr;
  }

 private:
  std::mutex m_lock;
  Window* m_window;
};

class CMainWnd;
class StatusRelay : public StatusRelayTo<CMainWnd> {
 public:
  using StatusRelayTo<CMainWnd>::StatusRelayTo;
};
