#include "ui/NetProc.h"

#include <chrono>
#include <memory>

#include "app/IHttpInterface.h"

CNetProc::CNetProc(const HttpLimits& limits) : m_limits(limits) {}

CNetProc::~CNetProc() { Join(); }

bool CNetProc::Start(std::string url) {
  if (m_running.exchange(true)) return false;
  // The previous request is answered; its thread at most finishes handing
  // the reply over.
  Join();
  m_thread = std::thread([this, url = std::move(url)] { Run(url); });
  return true;
}

void CNetProc::Join() {
  if (m_thread.joinable()) m_thread.join();
}

void CNetProc::Run(const std::string& url) {
  const auto start = std::chrono::steady_clock::now();
  std::string reply;
  {
    // A client per request: it lives and dies on this thread.
    std::unique_ptr<IHttpInterface, HttpInterfaceRelease> http(CreateHttpConnect(m_limits));
    if (http) reply = http->HttpRequestA(url, 1, "", "");
  }
  // A Start from here on joins this thread first, so replies still reach
  // the sink in the order their requests were made.
  m_running = false;
  if (m_sink == nullptr) return;
  const auto elapsed = std::chrono::steady_clock::now() - start;
  m_sink->OnElapsed(static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));
  m_sink->OnResponse(std::move(reply));
}
