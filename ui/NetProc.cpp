#include "ui/NetProc.h"

#include <chrono>
#include <memory>

#include "app/IHttpInterface.h"

CNetProc::CNetProc(const HttpLimits& limits) : m_limits(limits) {}

CNetProc::~CNetProc() {
  Cancel();
  Join();
}

bool CNetProc::Start(std::string url) {
  if (m_running.exchange(true)) return false;
  // The previous request is answered; its thread at most finishes handing
  // the reply over.
  Join();
  auto cancel = std::make_shared<HttpCancellation>();
  {
    std::lock_guard<std::mutex> hold(m_cancelLock);
    m_cancel = cancel;
  }
  m_thread = std::thread([this, url = std::move(url), cancel] { Run(url, cancel); });
  return true;
}

void CNetProc::Cancel() {
  std::lock_guard<std::mutex> hold(m_cancelLock);
  if (m_cancel) m_cancel->Cancel();
}

void CNetProc::Join() {
  if (m_thread.joinable()) m_thread.join();
}

void CNetProc::Run(const std::string& url, const std::shared_ptr<HttpCancellation>& cancel) {
  const auto start = std::chrono::steady_clock::now();
  std::string reply;
  IHttpInterface::Failure failure = IHttpInterface::Failure::kUnreachable;
  {
    // A client per request: it lives and dies on this thread.
    std::unique_ptr<IHttpInterface, HttpInterfaceRelease> http(CreateHttpConnect(m_limits, cancel));
    if (http) {
      reply = http->HttpRequestA(url, 1, "", "");
      failure = http->LastFailure();
    }
  }
  // A Start from here on joins this thread first, so replies still reach
  // the sink in the order their requests were made.
  m_running = false;
  // Cancelled: the window is going; an empty reply would read as "no
  // answer" and open the account from its cache.
  if (m_sink == nullptr || cancel->Cancelled()) return;
  const auto elapsed = std::chrono::steady_clock::now() - start;
  m_sink->OnElapsed(static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));
  if (failure == IHttpInterface::Failure::kTooLarge) {
    m_sink->OnOversizedReply();
    return;
  }
  m_sink->OnResponse(std::move(reply));
}
