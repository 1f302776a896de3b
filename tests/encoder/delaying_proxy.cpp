#include "tests/encoder/delaying_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool SendAllBytes(int fd, const char* p, size_t n) {
  while (n > 0) {
    const ssize_t sent = send(fd, p, n, MSG_NOSIGNAL);
    if (sent <= 0) return false;
    p += sent;
    n -= static_cast<size_t>(sent);
  }
  return true;
}

sockaddr_in Loopback(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

}  // namespace

bool DelayingProxy::Start(int serverPort) {
  m_serverPort = serverPort;
  m_listen = socket(AF_INET, SOCK_STREAM, 0);
  if (m_listen < 0) return false;
  sockaddr_in a = Loopback(0);
  socklen_t len = sizeof(a);
  if (bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0 || listen(m_listen, 1) != 0 ||
      getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    close(m_listen);
    m_listen = -1;
    return false;
  }
  m_port = ntohs(a.sin_port);
  m_acceptThread = std::thread(&DelayingProxy::AcceptAndRelay, this);
  return true;
}

void DelayingProxy::AcceptAndRelay() {
  pollfd p{m_listen, POLLIN, 0};
  while (!m_stopping) {
    if (poll(&p, 1, 50) > 0) break;
  }
  if (m_stopping) return;
  m_client = accept(m_listen, nullptr, nullptr);
  if (m_client < 0) return;
  m_server = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = Loopback(m_serverPort);
  if (m_server < 0 || connect(m_server, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0) {
    shutdown(m_client, SHUT_RDWR);
    return;
  }
  m_upThread = std::thread(&DelayingProxy::Upstream, this);
  m_downReadThread = std::thread(&DelayingProxy::DownstreamRead, this);
  m_downWriteThread = std::thread(&DelayingProxy::DownstreamWrite, this);
}

void DelayingProxy::Upstream() {
  std::vector<char> buffer(65536);
  while (!m_stopping) {
    const ssize_t n = recv(m_client, buffer.data(), buffer.size(), 0);
    if (n <= 0 || !SendAllBytes(m_server, buffer.data(), static_cast<size_t>(n))) break;
  }
  shutdown(m_server, SHUT_WR);
}

void DelayingProxy::DownstreamRead() {
  std::vector<char> buffer(65536);
  while (!m_stopping) {
    const ssize_t n = recv(m_server, buffer.data(), buffer.size(), 0);
    if (n <= 0) break;
    std::lock_guard<std::mutex> lock(m_lock);
    m_pending.push_back({Clock::now() + std::chrono::milliseconds(m_delayMs.load()),
                         std::vector<char>(buffer.begin(), buffer.begin() + n)});
    m_cond.notify_all();
  }
  std::lock_guard<std::mutex> lock(m_lock);
  m_pending.push_back({Clock::now(), {}});  // empty piece: the server closed
  m_cond.notify_all();
}

void DelayingProxy::DownstreamWrite() {
  while (true) {
    Piece piece;
    {
      std::unique_lock<std::mutex> lock(m_lock);
      m_cond.wait(lock, [&] { return m_stopping || !m_pending.empty(); });
      if (m_stopping) return;
      const auto due = m_pending.front().due;
      if (m_cond.wait_until(lock, due, [&] { return m_stopping.load(); })) return;
      piece = std::move(m_pending.front());
      m_pending.pop_front();
    }
    if (piece.bytes.empty() || !SendAllBytes(m_client, piece.bytes.data(), piece.bytes.size())) {
      shutdown(m_client, SHUT_WR);
      return;
    }
  }
}

void DelayingProxy::Stop() {
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_stopping = true;
    m_cond.notify_all();
  }
  // The accept thread owns the relay sockets until it has ended.
  if (m_acceptThread.joinable()) m_acceptThread.join();
  for (int fd : {m_client, m_server})
    if (fd >= 0) shutdown(fd, SHUT_RDWR);
  for (std::thread* t : {&m_upThread, &m_downReadThread, &m_downWriteThread})
    if (t->joinable()) t->join();
  for (int* fd : {&m_client, &m_server, &m_listen}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
}
