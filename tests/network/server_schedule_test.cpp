// The scheduling protocol against a fake scheduling service that records
// its requests, with real listeners (and unanswered ones) as candidates.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>

#include "common/Log.h"
#include "oldpublic/IHttpConnect.h"
#include "schedule/IServerSchedule.h"
#include "schedule/ScheduleReplies.h"
#include "tests/support/fake_http_server.h"
#include "tests/support/free_port.h"
#include "tests/support/loopback_listener.h"
#include "tests/support/process_memory.h"
#include "tests/support/temp_dir.h"

using test_support::FakeHttpServer;
using test_support::EndlessBlankReply;
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
    return Start(HttpReply{200, std::move(first), false}, HttpReply{200, std::move(second), false});
  }
  bool Start(HttpReply first, HttpReply second) {
    return http.Start([first, second](const std::string& target) {
      const bool isFirst = target.find("cmd=SchedulingRequest_version2") != std::string::npos;
      return isFirst ? first : second;
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
        std::string("{\"success\":\"yes\",\"Servers\":{\"Publish\":[") + Candidate("1.1.1.1", 1, 1, 1) + "]}}",
        Reply1(Candidate("1.1.1.1/x?", 1, 1, 1))}) {
    Service service;
    ASSERT_TRUE(service.Start(reply, kAddress));
    const Outcome o = Schedule(service.Url());
    EXPECT_FALSE(o.ok) << reply;
    EXPECT_EQ(o.err, "before:_schedule:null ip") << reply;
    EXPECT_EQ(service.http.Requests().size(), 1u);
  }
  // Every candidate costs a probe thread: a long list is cut, in order.
  std::string forty;
  for (int i = 0; i < 40; ++i) forty += (i ? "," : "") + Candidate("10.0.0." + std::to_string(i), 1, 1, 1);
  const std::vector<ScheduleServer> kept = ParseCandidates(Reply1(forty));
  ASSERT_EQ(kept.size(), kMaxScheduleCandidates);
  EXPECT_EQ(kept.back().IP, "10.0.0.31");
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

TEST(ServerSchedule, AnEndlessFirstOrSecondReplyEndsTheAttemptWithBoundedMemory) {
  Listening live;
  const std::string candidates = Reply1(Candidate("127.0.0.1", 1, live.port(), 1));
  const HttpReply endless = EndlessBlankReply("{\"success\":true,", size_t{256} << 20);
  for (int which = 1; which <= 2; ++which) {
    Service service;
    ASSERT_TRUE(which == 1 ? service.Start(endless, HttpReply{200, kAddress, false})
                           : service.Start(HttpReply{200, candidates, false}, endless));
    ASSERT_TRUE(test_support::ResetPeakResident());
    const long before = test_support::PeakResidentKb();
    const Outcome o = Schedule(service.Url());
    EXPECT_FALSE(o.ok) << "reply " << which;
    EXPECT_LT(o.ms, 5000) << "reply " << which;
    EXPECT_LT(test_support::PeakResidentKb() - before, 32 * 1024) << "KiB held, reply " << which;
    EXPECT_EQ(service.http.Requests().size(), static_cast<size_t>(which));
  }
}

TEST(ServerSchedule, FailedSchedulesLogOnlyTheStartOfTheReply) {
  test_support::TempDir dir("strivon-schedule-log");
  log_testing::ResetLog(dir.File("libStrivon.so"));
  Listening live;
  const std::string candidates = Reply1(Candidate("127.0.0.1", 1, live.port(), 1));
  // Just under the cap, so it is read whole and refused as an address reply.
  const std::string refused = std::string(kMaxHttpReplyBytes - 100, 'z');
  Service big, endless;
  ASSERT_TRUE(big.Start(candidates, refused));
  ASSERT_TRUE(endless.Start(HttpReply{200, candidates, false}, EndlessBlankReply("z", size_t{100} << 20)));
  const std::string folder = dir.File("RtmpLog");
  const uintmax_t start = test_support::FolderBytes(folder);
  for (int attempt = 0; attempt < 3; ++attempt) {
    const Outcome o = Schedule(big.Url());
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.err.size(), std::string("before:").size() + refused.size());
    EXPECT_FALSE(Schedule(endless.Url()).ok);
  }
  const uintmax_t grown = test_support::FolderBytes(folder) - start;
  const std::string log = test_support::ReadFileBytes(log_testing::CurrentLogPath());
  log_testing::ResetLog("");
  EXPECT_LT(grown, 32u * 1024) << "bytes of log for six failed schedules";
  EXPECT_NE(log.find("_schedule:" + std::string(kLogExcerptBytes, 'z') + "...(" + std::to_string(refused.size()) +
                     " bytes)\n"),
            std::string::npos);
}

// Counts the reports of asynchronous runs; may release its scheduler from one.
class ScheduleReports : public IServerScheduleNotify {
 public:
  void OnSchedule(ScheduleResult, bool) override {
    IServerSchedule* release = releaseOnReport.exchange(nullptr);
    if (release) release->Release();
    std::lock_guard<std::mutex> lock(m_lock);
    ++m_reports;
    m_changed.notify_all();
  }
  bool WaitForReports(int count, int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_reports >= count; });
  }
  std::atomic<IServerSchedule*> releaseOnReport{nullptr};

 private:
  std::mutex m_lock;
  std::condition_variable m_changed;
  int m_reports = 0;
};

TEST(ServerSchedule, EveryAsynchronousRunReportsAndAReportMayReleaseTheScheduler) {
  test_support::RefusingPort closed;
  const std::string url = "http://127.0.0.1:" + std::to_string(closed.port()) + "/?cmd=x";
  ScheduleReports reports;
  IServerSchedule* schedule = CreateServerSchedule(&reports);
  std::string err;
  for (int run = 1; run <= 3; ++run) {
    ASSERT_TRUE(schedule->AsynStartSchedule(url, nullptr, 0, &err));
    ASSERT_TRUE(reports.WaitForReports(run, 5000)) << "run " << run << " never ran";
  }
  schedule->Release();

  ScheduleReports releasing;
  IServerSchedule* released = CreateServerSchedule(&releasing);
  releasing.releaseOnReport = released;
  ASSERT_TRUE(released->AsynStartSchedule(url, nullptr, 0, &err));
  EXPECT_TRUE(releasing.WaitForReports(1, 5000));
}
