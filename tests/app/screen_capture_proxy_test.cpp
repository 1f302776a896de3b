// The library proxy against a manager that records its calls: what reaches
// the library when publishing starts and sources switch, the publish events
// the library's status words become, and the capture rectangle's rules.
#include <atomic>
#include <memory>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/ScreenCaptureProxy.h"
#include "strivon/StatusWords.h"
#include "tests/app/fake_publish_manager.h"

using namespace strivon_status;
using ::testing::ElementsAre;

namespace {

constexpr HWND kDisplay = 0x51, kMainWindow = 0x77;

struct RecordingSink : CScreenCaptureProxy::ScreenCaptureProxyNotify {
  void OnStatus(const char* status) override {
    std::lock_guard<std::mutex> hold(lock);
    statuses.push_back(status);
    eventsQueuedBefore.push_back(events->Take().has_value());
  }
  std::mutex lock;
  std::vector<std::string> statuses;
  std::vector<bool> eventsQueuedBefore;
  ProgramEventQueue* events = nullptr;
};

class ProxyTest : public ::testing::Test {
 protected:
  void SetUp() override { sink.events = &sinkProbe; }
  std::unique_ptr<CScreenCaptureProxy> Make() {
    ScreenCaptureProxyWiring wiring;
    wiring.createManager = [this](IRtmpPublishManagerNotify* notify) {
      fake.notify = notify;
      return &fake;
    };
    wiring.events = &events;
    wiring.publishParams = [this] { return params; };
    wiring.reloadAccountParams = [this](const std::string& account) { reloaded.push_back(account); };
    wiring.userConfig = [this] { return user; };
    auto proxy = std::make_unique<CScreenCaptureProxy>(&sink, wiring);
    proxy->Init(0x50, kDisplay, kMainWindow);
    return proxy;
  }
  // A command as the library receives it: jsoncpp's styled text.
  static std::string Styled(const std::string& cmd, const std::string& params) {
    return "{\n   \"cmd\" : \"" + cmd + "\",\n   \"params\" : {\n      " + params + "\n   }\n}\n";
  }

  FakePublishManager fake;
  ProgramEventQueue events, sinkProbe;
  PublishParamValues params;
  UserConfigValues user;
  std::vector<std::string> reloaded;
  RecordingSink sink;
};

TEST_F(ProxyTest, InitSendsCaptureSettingsAndTakesTheParameters) {
  params.VDFPS = 8;
  params.VDIntervalSencond = 4;
  params.BFrameCount = 2;
  auto proxy = Make();
  ASSERT_EQ(fake.commands.size(), 3u);
  EXPECT_TRUE(fake.replyBufferFilledWithZero);
  EXPECT_EQ(fake.commands[0],
            Styled("ScreenCaptureSettings", "\"isFollowCursor\" : false,\n      \"isFullScreen\" : false"));
  // Sent before the parameters are taken.
  EXPECT_EQ(fake.commands[1], Styled("SetBframeCount", "\"BframeCount\" : 0"));
  EXPECT_EQ(fake.commands[2], Styled("SetVBRQuality", "\"Quality\" : 0"));
  EXPECT_EQ(proxy->Settings().desktopKeyInterval, 32);
  EXPECT_EQ(proxy->Settings().bFrameCount, 2);
  EXPECT_THAT(proxy->MicNames(), ElementsAre(L"Mic A", L"Mic B"));
  EXPECT_THAT(proxy->CamNames(), ElementsAre(L"Cam A"));
}

TEST_F(ProxyTest, StartPublishConfiguresTheManagerInOrder) {
  params.strScheduleSvr = "10.0.0.9:1935";
  params.PublishRoomInfo = "room";
  params.stream = "s1";
  params.ADBitRate = 64000;
  user.volume = 55;
  user.antiNoise = true;
  // alice logged in online last; bella is the account logged in now (from
  // her cache): hers are the parameters reloaded.
  user.userId = "alice";
  user.loginAccount = "bella";
  auto proxy = Make();
  fake.ClearCalls();
  proxy->SetOutputSize(800, 600);
  ASSERT_EQ(proxy->StartPublish(), 0);
  EXPECT_THAT(fake.Calls(), ElementsAre("SetCam(0)", "SetMic(0)", "SendCmd()", "EnableNoiseSuppression(1)",
                                        "SetNoiseSuppressionPara(20,3)", "SetPublishAudioPara(44100,2,16,64000,55,0)",
                                        "SetPublishVideoPara(800,600,5,480000,81,15)",
                                        "SetPublishUrl(rtmp://10.0.0.9:1935,room,s1)", "SetUserID(1000)",
                                        "StartPublish()"));
  EXPECT_EQ(fake.commands.at(3), Styled("SetAbrQmin", "\"qMin\" : 0"));
  EXPECT_THAT(reloaded, ElementsAre("bella"));
  proxy->StartPublish();
  EXPECT_THAT(reloaded, ElementsAre("bella", "bella"));
}

TEST_F(ProxyTest, TestAccountIsRefusedWithoutTouchingAnything) {
  params.PublishRoomInfo = "demo";
  params.stream = "108";
  auto proxy = Make();
  fake.ClearCalls();
  EXPECT_EQ(proxy->StartPublish(), -1);
  EXPECT_TRUE(fake.Calls().empty());
  EXPECT_TRUE(reloaded.empty());
}

TEST_F(ProxyTest, VariableBitRateStartsAtQualityOneAndSwitchesAtFive) {
  struct Case {
    int quality;
    const char* start;
    const char* switched;
  };
  for (const Case& c : {Case{0, "480000", "SetVideoBitrate(480000,0)"}, Case{1, "0", "SetVideoBitrate(480000,0)"},
                        Case{4, "0", "SetVideoBitrate(480000,0)"}, Case{5, "0", "SetVideoBitrate(0,5)"}}) {
    SCOPED_TRACE(c.quality);
    params.Quality = params.CQuality = params.FQuality = c.quality;
    params.VCBitRate = params.VFBitRate = 480000;
    auto proxy = Make();
    fake.ClearCalls();
    proxy->StartPublish();
    EXPECT_EQ(fake.Count(std::string("SetPublishVideoPara(640,480,5,") + c.start + ","), 1);
    fake.ClearCalls();
    EXPECT_EQ(proxy->UseCameraSource(0), 1);
    EXPECT_EQ(proxy->UseFileSource(L"/media/clip.flv"), 1);
    EXPECT_EQ(proxy->UseDesktopSource(), 1);
    // Not connected: only the bit rates reach the library.
    EXPECT_THAT(fake.Calls(), ElementsAre(c.switched, c.switched, c.switched));
  }
}

// A file that could not be opened while another played: the old one went on
// and the window, told nothing, never said the file had failed.
TEST_F(ProxyTest, AFileTheLibraryCannotOpenIsRefusedAndTheSourceStays) {
  auto proxy = Make();
  proxy->OnStatus(2, kConnectSuccess);
  EXPECT_EQ(proxy->UseFileSource(L"/media/first.mp4"), 1);
  fake.refuseFiles = true;
  EXPECT_EQ(proxy->UseFileSource(L"/media/sound-only.m4a"), 0);
  EXPECT_EQ(proxy->SourceKind(), 2);
  EXPECT_EQ(proxy->MediaFile(), "/media/first.mp4") << "the file that plays";
  EXPECT_EQ(proxy->UseCameraSource(0), 1);
  EXPECT_EQ(proxy->UseFileSource(L"/media/sound-only.m4a"), 0);
  EXPECT_EQ(proxy->SourceKind(), 3) << "the camera stays";
}

TEST_F(ProxyTest, SourceSwitchesWhileConnected) {
  auto proxy = Make();
  proxy->OnStatus(2, kConnectSuccess);
  fake.ClearCalls();
  EXPECT_EQ(proxy->UseFileSource(L"/media/\u00e9t\u00e9.flv"), 1);
  EXPECT_EQ(proxy->SourceKind(), 2);
  EXPECT_EQ(proxy->UseCameraSource(0), 1);
  EXPECT_EQ(proxy->SourceKind(), 3);
  EXPECT_THAT(fake.Calls(), ElementsAre("changeToVexaFile(/media/\xc3\xa9t\xc3\xa9.flv,25,75)",
                                        "SetVideoBitrate(500000,0)", "changeToCamera(0,15,45)",
                                        "SetVideoBitrate(500000,0)"));

  ScreenCaptureProxyWiring noManager;
  noManager.createManager = [](IRtmpPublishManagerNotify*) { return nullptr; };
  CScreenCaptureProxy without(&sink, noManager);
  without.Init(0, 0, 0);
  EXPECT_EQ(without.UseDesktopSource(), 0);
  EXPECT_EQ(without.StartPublish(), -1);
}

TEST_F(ProxyTest, StatusWordsBecomePublishEvents) {
  auto proxy = Make();
  ASSERT_TRUE(proxy->OnStatus(2, kConnectClosed));
  ASSERT_TRUE(proxy->OnStatus(2, kAudioCaptureError));
  ASSERT_TRUE(proxy->OnStatus(2, kVideoCaptureError));
  ASSERT_TRUE(proxy->OnStatus(2, kPublishStart));
  const std::string json = "{\"cmd\":\"Report\",\"text\":\"" + std::string(100000, 'x') + "\"}";
  ASSERT_TRUE(proxy->OnMessage(json.c_str()));
  std::vector<unsigned> codes;
  while (auto event = events.Take()) {
    EXPECT_EQ(event->target, kMainWindow);
    EXPECT_EQ(event->message, WM_PUBLISH_EVENT);
    EXPECT_EQ(event->lParam, 0);
    EXPECT_EQ(event->text, event->wParam == kPublishEventJson ? json : "");
    codes.push_back(static_cast<unsigned>(event->wParam));
  }
  EXPECT_THAT(codes, ElementsAre(2, 13, 14, 12));
  EXPECT_THAT(sink.statuses, ElementsAre(kConnectClosed, kAudioCaptureError, kVideoCaptureError, kPublishStart));

  // Empty texts are refused and reach no one.
  EXPECT_FALSE(proxy->OnStatus(0, ""));
  EXPECT_FALSE(proxy->OnStatus(0, nullptr));
  EXPECT_FALSE(proxy->OnMessage(""));
  EXPECT_FALSE(proxy->OnMessage(nullptr));
  EXPECT_FALSE(events.Take().has_value());
  EXPECT_EQ(sink.statuses.size(), 4u);

  // Once the GUI thread's queue is closed, events are dropped (and freed).
  events.Close();
  EXPECT_FALSE(proxy->OnMessage(json.c_str()));
  EXPECT_TRUE(proxy->OnStatus(2, kConnectClosed));
  EXPECT_FALSE(events.Take().has_value());
}

TEST_F(ProxyTest, StatusSinkHearsTheWordBeforeItsEventIsPosted) {
  // The sink's probe queue is the proxy's queue here: the sink looks for an event when called.
  sink.events = &events;
  auto proxy = Make();
  proxy->OnStatus(2, kConnectClosed);
  EXPECT_THAT(sink.eventsQueuedBefore, ElementsAre(false));
  EXPECT_TRUE(events.Take().has_value());
}

TEST_F(ProxyTest, CaptureRectIsInsetAndSentOnlyWhenConnectedAndChanged) {
  auto proxy = Make();
  fake.ClearCalls();
  proxy->SetCaptureRect({0, 0, 100, 50});
  EXPECT_TRUE(fake.Calls().empty());
  EXPECT_EQ(proxy->KeptCaptureRect(), (CaptureRect{3, 3, 97, 47}));
  proxy->OnStatus(2, kConnectSuccess);  // the kept rectangle follows a new connection
  proxy->SetCaptureRect({0, 0, 100, 50});
  proxy->SetCaptureRect({10, 20, 110, 220});
  proxy->SetCaptureRect({10, 20, 110, 220});
  proxy->SetCaptureRect({0, 0, 6, 100});  // kept, but nothing to capture
  EXPECT_EQ(proxy->KeptCaptureRect(), (CaptureRect{3, 3, 3, 97}));
  fake.captureFrameShown = true;
  proxy->SetCaptureRect({0, 0, 50, 50});
  proxy->OnStatus(2, kConnectClosed);
  proxy->SetCaptureRect({0, 0, 80, 80});
  EXPECT_THAT(fake.Calls(), ElementsAre("setCaptrueArea(0,94,44,3,3)", "setCaptrueArea(0,94,194,13,23)",
                                        "ShowCaptureFrame(0)", "setCaptrueArea(0,44,44,3,3)", "ShowCaptureFrame(0)"));
}

TEST_F(ProxyTest, OutputSizeWhileConnectedWaitsForTheNextStart) {
  auto proxy = Make();
  proxy->OnStatus(2, kConnectSuccess);
  proxy->SetOutputSize(1280, 720);
  EXPECT_EQ(proxy->OutputWidth(), 640);
  EXPECT_EQ(proxy->OutputHeight(), 480);
  proxy->OnStatus(2, kConnectClosed);
  proxy->StartPublish();
  EXPECT_EQ(fake.Count("SetPublishVideoPara(1280,720,"), 1);
}

TEST_F(ProxyTest, DestructionStopsThenReleasesTheManagerOnce) {
  auto proxy = Make();
  proxy.reset();
  const auto calls = fake.Calls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[calls.size() - 2], "StopPublish()");
  EXPECT_EQ(calls.back(), "release()");
  EXPECT_EQ(fake.Count("release"), 1);
}

TEST_F(ProxyTest, LibraryThreadsAndGuiThreadShareFlagAndRectangle) {
  auto proxy = Make();
  std::atomic<bool> stop{false};
  std::atomic<int> closes{0};
  std::thread library([&] {
    while (!stop) {
      proxy->OnStatus(2, kConnectSuccess);
      proxy->OnStatus(2, kConnectClosed);
      ++closes;
    }
  });
  // The GUI side runs until the library side has been busy for a while.
  for (int i = 0; closes < 2000; ++i) {
    proxy->SetCaptureRect({0, 0, 100 + i % 7, 100});
    proxy->SetOutputSize(320 + i % 2, 240);
  }
  stop = true;
  library.join();
  int posted = 0;
  while (events.Take()) ++posted;
  EXPECT_EQ(posted, closes);
  EXPECT_FALSE(proxy->IsConnected());
}

}  // namespace
