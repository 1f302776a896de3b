#include "tests/support/delaying_proxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
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

int LocalPort(int fd, bool peer) {
  sockaddr_in a{};
  socklen_t len = sizeof(a);
  const int r = peer ? getpeername(fd, reinterpret_cast<sockaddr*>(&a), &len)
                     : getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  return r == 0 ? ntohs(a.sin_port) : -1;
}

}  // namespace

bool DelayingProxy::Start(int serverPort) {
  m_serverPort = serverPort;
  m_listen = socket(AF_INET, SOCK_STREAM, 0);
  if (m_listen < 0) return false;
  sockaddr_in a = Loopback(0);
  socklen_t len = sizeof(a);
  // Backlog 0 leaves room for one waiting connection, which a hold fills.
  if (bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0 || listen(m_listen, 0) != 0 ||
      getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    close(m_listen);
    m_listen = -1;
    return false;
  }
  m_port = ntohs(a.sin_port);
  m_acceptThread = std::thread(&DelayingProxy::AcceptLoop, this);
  return true;
}

void DelayingProxy::HoldConnectsFor(int ms) {
  std::lock_guard<std::mutex> lock(m_holdLock);
  m_holdUntil = Clock::now() + std::chrono::milliseconds(ms);
  if (m_plug >= 0) return;
  m_plug = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  if (m_plug < 0) return;
  sockaddr_in a = Loopback(m_port);
  connect(m_plug, reinterpret_cast<sockaddr*>(&a), sizeof(a));  // completes at once on loopback
  m_plugPort = LocalPort(m_plug, false);
}

void DelayingProxy::AcceptLoop() {
  while (!m_stopping) {
    {
      std::unique_lock<std::mutex> lock(m_holdLock);
      if (Clock::now() < m_holdUntil) {
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        continue;
      }
    }
    pollfd p{m_listen, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    int client = -1;
    {
      std::lock_guard<std::mutex> lock(m_holdLock);
      if (Clock::now() < m_holdUntil) continue;  // a hold began while polling
      client = accept(m_listen, nullptr, nullptr);
      if (client >= 0 && m_plug >= 0 && LocalPort(client, true) == m_plugPort) {
        close(client);
        close(m_plug);
        m_plug = -1;
        continue;
      }
    }
    if (client >= 0) StartRelay(client);
  }
}

void DelayingProxy::StartRelay(int client) {
  auto relay = std::make_unique<Relay>();
  relay->client = client;
  relay->server = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = Loopback(m_serverPort);
  if (relay->server < 0 || connect(relay->server, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0) {
    shutdown(client, SHUT_RDWR);
  } else {
    Relay* r = relay.get();
    r->up = std::thread(&DelayingProxy::Upstream, this, r);
    r->downRead = std::thread(&DelayingProxy::DownstreamRead, this, r);
    r->downWrite = std::thread(&DelayingProxy::DownstreamWrite, this, r);
  }
  m_relays.push_back(std::move(relay));
}

void DelayingProxy::Upstream(Relay* relay) {
  std::vector<char> buffer(65536);
  while (!m_stopping) {
    const ssize_t n = recv(relay->client, buffer.data(), buffer.size(), 0);
    if (n <= 0 || !SendAllBytes(relay->server, buffer.data(), static_cast<size_t>(n))) break;
  }
  shutdown(relay->server, SHUT_WR);
}

void DelayingProxy::DownstreamRead(Relay* relay) {
  std::vector<char> buffer(65536);
  while (!m_stopping) {
    const ssize_t n = recv(relay->server, buffer.data(), buffer.size(), 0);
    if (n <= 0) break;
    std::lock_guard<std::mutex> lock(relay->lock);
    relay->pending.push_back({Clock::now() + std::chrono::milliseconds(m_delayMs.load()),
                              std::vector<char>(buffer.begin(), buffer.begin() + n)});
    relay->cond.notify_all();
  }
  std::lock_guard<std::mutex> lock(relay->lock);
  relay->pending.push_back({Clock::now(), {}});  // empty piece: the server closed
  relay->cond.notify_all();
}

void DelayingProxy::DownstreamWrite(Relay* relay) {
  while (true) {
    Piece piece;
    {
      std::unique_lock<std::mutex> lock(relay->lock);
      relay->cond.wait(lock, [&] { return m_stopping || !relay->pending.empty(); });
      if (m_stopping) return;
      const auto due = relay->pending.front().due;
      if (relay->cond.wait_until(lock, due, [&] { return m_stopping.load(); })) return;
      piece = std::move(relay->pending.front());
      relay->pending.pop_front();
    }
    if (piece.bytes.empty() || !SendAllBytes(relay->client, piece.bytes.data(), piece.bytes.size())) {
      shutdown(relay->client, SHUT_WR);
      return;
    }
  }
}

void DelayingProxy::Stop() {
  m_stopping = true;
  // The accept thread owns the relay list until it has ended.
  if (m_acceptThread.joinable()) m_acceptThread.join();
  for (auto& relay : m_relays) {
    {
      std::lock_guard<std::mutex> lock(relay->lock);
      relay->cond.notify_all();
    }
    for (int fd : {relay->client, relay->server})
      if (fd >= 0) shutdown(fd, SHUT_RDWR);
    for (std::thread* t : {&relay->up, &relay->downRead, &relay->downWrite})
      if (t->joinable()) t->join();
    for (int fd : {relay->client, relay->server})
      if (fd >= 0) close(fd);
  }
  m_relays.clear();
  for (int* fd : {&m_plug, &m_listen}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
}
