// The HTTP GET client against a fake server on loopback; names are known
// only to a fake DNS server, and the private network has no other resolver.
#include <gtest/gtest.h>

#include <chrono>

#include "oldpublic/HttpConnect.h"
#include "schedule/DnsServers.h"
#include "tests/support/fake_dns_server.h"
#include "tests/support/fake_http_server.h"
#include "tests/support/free_port.h"
#include "tests/support/process_memory.h"

using test_support::FakeHttpServer;
using test_support::EndlessBlankReply;
using test_support::HttpReply;

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

std::string Base(const FakeHttpServer& server, const std::string& host = "127.0.0.1") {
  return "http://" + host + ":" + std::to_string(server.port());
}

}  // namespace

TEST(HttpConnect, ReturnsEmptyAndLargeBodiesWhole) {
  std::string large(1 << 20, 'x');
  for (size_t i = 0; i < large.size(); i += 4096) large[i] = static_cast<char>('a' + i % 26);
  FakeHttpServer server;
  ASSERT_TRUE(server.Start([&](const std::string& target) {
    return HttpReply{200, target == "/large" ? large : std::string(), false};
  }));
  HttpConnect http;
  std::string body = "unchanged";
  ASSERT_TRUE(http.StartConnect(Base(server) + "/empty", &body));
  EXPECT_EQ(body, "");
  ASSERT_TRUE(http.StartConnect(Base(server) + "/large", &body));
  EXPECT_EQ(body, large);
  // Blanks would end the request line early.
  ASSERT_TRUE(http.StartConnect(Base(server) + "/a b?c=d e", &body));
  EXPECT_EQ(server.Requests().back(), "/a%20b?c=d%20e");
  body = "unchanged";
  EXPECT_FALSE(http.StartConnect("http://127.0.0.1/no-port", &body));
  EXPECT_EQ(body, "unchanged");
}

TEST(HttpConnect, NumericHostsGetNoRetryAndNamesAreRetriedByAddress) {
  test_support::FakeDnsServer dns;
  ASSERT_TRUE(dns.Start(test_support::FakeDnsServer::Names({{"sched.strivon.test", "127.0.0.1"}})));
  SetDefaultDnsServers({"127.0.0.1", "127.0.0.1", static_cast<uint16_t>(dns.port())});
  test_support::RefusingPort closed;
  HttpConnect http;
  std::string body;
  EXPECT_FALSE(http.StartConnect("http://127.0.0.1:" + std::to_string(closed.port()) + "/", &body));
  EXPECT_EQ(dns.queries(), 0);

  FakeHttpServer server;
  ASSERT_TRUE(server.Start([](const std::string&) { return HttpReply{200, "retried", false}; }));
  ASSERT_TRUE(http.StartConnect(Base(server, "sched.strivon.test") + "/x?y=1", &body));
  EXPECT_EQ(body, "retried");
  EXPECT_EQ(server.Requests(), std::vector<std::string>{"/x?y=1"});
  EXPECT_GE(dns.queries(), 1);
  EXPECT_FALSE(http.StartConnect(Base(server, "unknown.strivon.test") + "/", &body));
}

TEST(HttpConnect, AStalledServerEndsAfterTenSeconds) {
  FakeHttpServer server;
  ASSERT_TRUE(server.Start([](const std::string&) { return HttpReply{200, "", true}; }));
  HttpConnect http;
  std::string body;
  const auto start = Clock::now();
  EXPECT_FALSE(http.StartConnect(Base(server) + "/stall", &body));
  const long long ms = MsSince(start);
  EXPECT_GE(ms, 9500);
  EXPECT_LT(ms, 12500);
  EXPECT_EQ(http.LastResult(), 28);  // the transfer's own time-out
}

TEST(HttpConnect, RepliesOverTheCapFailWithoutBeingHeld) {
  const std::string atCap(kMaxHttpReplyBytes, 'c');
  FakeHttpServer server;
  ASSERT_TRUE(server.Start([&](const std::string& target) {
    if (target == "/endless") return EndlessBlankReply("{\"success\":true,", size_t{256} << 20);
    if (target == "/announced")
      return HttpReply{200, "", false, "HTTP/1.1 200 OK\r\nContent-Length: 4000000000\r\n\r\n{}"};
    if (target == "/over") return HttpReply{200, atCap + "!", false};
    return HttpReply{200, atCap, false};
  }));
  HttpConnect http;
  std::string body = "unchanged";
  ASSERT_TRUE(test_support::ResetPeakResident());
  const long before = test_support::PeakResidentKb();
  const auto start = Clock::now();
  EXPECT_FALSE(http.StartConnect(Base(server) + "/endless", &body));
  EXPECT_LT(MsSince(start), 5000);
  EXPECT_EQ(http.LastResult(), 23);  // the transfer ended by the client
  EXPECT_LT(test_support::PeakResidentKb() - before, 32 * 1024) << "KiB held for a reply that seems endless";
  EXPECT_FALSE(http.StartConnect(Base(server) + "/announced", &body));
  EXPECT_EQ(http.LastResult(), 63);  // refused before any of it arrived
  EXPECT_FALSE(http.StartConnect(Base(server) + "/over", &body));
  EXPECT_TRUE(body == "unchanged") << body.size() << " bytes";
  ASSERT_TRUE(http.StartConnect(Base(server) + "/at-cap", &body));
  EXPECT_TRUE(body == atCap) << body.size() << " bytes";
}
