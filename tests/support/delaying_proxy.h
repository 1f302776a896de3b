// A TCP relay on a free loopback port in front of a real server: the
// clients' bytes pass at once, the server's bytes are held back for a
// settable time (a slow return path), and new connections can be made to
// stall for a while (a slow server to connect to). Every client gets its
// own relay to 127.0.0.1:serverPort.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class DelayingProxy {
 public:
  DelayingProxy() = default;
  ~DelayingProxy() { Stop(); }
  DelayingProxy(const DelayingProxy&) = delete;
  DelayingProxy& operator=(const DelayingProxy&) = delete;

  bool Start(int serverPort);
  void Stop();
  int port() const { return m_port; }
  // Applies to server bytes received from now on.
  void SetReturnDelayMs(int ms) { m_delayMs = ms; }
  // For the next ms, connection attempts are not answered: the accept
  // queue is kept full, so the clients' kernels drop their SYN and retry
  // about a second later. A connect started now takes about a second.
  void HoldConnectsFor(int ms);

 private:
  using Clock = std::chrono::steady_clock;
  struct Piece {
    Clock::time_point due;
    std::vector<char> bytes;
  };
  struct Relay {
    int client = -1;
    int server = -1;
    std::thread up, downRead, downWrite;
    std::mutex lock;
    std::condition_variable cond;
    std::deque<Piece> pending;
  };
  void AcceptLoop();
  void StartRelay(int client);
  void Upstream(Relay* relay);
  void DownstreamRead(Relay* relay);
  void DownstreamWrite(Relay* relay);

  int m_listen = -1;
  int m_serverPort = 0;
  int m_port = 0;
  std::atomic<int> m_delayMs{0};
  std::atomic<bool> m_stopping{false};
  std::thread m_acceptThread;
  std::mutex m_holdLock;  // the hold and its plug connection
  Clock::time_point m_holdUntil{};
  int m_plug = -1;
  int m_plugPort = 0;
  std::list<std::unique_ptr<Relay>> m_relays;  // accept thread only, until Stop
};
