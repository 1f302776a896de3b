// The library's DNS client against a scripted responder and a real dnsmasq.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>

#include "schedule/DnsMessage.h"
#include "schedule/IPraseDomainName.h"
#include "schedule/IWinsockEx.h"
#include "tests/support/dnsmasq_server.h"
#include "tests/support/fake_dns_server.h"

using test_support::BuildDnsReply;
using test_support::Bytes;
using test_support::DnsA;
using test_support::DnsAnswer;
using test_support::FakeDnsServer;

namespace {

struct Lookup {
  bool ok = false;
  DnsResult result;
  std::string err;
  long long ms = 0;
};

Lookup Resolve(int port, const std::string& name, int timeoutMs = 2000) {
  IPraseDomainName* dns = CreatePraseDomainName();
  dns->SetDnsPort(static_cast<uint16_t>(port));
  Lookup l;
  const auto start = std::chrono::steady_clock::now();
  l.ok = dns->PraseWithServer(name, "127.0.0.1", &l.result, &l.err, timeoutMs);
  l.ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  dns->Release();
  return l;
}

// A responder that answers every query with one fixed transformation.
FakeDnsServer::Handler Reply(std::function<Bytes(const Bytes&)> make) {
  return [make](const Bytes& q) { return std::vector<Bytes>{make(q)}; };
}

std::string FirstAddress(hostent* host) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, host->h_addr_list[0], text, sizeof text);
  return text;
}

}  // namespace

TEST(DnsClient, RefusesWrongIdsErrorCodesAndRepliesWithoutAddress) {
  FakeDnsServer server;
  ASSERT_TRUE(server.Start(Reply([](const Bytes& q) {
    const std::string name = test_support::DnsQueryName(q);
    if (name == "wrong.id") {
      Bytes r = BuildDnsReply(q, {DnsA("1.2.3.4")});
      r[1] ^= 1;
      return r;
    }
    if (name == "cname.only") return BuildDnsReply(q, {{5, {3, 'a', 'b', 'c', 0}, true}});
    if (name == "bad.length") return BuildDnsReply(q, {{1, {1, 2, 3, 4, 5, 6}, true}});
    return BuildDnsReply(q, {}, 3);
  })));
  EXPECT_EQ(Resolve(server.port(), "wrong.id", 300).err, "ID not match");
  EXPECT_EQ(Resolve(server.port(), "no.such").err, "Resqonse RCode:3");
  // No address must never become 0.0.0.0, which connects to this host.
  const Lookup none = Resolve(server.port(), "cname.only");
  EXPECT_FALSE(none.ok);
  EXPECT_TRUE(none.result.addresses.empty());
  EXPECT_FALSE(Resolve(server.port(), "bad.length").ok);
}

// Datagrams a resolver path may deliver before the real reply: each is
// dropped and the reply that follows is taken.
Bytes NotTheReply(const Bytes& q) {
  const std::string name = test_support::DnsQueryName(q);
  Bytes r = BuildDnsReply(q, {DnsA("6.6.6.6")});
  if (name == "wrong.id") r[1] ^= 1;
  if (name == "no.response.bit") r[2] &= 0x7f;
  if (name == "chaos.question") r[q.size() - 1] = 3;  // the question's class CH
  if (name == "other.question") {
    std::vector<uint8_t> other;
    std::string err;
    dns::BuildQuery("evil.strivon.test", static_cast<uint16_t>(q[0] << 8 | q[1]), &other, &err);
    r = BuildDnsReply(other, {DnsA("6.6.6.6")});
  }
  return r;
}

TEST(DnsClient, DatagramsThatAreNotTheReplyAreDroppedAndTheWaitGoesOn) {
  std::atomic<bool> alone{false};
  FakeDnsServer server;
  ASSERT_TRUE(server.Start([&](const Bytes& q) {
    std::vector<Bytes> out{NotTheReply(q)};
    if (!alone) out.push_back(BuildDnsReply(q, {DnsA("10.0.0.1")}));
    return out;
  }));
  const std::vector<std::string> names = {"wrong.id", "no.response.bit", "chaos.question", "other.question"};
  for (const std::string& name : names) {
    const Lookup l = Resolve(server.port(), name);
    ASSERT_TRUE(l.ok) << name << ": " << l.err;
    EXPECT_EQ(l.result.addresses, std::vector<std::string>{"10.0.0.1"}) << name;
  }
  alone = true;
  for (const std::string& name : names) {
    const Lookup l = Resolve(server.port(), name, 300);
    EXPECT_FALSE(l.ok) << name;
    EXPECT_TRUE(l.result.addresses.empty()) << name;
    EXPECT_GE(l.ms, 250) << name << ": the wait went on until its limit";
  }
}

TEST(DnsClient, OnlyInternetAddressesOfTheAskedNameCount) {
  FakeDnsServer server;
  ASSERT_TRUE(server.Start(Reply([](const Bytes& q) {
    const std::string name = test_support::DnsQueryName(q);
    DnsAnswer chaos = DnsA("10.0.0.3");
    chaos.klass = 3;
    DnsAnswer foreign = DnsA("10.0.0.5");
    foreign.owner = test_support::DnsWireName("evil.strivon.test");
    if (name == "chaos.answer") return BuildDnsReply(q, {chaos});
    if (name == "zero.address") return BuildDnsReply(q, {DnsA("0.0.0.0")});
    if (name == "other.owner") return BuildDnsReply(q, {foreign});
    // Only the Internet-class address of the asked name is left.
    return BuildDnsReply(q, {chaos, DnsA("0.0.0.0"), foreign, DnsA("10.0.0.4")});
  })));
  for (const char* name : {"chaos.answer", "zero.address", "other.owner"}) {
    const Lookup l = Resolve(server.port(), name);
    EXPECT_FALSE(l.ok) << name;
    EXPECT_EQ(l.err, "no A record") << name;
  }
  const Lookup mixed = Resolve(server.port(), "Mixed.Answers");
  ASSERT_TRUE(mixed.ok) << mixed.err;
  EXPECT_EQ(mixed.result.addresses, std::vector<std::string>{"10.0.0.4"});
}

TEST(DnsClient, ReadsAddressesBehindCnamesAndSpelledOutNames) {
  FakeDnsServer server;
  ASSERT_TRUE(server.Start(Reply([](const Bytes& q) {
    const bool spelled = test_support::DnsQueryName(q) == "spelled.out";
    return BuildDnsReply(q, {{5, {3, 'c', 'd', 'n', 0xc0, 0x0c}, !spelled}, {1, {10, 0, 0, 7}, !spelled}});
  })));
  for (const char* name : {"pointer.name", "spelled.out", "trailing.dot."}) {
    const Lookup l = Resolve(server.port(), name);
    ASSERT_TRUE(l.ok) << name << ": " << l.err;
    EXPECT_EQ(l.result.addresses, std::vector<std::string>{"10.0.0.7"});
  }
}

TEST(DnsClient, CutShortOversizedAndCrowdedRepliesStayInBounds) {
  FakeDnsServer server;
  ASSERT_TRUE(server.Start(Reply([](const Bytes& q) {
    const std::string name = test_support::DnsQueryName(q);
    if (name == "cut.short") {
      Bytes r = BuildDnsReply(q, {DnsA("1.2.3.4")});
      r.resize(r.size() - 2);  // the answer's data is missing its end
      return r;
    }
    if (name == "over.size") {
      // Past the 2048-byte buffer: the first answer is read, the rest is cut off.
      std::vector<DnsAnswer> answers{DnsA("5.6.7.8"), {16, Bytes(3000, 'x'), true}, DnsA("9.9.9.9")};
      return BuildDnsReply(q, answers);
    }
    std::vector<DnsAnswer> forty;
    for (int i = 0; i < 40; ++i) forty.push_back(DnsA("10.1.0." + std::to_string(i)));
    return BuildDnsReply(q, forty);
  })));
  EXPECT_FALSE(Resolve(server.port(), "cut.short").ok);
  const Lookup big = Resolve(server.port(), "over.size");
  ASSERT_TRUE(big.ok) << big.err;
  EXPECT_EQ(big.result.addresses, std::vector<std::string>{"5.6.7.8"});
  const Lookup crowd = Resolve(server.port(), "forty.records");
  ASSERT_TRUE(crowd.ok) << crowd.err;
  ASSERT_EQ(crowd.result.addresses.size(), 32u);
  EXPECT_EQ(crowd.result.addresses[31], "10.1.0.31");
}

TEST(DnsClient, RefusesBadNamesWithoutSendingAndIgnoresOtherSenders) {
  FakeDnsServer server;
  ASSERT_TRUE(server.Start(Reply([](const Bytes& q) { return BuildDnsReply(q, {DnsA("1.1.1.1")}); })));
  EXPECT_EQ(Resolve(server.port(), "localhost").err, "domain format err: no dot");
  EXPECT_FALSE(Resolve(server.port(), "a..b").ok);
  EXPECT_FALSE(Resolve(server.port(), std::string(64, 'a') + ".com").ok);
  EXPECT_TRUE(Resolve(server.port(), std::string(63, 'a') + ".com").ok);
  EXPECT_EQ(server.queries(), 1);
  server.SetReplyFromOtherPort(true);
  const Lookup forged = Resolve(server.port(), "from.elsewhere", 300);
  EXPECT_FALSE(forged.ok);
  EXPECT_EQ(forged.err.rfind("recvfrom err:", 0), 0u) << forged.err;
}

TEST(DnsClient, QueryIdsDifferWithinOneSecond) {
  std::mutex lock;
  std::set<int> ids;
  FakeDnsServer server;
  ASSERT_TRUE(server.Start([&](const Bytes& q) {
    std::lock_guard<std::mutex> hold(lock);
    ids.insert(q[0] << 8 | q[1]);
    return std::vector<Bytes>{BuildDnsReply(q, {DnsA("1.1.1.1")})};
  }));
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(Resolve(server.port(), "same.second").ok);
  std::lock_guard<std::mutex> hold(lock);
  EXPECT_GT(ids.size(), 1u);
}

TEST(DnsClient, SilenceEndsAtTheTimeLimitAndTheSecondServerAnswers) {
  FakeDnsServer silent, answering;
  ASSERT_TRUE(silent.Start([](const Bytes&) { return std::vector<Bytes>{}; }));
  const Lookup l = Resolve(silent.port(), "quiet.server", 400);
  EXPECT_EQ(l.err, "recvfrom err:11");
  EXPECT_GE(l.ms, 350);
  EXPECT_LT(l.ms, 2000);

  // Primary and secondary share the port setting, so they differ by address.
  ASSERT_TRUE(answering.Start(FakeDnsServer::Names({{"second.server", "10.2.3.4"}})));
  IWinsockEx* resolver = CreateWinsockEx();
  resolver->SetDnsServers("127.0.0.2", "127.0.0.1", static_cast<uint16_t>(answering.port()));
  hostent* host = resolver->GetHostByName("second.server", 500);
  ASSERT_NE(host, nullptr);
  EXPECT_EQ(FirstAddress(host), "10.2.3.4");
  EXPECT_EQ(resolver->GetHostByName("unknown.server", 500), nullptr);
  resolver->Release();
}

TEST(DnsClient, ResolvesThroughARealDnsServer) {
  test_support::DnsmasqServer dnsmasq;
  ASSERT_TRUE(dnsmasq.Start({{"publish.strivon.test", "10.9.8.7"}})) << dnsmasq.error();
  IWinsockEx* resolver = CreateWinsockEx();
  resolver->SetDnsServers("127.0.0.1", "127.0.0.1", static_cast<uint16_t>(dnsmasq.port()));
  hostent* host = resolver->GetHostByName("publish.strivon.test", 3000);
  ASSERT_NE(host, nullptr);
  EXPECT_EQ(FirstAddress(host), "10.9.8.7");
  EXPECT_EQ(resolver->GetHostByName("other.strivon.test", 1000), nullptr);
  resolver->Release();
}
