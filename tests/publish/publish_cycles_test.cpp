// Many start/stop cycles of one manager on a virtual microphone, the fake
// screen and a real encoder publishing to nginx: every capture object a run
// makes is gone again once the manager is released (and, under the
// sanitizers, nothing races or leaks on the way).
#include <cstdlib>

#include <gtest/gtest.h>

#include "platform/dshow/backend_virtual.h"
#include "platform/dshow/com.h"
#include "platform/outside/OutsideDoubles.h"
#include "strivon/StatusWords.h"
#include "tests/publish/publish_support.h"

using namespace publish_test;
using namespace strivon_status;

namespace {

const bool kVirtualDevicesOnly = (setenv("STRIVON_DSHOW_DEVICES", "virtual", 1), true);

TEST(PublishCycles, FiftyStartsAndStopsLeaveNoCaptureObjectBehind) {
  ASSERT_TRUE(kVirtualDevicesOnly);
  const long baseline = dshow::LiveObjectCount();
  dshow::VirtualDevice mic;
  mic.kind = dshow::VirtualKind::AudioInput;
  mic.name = L"Cycle Mic";
  dshow::SetVirtualDevices({mic});
  test_support::NginxRtmp nginx;
  ASSERT_TRUE(nginx.Start()) << nginx.error();
  OutsideDoubles doubles;
  StatusLog log;
  {
    ManagerPtr manager(CreateRtmpPublishManagerWith(&log, DefaultManagerFactories()));
    ASSERT_EQ(manager->SetMic(0), 0);
    manager->SetPublishAudioPara(44100, 2, 16, 64000, 100, false);
    manager->SetPublishVideoPara(160, 90, 25, 200000, 0, 50);
    manager->SetPublishUrl(("rtmp://127.0.0.1:" + std::to_string(nginx.port())).c_str(), "live", "cycles");
    double slowestStopMs = 0;
    for (int cycle = 1; cycle <= 50; ++cycle) {
      SCOPED_TRACE("cycle " + std::to_string(cycle));
      ASSERT_TRUE(manager->StartPublish());
      ASSERT_TRUE(log.WaitFor(kStartAudioCaptureSuc, cycle, 10000)) << log.Dump();
      ASSERT_TRUE(log.WaitFor(kPublishStart, cycle, 10000)) << log.Dump();
      EXPECT_GT(dshow::PushVirtualTone(L"Cycle Mic", 60), 0);
      const auto before = Clock::now();
      ASSERT_TRUE(manager->StopPublish());
      slowestStopMs = std::max(slowestStopMs, MsSince(before));
    }
    EXPECT_LT(slowestStopMs, 2000.0);
    std::printf("figures: slowest of 50 stops %.0f ms\n", slowestStopMs);
  }
  dshow::SetVirtualDevices({});
  EXPECT_EQ(dshow::LiveObjectCount(), baseline);
}

}  // namespace
