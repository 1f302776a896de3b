// The scheduling protocol against a fake scheduling service that records
// its requests, with real listeners (and unanswered ones) as candidates.
#include <gtest/gtest.h>

#include <chrono>

#include "schedule/IServerSchedule.h"
#include "schedule/ScheduleReplies.h"
#include "tests/support/fake_http_server.h"
#include "tests/support/free_port.h"
#include "tests/support/loopback_listener.h"

using test_support::FakeHttpServer;
using test_support::HttpReply;

namespace {

using Clock = std::chrono::steady_clock;

using Listening = test_support::LoopbackListener;

std::string Candidate(const std::string& ip, int rtmpPort, int tcpPort, int httpPort) {
  return "{\"IP\":\"" + ip + "\",\"RtmpPort\":" + std::to_string(rtmpPort) + ",\"TcpPort\":" +
         std::to_string(tcpPort) + ",\"HttpPort\":" + std::to_string(httpPort) + "}";
}

std::string Reply1(const std::string& candidates) {
  return "{\"success\":true,\"Servers\":{\"Publish\":[" + candidates + "]}}";
}

// A service answering request 1 with first and request 2 with second.
struct Service {
  FakeHttpServer http;
  bool Start(std::string first, std::string second) {
    return http.Start([first, second](const std::string& target) {
      const bool isFirst = target.find("cmd=SchedulingRequest_version2") != std::string::npos;
      return HttpReply{200, isFirst ? first : second, false};
    });
  }
  std::string Url() const {
    return "http://127.0.0.1:" + std::to_string(http.port()) +
           "/?cmd=SchedulingRequest_version2&app=live&stream=s1";
  }
};

struct Outcome {
  bool ok = false;
  ScheduleResult result;
  std::string err;
  long long ms = 0;
};

Outcome Schedule(const std::string& url) {
  IServerSchedule* schedule = CreateServerSchedule(nullptr);
  Outcome o;
  o.err = "before:";
  const auto start = Clock::now();
  o.ok = schedule->StartSchedule(url, 0, &o.result, &o.err);
  o.ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  schedule->Release();
  return o;
}

const char kAddress[] =
    "{\"success\":true,\"addr\":{\"IP\":\"10.0.0.9\",\"RtmpPort\":1935,\"Mode\":\"TCP\",\"ClientIP\":\"1.2.3.4\","
    "\"Time\":77}}";

}  // namespace

TEST(ServerSchedule, TimesCandidatesAndAsksForTheAddressByteForByte) {
  Listening live;
  test_support::RefusingPort closed;
  Service service;
  ASSERT_TRUE(service.Start(Reply1(Candidate("127.0.0.1", 1935, live.port(), 8080) + "," +
                                   Candidate("127.0.0.1", 1936, closed.port(), 8081)),
                            kAddress));
  const Outcome o = Schedule(service.Url());
  ASSERT_TRUE(o.ok) << o.err;
  EXPECT_EQ(o.result.IP, "10.0.0.9");
  EXPECT_EQ(o.result.RtmpPort, "1935");
  EXPECT_EQ(o.result.bTcp, 1);
  EXPECT_EQ(o.result.ClientIP, "1.2.3.4");
  EXPECT_EQ(o.result.Time, 77);
  const std::vector<std::string> requests = service.http.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0], "/?cmd=SchedulingRequest_version2&app=live&stream=s1");
  // The refused candidate is left out; the delay is whatever was measured.
  const std::string& second = requests[1];
  const std::string head =
      "/?cmd=RtmpSvrAddrRequest&app=live&stream=s1&listInfo=[%20%20%20{%20%20%20%20%20%20%22HttpPort%22%20:%208080,"
      "%20%20%20%20%20%20%22IP%22%20:%20%22127.0.0.1%22,%20%20%20%20%20%20%22Ping%22%20:%20";
  ASSERT_EQ(second.substr(0, head.size()), head);
  const size_t digits = second.find_first_not_of("0123456789", head.size());
  EXPECT_EQ(second.substr(digits), "%20%20%20}]&bPublish=true");
}

TEST(ServerSchedule, UnusableFirstRepliesEndWithoutASecondRequest) {
  for (const std::string& reply :
       {std::string("{\"success\":false,\"Servers\":{\"Publish\":[") + Candidate("1.1.1.1", 1, 1, 1) + "]}}",
        std::string("{\"success\":true}"), Reply1(""), std::string("not json"),
        Reply1("{\"IP\":\"1.1.1.1\",\"RtmpPort\":\"1935\",\"TcpPort\":1,\"HttpPort\":1}"),
        std::string("{\"success\":\"yes\",\"Servers\":{\"Publish\":[") + Candidate("1.1.1.1", 1, 1, 1) + "]}}"}) {
    Service service;
    ASSERT_TRUE(service.Start(reply, kAddress));
    const Outcome o = Schedule(service.Url());
    EXPECT_FALSE(o.ok) << reply;
    EXPECT_EQ(o.err, "before:_schedule:null ip") << reply;
    EXPECT_EQ(service.http.Requests().size(), 1u);
  }
  test_support::RefusingPort closed;
  EXPECT_FALSE(Schedule("http://127.0.0.1:" + std::to_string(closed.port()) + "/?cmd=x").ok);
  EXPECT_FALSE(Schedule("http://127.0.0.1/?cmd=SchedulingRequest_version2&app=live&stream=s1").ok);
}

TEST(ServerSchedule, AHangingProbeIsNotWaitedForAndFailedProbesLeaveAnEmptyList) {
  Listening live, hanging(true);
  test_support::RefusingPort closed;
  Service service;
  ASSERT_TRUE(service.Start(Reply1(Candidate("127.0.0.1", 1, hanging.port(), 1) + "," +
                                   Candidate("127.0.0.1", 2, live.port(), 2)),
                            kAddress));
  const Outcome o = Schedule(service.Url());
  ASSERT_TRUE(o.ok) << o.err;
  EXPECT_GE(o.ms, 450);
  EXPECT_LT(o.ms, 1500);
  const std::string second = service.http.Requests().at(1);
  EXPECT_NE(second.find("%22HttpPort%22%20:%202,"), std::string::npos) << second;
  EXPECT_EQ(second.find("%22HttpPort%22%20:%201,"), std::string::npos) << second;

  Service allFail;
  ASSERT_TRUE(allFail.Start(Reply1(Candidate("127.0.0.1", 1, closed.port(), 1) + "," +
                                   Candidate("127.0.0.1", 2, 0, 2)),
                            kAddress));
  EXPECT_TRUE(Schedule(allFail.Url()).ok);
  EXPECT_EQ(allFail.http.Requests().at(1), "/?cmd=RtmpSvrAddrRequest&app=live&stream=s1&listInfo=&bPublish=true");
}

TEST(ServerSchedule, SecondRepliesNeedWellTypedValuesAndAPlainAddress) {
  Listening live;
  const std::string candidates = Reply1(Candidate("127.0.0.1", 1, live.port(), 1));
  const std::vector<std::string> refused = {
      "{\"success\":true,\"addr\":{\"IP\":\"10.0.0.9\",\"RtmpPort\":\"1935\"}}",
      "{\"success\":true,\"addr\":{\"IP\":5,\"RtmpPort\":1935}}",
      "{\"success\":true,\"addr\":{\"IP\":\"10.0.0.9\",\"RtmpPort\":1935,\"Time\":\"now\"}}",
      "{\"success\":true,\"addr\":{\"IP\":\"10.0.0.9\",\"RtmpPort\":70000}}",
      "{\"success\":true,\"addr\":{\"IP\":\"10.0.0.9\",\"RtmpPort\":0}}",
      "{\"success\":true,\"addr\":{\"IP\":\"evil/app?x#\",\"RtmpPort\":1935}}",
      "{\"success\":true,\"addr\":{\"IP\":\"user@host\",\"RtmpPort\":1935}}",
      "{\"success\":true,\"addr\":[]}", ""};
  for (const std::string& reply : refused) {
    Service service;
    ASSERT_TRUE(service.Start(candidates, reply));
    const Outcome o = Schedule(service.Url());
    EXPECT_FALSE(o.ok) << reply;
    EXPECT_EQ(o.err, "before:" + reply);
    EXPECT_TRUE(o.result.IP.empty());
  }
  ScheduleResult r;
  ASSERT_TRUE(ParsePublishAddress("{\"success\":1,\"addr\":{\"IP\":\"h\",\"RtmpPort\":1935,\"Mode\":\"tcp\"}}", &r));
  EXPECT_EQ(r.bTcp, 0);
  EXPECT_EQ(r.Time, 0);
  EXPECT_EQ(EscapeUrl("a \"b\"\n\x07" "c"), "a%20%22b%22c");
}
