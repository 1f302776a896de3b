// A scheduled publish run end to end: "httpRtmp://" names a fake scheduling
// service that offers two nginx-rtmp servers, a fast one and a slow one
// behind a proxy whose connects stall. The run must publish to the fast one,
// and when that server dies, schedule again and publish to the other.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "schedule/DnsServers.h"
#include "strivon/RtmpPublishManager.h"
#include "tests/support/delaying_proxy.h"
#include "tests/support/fake_http_server.h"
#include "tests/support/free_port.h"
#include "tests/support/media_tools.h"
#include "tests/support/nginx_rtmp.h"
#include "tests/support/pulse_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/waiting_notify.h"
#include "tests/support/xvfb_server.h"

namespace {

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The scheduling service: offers both servers, then names the candidate
// with the smallest reported delay (HttpPort tells them apart).
class FakeScheduler {
 public:
  FakeScheduler(int fastPort, int slowPort, DelayingProxy* slowProxy)
      : m_fastPort(fastPort), m_slowPort(slowPort), m_proxy(slowProxy) {}
  bool Start() {
    return m_http.Start([this](const std::string& target) { return Answer(target); });
  }
  int port() const { return m_http.port(); }
  std::vector<std::string> Choices() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_choices;
  }

 private:
  test_support::HttpReply Answer(const std::string& target) {
    auto candidate = [](int port, int tag) {
      return "{\"IP\":\"127.0.0.1\",\"RtmpPort\":" + std::to_string(port) + ",\"TcpPort\":" + std::to_string(port) +
             ",\"HttpPort\":" + std::to_string(tag) + "}";
    };
    if (target.find("cmd=SchedulingRequest_version2") != std::string::npos) {
      m_proxy->HoldConnectsFor(300);  // the slow server's connect takes about a second
      return {200, "{\"success\":true,\"Servers\":{\"Publish\":[" + candidate(m_fastPort, 1) + "," +
                       candidate(m_slowPort, 2) + "]}}", false};
    }
    const size_t from = target.find("listInfo=") + 9;
    Json::Value list;
    test_support::ParseJson(Unescape(target.substr(from, target.find("&bPublish") - from)), &list);
    int best = 0, bestPing = 1 << 30;
    for (const Json::Value& entry : list)
      if (entry["Ping"].asInt() < bestPing) best = entry["HttpPort"].asInt(), bestPing = entry["Ping"].asInt();
    std::lock_guard<std::mutex> lock(m_lock);
    if (best == 0) return {200, "{\"success\":false}", false};
    m_choices.push_back(best == 1 ? "fast" : "slow");
    return {200, "{\"success\":true,\"addr\":{\"IP\":\"127.0.0.1\",\"RtmpPort\":" +
                     std::to_string(best == 1 ? m_fastPort : m_slowPort) + "}}", false};
  }

  test_support::FakeHttpServer m_http;
  const int m_fastPort, m_slowPort;
  DelayingProxy* m_proxy;
  std::mutex m_lock;
  std::vector<std::string> m_choices;
};

bool WaitForRecording(const std::string& path, long long bytes, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (test_support::FileSize(path) < bytes) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

}  // namespace

TEST(ScheduledPublish, PublishesToTheFasterServerAndMovesWhenItDies) {
  // Any lookup would go to a port on loopback where nothing answers.
  test_support::RefusingPort noResolver;
  SetDefaultDnsServers({"127.0.0.1", "127.0.0.1", static_cast<uint16_t>(noResolver.port())});
  test_support::XvfbServer xvfb;
  ASSERT_TRUE(xvfb.Start());
  xvfb.ExportDisplay();
  test_support::PulseServer pulse;
  ASSERT_TRUE(pulse.Start());
  pulse.ExportToClients();
  test_support::NginxRtmp fast, slow;
  ASSERT_TRUE(fast.Start()) << fast.error();
  ASSERT_TRUE(slow.Start()) << slow.error();
  DelayingProxy proxy;
  ASSERT_TRUE(proxy.Start(slow.port()));
  proxy.SetReturnDelayMs(100);
  FakeScheduler scheduler(fast.port(), proxy.port(), &proxy);
  ASSERT_TRUE(scheduler.Start());
  ASSERT_TRUE(pulse.PlayTone(1000, 60000));

  test_support::WaitingNotify notify;
  IRtmpPublishManager* manager = CreateRtmpPublishManagerWith(&notify, DefaultManagerFactories());
  ASSERT_NE(manager, nullptr);
  const wchar_t** names = nullptr;
  unsigned count = 0;
  manager->GetMicList(&names, &count);
  int mic = -1;
  for (unsigned i = 0; i < count; ++i)
    if (RtmpPublishManager::WideToAnsiString(names[i]) == pulse.MonitorDescription()) mic = static_cast<int>(i);
  ASSERT_GE(mic, 0);
  manager->SetMic(mic);
  manager->SetPublishAudioPara(44100, 2, 16, 64000, 100, false);
  manager->SetPublishVideoPara(320, 240, 15, 300000, 0, 30);
  manager->SetPublishUrl(("httpRtmp://127.0.0.1:" + std::to_string(scheduler.port())).c_str(), "live", "e2e");
  ASSERT_TRUE(manager->StartPublish());

  EXPECT_TRUE(notify.WaitFor("NetStream.Publish.Start", 1, 20000));
  EXPECT_TRUE(WaitForRecording(fast.RecordingPath("e2e"), 100000, 20000));
  fast.Stop();
  EXPECT_TRUE(notify.WaitFor("NetStream.Publish.Start", 2, 30000));
  EXPECT_TRUE(WaitForRecording(slow.RecordingPath("e2e"), 100000, 20000));
  EXPECT_TRUE(manager->StopPublish());
  manager->release();
  slow.Stop();
  proxy.Stop();

  EXPECT_EQ(scheduler.Choices(), (std::vector<std::string>{"fast", "slow"}));
  for (test_support::NginxRtmp* server : {&fast, &slow}) {
    Json::Value streams;
    ASSERT_TRUE(test_support::ProbeStreams(server->RecordingPath("e2e"), &streams));
    EXPECT_EQ(streams.size(), 2u);
    EXPECT_EQ(test_support::DecodeErrors(server->RecordingPath("e2e")), "") << (server == &fast ? "fast" : "slow");
  }
}
