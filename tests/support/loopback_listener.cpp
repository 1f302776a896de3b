#include "tests/support/loopback_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace test_support {

LoopbackListener::LoopbackListener(bool unanswered) {
  m_fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  // Backlog 0 leaves room for one waiting connection: the plug fills it.
  if (bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(m_fd, unanswered ? 0 : 64) != 0 ||
      getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    return;
  m_port = ntohs(a.sin_port);
  if (unanswered) {
    m_plug = socket(AF_INET, SOCK_STREAM, 0);
    connect(m_plug, reinterpret_cast<sockaddr*>(&a), sizeof a);
  }
}

LoopbackListener::~LoopbackListener() {
  if (m_plug >= 0) close(m_plug);
  if (m_fd >= 0) close(m_fd);
}

}  // namespace test_support
