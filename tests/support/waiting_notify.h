// A publish manager's notify object for tests that drive a whole publish
// run: it keeps every status word and lets the test wait for one to have
// arrived a number of times. Header-only, so test_support itself does not
// depend on the library.
#pragma once
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "strivon/IRtmpPublishManagerNotify.h"

namespace test_support {

class WaitingNotify : public IRtmpPublishManagerNotify {
 public:
  bool OnMessage(const char*) override { return true; }
  bool OnStatus(int level, const char* text) override {
    std::lock_guard<std::mutex> lock(m_lock);
    m_statuses.emplace_back(level, text ? text : "");
    m_changed.notify_all();
    return true;
  }
  bool OnSendStatistics(const PublishSendStatistics*) override { return true; }
  bool OnReservedPointer(void*) override { return true; }
  bool OnReservedInt(int) override { return true; }

  // True once text has arrived count times (at level, unless it is -1),
  // false when ms passed first.
  bool WaitFor(const std::string& text, int count, int ms) { return WaitFor(-1, text, count, ms); }
  bool WaitFor(int level, const std::string& text, int count, int ms) {
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, std::chrono::milliseconds(ms),
                              [&] { return CountLocked(level, text) >= count; });
  }
  int Count(int level, const std::string& text) {
    std::lock_guard<std::mutex> lock(m_lock);
    return CountLocked(level, text);
  }
  std::vector<std::pair<int, std::string>> Statuses() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_statuses;
  }

 private:
  int CountLocked(int level, const std::string& text) const {
    int n = 0;
    for (const auto& s : m_statuses) n += (level < 0 || s.first == level) && s.second == text;
    return n;
  }

  std::mutex m_lock;
  std::condition_variable m_changed;
  std::vector<std::pair<int, std::string>> m_statuses;
};

}  // namespace test_support
