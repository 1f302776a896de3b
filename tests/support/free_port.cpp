#include "tests/support/free_port.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace test_support {
namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return addr;
}

}  // namespace

int FindFreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in addr = Loopback(0);
  int port = 0;
  socklen_t len = sizeof(addr);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
    port = ntohs(addr.sin_port);
  }
  ::close(fd);
  return port;
}

bool WaitForLoopbackPort(int port, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in addr = Loopback(port);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
    ::close(fd);
    if (ok) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

RefusingPort::RefusingPort() {
  m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_fd < 0) return;
  sockaddr_in addr = Loopback(0);
  socklen_t len = sizeof(addr);
  if (::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 &&
      ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
    m_port = ntohs(addr.sin_port);
  }
}

RefusingPort::~RefusingPort() {
  if (m_fd >= 0) ::close(m_fd);
}

UnansweredPort::UnansweredPort() {
  m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  m_filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_listener < 0 || m_filler < 0) return;
  sockaddr_in addr = Loopback(0);
  socklen_t len = sizeof(addr);
  // A backlog of 0 holds one connection; the filler takes it.
  if (::bind(m_listener, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 && ::listen(m_listener, 0) == 0 &&
      ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&addr), &len) == 0 &&
      ::connect(m_filler, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0) {
    m_port = ntohs(addr.sin_port);
  }
}

UnansweredPort::~UnansweredPort() {
  if (m_filler >= 0) ::close(m_filler);
  if (m_listener >= 0) ::close(m_listener);
}

}  // namespace test_support
