// A TCP listener on a free loopback port that never accepts: connection
// attempts complete in the kernel, or, with its accept queue kept full,
// are never answered (the connecting side waits until its own time-out).
#pragma once
#include <string>

namespace test_support {

class LoopbackListener {
 public:
  explicit LoopbackListener(bool unanswered = false);
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;
  int port() const { return m_port; }
  std::string portText() const { return std::to_string(m_port); }

 private:
  int m_fd = -1;
  int m_plug = -1;
  int m_port = 0;
};

}  // namespace test_support
