// Stream health of the picture path, judged on what nginx-rtmp recorded:
// output sizes the encoder cannot take as given (odd sides, a width that is
// no multiple of 4, the largest size), the full screen of an odd-sized
// screen, a logo made for another size than the pictures, and frame rates
// beyond what any capture delivers. Each case publishes a few seconds.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
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

// User and system CPU seconds of a process so far, from /proc/<pid>/stat.
double CpuSeconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  const std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  unsigned long user = 0, system = 0;
  const size_t name = text.rfind(')');
  if (name == std::string::npos ||
      std::sscanf(text.c_str() + name + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &user, &system) != 2)
    return -1;
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

  // Starts the run, publishes kHoldMs after the server took it and sound
  // went out, stops, and judges what the server recorded.
  void PublishAndJudge(int recordedWidth, int recordedHeight) {
    ASSERT_TRUE(manager->StartPublish());
    ASSERT_TRUE(log.WaitFor(kPublishStart, 1, 15000)) << log.Dump();
    ASSERT_TRUE(encoders->WaitFirstSound(5000, nullptr)) << "no sound went out";
    std::this_thread::sleep_for(std::chrono::milliseconds(kHoldMs));
    EXPECT_TRUE(manager->StopPublish());
    peers.nginx.Stop();
    Judge(recordedWidth, recordedHeight);
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
    EXPECT_EQ(test_support::StreamHealthProblems(health, kFps), "");
  }

  // A yellow logo with its top-left corner at (kLogoX, kLogoY) of the picture.
  int SetLogo() {
    const std::string path = dir.File("logo.png");
    if (test_support::RunFfmpeg({"-v", "error", "-f", "lavfi", "-i", "color=c=yellow:s=32x32", "-frames:v", "1", path})
            .exitCode != 0)
      return -100;
    return manager->SetLogo(path.c_str(), 0, kLogoY, kLogoX, 0);
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
  PublishAndJudge(c.recordedWidth, c.recordedHeight);
}

INSTANTIATE_TEST_SUITE_P(Sizes, StreamHealthSizes,
                         ::testing::Values(SizeCase{853, 481, 852, 480}, SizeCase{854, 480, 852, 480},
                                           SizeCase{101, 101, 100, 100}, SizeCase{1919, 1079, 1916, 1078}),
                         [](const ::testing::TestParamInfo<SizeCase>& info) {
                           return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
                         });

// A host that sets the output to the screen's size: an odd screen gave odd
// sides. Its last column and row are left out rather than scaled away.
TEST_F(StreamHealthPictures, FullScreenOfAnOddSizedScreen) {
  StartPeers("1365x767x24");
  ASSERT_TRUE(peers.Configure(manager.get(), kStream, 44100, 2, 1365, 767, kFps));
  std::vector<char> reply(kSendCmdReplyBufferSize, 0);
  char* buffer = reply.data();
  ASSERT_TRUE(manager->SendCmd(R"({"cmd":"ScreenCaptureSettings","params":{"isFollowCursor":false,"isFullScreen":true}})",
                               &buffer));
  ScreenPattern pattern(1365, 767);
  ASSERT_TRUE(pattern.painted());
  PublishAndJudge(1364, 766);
  // Not scaled into a picture with borders: the red reaches its left edge.
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
  ASSERT_EQ(SetLogo(), 0);
  ASSERT_TRUE(peers.Configure(manager.get(), kStream, 44100, 2, 640, 360, kFps));
  PublishAndJudge(640, 360);
  EXPECT_TRUE(LogoShows(640, 360));
}

// Set at the output width 854, the filter met pictures of 852 (the screen
// path's multiple of 4).
TEST_F(StreamHealthPictures, LogoAtWidth854) {
  StartPeers();
  ScreenPattern blue(0, 0);
  ASSERT_TRUE(peers.Configure(manager.get(), kStream, 44100, 2, 854, 480, kFps));
  ASSERT_EQ(SetLogo(), 0);
  PublishAndJudge(852, 480);
  EXPECT_TRUE(LogoShows(852, 480));
}

// 1000 / rate was 0 above 1000 fps: the worker pulled the screen on every
// pass, a whole core between it and the X server. Rates are capped at 60.
TEST_F(StreamHealthPictures, FrameRatesAboveAThousandCostLessThanACore) {
  StartPeers();
  for (int rate : {1001, 5000}) {
    ASSERT_TRUE(peers.Configure(manager.get(), kStream, 44100, 2, 640, 360, rate));
    const int before = log.Count(kPublishStart);
    ASSERT_TRUE(manager->StartPublish());
    ASSERT_TRUE(log.WaitFor(kPublishStart, before + 1, 15000)) << log.Dump();
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
