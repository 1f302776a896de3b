// Stream health judged by what nginx-rtmp recorded, not by what the library
// reports: after the first two seconds pictures come at the asked rate
// (within 5%), the sound has no hole over 50 ms and everything decodes; or,
// for a run that has nothing to send, no "NetStream.Publish.Start" and a
// report that says why. Cases: a manager without a notify object whose
// server dies and comes back, a camera chosen before the first start, and a
// media file that is missing (or a FIFO).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "platform/dshow/backend_virtual.h"
#include "strivon/StatusWords.h"
#include "tests/publish/publish_support.h"
#include "tests/support/stream_health.h"

using namespace publish_test;
using namespace strivon_status;

namespace {

constexpr int kFps = 25;

void ExpectHealthy(const std::string& media) {
  test_support::StreamHealth health;
  std::string error;
  ASSERT_TRUE(test_support::MeasureStreamHealth(media, 2000, &health, &error)) << media << ": " << error;
  std::printf("figures: %s: %s\n", media.c_str(), test_support::DescribeStreamHealth(health).c_str());
  EXPECT_EQ(test_support::StreamHealthProblems(health, kFps), "") << media;
}

bool WaitUntil(const std::function<bool()>& done, int ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

void Hold(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class PublishHealth : public ::testing::Test {
 protected:
  void SetUp() override {
    test_support::NginxRtmpOptions options;
    options.applicationDirectives = "record_unique on;";
    ASSERT_TRUE(peers.Start(options)) << peers.error;
    ASSERT_TRUE(peers.pulse.PlayTone(1000, 120000));
  }
  std::string Folder() const { return peers.nginx.folder() + "/rec"; }

  PublishPeers peers;
  StatusLog log;
};

// Nothing reports to anyone: the server's recordings are the only witness.
TEST_F(PublishHealth, WithoutANotifyTheStreamResumesInANewRecordingAfterTheServerDies) {
  ManagerPtr manager(CreateRtmpPublishManagerWith(nullptr, DefaultManagerFactories()));
  ASSERT_TRUE(peers.Configure(manager.get(), "silent", 44100, 2, 640, 360, kFps));
  ASSERT_TRUE(manager->StartPublish());
  // A recording with a second or two of stream in it.
  const auto recording = [&](size_t index) {
    const auto files = Recordings(Folder());
    return files.size() > index && test_support::FileSize(files[index]) > 15000;
  };
  ASSERT_TRUE(WaitUntil([&] { return recording(0); }, 15000)) << "nothing was published";
  // The reconnection comes 2 s after the close: a new second, so a recording
  // of its own.
  peers.nginx.Kill();
  ASSERT_TRUE(peers.nginx.Restart()) << peers.nginx.error();
  ASSERT_TRUE(WaitUntil([&] { return recording(1); }, 10000)) << "not published again";
  Hold(4000);
  EXPECT_TRUE(manager->StopPublish());
  peers.nginx.Stop();
  const auto files = Recordings(Folder());
  ASSERT_EQ(files.size(), 2u);
  ExpectHealthy(files[1]);
}

TEST_F(PublishHealth, ACameraChosenBeforeTheFirstStartIsWhatTheServerGets) {
  constexpr int kWidth = 320, kHeight = 240;
  dshow::VirtualDevice camera;
  camera.kind = dshow::VirtualKind::VideoInput;
  camera.name = L"Health Camera";
  camera.width = kWidth;
  camera.height = kHeight;
  dshow::SetVirtualDevices({camera});
  ManagerPtr manager(CreateRtmpPublishManagerWith(&log, DefaultManagerFactories()));
  ASSERT_TRUE(peers.Configure(manager.get(), "camera", 44100, 2, kWidth, kHeight, kFps));
  const int cam = CameraIndex(manager.get(), camera.name);
  ASSERT_GE(cam, 0);

  manager->changeToCamera(cam, kFps, 2 * kFps);  // the presenter picks it before going live
  manager->SetVideoSource(3, cam, nullptr, kFps, 2 * kFps);
  ASSERT_TRUE(manager->StartPublish());
  // The test is the camera: a picture every 40 ms until 6 s after the
  // server accepted the stream.
  auto next = Clock::now();
  Clock::time_point end = next + std::chrono::seconds(20);
  bool accepted = false;
  while (Clock::now() < end) {
    dshow::PushVirtualFrames(camera.name, 1);
    if (!accepted && log.Count(kPublishStart) > 0) {
      accepted = true;
      end = Clock::now() + std::chrono::seconds(6);
    }
    next += std::chrono::milliseconds(1000 / kFps);
    std::this_thread::sleep_until(next);
  }
  EXPECT_TRUE(manager->StopPublish());
  manager.reset();
  dshow::SetVirtualDevices({});
  peers.nginx.Stop();
  ASSERT_TRUE(accepted) << log.Dump();
  const auto files = Recordings(Folder());
  ASSERT_EQ(files.size(), 1u);
  ExpectHealthy(files[0]);
  // The camera's pattern, mirrored as a presenter sees herself: green top
  // left, red top right, white bottom left, blue bottom right.
  test_support::TempDir dir("strivon-health");
  std::vector<uint8_t> picture;
  ASSERT_TRUE(DecodePicture(files[0], dir, 3000, kWidth, kHeight, &picture));
  const Rgb topLeft = MeanColour(picture, kWidth, 40, 40, 40, 40);
  const Rgb bottomRight = MeanColour(picture, kWidth, 240, 160, 40, 40);
  EXPECT_TRUE(topLeft.g > 150 && topLeft.r < 100 && topLeft.b < 100) << topLeft.r << "," << topLeft.g << "," << topLeft.b;
  EXPECT_TRUE(bottomRight.b > 150 && bottomRight.r < 100 && bottomRight.g < 100)
      << bottomRight.r << "," << bottomRight.g << "," << bottomRight.b;
}

TEST_F(PublishHealth, AMissingMediaFileIsReportedAndNothingIsPublished) {
  ManagerPtr manager(CreateRtmpPublishManagerWith(&log, DefaultManagerFactories()));
  ASSERT_TRUE(peers.Configure(manager.get(), "file", 44100, 2, 640, 360, kFps));
  const std::string missing = "/nonexistent/strivon-clip.mp4";
  manager->SetVideoSource(2, 0, missing.c_str(), kFps, 2 * kFps);
  ASSERT_TRUE(manager->StartPublish());
  ASSERT_TRUE(log.WaitFor("cannot open " + missing + ": No such file or directory", 1, 5000, nullptr, kLevelError))
      << log.Dump();
  EXPECT_TRUE(log.WaitFor(kVideoCaptureError, 1, 1000, nullptr, kLevelError));
  EXPECT_FALSE(log.WaitFor(kPublishStart, 1, 3000)) << "a run with nothing to send went live";

  // A FIFO nobody writes to is refused at once, not waited on.
  test_support::TempDir dir("strivon-health-fifo");
  const std::string fifo = dir.File("clip.mp4");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  auto switching = std::async(std::launch::async, [&] { manager->changeToVexaFile(fifo.c_str(), kFps, 0); });
  if (switching.wait_for(std::chrono::seconds(3)) != std::future_status::ready) {
    const int writer = open(fifo.c_str(), O_WRONLY);  // lets the stuck open go
    if (writer >= 0) close(writer);
    switching.wait();
    FAIL() << "the switch hangs on the FIFO";
  }
  EXPECT_EQ(log.Count("cannot open " + fifo + ": not a regular file", kLevelError), 1) << log.Dump();

  EXPECT_TRUE(manager->StopPublish());
  peers.nginx.Stop();
  EXPECT_TRUE(Recordings(Folder()).empty());
}

}  // namespace
