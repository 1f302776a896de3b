// An HTTP/1.1 server on a free loopback port for the HTTP client and the
// scheduler: it records every request target ("/path?query", as sent) and
// answers each through a handler, one connection at a time. A response can
// also stall: the connection is held open, unanswered, until Stop; or stream:
// a body of no announced length sent piece by piece, endless or trickling.
// Whole requests (head and Content-Length body) are kept too, for clients
// whose headers and bodies matter.
#pragma once
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace test_support {

struct HttpReply {
  int status = 200;
  std::string body;
  bool stall = false;
  std::string raw{};  // when set, sent as it stands instead of status and body
  // When set, the body is this piece sent again and again after a head
  // without a length (raw when set, which may also begin the body):
  // `pieces` times (0: until the client goes away or Stop), one every
  // pieceIntervalMs.
  std::string piece{};
  size_t pieces = 0;
  int pieceIntervalMs = 0;
};

// A reply that to the client seems endless: status 200, start, then
// blankBytes of blanks in 64 KiB pieces, with no length announced.
HttpReply EndlessBlankReply(const std::string& start, size_t blankBytes);

class FakeHttpServer {
 public:
  using Handler = std::function<HttpReply(const std::string& target)>;
  FakeHttpServer() = default;
  ~FakeHttpServer() { Stop(); }
  FakeHttpServer(const FakeHttpServer&) = delete;
  FakeHttpServer& operator=(const FakeHttpServer&) = delete;

  bool Start(Handler handler);
  void Stop();
  int port() const { return m_port; }
  std::vector<std::string> Requests();
  // Every request as received: request line, headers, blank line, body.
  std::vector<std::string> WholeRequests();
  // Waits until at least count requests arrived.
  bool WaitForRequests(size_t count, int timeoutMs);
  // Body bytes of streamed replies the client took so far.
  unsigned long long StreamedBytes() const { return m_streamed.load(); }

 private:
  void Serve();
  void Answer(int fd);
  void Stream(int fd, const HttpReply& reply);
  bool SendAll(int fd, const std::string& bytes);
  int m_listen = -1;
  int m_port = 0;
  Handler m_handler;
  std::atomic<bool> m_stopping{false};
  std::atomic<unsigned long long> m_streamed{0};
  std::thread m_thread;
  std::mutex m_lock;
  std::condition_variable m_changed;
  std::vector<std::string> m_requests;
  std::vector<std::string> m_wholeRequests;
  std::vector<int> m_stalled;  // serve thread only
};

}  // namespace test_support
