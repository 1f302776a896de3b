// A DNS responder on a UDP loopback port for the resolver's tests: every
// query goes to a handler that returns the datagrams to send back (none for
// silence). Helpers build replies from the query they answer.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace test_support {

using Bytes = std::vector<uint8_t>;

struct DnsAnswer {
  uint16_t type = 1;  // A
  Bytes data;         // RDATA as sent
  bool pointerName = true;  // name as a pointer to the question, else spelled out
  uint16_t klass = 1;       // IN
  Bytes owner{};            // when set, this wire-form name owns the record instead
};

// A name in wire form ("a.b" -> 1 'a' 1 'b' 0).
Bytes DnsWireName(const std::string& dotted);

// The question's name of a query ("a.b.c"), empty when unreadable.
std::string DnsQueryName(const Bytes& query);
// A reply with the query's id and question, flags "response, recursion
// available" plus rcode, and the answers.
Bytes BuildDnsReply(const Bytes& query, const std::vector<DnsAnswer>& answers, int rcode = 0);
// An A answer for a dotted address.
DnsAnswer DnsA(const std::string& dotted);

class FakeDnsServer {
 public:
  using Handler = std::function<std::vector<Bytes>(const Bytes& query)>;
  FakeDnsServer() = default;
  ~FakeDnsServer() { Stop(); }
  FakeDnsServer(const FakeDnsServer&) = delete;
  FakeDnsServer& operator=(const FakeDnsServer&) = delete;

  bool Start(Handler handler);
  void Stop();
  int port() const { return m_port; }
  int queries() const { return m_queries.load(); }
  // Replies then leave from another port, as a forger's would.
  void SetReplyFromOtherPort(bool other) { m_otherPort = other; }
  // Answers the names given (name -> dotted address) and RCODE 3 for others.
  static Handler Names(std::vector<std::pair<std::string, std::string>> names);

 private:
  void Serve();
  int m_fd = -1;
  int m_otherFd = -1;
  int m_port = 0;
  std::atomic<bool> m_otherPort{false};
  Handler m_handler;
  std::atomic<bool> m_stopping{false};
  std::atomic<int> m_queries{0};
  std::thread m_thread;
};

}  // namespace test_support
