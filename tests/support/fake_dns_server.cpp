#include "tests/support/fake_dns_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace test_support {

namespace {

// End of the question (name, type, class) in a query, or 0.
size_t QuestionEnd(const Bytes& q) {
  size_t p = 12;
  while (p < q.size() && q[p] != 0) p += 1 + q[p];
  return p + 5 <= q.size() ? p + 5 : 0;
}

void Put16(Bytes* b, unsigned v) {
  b->push_back(static_cast<uint8_t>(v >> 8));
  b->push_back(static_cast<uint8_t>(v));
}

}  // namespace

std::string DnsQueryName(const Bytes& q) {
  std::string name;
  size_t p = 12;
  while (p < q.size() && q[p] != 0 && p + 1 + q[p] <= q.size()) {
    if (!name.empty()) name += '.';
    name.append(reinterpret_cast<const char*>(&q[p + 1]), q[p]);
    p += 1 + q[p];
  }
  return name;
}

Bytes DnsWireName(const std::string& dotted) {
  Bytes wire;
  size_t start = 0;
  while (start <= dotted.size()) {
    const size_t dot = std::min(dotted.find('.', start), dotted.size());
    wire.push_back(static_cast<uint8_t>(dot - start));
    wire.insert(wire.end(), dotted.begin() + static_cast<long>(start), dotted.begin() + static_cast<long>(dot));
    start = dot + 1;
  }
  wire.push_back(0);
  return wire;
}

DnsAnswer DnsA(const std::string& dotted) {
  in_addr a{};
  inet_pton(AF_INET, dotted.c_str(), &a);
  const auto* b = reinterpret_cast<const uint8_t*>(&a);
  return {1, Bytes(b, b + 4), true};
}

Bytes BuildDnsReply(const Bytes& query, const std::vector<DnsAnswer>& answers, int rcode) {
  const size_t end = QuestionEnd(query);
  if (end == 0) return {};
  Bytes r(query.begin(), query.begin() + end);
  r[2] = 0x81;
  r[3] = static_cast<uint8_t>(0x80 | (rcode & 0x0f));
  r[6] = static_cast<uint8_t>(answers.size() >> 8);
  r[7] = static_cast<uint8_t>(answers.size());
  for (const DnsAnswer& a : answers) {
    if (!a.owner.empty()) {
      r.insert(r.end(), a.owner.begin(), a.owner.end());
    } else if (a.pointerName) {
      Put16(&r, 0xc00c);
    } else {
      r.insert(r.end(), query.begin() + 12, query.begin() + end - 4);
    }
    Put16(&r, a.type);
    Put16(&r, a.klass);
    Put16(&r, 0);
    Put16(&r, 60);
    Put16(&r, static_cast<unsigned>(a.data.size()));
    r.insert(r.end(), a.data.begin(), a.data.end());
  }
  return r;
}

FakeDnsServer::Handler FakeDnsServer::Names(std::vector<std::pair<std::string, std::string>> names) {
  return [names](const Bytes& query) -> std::vector<Bytes> {
    const std::string asked = DnsQueryName(query);
    for (const auto& n : names)
      if (n.first == asked) return {BuildDnsReply(query, {DnsA(n.second)})};
    return {BuildDnsReply(query, {}, 3)};
  };
}

bool FakeDnsServer::Start(Handler handler) {
  m_handler = std::move(handler);
  m_fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (m_fd < 0) return false;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    close(m_fd);
    m_fd = -1;
    return false;
  }
  m_port = ntohs(a.sin_port);
  m_otherFd = socket(AF_INET, SOCK_DGRAM, 0);
  m_thread = std::thread(&FakeDnsServer::Serve, this);
  return true;
}

void FakeDnsServer::Serve() {
  Bytes buffer(65536);
  while (!m_stopping) {
    pollfd p{m_fd, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n = recvfrom(m_fd, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (n <= 0) continue;
    ++m_queries;
    for (const Bytes& reply : m_handler(Bytes(buffer.begin(), buffer.begin() + n)))
      sendto(m_otherPort && m_otherFd >= 0 ? m_otherFd : m_fd, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
  }
}

void FakeDnsServer::Stop() {
  m_stopping = true;
  if (m_thread.joinable()) m_thread.join();
  for (int* fd : {&m_fd, &m_otherFd}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
}

}  // namespace test_support
