// What the sample host prints of the library's status reports: words
// without object addresses, and an unreachable server told once with the
// reason its own connect finds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/free_port.h"
#include "tests/support/loopback_listener.h"
#include "tools/host/connect_probe.h"
#include "tools/host/status_lines.h"

namespace {

TEST(HostStatusLines, WordsLoseTheManagersAddressUnlessVerbose) {
  EXPECT_EQ(WithoutObjectAddress("this:87fb69c0 _closed unexpectly"), "closed unexpectly");
  EXPECT_EQ(WithoutObjectAddress("this:87fb69c0 _PublishManager::StartPublish."), "PublishManager::StartPublish.");
  for (const char* kept : {"NetStream.Publish.Start", "this:xyz _a", "this: _a", "this:12ab"})
    EXPECT_EQ(WithoutObjectAddress(kept), kept);
  StatusLines plain(false), verbose(true);
  EXPECT_EQ(plain.Line(0, "this:1f _closed normal"), "  status 0: closed normal");
  EXPECT_EQ(verbose.Line(0, "this:1f _closed normal"), "  status 0: this:1f _closed normal");
}

TEST(HostStatusLines, AReconnectingOutageIsToldOncePerOutage) {
  StatusLines lines(false);
  std::vector<std::string> printed;
  auto report = [&](int level, const char* word) {
    if (auto line = lines.Line(level, word)) printed.push_back(*line);
  };
  report(0, "RtmpPublish:StartSchedule");
  EXPECT_FALSE(lines.TakeOutageStart());
  for (int attempt = 0; attempt < 3; ++attempt) {
    report(2, "NetConnection.Connect.Failed");
    report(0, "this:87fb69c0 _closed unexpectly");
    report(2, "NetConnection.Connect.Closed");
    report(0, "RtmpPublish:StartSchedule");
  }
  EXPECT_TRUE(lines.TakeOutageStart());
  EXPECT_FALSE(lines.TakeOutageStart());
  report(2, "NetConnection.Connect.Success");
  report(2, "NetConnection.Connect.Closed");  // the server went away: a new outage
  report(0, "this:87fb69c0 _closed unexpectly");
  EXPECT_TRUE(lines.TakeOutageStart());
  EXPECT_EQ(printed, (std::vector<std::string>{"  status 0: RtmpPublish:StartSchedule",
                                               "  status 2: NetConnection.Connect.Success",
                                               "  status 2: NetConnection.Connect.Closed"}));
}

TEST(HostConnectProbe, SaysWhyAServerCannotBeReached) {
  EXPECT_EQ(ServerHostPort("rtmp://127.0.0.1:1"), "127.0.0.1:1");
  EXPECT_EQ(ServerHostPort("rtmp://example.test"), "example.test:1935");
  EXPECT_EQ(ServerHostPort("rtmp://[::1]:1936"), "[::1]:1936");
  test_support::RefusingPort refusing;
  EXPECT_EQ(WhyUnreachable("rtmp://127.0.0.1:" + std::to_string(refusing.port()), 2000), "connection refused");
  test_support::LoopbackListener unanswered(true);
  EXPECT_EQ(WhyUnreachable("rtmp://127.0.0.1:" + unanswered.portText(), 300), "no answer within 300 ms");
  test_support::LoopbackListener listening;
  EXPECT_EQ(WhyUnreachable("rtmp://127.0.0.1:" + listening.portText(), 2000), "");
}

}  // namespace
