#include "platform/duilib/x11_connection.h"

#include <mutex>

Display* WindowLayerDisplay() {
  // The lock only makes the first open safe, whoever asks first.
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
