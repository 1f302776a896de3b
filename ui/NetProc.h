// The login request's worker: one HTTP GET on a thread of its own, whose
// reply text goes to a sink. The worker touches nothing else; the sink hands
// the text over to the GUI thread. One request at a time; the thread is
// joined by the next Start, by Join and by the destructor.
#pragma once
#include <atomic>
#include <string>
#include <thread>

#include "app/HttpTransfer.h"

class CNetProcNotifySink {
 public:
  virtual ~CNetProcNotifySink() = default;
  // The reply as it should be acted on (on the GUI thread).
  virtual void OnReply(std::string reply) = 0;
  // Called on the worker thread with the reply body ("" when the service
  // could not be reached or answered with a failure).
  virtual void OnResponse(std::string reply) = 0;
  // Called on the worker thread with the request's duration.
  virtual void OnElapsed(int ms) = 0;
};

class CNetProc {
 public:
  explicit CNetProc(const HttpLimits& limits = HttpLimits());
  ~CNetProc();
  CNetProc(const CNetProc&) = delete;
  CNetProc& operator=(const CNetProc&) = delete;

  // Set before the first Start; not owned.
  void SetSink(CNetProcNotifySink* sink) { m_sink = sink; }
  // False, and nothing started, while an earlier request still runs.
  bool Start(std::string url);
  bool IsRunning() const { return m_running.load(); }
  void Join();

 private:
  void Run(const std::string& url);

  const HttpLimits m_limits;
  CNetProcNotifySink* m_sink = nullptr;
  std::atomic<bool> m_running{false};
  std::thread m_thread;
};
