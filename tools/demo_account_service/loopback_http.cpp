#include "tools/demo_account_service/loopback_http.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

// A request head larger than this is no login request; a client that sends
// nothing for this long is dropped, so one idle connection cannot block the
// service.
constexpr size_t kMaxHead = 16 * 1024;
constexpr int kRequestTimeoutMs = 5000;
// Stalled connections are kept up to this number; the oldest goes first.
constexpr size_t kMaxHeld = 64;

void SendAll(int fd, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

std::string Response(int status, const char* reason, const std::string& type, const std::string& body) {
  return "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\nContent-Type: " + type +
         "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

}  // namespace

LoopbackHttp::~LoopbackHttp() {
  for (int fd : m_held) ::close(fd);
  if (m_listen >= 0) ::close(m_listen);
}

bool LoopbackHttp::Listen(int port, std::string* error) {
  m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_listen < 0) {
    *error = std::strerror(errno);
    return false;
  }
  const int on = 1;
  ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  socklen_t length = sizeof address;
  if (::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(m_listen, 16) != 0 ||
      ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    *error = std::strerror(errno);
    return false;
  }
  m_port = ntohs(address.sin_port);
  return true;
}

void LoopbackHttp::Serve(ServeMode mode, const Handler& handler, const volatile std::sig_atomic_t& stop) {
  while (!stop) {
    pollfd p{m_listen, POLLIN, 0};
    if (::poll(&p, 1, 200) <= 0) continue;
    const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    if (mode == ServeMode::kStall) {
      Hold(fd);
      continue;
    }
    Answer(fd, mode, handler, stop);
    ::close(fd);
  }
}

void LoopbackHttp::Hold(int fd) {
  if (m_held.size() >= kMaxHeld) {
    ::close(m_held.front());
    m_held.pop_front();
  }
  m_held.push_back(fd);
}

void LoopbackHttp::Answer(int fd, ServeMode mode, const Handler& handler, const volatile std::sig_atomic_t& stop) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRequestTimeoutMs);
  std::string head;
  char buffer[4096];
  while (head.find("\r\n\r\n") == std::string::npos) {
    if (stop || head.size() > kMaxHead || std::chrono::steady_clock::now() >= deadline) return;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 200) <= 0) continue;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    head.append(buffer, static_cast<size_t>(n));
  }
  const size_t lineEnd = head.find("\r\n");
  const size_t first = head.find(' ');
  const size_t second = first == std::string::npos ? first : head.find(' ', first + 1);
  if (second == std::string::npos || second > lineEnd || head.compare(0, first, "GET") != 0) {
    SendAll(fd, Response(400, "Bad Request", "text/plain", "bad request\n"));
    return;
  }
  if (mode == ServeMode::kNotFound) {
    SendAll(fd, Response(404, "Not Found", "text/plain", "not found\n"));
    return;
  }
  const std::string target = head.substr(first + 1, second - first - 1);
  SendAll(fd, Response(200, "OK", "application/json", handler(target)));
  ::shutdown(fd, SHUT_WR);
}
