#include "tests/support/fake_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <strings.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>

namespace test_support {

bool FakeHttpServer::Start(Handler handler) {
  m_handler = std::move(handler);
  m_listen = socket(AF_INET, SOCK_STREAM, 0);
  if (m_listen < 0) return false;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(m_listen, 16) != 0 ||
      getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    close(m_listen);
    m_listen = -1;
    return false;
  }
  m_port = ntohs(a.sin_port);
  m_thread = std::thread(&FakeHttpServer::Serve, this);
  return true;
}

void FakeHttpServer::Serve() {
  while (!m_stopping) {
    pollfd p{m_listen, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    const int fd = accept(m_listen, nullptr, nullptr);
    if (fd >= 0) Answer(fd);
  }
}

namespace {

// The Content-Length the request head announces; 0 when it has none.
size_t BodyLength(const std::string& head) {
  for (size_t line = head.find("\r\n"); line != std::string::npos; line = head.find("\r\n", line + 2)) {
    static const char kName[] = "content-length:";
    if (strncasecmp(head.c_str() + line + 2, kName, sizeof kName - 1) == 0)
      return std::strtoul(head.c_str() + line + 2 + sizeof kName - 1, nullptr, 10);
  }
  return 0;
}

}  // namespace

void FakeHttpServer::Answer(int fd) {
  std::string head;
  char buffer[4096];
  size_t headEnd = std::string::npos;
  bool closed = false;
  auto receive = [&] {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) return;
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0)
      closed = true;
    else
      head.append(buffer, static_cast<size_t>(n));
  };
  while ((headEnd = head.find("\r\n\r\n")) == std::string::npos && !m_stopping && !closed) receive();
  if (headEnd != std::string::npos) {
    const size_t whole = headEnd + 4 + BodyLength(head.substr(0, headEnd + 2));
    while (head.size() < whole && !m_stopping && !closed) receive();
  }
  const size_t space = head.find(' ');
  const size_t space2 = space == std::string::npos ? space : head.find(' ', space + 1);
  if (space2 == std::string::npos) {
    close(fd);
    return;
  }
  const std::string target = head.substr(space + 1, space2 - space - 1);
  const HttpReply reply = m_handler(target);
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_requests.push_back(target);
    m_wholeRequests.push_back(head);
    m_changed.notify_all();
  }
  if (reply.stall) {
    m_stalled.push_back(fd);
    return;
  }
  if (!reply.piece.empty()) {
    Stream(fd, reply);
    close(fd);
    return;
  }
  std::string response = reply.raw;
  if (response.empty())
    response = "HTTP/1.1 " + std::to_string(reply.status) + " X\r\nContent-Type: text/plain\r\n" +
               "Content-Length: " + std::to_string(reply.body.size()) + "\r\nConnection: close\r\n\r\n" + reply.body;
  size_t sent = 0;
  while (sent < response.size()) {
    const ssize_t n = send(fd, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  shutdown(fd, SHUT_WR);
  close(fd);
}

bool FakeHttpServer::SendAll(int fd, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    if (m_stopping) return false;
    // Waits in short steps, so Stop is never held up by a client that
    // stopped reading.
    pollfd p{fd, POLLOUT, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

void FakeHttpServer::Stream(int fd, const HttpReply& reply) {
  const std::string head = !reply.raw.empty()
                               ? reply.raw
                               : "HTTP/1.1 " + std::to_string(reply.status) +
                                     " X\r\nContent-Type: text/plain\r\nConnection: close\r\n\r\n";
  if (!SendAll(fd, head)) return;
  for (size_t count = 0; reply.pieces == 0 || count < reply.pieces; ++count) {
    if (reply.pieceIntervalMs > 0 && count > 0) {
      const auto next = std::chrono::steady_clock::now() + std::chrono::milliseconds(reply.pieceIntervalMs);
      while (!m_stopping && std::chrono::steady_clock::now() < next) {
        pollfd p{fd, POLLIN, 0};
        char peek = 0;
        // The client hung up (readable with nothing to read): stop early.
        if (poll(&p, 1, 20) > 0 && recv(fd, &peek, 1, MSG_PEEK | MSG_DONTWAIT) == 0) return;
      }
    }
    if (!SendAll(fd, reply.piece)) return;
    m_streamed += reply.piece.size();
  }
  shutdown(fd, SHUT_WR);
}

std::vector<std::string> FakeHttpServer::WholeRequests() {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_wholeRequests;
}

std::vector<std::string> FakeHttpServer::Requests() {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_requests;
}

bool FakeHttpServer::WaitForRequests(size_t count, int timeoutMs) {
  std::unique_lock<std::mutex> lock(m_lock);
  return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_requests.size() >= count; });
}

void FakeHttpServer::Stop() {
  m_stopping = true;
  if (m_thread.joinable()) m_thread.join();
  for (int fd : m_stalled) close(fd);
  m_stalled.clear();
  if (m_listen >= 0) close(m_listen);
  m_listen = -1;
}

HttpReply EndlessBlankReply(const std::string& start, size_t blankBytes) {
  constexpr size_t kPiece = 64u << 10;
  HttpReply reply;
  reply.raw = "HTTP/1.1 200 X\r\nContent-Type: text/plain\r\nConnection: close\r\n\r\n" + start;
  reply.piece.assign(kPiece, ' ');
  reply.pieces = (blankBytes + kPiece - 1) / kPiece;
  return reply;
}

}  // namespace test_support
