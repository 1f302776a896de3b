// An IRtmpLibNotify for tests: records every status word, report, round trip
// and media body the client raises, and lets a test wait for a word.
#pragma once
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "RtmpLib/jni/IRtmpLib.h"

class RecordingNotify : public IRtmpLibNotify {
 public:
  void OnRtmpDead() override {}
  void OnRtmpConnected() override {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++connected;
  }
  void OnRtmpPublishFaild() override {}
  void OnRtmpStatus(MediaInfo* status) override {
    if (onStatus) onStatus(status->text1);
    std::lock_guard<std::mutex> lock(m_mutex);
    words.push_back(status->text1);
    m_changed.notify_all();
  }
  void OnRtmpStatistics(MediaInfo*) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++statistics;
  }
  bool OnRtmpReserved() override { return true; }
  void OnPingRoundTrip(int ms) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    roundTrips.push_back(ms);
    m_changed.notify_all();
  }
  bool OnRtmpMediaData(const char* body, int size, double, int kind) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    mediaBodies.emplace_back(kind, std::string(body, static_cast<size_t>(size)));
    return true;
  }
  bool OnRtmpReport(const char* json) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    reports.push_back(json);
    return true;
  }

  bool WaitForWord(const std::string& word, int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
      for (const auto& w : words) {
        if (w == word) return true;
      }
      return false;
    });
  }
  bool WaitForRoundTrip(int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !roundTrips.empty(); });
  }
  std::vector<std::string> Words() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return words;
  }
  int Connected() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return connected;
  }
  std::vector<std::string> Reports() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return reports;
  }
  std::vector<std::pair<int, std::string>> MediaBodies() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return mediaBodies;
  }

  // Called on the client's thread before the word is recorded.
  std::function<void(const std::string&)> onStatus;

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<std::string> words;
  std::vector<std::string> reports;
  std::vector<int> roundTrips;
  std::vector<std::pair<int, std::string>> mediaBodies;
  int connected = 0;
  int statistics = 0;
};

// The client, released when the test ends.
struct RtmpLibDeleter {
  void operator()(IRtmpLib* lib) const {
    if (lib) lib->Release();
  }
};
