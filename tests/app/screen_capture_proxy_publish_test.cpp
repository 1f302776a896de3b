// The library proxy as the program builds it, driving the real library: it
// publishes the Xvfb screen and a PulseAudio microphone to nginx-rtmp, the
// library's status words reach the status sink and the program's event
// queue, and the recording holds the picture.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "app/ProgramFolder.h"
#include "app/ScreenCaptureProxy.h"
#include "strivon/StatusWords.h"
#include "tests/support/media_tools.h"
#include "tests/support/nginx_rtmp.h"
#include "tests/support/pulse_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/xvfb_server.h"

namespace {

class WaitingSink : public CScreenCaptureProxy::ScreenCaptureProxyNotify {
 public:
  void OnStatus(const char* status) override {
    std::lock_guard<std::mutex> hold(lock_);
    statuses_.push_back(status);
    changed_.notify_all();
  }
  bool WaitFor(const std::string& status, std::chrono::seconds limit) {
    std::unique_lock<std::mutex> hold(lock_);
    return changed_.wait_for(hold, limit, [&] {
      for (const auto& s : statuses_)
        if (s == status) return true;
      return false;
    });
  }
  std::string Dump() {
    std::lock_guard<std::mutex> hold(lock_);
    std::string all;
    for (const auto& s : statuses_) all += s + "\n";
    return all;
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<std::string> statuses_;
};

// The last video time stamp nginx has recorded so far, or -1.
long long RecordedVideoMs(const std::string& path) {
  std::vector<test_support::ProbedPacket> packets;
  if (!test_support::ProbePackets(path, &packets)) return -1;
  long long last = -1;
  for (const auto& packet : packets)
    if (packet.codecType == "video") last = std::max(last, packet.dtsMs);
  return last;
}

TEST(ScreenCaptureProxyPublish, PublishesTheScreenAndReportsToTheProgram) {
  test_support::XvfbServer xvfb;
  ASSERT_TRUE(xvfb.Start());
  xvfb.ExportDisplay();
  test_support::PulseServer pulse;
  ASSERT_TRUE(pulse.Start());
  pulse.ExportToClients();
  test_support::NginxRtmp nginx;
  ASSERT_TRUE(nginx.Start()) << nginx.error();
  test_support::TempDir folder("velmora-proxy");
  SetProgramFolderForTesting(folder.path());

  PublishParamValues params;
  params.strScheduleSvr = "127.0.0.1:" + std::to_string(nginx.port());
  params.PublishRoomInfo = "live";
  params.stream = "proxy";
  params.ADBitRate = 64000;
  params.VDWidth = 320;
  params.VDHeight = 240;
  params.VDFPS = 10;
  ThePublishParams().Set(params);

  WaitingSink sink;
  constexpr HWND kMainWindow = 0x4031;
  auto proxy = std::make_shared<CScreenCaptureProxy>(&sink);
  proxy->Init(0, 0, kMainWindow);
  const auto& mics = proxy->MicNames();
  const std::string wanted = pulse.MonitorDescription();
  const auto monitor = std::find(mics.begin(), mics.end(), std::wstring(wanted.begin(), wanted.end()));
  ASSERT_NE(monitor, mics.end());
  proxy->SetMicIndex(static_cast<int>(monitor - mics.begin()));
  proxy->SetCameraIndex(-1);
  // Kept while not connected, sent by the callback of the connection.
  proxy->SetCaptureRect({0, 0, 326, 246});
  ASSERT_EQ(proxy->StartPublish(), 0);
  ASSERT_TRUE(sink.WaitFor(strivon_status::kConnectSuccess, std::chrono::seconds(20))) << sink.Dump();

  const std::string recording = nginx.RecordingPath("proxy");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(40);
  while (RecordedVideoMs(recording) < 5000 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  EXPECT_GE(RecordedVideoMs(recording), 5000) << sink.Dump();
  // The sink hears a word before the proxy acts on it; by now it has.
  EXPECT_TRUE(proxy->IsConnected());

  proxy.reset();  // stops the run and releases the library
  EXPECT_TRUE(sink.WaitFor(strivon_status::kRelease, std::chrono::seconds(0))) << sink.Dump();
  std::vector<unsigned> codes;
  while (auto event = TheProgramEvents().Take()) {
    EXPECT_EQ(event->target, kMainWindow);
    EXPECT_EQ(event->message, WM_PUBLISH_EVENT);
    if (event->wParam == kPublishEventJson) {
      EXPECT_EQ(event->text.front(), '{');
    }
    codes.push_back(static_cast<unsigned>(event->wParam));
  }
  EXPECT_NE(std::find(codes.begin(), codes.end(), kPublishEventConnectionClosed), codes.end()) << sink.Dump();
  EXPECT_NE(std::find(codes.begin(), codes.end(), kPublishEventJson), codes.end());

  nginx.Stop();
  Json::Value streams;
  ASSERT_TRUE(test_support::ProbeStreams(recording, &streams));
  bool video = false;
  for (const auto& stream : streams)
    video |= stream["codec_type"].asString() == "video" && stream["width"].asInt() == 320;
  EXPECT_TRUE(video) << streams.toStyledString();
}

}  // namespace
