#include "platform/base/socket.h"

#include <cerrno>
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
