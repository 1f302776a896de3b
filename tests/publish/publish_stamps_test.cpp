// The stamps a server gets, judged on nginx-rtmp's recordings: a manager that
// publishes twice, switching sources in its second run, gives each recording
// stamps that span its publishing time with no jump; and a screen grab slower
// than the frame period leaves pictures stamped with the slot they were
// grabbed in, never earlier than the grab by more than a period.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "platform/dshow/backend_virtual.h"
#include "platform/outside/OutsideFactories.h"
#include "strivon/StatusWords.h"
#include "tests/publish/publish_support.h"

using namespace publish_test;
using namespace strivon_status;

namespace {

void Hold(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// The largest step between neighbouring stamps of one kind, and the span of
// all stamps (ms).
struct StampShape {
  long long span = 0, largestStep = 0;
};
StampShape ShapeOf(const std::string& recording) {
  std::vector<test_support::ProbedPacket> packets;
  EXPECT_TRUE(test_support::ProbePackets(recording, &packets)) << recording;
  StampShape shape;
  long long begin = -1, end = -1;
  for (const std::string kind : {"video", "audio"}) {
    std::vector<long long> stamps;
    for (const auto& p : packets)
      if (p.codecType == kind && p.ptsMs >= 0) stamps.push_back(p.ptsMs);
    std::sort(stamps.begin(), stamps.end());
    for (size_t i = 1; i < stamps.size(); ++i) shape.largestStep = std::max(shape.largestStep, stamps[i] - stamps[i - 1]);
    if (stamps.empty()) continue;
    begin = begin < 0 ? stamps.front() : std::min(begin, stamps.front());
    end = std::max(end, stamps.back());
  }
  shape.span = end - begin;
  return shape;
}

// A file and a camera for the second run's switches.
std::string MakeClip(const test_support::TempDir& dir) {
  const std::string path = dir.File("clip.mp4");
  EXPECT_EQ(test_support::RunFfmpeg({"-v", "error", "-f", "lavfi", "-i", "testsrc2=size=640x360:rate=25:duration=20",
                                     "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=20",
                                     "-pix_fmt", "yuv420p", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac",
                                     "-shortest", "-y", path})
                .exitCode,
            0);
  return path;
}

// The second run of one manager started its first switch's time line from
// the largest stamp of the first run: a jump as long as that run.
TEST(PublishStamps, TwoRunsOfOneManagerEachSpanTheirTimeWithoutAJump) {
  dshow::VirtualDevice camera;
  camera.kind = dshow::VirtualKind::VideoInput;
  camera.name = L"Stamps Camera";
  camera.width = 640;
  camera.height = 360;
  dshow::SetVirtualDevices({camera});
  PublishPeers peers;
  test_support::NginxRtmpOptions options;
  options.applicationDirectives = "record_unique on;";
  ASSERT_TRUE(peers.Start(options)) << peers.error;
  ASSERT_TRUE(peers.pulse.PlayTone(1000, 120000));
  test_support::TempDir dir("strivon-stamps");
  const std::string clip = MakeClip(dir);
  StatusLog log;
  ManagerPtr manager(CreateRtmpPublishManagerWith(&log, DefaultManagerFactories()));
  ASSERT_TRUE(peers.Configure(manager.get(), "runs", 44100, 2, 640, 360, 25));
  const int cam = CameraIndex(manager.get(), camera.name);
  ASSERT_GE(cam, 0);

  std::vector<double> publishedMs;
  const auto run = [&](const std::function<void()>& during) {
    Clock::time_point started;
    ASSERT_TRUE(manager->StartPublish());
    ASSERT_TRUE(log.WaitFor(kPublishStart, log.Count(kPublishStart) + 1, 15000, &started)) << log.Dump();
    during();
    publishedMs.push_back(MsSince(started));
    ASSERT_TRUE(manager->StopPublish());
  };
  run([&] { Hold(15000); });
  // Its own second, so nginx gives it a recording of its own.
  Hold(1000);
  run([&] {
    Hold(5000);
    manager->changeToVexaFile(clip.c_str(), 25, 50);
    Hold(5000);
    manager->changeToScreen(25, 50);
    Hold(5000);
    manager->changeToCamera(cam, 25, 50);
    // The test is the camera: a picture every 40 ms.
    for (auto next = Clock::now(), end = next + std::chrono::seconds(5); next < end;) {
      dshow::PushVirtualFrames(camera.name, 1);
      next += std::chrono::milliseconds(40);
      std::this_thread::sleep_until(next);
    }
  });
  manager.reset();
  dshow::SetVirtualDevices({});
  peers.nginx.Stop();
  ASSERT_EQ(publishedMs.size(), 2u) << log.Dump();
  // Each switch of the second run took place.
  EXPECT_EQ(log.Count("cannot open"), 0) << log.Dump();
  EXPECT_EQ(log.Count(kStartVideoCaptureSuc), 1) << "the camera did not start";
  const std::vector<std::string> recordings = Recordings(peers.nginx.folder() + "/rec");
  ASSERT_EQ(recordings.size(), 2u);
  for (size_t i = 0; i < recordings.size(); ++i) {
    const StampShape shape = ShapeOf(recordings[i]);
    std::printf("figures: run %zu: stamps span %lld ms of %.0f ms published, largest step %lld ms\n", i + 1,
                shape.span, publishedMs[i], shape.largestStep);
    EXPECT_NEAR(static_cast<double>(shape.span), publishedMs[i], 500.0) << recordings[i];
    EXPECT_LE(shape.largestStep, 100) << recordings[i];
  }
}

// A screen whose every grab takes 30 ms and shows, as sixteen black or white
// bars, the ms since its first grab at the moment it was grabbed.
class SlowClockScreen final : public IScreenCapture {
 public:
  static constexpr int kWidth = 640, kHeight = 360, kBars = 16;
  void Release() override { delete this; }
  void SetFollowCursor(bool) override {}
  bool SetBitDepth(int bits) override { return bits == 24; }
  bool SetCaptureRect(const RECT*) override { return true; }
  bool GrabFrame(BITMAPINFOHEADER** info, BYTE** pixels, int* byteCount) override {
    const auto now = Clock::now();
    if (!m_started) {
      m_first = now;
      m_started = true;
    }
    const auto ms = static_cast<uint32_t>(MsSince(m_first, now));
    m_pixels.assign(static_cast<size_t>(kWidth) * kHeight * 3, 0);
    for (int bar = 0; bar < kBars; ++bar) {
      if (!(ms >> bar & 1)) continue;
      for (int y = 120; y < 240; ++y)
        std::fill_n(&m_pixels[(static_cast<size_t>(y) * kWidth + bar * 40) * 3], 40 * 3, BYTE{255});
    }
    std::this_thread::sleep_until(now + std::chrono::milliseconds(30));
    m_info = BITMAPINFOHEADER{};
    m_info.biSize = sizeof(BITMAPINFOHEADER);
    m_info.biWidth = kWidth;
    m_info.biHeight = kHeight;
    m_info.biPlanes = 1;
    m_info.biBitCount = 24;
    m_info.biSizeImage = static_cast<uint32_t>(m_pixels.size());
    *info = &m_info;
    *pixels = m_pixels.data();
    *byteCount = static_cast<int>(m_pixels.size());
    return true;
  }
  void ShowCaptureFrame(int) override {}
  bool IsCaptureFrameShown() override { return false; }
  void RaiseCaptureFrame() override {}
  void ClearCaptureWindow() override {}
  void SetCaptureWindow(HWND) override {}
  bool DisplayLost() override { return false; }

 private:
  bool m_started = false;
  Clock::time_point m_first;
  BITMAPINFOHEADER m_info{};
  std::vector<BYTE> m_pixels;
};

// Catching up late slots stamped pictures up to a second before they were
// grabbed: the picture played fast, froze, and lip sync swung.
TEST(PublishStamps, AGrabSlowerThanTheFramePeriodNeverStampsAPictureBeforeItsGrab) {
  constexpr int kFps = 60;
  constexpr double kPeriodMs = 1000.0 / kFps;
  OutsideFactoryTable table;
  table.createScreenCapture = [] { return new SlowClockScreen; };
  SetOutsideFactories(table);
  PublishPeers peers;
  ASSERT_TRUE(peers.Start()) << peers.error;
  ASSERT_TRUE(peers.pulse.PlayTone(1000, 60000));
  StatusLog log;
  ManagerPtr manager(CreateRtmpPublishManagerWith(&log, DefaultManagerFactories()));
  ASSERT_TRUE(peers.Configure(manager.get(), "slow", 44100, 2, 640, 360, kFps));
  ASSERT_TRUE(manager->StartPublish());
  ASSERT_TRUE(log.WaitFor(kPublishStart, 1, 15000)) << log.Dump();
  Hold(10000);
  ASSERT_TRUE(manager->StopPublish());
  manager.reset();
  ResetOutsideFactories();
  peers.nginx.Stop();

  // Each picture's stamp and the grab time its bars show.
  const std::string recording = peers.nginx.RecordingPath("slow");
  test_support::TempDir dir("strivon-slow-grab");
  const std::string gray = dir.File("pictures.gray");
  ASSERT_EQ(test_support::RunFfmpeg({"-v", "error", "-i", recording, "-an", "-fps_mode", "passthrough", "-vf",
                                     "format=gray", "-f", "rawvideo", "-y", gray})
                .exitCode,
            0);
  const test_support::CommandResult frames = test_support::RunCommand(
      {"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", "frame=pts_time", "-of", "csv=p=0",
       recording});
  std::vector<double> stamps;
  std::istringstream lines(frames.out);
  for (std::string line; std::getline(lines, line);)
    if (!line.empty()) stamps.push_back(std::atof(line.c_str()) * 1000);
  const std::string bytes = test_support::ReadFileBytes(gray);
  const size_t pictureBytes = static_cast<size_t>(SlowClockScreen::kWidth) * SlowClockScreen::kHeight;
  ASSERT_EQ(bytes.size() / pictureBytes, stamps.size());
  ASSERT_GT(stamps.size(), 200u);
  double lowest = 1e9, highest = -1e9, largestStep = 0;
  uint32_t lastGrabbedMs = 0;
  size_t judgedSteps = 0;
  for (size_t n = 0; n < stamps.size(); ++n) {
    uint32_t grabbedMs = 0;
    for (int bar = 0; bar < SlowClockScreen::kBars; ++bar) {
      const auto luma = static_cast<unsigned char>(bytes[n * pictureBytes + 180 * SlowClockScreen::kWidth + bar * 40 + 20]);
      if (luma > 128) grabbedMs |= 1u << bar;
    }
    // How far the stamp lies from the grab, against a constant.
    const double off = stamps[n] - grabbedMs;
    lowest = std::min(lowest, off);
    highest = std::max(highest, off);
    // Steps between pictures whose grabs followed at once (30 ms and a
    // little): a worker the machine held up longer takes a later slot, rightly.
    if (n > 0 && grabbedMs - lastGrabbedMs <= 33) {
      largestStep = std::max(largestStep, stamps[n] - stamps[n - 1]);
      ++judgedSteps;
    }
    lastGrabbedMs = grabbedMs;
  }
  EXPECT_GT(judgedSteps, stamps.size() / 2);
  std::printf("figures: %zu pictures at %d fps with 30 ms grabs: stamp - grab spread over %.1f ms, largest step "
              "%.1f ms\n",
              stamps.size(), kFps, highest - lowest, largestStep);
  // Beyond the period: the ms rounding of stamps and bars, and a worker the
  // machine holds up between taking its slot and grabbing (a few ms under
  // load). Catching up late slots put stamps a second before their grabs.
  constexpr double kMarginMs = 10;
  EXPECT_LE(highest - lowest, kPeriodMs + kMarginMs) << "a picture stamped more than a period before its grab";
  EXPECT_LE(largestStep, 2 * kPeriodMs + kMarginMs);
}

}  // namespace
