// Stream health of the picture path, judged on what nginx-rtmp recorded:
// output sizes the encoder cannot take as given (odd sides, a width that is
// no multiple of 4, the largest size), the full screen of an odd-sized
// screen, a logo made for another size than the pictures, and frame rates
// beyond what any capture delivers. Each case publishes a few seconds.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "strivon/StatusWords.h"
#include "tests/publish/publish_support.h"
#include "tests/support/stream_health.h"

using namespace publish_test;
using namespace strivon_status;

namespace {

constexpr int kFps = 25;
constexpr int kHoldMs = 4000;       // published after the first sound went out
constexpr long long kSettleMs = 2000;  // start-up stretch the rate is not judged on

// User and system CPU time of a process so far (/proc/<pid>/stat), or -1.
double CpuSeconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const size_t name = text.rfind(')');
  if (name == std::string::npos) return -1;
  std::istringstream fields(text.substr(name + 2));
  std::string field;
  unsigned long long user = 0, system = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) user = std::stoull(field);
    if (i == 15) system = std::stoull(field);
  }
  return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

class StreamHealthPictures : public ::testing::Test {
 protected:
  void StartPeers(const std::string& screen = "1366x768x24") {
    peers.screen = screen;
    ASSERT_TRUE(peers.Start()) << peers.error;
    ASSERT_TRUE(peers.pulse.PlayTone(1000, 120000));
    ObserveEncoders(&factories, encoders, true);
    manager.reset(CreateRtmpPublishManagerWith(&log, factories));
  }

  // Starts the run and waits until the server took it and sound went out.
  ::testing::AssertionResult Go() {
    if (!manager->StartPublish()) return ::testing::AssertionFailure() << "StartPublish refused";
    if (!log.WaitFor(kPublishStart, 1, 15000)) return ::testing::AssertionFailure() << "no Publish.Start\n" << log.Dump();
    if (!encoders->WaitFirstSound(5000, nullptr)) return ::testing::AssertionFailure() << "no sound went out";
    return ::testing::AssertionSuccess();
  }

  void StopAndCloseServer() {
    EXPECT_TRUE(manager->StopPublish());
    peers.nginx.Stop();
  }

  // The picture size recorded, the rate after the start-up stretch, the
  // sound without holes and a file that decodes cleanly.
  void Judge(int width, int height) {
    const std::string recording = peers.nginx.RecordingPath(kStream);
    Json::Value streams;
    ASSERT_TRUE(test_support::ProbeStreams(recording, &streams)) << log.Dump();
    bool sawVideo = false;
    for (const auto& s : streams) {
      if (s["codec_type"].asString() != "video") continue;
      sawVideo = true;
      EXPECT_EQ(s["width"].asInt(), width);
      EXPECT_EQ(s["height"].asInt(), height);
    }
    EXPECT_TRUE(sawVideo) << streams.toStyledString();
    test_support::StreamHealth health;
    std::string error;
    ASSERT_TRUE(test_support::MeasureStreamHealth(recording, kSettleMs, &health, &error)) << error;
    const std::string described = test_support::DescribeStreamHealth(health);
    std::printf("figures %dx%d: %s\n", width, height, described.c_str());
    EXPECT_GE(health.pictures, (kHoldMs - kSettleMs) * kFps / 1000 / 2) << described;
    EXPECT_NEAR(health.picturesPerSecond, kFps, kFps * 0.05) << described;
    EXPECT_LE(health.largestSoundGapMs, 50) << described;
    EXPECT_EQ(health.decodeErrors, 0) << described;
  }

  // Yellow, with its top-left corner at (kLogoX, kLogoY) of the picture.
  std::string MakeLogo() {
    const std::string path = dir.File("logo.png");
    EXPECT_EQ(test_support::RunFfmpeg({"-v", "error", "-f", "lavfi", "-i", "color=c=yellow:s=32x32", "-frames:v", "1",
                                       path})
                  .exitCode,
              0);
    return path;
  }
  bool LogoShows(int width, int height) {
    std::vector<uint8_t> picture;
    if (!DecodePicture(peers.nginx.RecordingPath(kStream), dir, 3000, width, height, &picture)) return false;
    const Rgb logo = MeanColour(picture, width, kLogoX + 4, kLogoY + 4, 24, 24);
    std::printf("figures: logo area %.0f,%.0f,%.0f\n", logo.r, logo.g, logo.b);
    return logo.r > 200 && logo.g > 200 && logo.b < 80;
  }

  static constexpr const char* kStream = "health";
  static constexpr int kLogoX = 40, kLogoY = 20;
  PublishPeers peers;
  test_support::TempDir dir{"strivon-stream-health"};
  StatusLog log;
  std::shared_ptr<EncoderLog> encoders = std::make_shared<EncoderLog>();
  ManagerFactories factories = DefaultManagerFactories();
  ManagerPtr manager;
};

struct SizeCase {
  int width, height, recordedWidth, recordedHeight;
};

class StreamHealthSizes : public StreamHealthPictures, public ::testing::WithParamInterface<SizeCase> {};

// Odd sides were stored as given, the encoder refused them, and the run went
// live without a single picture. The screen path also rounds the width down
// to a multiple of 4 (853 -> 852, 1918 -> 1916).
TEST_P(StreamHealthSizes, OutputSizePublishesPicturesAndSound) {
  const SizeCase c = GetParam();
  StartPeers();
  ASSERT_TRUE(peers.Configure(manager.get(), kStream, 44100, 2, c.width, c.height, kFps));
  ASSERT_TRUE(Go());
  std::this_thread::sleep_for(std::chrono::milliseconds(kHoldMs));
  StopAndCloseServer();
  Judge(c.recordedWidth, c.recordedHeight);
}

INSTANTIATE_TEST_SUITE_P(Sizes, StreamHealthSizes,
                         ::testing::Values(SizeCase{853, 481, 852, 480}, SizeCase{854, 480, 852, 480},
                                           SizeCase{101, 101, 100, 100}, SizeCase{1919, 1079, 1916, 1078}),
                         [](const ::testing::TestParamInfo<SizeCase>& info) {
                           return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
                         });

// A host that sets the output to the screen's size: an odd screen gave odd
// sides; its last column and row are left out rather than scaled away.
TEST_F(StreamHealthPictures, FullScreenOfAnOddSizedScreen) {
  StartPeers("1365x767x24");
  ASSERT_TRUE(peers.Configure(manager.get(), kStream, 44100, 2, 1365, 767, kFps));
  std::vector<char> reply(kSendCmdReplyBufferSize, 0);
  char* buffer = reply.data();
  ASSERT_TRUE(manager->SendCmd(R"({"cmd":"ScreenCaptureSettings","params":{"isFollowCursor":false,"isFullScreen":true}})",
                               &buffer));
  ScreenPattern pattern(1365, 767);
  ASSERT_TRUE(pattern.painted());
  ASSERT_TRUE(Go());
  std::this_thread::sleep_for(std::chrono::milliseconds(kHoldMs));
  StopAndCloseServer();
  Judge(1364, 766);
  // Not scaled into the picture with borders: the red reaches its left edge.
  std::vector<uint8_t> picture;
  ASSERT_TRUE(DecodePicture(peers.nginx.RecordingPath(kStream), dir, 3000, 1364, 766, &picture));
  const Rgb edge = MeanColour(picture, 1364, 0, 100, 2, 16);
  EXPECT_TRUE(edge.r > 200 && edge.b < 80) << edge.r << "," << edge.g << "," << edge.b;
}

// The logo's filter was made at the output size of the moment (320x240
// before any size was set) and refused every later picture: no picture went
// out, and with the send loop waiting for both queues, no sound either.
TEST_F(StreamHealthPictures, LogoSetBeforeTheSize) {
  StartPeers();
  ScreenPattern blue(0, 0);
  ASSERT_TRUE(blue.painted());
  ASSERT_EQ(manager->SetLogo(MakeLogo().c_str(), 0, kLogoY, kLogoX, 0), 0);
  ASSERT_TRUE(peers.Configure(manager.get(), kStream, 44100, 2, 640, 360, kFps));
  ASSERT_TRUE(Go());
  std::this_thread::sleep_for(std::chrono::milliseconds(kHoldMs));
  StopAndCloseServer();
  Judge(640, 360);
  EXPECT_TRUE(LogoShows(640, 360));
}

// Set at the output size 854, the filter met pictures of 852 (the screen
// path's multiple of 4).
TEST_F(StreamHealthPictures, LogoAtWidth854) {
  StartPeers();
  ScreenPattern blue(0, 0);
  ASSERT_TRUE(blue.painted());
  ASSERT_TRUE(peers.Configure(manager.get(), kStream, 44100, 2, 854, 480, kFps));
  ASSERT_EQ(manager->SetLogo(MakeLogo().c_str(), 0, kLogoY, kLogoX, 0), 0);
  ASSERT_TRUE(Go());
  std::this_thread::sleep_for(std::chrono::milliseconds(kHoldMs));
  StopAndCloseServer();
  Judge(852, 480);
  EXPECT_TRUE(LogoShows(852, 480));
}

// A filter that cannot be made for the pictures' size (its image is gone by
// then) lets them go out without the logo.
TEST_F(StreamHealthPictures, LogoThatCannotBeRemadeIsLeftOut) {
  StartPeers();
  ScreenPattern blue(0, 0);
  ASSERT_TRUE(blue.painted());
  const std::string logo = MakeLogo();
  ASSERT_EQ(manager->SetLogo(logo.c_str(), 0, kLogoY, kLogoX, 0), 0);
  ASSERT_EQ(std::remove(logo.c_str()), 0);
  ASSERT_TRUE(peers.Configure(manager.get(), kStream, 44100, 2, 640, 360, kFps));
  ASSERT_TRUE(Go());
  std::this_thread::sleep_for(std::chrono::milliseconds(kHoldMs));
  StopAndCloseServer();
  Judge(640, 360);
  EXPECT_FALSE(LogoShows(640, 360));
}

// 1000 / rate was 0 above 1000 fps: the worker pulled the screen on every
// pass, a whole core. Rates are now capped at what a capture delivers.
TEST_F(StreamHealthPictures, FrameRatesAboveAThousandCostLessThanACore) {
  StartPeers();
  for (int rate : {1001, 5000}) {
    ASSERT_TRUE(peers.Configure(manager.get(), kStream, 44100, 2, 640, 360, rate));
    const int before = log.Count(kPublishStart);
    ASSERT_TRUE(manager->StartPublish());
    ASSERT_TRUE(log.WaitFor(kPublishStart, before + 1, 15000)) << log.Dump();
    // The grabs cost the X server as much as this process.
    const auto cpu = [&] { return CpuSeconds(getpid()) + CpuSeconds(peers.xvfb.pid()); };
    const double cpuBefore = cpu();
    const auto wallBefore = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    const double cores = (cpu() - cpuBefore) / (MsSince(wallBefore) / 1000.0);
    EXPECT_TRUE(manager->StopPublish());
    std::printf("figures: %d fps asked, %.2f cores\n", rate, cores);
    EXPECT_LT(cores, 0.5) << rate << " fps";
  }
}

}  // namespace
