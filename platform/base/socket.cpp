#include "platform/base/socket.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

ssize_t SendAll(SocketHandle s, const void* data, size_t len) {
  const char* p = static_cast<const char*>(data);
  size_t sent = 0;
  while (sent < len) {
    const ssize_t n = ::send(s, p + sent, len - sent, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return sent > 0 ? static_cast<ssize_t>(sent) : -1;
    }
    sent += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(sent);
}

ssize_t SendAllBounded(SocketHandle s, const void* data, size_t len, int stallTimeoutMs, int totalTimeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto ms = [](Clock::duration d) { return std::chrono::duration_cast<std::chrono::milliseconds>(d).count(); };
  const char* p = static_cast<const char*>(data);
  const Clock::time_point start = Clock::now();
  Clock::time_point lastProgress = start;
  size_t sent = 0;
  while (sent < len) {
    const ssize_t n = ::send(s, p + sent, len - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      lastProgress = Clock::now();
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return -1;
    // The peer's window and our buffer are full: wait for room, but only as
    // long as the limits still allow.
    const Clock::time_point now = Clock::now();
    int64_t left = stallTimeoutMs - ms(now - lastProgress);
    if (totalTimeoutMs >= 0) left = std::min<int64_t>(left, totalTimeoutMs - ms(now - start));
    if (left <= 0) {
      errno = ETIMEDOUT;
      return -1;
    }
    pollfd pfd{s, POLLOUT, 0};
    if (::poll(&pfd, 1, static_cast<int>(left)) < 0 && errno != EINTR) return -1;
  }
  return static_cast<ssize_t>(sent);
}

ssize_t RecvSome(SocketHandle s, void* data, size_t len) {
  for (;;) {
    const ssize_t n = ::recv(s, data, len, 0);
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

bool WaitReadable(SocketHandle s, int timeoutMs) {
  pollfd pfd{s, POLLIN, 0};
  for (;;) {
    const int r = ::poll(&pfd, 1, timeoutMs);
    if (r < 0 && errno == EINTR) continue;
    return r > 0;
  }
}

void ShutdownSocket(SocketHandle s) {
  if (s != kNoSocket) ::shutdown(s, SHUT_RDWR);
}

void CloseSocket(SocketHandle& s) {
  if (s == kNoSocket) return;
  ::close(s);
  s = kNoSocket;
}

}  // namespace platform
