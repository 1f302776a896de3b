// What the sample host prints of the library's status reports: the status
// words without the manager's object address ("this:1f2e3d4c _"), which
// only --verbose keeps; and a server that cannot be reached is told once,
// with its reason (connect_probe.h), instead of the same failure words at
// every reconnect. OnStatus arrives on library threads; the publish loop
// asks TakeOutageStart on its own thread.
#pragma once
#include <mutex>
#include <optional>
#include <string>

// "this:<hex> _closed unexpectly" -> "closed unexpectly"; other texts as
// they are.
std::string WithoutObjectAddress(const std::string& text);

class StatusLines {
 public:
  explicit StatusLines(bool verbose) : m_verbose(verbose) {}

  // The line to print for a status report, or nothing when an outage
  // already told is going on.
  std::optional<std::string> Line(int level, const char* text);
  // True once per outage: at the first failed or lost connection since the
  // start or since the last successful connect.
  bool TakeOutageStart();

 private:
  const bool m_verbose;
  std::mutex m_lock;
  bool m_inOutage = false;
  bool m_outageToTell = false;
};
