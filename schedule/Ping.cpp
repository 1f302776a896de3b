#include "schedule/Ping.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <new>

#include "common/Log.h"
#include "platform/base/socket.h"
#include "platform/base/tick.h"
#include "schedule/IWinsockEx.h"

namespace {

constexpr int kConnectWaitMs = 5000;
// How long one wait lasts before the stop flag is looked at again.
constexpr int kStopCheckMs = 20;
constexpr int kResolveTimeoutMs = 5000;

bool IsDottedText(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c != '.' && (c < '0' || c > '9')) return false;
  return true;
}

// 1..65535 written in decimal; anything else is no port.
int ParsePort(const std::string& text) {
  if (text.empty() || text.size() > 5) return 0;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
  }
  return value <= 65535 ? value : 0;
}

struct SocketGuard {
  platform::SocketHandle fd = platform::kNoSocket;
  ~SocketGuard() { platform::CloseSocket(fd); }
};

}  // namespace

IPing* CreatePing(const std::string& address, const std::string& port) {
  return new (std::nothrow) Ping(address, port);
}

Ping::Ping(const std::string& address, const std::string& port) : m_address(address), m_port(port) {}

Ping::~Ping() {
  m_stop = true;
  Join();
}

void Ping::Fail(const std::string& text, std::string* err) {
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_lastError = text;
  }
  if (err) *err = text;
  STRIVON_LOG(kLogInfo, "Ping::ThreadProcMain", "%s", text.c_str());
}

bool Ping::Connect(const std::string& address, std::string* err) {
  sockaddr_in server{};
  server.sin_family = AF_INET;
  if (inet_pton(AF_INET, address.c_str(), &server.sin_addr) != 1) {
    Fail("Ping::IP err", err);
    return false;
  }
  const int port = ParsePort(m_port);
  if (port == 0) {
    Fail("Ping::Port err", err);
    return false;
  }
  server.sin_port = htons(static_cast<uint16_t>(port));
  SocketGuard sock;
  sock.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (sock.fd < 0) {
    Fail("Ping::create socket err", err);
    return false;
  }
  if (connect(sock.fd, reinterpret_cast<const sockaddr*>(&server), sizeof server) == 0) return true;
  if (errno != EINPROGRESS) {
    Fail("Ping::connect err:" + std::to_string(errno), err);
    return false;
  }
  STRIVON_LOG(kLogInfo, "Ping::ThreadProcMain", "Ping::begin ip:%s, select, time:%d", address.c_str(),
              static_cast<int>(platform::TickCount()));
  const uint32_t begin = platform::TickCount();
  for (;;) {
    if (m_stop) {
      Fail("Ping::stopped", err);
      return false;
    }
    const uint32_t spent = platform::TickCount() - begin;
    if (spent >= static_cast<uint32_t>(kConnectWaitMs)) break;
    const int slice = std::min<int>(kStopCheckMs, kConnectWaitMs - static_cast<int>(spent));
    pollfd p{sock.fd, POLLOUT, 0};
    const int ready = poll(&p, 1, slice);
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) continue;
    // Writable also means "the attempt ended": only SO_ERROR 0 is a
    // connection; a refusal must not look like the fastest server.
    int soError = 0;
    socklen_t length = sizeof soError;
    if (getsockopt(sock.fd, SOL_SOCKET, SO_ERROR, &soError, &length) != 0) soError = errno;
    if (soError == 0) return true;
    Fail("Ping::connect err:" + std::to_string(soError), err);
    return false;
  }
  Fail("Ping::select connect timeout", err);
  STRIVON_LOG(kLogInfo, "Ping::ThreadProcMain", "Ping::select connect timeout, ip:%s, time:%d", address.c_str(),
              static_cast<int>(platform::TickCount()));
  return false;
}

bool Ping::Start(std::string* err) {
  std::string address;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    address = m_address;
  }
  STRIVON_LOG(kLogInfo, "Ping::Start", "Ping::Start, ip:%s, port:%s ", address.c_str(), m_port.c_str());
  return Connect(address, err);
}

bool Ping::AsynStart(std::string* err) {
  {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_started) {
      if (err) *err = "Ping::already started";
      return false;
    }
    m_started = true;
    m_startTime = platform::TickCount();
    STRIVON_LOG(kLogInfo, "Ping::AsynStart", "Ping::AsynStart, ip:%s, port:%s ", m_address.c_str(), m_port.c_str());
  }
  m_finished = false;
  m_stop = false;
  if (!CTVThread::Start()) {
    Fail("Ping::thread err", err);
    std::lock_guard<std::mutex> lock(m_lock);
    m_endTime = platform::TickCount();
    m_finished = true;
    return false;
  }
  return true;
}

void Ping::Run() {
  std::string address;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    address = m_address;
  }
  m_success = false;
  bool ok = false;
  if (!m_stop) {
    STRIVON_LOG(kLogInfo, "Ping::ThreadProcMain", "AsynPing :ip:%s, port:%s, time:%d", address.c_str(),
                m_port.c_str(), static_cast<int>(platform::TickCount()));
    if (!IsDottedText(address)) {
      IWinsockEx* resolver = CreateWinsockEx();
      if (resolver) {
        // Released probes stop resolving too, not only connecting.
        resolver->SetStopFlag(&m_stop);
        if (hostent* host = resolver->GetHostByName(address.c_str(), kResolveTimeoutMs)) {
          char text[INET_ADDRSTRLEN] = {};
          if (inet_ntop(AF_INET, host->h_addr_list[0], text, sizeof text)) address = text;
        }
        resolver->Release();
      }
      std::lock_guard<std::mutex> lock(m_lock);
      m_address = address;
    }
    ok = Connect(address, nullptr);
  }
  std::lock_guard<std::mutex> lock(m_lock);
  m_endTime = platform::TickCount();
  m_success = ok;
  STRIVON_LOG(kLogInfo, "Ping::ThreadProcMain", "AsynPing done:ip:%s, port:%s", m_address.c_str(), m_port.c_str());
  m_finished = true;
}

bool Ping::GetPingTime(int* ms) {
  std::lock_guard<std::mutex> lock(m_lock);
  const bool ok = m_finished && m_success;
  if (ms) *ms = ok ? static_cast<int>(m_endTime - m_startTime) : 0;
  return ok;
}
