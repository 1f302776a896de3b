// Watches an FLV file that a server writes as the stream comes in (nginx-rtmp
// with "record all" writes every message as it arrives) and notes, for each
// complete tag, its stamp and when it appeared in the file: the arrival of
// each picture at the server, on the test's clock. Woken by inotify on every
// write, so the arrival times are as fine as the server's writes.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace test_support {

struct FlvTagArrival {
  uint8_t type = 0;  // 8 audio, 9 video, 18 data
  bool codecConfig = false;  // an AVC or AAC sequence header
  long long stampMs = 0;
  double arrivedMs = 0;  // since the watcher's origin
};

class FlvArrivalWatcher {
 public:
  using Clock = std::chrono::steady_clock;
  FlvArrivalWatcher() = default;
  ~FlvArrivalWatcher() { Stop(); }
  FlvArrivalWatcher(const FlvArrivalWatcher&) = delete;
  FlvArrivalWatcher& operator=(const FlvArrivalWatcher&) = delete;

  // Starts watching path (it may not exist yet); arrival times count from origin.
  bool Start(const std::string& path, Clock::time_point origin);
  void Stop();
  std::vector<FlvTagArrival> Tags() const;
  // Set when the file is not FLV or a tag is malformed.
  std::string Error() const;

 private:
  void Run();
  // Parses whatever complete tags the file holds beyond what was parsed.
  void ReadNew(int fd);

  std::string m_path;
  Clock::time_point m_origin;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
  int m_inotify = -1;
  std::string m_pending;  // bytes read but not yet a whole tag
  bool m_headerDone = false;
  bool m_failed = false;  // nothing after a malformed tag can be trusted
  mutable std::mutex m_lock;
  std::vector<FlvTagArrival> m_tags;
  std::string m_error;
};

}  // namespace test_support
