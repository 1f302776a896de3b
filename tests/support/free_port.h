// Loopback ports for test servers. A port is found by binding port 0 on
// 127.0.0.1 and asking the system which one it chose; the socket is closed
// again, so the caller's server must bind it soon (tests run in parallel).
#pragma once

namespace test_support {

// A currently free TCP port on 127.0.0.1, or 0 when none could be found.
int FindFreeLoopbackPort();

// True once something accepts TCP connections on 127.0.0.1:port, false when
// timeoutMs passed first.
bool WaitForLoopbackPort(int port, int timeoutMs);

// A TCP port on 127.0.0.1 that refuses connections for as long as the object
// lives: the port is bound but never listened on, so nobody else can take it.
class RefusingPort {
 public:
  RefusingPort();
  ~RefusingPort();
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;
  int port() const { return m_port; }

 private:
  int m_fd = -1;
  int m_port = 0;
};

// A TCP port on 127.0.0.1 whose accept queue is full for as long as the object
// lives: the kernel drops further connection attempts, so a client's connect
// neither succeeds nor is refused until its own time-out.
class UnansweredPort {
 public:
  UnansweredPort();
  ~UnansweredPort();
  UnansweredPort(const UnansweredPort&) = delete;
  UnansweredPort& operator=(const UnansweredPort&) = delete;
  int port() const { return m_port; }

 private:
  int m_listener = -1;
  int m_filler = -1;
  int m_port = 0;
};

}  // namespace test_support
