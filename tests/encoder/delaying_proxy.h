// A one-connection TCP relay on a free loopback port that passes the
// client's bytes to the server at once and holds the server's bytes back for
// a settable time: a slow return path (late pongs) in front of a real
// server. Used by the adaptive bit-rate test.
#pragma once
#include <atomic>
#include <condition_variable>
#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class DelayingProxy {
 public:
  DelayingProxy() = default;
  ~DelayingProxy() { Stop(); }
  DelayingProxy(const DelayingProxy&) = delete;
  DelayingProxy& operator=(const DelayingProxy&) = delete;

  // Listens on 127.0.0.1 and relays the first client to 127.0.0.1:serverPort.
  bool Start(int serverPort);
  void Stop();
  int port() const { return m_port; }
  // Applies to server bytes received from now on.
  void SetReturnDelayMs(int ms) { m_delayMs = ms; }

 private:
  using Clock = std::chrono::steady_clock;
  struct Piece {
    Clock::time_point due;
    std::vector<char> bytes;
  };
  void AcceptAndRelay();
  void Upstream();
  void DownstreamRead();
  void DownstreamWrite();

  int m_listen = -1;
  int m_client = -1;
  int m_server = -1;
  int m_serverPort = 0;
  int m_port = 0;
  std::atomic<int> m_delayMs{0};
  std::atomic<bool> m_stopping{false};
  std::thread m_acceptThread;
  std::thread m_upThread, m_downReadThread, m_downWriteThread;
  std::mutex m_lock;
  std::condition_variable m_cond;
  std::deque<Piece> m_pending;
};
