// The TCP ping against live, closed and hanging listeners on loopback.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "schedule/DnsServers.h"
#include "schedule/IPing.h"
#include "tests/support/fake_dns_server.h"
#include "tests/support/free_port.h"
#include "tests/support/loopback_listener.h"

namespace {

using Listener = test_support::LoopbackListener;

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

struct PingDeleter {
  void operator()(IPing* p) const { p->Release(); }
};
using PingPtr = std::unique_ptr<IPing, PingDeleter>;

// Starts a probe and waits for its end (at most limitMs).
PingPtr RunProbe(const std::string& address, const std::string& port, int limitMs = 2000) {
  PingPtr ping(CreatePing(address, port));
  EXPECT_TRUE(ping->AsynStart(nullptr));
  const auto start = Clock::now();
  while (!ping->IsFinished() && MsSince(start) < limitMs) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  return ping;
}

}  // namespace

TEST(TcpPing, TimesALiveListenerAndRefusesASecondStart) {
  Listener live;
  PingPtr ping = RunProbe("127.0.0.1", live.portText());
  ASSERT_TRUE(ping->IsFinished());
  EXPECT_TRUE(ping->IsSuccess());
  int ms = -1;
  EXPECT_TRUE(ping->GetPingTime(&ms));
  EXPECT_GE(ms, 0);
  EXPECT_LT(ms, 1000);
  EXPECT_FALSE(ping->AsynStart(nullptr));
  std::string err;
  EXPECT_TRUE(PingPtr(CreatePing("127.0.0.1", live.portText()))->Start(&err)) << err;
}

TEST(TcpPing, RefusedServersAndBadPortsFailAtOnce) {
  test_support::RefusingPort closed;
  // 65536 + 80 taken modulo 65536 would reach port 80.
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"127.0.0.1", std::to_string(closed.port())}, {"127.0.0.1", "0"}, {"127.0.0.1", "65616"},
      {"127.0.0.1", "-1"}, {"127.0.0.1", "80x"}, {"127.0.0.1", ""}, {"300.1.1.1", "80"}};
  for (const auto& c : cases) {
    const auto start = Clock::now();
    PingPtr ping = RunProbe(c.first, c.second);
    ASSERT_TRUE(ping->IsFinished()) << c.first << ":" << c.second;
    EXPECT_FALSE(ping->IsSuccess()) << c.first << ":" << c.second;
    int ms = -1;
    EXPECT_FALSE(ping->GetPingTime(&ms));
    EXPECT_EQ(ms, 0);
    EXPECT_LT(MsSince(start), 1000);
  }
}

TEST(TcpPing, NamesResolveThroughTheLibrarysOwnClient) {
  Listener live;
  test_support::FakeDnsServer dns;
  ASSERT_TRUE(dns.Start(test_support::FakeDnsServer::Names({{"candidate.strivon.test", "127.0.0.1"}})));
  SetDefaultDnsServers({"127.0.0.1", "127.0.0.1", static_cast<uint16_t>(dns.port())});
  PingPtr named = RunProbe("candidate.strivon.test", live.portText());
  EXPECT_TRUE(named->IsSuccess());
  PingPtr unknown = RunProbe("unknown.strivon.test", live.portText());
  EXPECT_TRUE(unknown->IsFinished());
  EXPECT_FALSE(unknown->IsSuccess());
}

TEST(TcpPing, AnUnansweredConnectEndsAfterFiveSecondsOrAtRelease) {
  Listener hanging(true);
  const auto start = Clock::now();
  PingPtr ping = RunProbe("127.0.0.1", hanging.portText(), 8000);
  const long long waited = MsSince(start);
  ASSERT_TRUE(ping->IsFinished());
  EXPECT_FALSE(ping->IsSuccess());
  EXPECT_GE(waited, 4500);
  int ms = -1;
  EXPECT_FALSE(ping->GetPingTime(&ms));

  PingPtr early(CreatePing("127.0.0.1", hanging.portText()));
  ASSERT_TRUE(early->AsynStart(nullptr));
  int polled = 0;
  EXPECT_FALSE(early->GetPingTime(&polled));  // answers at once while the probe waits
  const auto release = Clock::now();
  early.reset();
  EXPECT_LT(MsSince(release), 500);
}

TEST(TcpPing, ReleasingAProbeThatIsStillResolvingReturnsAtOnce) {
  Listener live;
  test_support::FakeDnsServer silent;
  ASSERT_TRUE(silent.Start([](const test_support::Bytes&) { return std::vector<test_support::Bytes>{}; }));
  // Both servers are the silent one: each lookup would wait out its 5 s.
  SetDefaultDnsServers({"127.0.0.1", "127.0.0.1", static_cast<uint16_t>(silent.port())});
  PingPtr ping(CreatePing("silent.strivon.test", live.portText()));
  ASSERT_TRUE(ping->AsynStart(nullptr));
  const auto asked = Clock::now();
  while (silent.queries() == 0 && MsSince(asked) < 2000) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  ASSERT_EQ(silent.queries(), 1);
  const auto release = Clock::now();
  ping.reset();
  EXPECT_LT(MsSince(release), 500);
  EXPECT_EQ(silent.queries(), 1) << "a released probe asks no second server";
}
