// The connect thread: URL, resolution, TCP connect, reports, then handshake
// and the command sequence up to "NetStream.Publish.Start".
#include <arpa/inet.h>
#include <fcntl.h>
#include <json/json.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>

#include "RtmpLib/jni/Rtmp.h"
#include "RtmpLib/jni/rtmp_log.h"
#include "platform/base/tick.h"

namespace {

// One-member JSON object, as the callers of OnRtmpReport expect it.
std::string OneMemberJson(const char* key, const Json::Value& value) {
  Json::Value root(Json::objectValue);
  root[key] = value;
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "   ";
  return Json::writeString(builder, root);
}

int64_t SteadyNowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

int CRtmp::ConnectPhaseRemainingMs() const {
  const int64_t deadline = m_connectDeadlineMs.load();
  // The phase ends the moment publishing starts: the owner may begin sending
  // from its own thread before the connect thread clears the deadline.
  if (deadline < 0 || m_publishing) return -1;
  return static_cast<int>(std::clamp<int64_t>(deadline - SteadyNowMs(), 0, INT32_MAX));
}

void CRtmp::FailConnectPhase(const char* function) {
  if (m_closed || m_connectPhaseFailed.exchange(true)) return;
  RTMP_LOG(kLogFatal, function, "connect phase not finished within %d ms", m_connectPhaseTimeoutMs.load());
  RaiseStatus("NetConnection.Connect.Failed");
  CloseSocket();
}

bool CRtmp::Connect(const char* url) {
  std::lock_guard<std::mutex> lock(m_connectMutex);
  // One attempt per object: the encoder creates a new client for the next one.
  if (m_connectThread.joinable() || url == nullptr) {
    RTMP_LOG(kLogWarning, "CRtmp::Connect", "connect refused: %s", url ? "an attempt was already made" : "no url");
    return false;
  }
  m_url = url;
  // Cleared here rather than on the new thread, so a CloseSocket that follows
  // Connect at once is not lost.
  m_closed = false;
  try {
    m_connectThread = std::thread([this, copy = m_url] { StartConnect(copy); });
  } catch (...) {
    m_closed = true;
    return false;
  }
  return true;
}

void CRtmp::Report(const char* key, const std::string& value) {
  if (m_notify == nullptr) return;
  try {
    const std::string json = OneMemberJson(key, Json::Value(value));
    m_notify->OnRtmpReport(json.c_str());
  } catch (...) {
  }
}

void CRtmp::Report(const char* key, int value) {
  if (m_notify == nullptr) return;
  try {
    const std::string json = OneMemberJson(key, Json::Value(value));
    m_notify->OnRtmpReport(json.c_str());
  } catch (...) {
  }
}

bool CRtmp::Resolve(const std::string& host, uint32_t* addressNetworkOrder) {
  in_addr address{};
  if (::inet_pton(AF_INET, host.c_str(), &address) == 1) {
    *addressNetworkOrder = address.s_addr;
    return true;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &result) != 0 || result == nullptr) return false;
  *addressNetworkOrder = reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr.s_addr;
  ::freeaddrinfo(result);
  return true;
}

bool CRtmp::ConnectTcp(uint32_t addressNetworkOrder, int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) {
    RTMP_LOG(kLogFatal, "CRtmp::StartConnect", "failed to create socket");
    return false;
  }
  {
    std::lock_guard<std::recursive_mutex> lock(m_closeLock);
    if (m_closed) {  // closed by the owner while we resolved
      ::close(fd);
      return false;
    }
    m_socket = fd;
  }
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
  BoundSendBuffer();

  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = addressNetworkOrder;

  // Non-blocking connect, waited for in short slices so that CloseSocket from
  // another thread ends the wait, and a silent peer ends it with the phase.
  const int flags = ::fcntl(fd, F_GETFL, 0);
  ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  int error = 0;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    error = errno;
    if (error == EINPROGRESS) {
      error = ETIMEDOUT;
      int remaining = 0;
      while (!m_closed && (remaining = ConnectPhaseRemainingMs()) != 0) {
        pollfd pfd{fd, POLLOUT, 0};
        const int r = ::poll(&pfd, 1, std::min(remaining, 50));
        if (r < 0 && errno != EINTR) {
          error = errno;
          break;
        }
        if (r > 0) {
          socklen_t length = sizeof(error);
          if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
          break;
        }
      }
    }
  }
  ::fcntl(fd, F_SETFL, flags);
  if (m_closed) return false;
  if (error != 0) {
    RTMP_LOG(kLogFatal, "CRtmp::StartConnect", "failed to connect socket. %d (%s)", error, std::strerror(error));
    RaiseStatus("NetConnection.Connect.Failed");
    CloseSocket();
    return false;
  }
  return true;
}

void CRtmp::StartConnect(const std::string& url) {
  RTMP_LOG(kLogFatal, "CRtmp::StartConnect", "Connect pszUrl %s", url.c_str());
  rtmp::RtmpUrl parsed;
  std::string error;
  if (!rtmp::ParseRtmpUrl(url, &parsed, &error)) {
    RTMP_LOG(kLogFatal, "CRtmp::ParseURLA", "%s", error.c_str());
    return;
  }
  m_app = parsed.app;
  m_stream = parsed.stream;
  const std::string tcUrl = rtmp::BuildTcUrl(parsed);
  RTMP_LOG(kLogFatal, "CRtmp::StartConnect", "ParseURL %s", tcUrl.c_str());
#if STRIVON_SDK_EARLIER
  m_swfUrl = "http://www.example.com/demo.swf";
  m_pageUrl = "http://www.example.com/demo.html";
#endif

  const uint32_t resolveStart = platform::TickCount();
  uint32_t address = 0;
  if (!Resolve(parsed.host, &address)) {
    RTMP_LOG(kLogFatal, "CRtmp::StartConnect", "failed to resolve %s", parsed.host.c_str());
    if (!m_closed) RaiseStatus("NetConnection.Connect.Failed");
    return;
  }
  char dotted[INET_ADDRSTRLEN] = {};
  in_addr in{};
  in.s_addr = address;
  ::inet_ntop(AF_INET, &in, dotted, sizeof(dotted));
  Report("RtmpSerIP", std::string(dotted));
  Report("DNSAnylzeTime", static_cast<int>(platform::TickCount() - resolveStart));

  const uint32_t connectStart = platform::TickCount();
  m_connectDeadlineMs = SteadyNowMs() + m_connectPhaseTimeoutMs.load();
  if (!ConnectTcp(address, parsed.port)) return;
  Report("ConnUntilSuccessTime", static_cast<int>(platform::TickCount() - connectStart));
  RaiseStatus("HighQualityService.Connect.Success");
  RaiseStatus("NetConnection.Connect.Success");

  if (!HandShake()) {
    RTMP_LOG(kLogFatal, "CRtmp::StartConnect", "handshake failed.");
    CloseSocket();
    return;
  }
  if (!SendConnectPacket(parsed, tcUrl)) {
    RTMP_LOG(kLogFatal, "CRtmp::StartConnect", "RTMP SendConnectPacket failed.");
    CloseSocket();
    return;
  }
  ReadUntilPublishing();
  // A publishing stream may be quiet, and sends are bounded by their own limit.
  m_connectDeadlineMs = -1;
  if (!m_publishing) {
    // The server stopped the sequence ("_error" or a fatal status) without
    // closing; nobody would read this connection again, so end it visibly.
    CloseSocket();
    return;
  }
  if (IsOpen()) CSafeThread::Start();
}
