// The login request's worker: one HTTP GET on a thread of its own, whose
// reply text goes to a sink. The worker touches nothing else; the sink hands
// the text over to the GUI thread. One request at a time; the thread is
// joined by the next Start, by Join and by the destructor. Cancel ends a
// running request at once (the program is closing), and nothing of it
// reaches the sink.
#pragma once
#include <atomic>
#include <memory>
#include <mutex>
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
  // Called on the worker thread, instead of OnResponse, when the service
  // answered with more than a login reply can hold; the reply was dropped
  // unread.
  virtual void OnOversizedReply() = 0;
};

class CNetProc {
 public:
  explicit CNetProc(const HttpLimits& limits = HttpLimits());
  // Cancels a running request and joins its thread.
  ~CNetProc();
  CNetProc(const CNetProc&) = delete;
  CNetProc& operator=(const CNetProc&) = delete;

  // Set before the first Start; not owned.
  void SetSink(CNetProcNotifySink* sink) { m_sink = sink; }
  // False, and nothing started, while an earlier request still runs.
  bool Start(std::string url);
  bool IsRunning() const { return m_running.load(); }
  // Any thread; the running request ends at once without reaching the sink.
  void Cancel();
  void Join();

 private:
  void Run(const std::string& url, const std::shared_ptr<HttpCancellation>& cancel);

  const HttpLimits m_limits;
  CNetProcNotifySink* m_sink = nullptr;
  std::atomic<bool> m_running{false};
  std::mutex m_cancelLock;
  std::shared_ptr<HttpCancellation> m_cancel;  // of the request started last
  std::thread m_thread;
};
