#include "schedule/PraseDomainName.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <random>

#include "platform/base/socket.h"
#include "platform/base/tick.h"
#include "schedule/DnsMessage.h"

namespace {

// How long one wait for the reply lasts before the stop flag is looked at again.
constexpr int kStopCheckMs = 20;

uint16_t RandomQueryId() {
  uint16_t id = 0;
  if (getrandom(&id, sizeof id, 0) == static_cast<ssize_t>(sizeof id)) return id;
  std::random_device device;
  return static_cast<uint16_t>(device());
}

// Closes the socket on every way out of a query.
struct SocketGuard {
  platform::SocketHandle fd = platform::kNoSocket;
  ~SocketGuard() { platform::CloseSocket(fd); }
};

}  // namespace

IPraseDomainName* CreatePraseDomainName() { return new (std::nothrow) PraseDomainName(); }

bool PraseDomainName::Prase(const std::string& domain, DnsResult* out, std::string* err, int timeoutMs) {
  m_domain = domain;
  std::string error;
  const bool ok = Query(&error, timeoutMs);
  if (err) *err = error;
  if (out) *out = m_result;
  return ok;
}

bool PraseDomainName::PraseWithServer(const std::string& domain, const std::string& server, DnsResult* out,
                                      std::string* err, int timeoutMs) {
  m_server = server;
  return Prase(domain, out, err, timeoutMs);
}

bool PraseDomainName::Query(std::string* err, int timeoutMs) {
  if (m_domain.empty() || m_server.empty()) {
    *err = "domain wrong or dns wrong";
    return false;
  }
  const uint16_t id = RandomQueryId();
  std::vector<uint8_t> query;
  if (!dns::BuildQuery(m_domain, id, &query, err)) return false;

  sockaddr_in server{};
  server.sin_family = AF_INET;
  server.sin_port = htons(m_port);
  if (m_port == 0 || inet_pton(AF_INET, m_server.c_str(), &server.sin_addr) != 1) {
    *err = "IP err";
    return false;
  }
  SocketGuard sock;
  sock.fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (sock.fd < 0) {
    *err = "create socket err";
    return false;
  }
  // Connected: the kernel drops datagrams from anyone but the asked server.
  if (connect(sock.fd, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0 ||
      send(sock.fd, query.data(), query.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(query.size())) {
    *err = "Ping::sendto err:" + std::to_string(errno);
    return false;
  }

  std::vector<uint8_t> reply(dns::kMaxMessage);
  const uint32_t start = platform::TickCount();
  // Why the last datagram was no answer: a dropped one's reason is what a
  // lookup that runs out of time reports.
  std::string reason;
  for (;;) {
    if (m_stop && m_stop->load()) {
      *err = "stopped";
      return false;
    }
    int waitMs = kStopCheckMs;
    if (timeoutMs > 0) {
      const uint32_t spent = platform::TickCount() - start;
      if (spent >= static_cast<uint32_t>(timeoutMs)) {
        *err = reason.empty() ? "recvfrom err:" + std::to_string(EAGAIN) : reason;
        return false;
      }
      waitMs = std::min(waitMs, timeoutMs - static_cast<int>(spent));
    }
    pollfd p{sock.fd, POLLIN, 0};
    const int ready = poll(&p, 1, waitMs);
    if (ready == 0 || (ready < 0 && errno == EINTR)) continue;
    if (ready < 0) {
      *err = "recvfrom err:" + std::to_string(errno);
      return false;
    }
    // A datagram longer than the buffer arrives cut short; the reader then
    // only sees what fits.
    const ssize_t n = recv(sock.fd, reply.data(), reply.size(), 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n < 0) {
      *err = "recvfrom err:" + std::to_string(errno);
      return false;
    }
    std::vector<std::string> addresses;
    switch (dns::ParseReply(reply.data(), static_cast<size_t>(n), id, m_domain, &addresses, &reason)) {
      case dns::ReplyVerdict::kNotOurs:
        continue;
      case dns::ReplyVerdict::kFailed:
        *err = reason;
        return false;
      case dns::ReplyVerdict::kAnswered:
        m_result.domain = m_domain;
        m_result.addresses = std::move(addresses);
        err->clear();
        return true;
    }
  }
}
