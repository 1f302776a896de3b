// Messages to the program's GUI thread: what a window message posted from a
// library or worker thread carries (the target window, the message number, the
// first parameter and, for text events, the text itself). An event owns its
// text, so nothing leaks when an event is dropped or never taken. Until the
// window layer drains it from its own loop, tests take events with Take.
#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "strivon/WindowHandle.h"

struct ProgramEvent {
  HWND target = 0;
  unsigned message = 0;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
  std::string text;
};

class ProgramEventQueue {
 public:
  // Never blocks; false only once the queue has been closed.
  bool Post(ProgramEvent event) {
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (closed_) return false;
      events_.push_back(std::move(event));
    }
    ready_.notify_all();
    return true;
  }

  // The oldest event, waiting up to `wait` for one to arrive.
  std::optional<ProgramEvent> Take(std::chrono::milliseconds wait = std::chrono::milliseconds(0)) {
    std::unique_lock<std::mutex> hold(lock_);
    ready_.wait_for(hold, wait, [this] { return !events_.empty() || closed_; });
    if (events_.empty()) return std::nullopt;
    ProgramEvent event = std::move(events_.front());
    events_.pop_front();
    return event;
  }

  // Refuses later posts (the GUI thread is going away); queued events stay.
  void Close() {
    {
      std::lock_guard<std::mutex> hold(lock_);
      closed_ = true;
    }
    ready_.notify_all();
  }

 private:
  std::mutex lock_;
  std::condition_variable ready_;
  std::deque<ProgramEvent> events_;
  bool closed_ = false;
};

// The queue of the program's GUI thread.
inline ProgramEventQueue& TheProgramEvents() {
  static ProgramEventQueue queue;
  return queue;
}
