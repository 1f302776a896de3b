// The demo login service's listener: HTTP/1.1 on 127.0.0.1, one request per
// connection, each answered by a handler with a JSON body, or with 404, or
// never (a service that accepts and then stalls). Single-threaded.
#pragma once
#include <csignal>
#include <deque>
#include <functional>
#include <string>

enum class ServeMode { kAnswer, kNotFound, kStall };

class LoopbackHttp {
 public:
  using Handler = std::function<std::string(const std::string& target)>;
  LoopbackHttp() = default;
  ~LoopbackHttp();
  LoopbackHttp(const LoopbackHttp&) = delete;
  LoopbackHttp& operator=(const LoopbackHttp&) = delete;

  // Port 0 takes any free port; port() tells which.
  bool Listen(int port, std::string* error);
  int port() const { return m_port; }
  // Serves until stop becomes non-zero (a signal handler sets it).
  void Serve(ServeMode mode, const Handler& handler, const volatile std::sig_atomic_t& stop);

 private:
  void Answer(int fd, ServeMode mode, const Handler& handler, const volatile std::sig_atomic_t& stop);
  void Hold(int fd);

  int m_listen = -1;
  int m_port = 0;
  std::deque<int> m_held;  // stalled connections, kept open unanswered
};
