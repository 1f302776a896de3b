#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "strivon/RtmpPublishManager.h"
#include "tests/support/media_tools.h"
#include "tests/support/nginx_rtmp.h"
#include "tests/support/pulse_server.h"
#include "tests/support/waiting_notify.h"
#include "tests/support/xvfb_server.h"

namespace {

TEST(PublishSmoke, ScreenAndMicrophoneReachNginx) {
  test_support::XvfbServer xvfb;
  ASSERT_TRUE(xvfb.Start());
  xvfb.ExportDisplay();
  test_support::PulseServer pulse;
  ASSERT_TRUE(pulse.Start());
  pulse.ExportToClients();
  test_support::NginxRtmp nginx;
  ASSERT_TRUE(nginx.Start()) << nginx.error();
  ASSERT_TRUE(pulse.PlayTone(1000, 20000));

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
  manager->SetPublishVideoPara(640, 360, 25, 800000, 0, 75);
  manager->SetPublishUrl(("rtmp://127.0.0.1:" + std::to_string(nginx.port())).c_str(), "live", "smoke");
  ASSERT_TRUE(manager->StartPublish());
  EXPECT_TRUE(notify.WaitFor("NetStream.Publish.Start", 1, 15000));
  std::this_thread::sleep_for(std::chrono::seconds(6));
  EXPECT_TRUE(manager->StopPublish());
  manager->release();
  nginx.Stop();
  for (auto& s : notify.Statuses()) printf("%d %s\n", s.first, s.second.c_str());
  Json::Value streams;
  ASSERT_TRUE(test_support::ProbeStreams(nginx.RecordingPath("smoke"), &streams));
  printf("%s\n", streams.toStyledString().c_str());
  EXPECT_EQ(test_support::DecodeErrors(nginx.RecordingPath("smoke")), "");
}

}  // namespace
