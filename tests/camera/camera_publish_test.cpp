// A publish run with the virtual camera as its source: nginx-rtmp records
// the stream, which shows the camera's picture upright and mirrored
// left-to-right.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "strivon/RtmpPublishManager.h"
#include "tests/camera/camera_env.h"
#include "tests/support/media_tools.h"
#include "tests/support/nginx_rtmp.h"
#include "tests/support/temp_dir.h"
#include "tests/support/waiting_notify.h"

namespace {

constexpr int kW = 640, kH = 360;

// Dominant colour of a B, G, R pixel: 'r', 'g', 'b', 'w' or '?'.
char Colour(const BYTE* p) {
  const bool b = p[0] > 150, g = p[1] > 150, r = p[2] > 150;
  if (b && g && r) return 'w';
  if (r && !g && !b) return 'r';
  if (g && !r && !b) return 'g';
  if (b && !r && !g) return 'b';
  return '?';
}

// Top left, top right, bottom left, bottom right of a packed picture.
std::string Quadrants(const BYTE* bgr, int width, int height) {
  std::string q;
  for (int r : {height / 4, 3 * height / 4})
    for (int c : {width / 4, 3 * width / 4}) q += Colour(bgr + (static_cast<size_t>(r) * width + c) * 3);
  return q;
}

TEST(CameraPublish, VirtualCameraReachesNginxUprightAndMirrored) {
  test_support::NginxRtmp nginx;
  ASSERT_TRUE(nginx.Start()) << nginx.error();
  auto mic = dshow::VirtualDevice{};
  mic.kind = dshow::VirtualKind::AudioInput;
  mic.name = L"Virtual Mic";
  dshow::SetVirtualDevices({camera_test::Camera(L"Virtual Pattern Camera", kW, kH), mic});

  test_support::WaitingNotify notify;
  IRtmpPublishManager* manager = CreateRtmpPublishManagerWith(&notify, DefaultManagerFactories());
  ASSERT_NE(manager, nullptr);
  const wchar_t** names = nullptr;
  unsigned count = 0;
  manager->GetCamList(&names, &count);
  int camera = -1;
  for (unsigned i = 0; i < count; ++i)
    if (std::wstring(names[i]) == L"Virtual Pattern Camera") camera = static_cast<int>(i);
  ASSERT_GE(camera, 0);
  manager->SetMic(0);
  manager->SetPublishAudioPara(44100, 2, 16, 64000, 100, false);
  manager->SetPublishVideoPara(kW, kH, 25, 800000, 0, 50);
  manager->SetPublishUrl(("rtmp://127.0.0.1:" + std::to_string(nginx.port())).c_str(), "live", "camera");
  manager->SetVideoSource(3, camera, nullptr, 25, 50);
  ASSERT_TRUE(manager->StartPublish());

  // The test is the camera's and the microphone's clock: 25 pictures and
  // 1 s of sound per second, until 4 s after publishing started.
  bool publishing = false;
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  int pictures = 0;
  while (std::chrono::steady_clock::now() < until) {
    pictures += dshow::PushVirtualFrames(L"Virtual Pattern Camera", 1);
    dshow::PushVirtualTone(L"Virtual Mic", 40);
    if (!publishing && (notify.Count(-1, "NetStream.Publish.Start") > 0)) {
      publishing = true;
      until = std::chrono::steady_clock::now() + std::chrono::seconds(4);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
  }
  EXPECT_TRUE((notify.Count(-1, "NetStream.Publish.Start") > 0));
  EXPECT_GT(pictures, 75);

  EXPECT_TRUE(manager->StopPublish());
  manager->release();
  nginx.Stop();
  dshow::SetVirtualDevices({});

  const std::string recording = nginx.RecordingPath("camera");
  Json::Value streams;
  ASSERT_TRUE(test_support::ProbeStreams(recording, &streams));
  bool video = false;
  for (const auto& s : streams)
    if (s["codec_type"].asString() == "video") {
      video = true;
      EXPECT_EQ(s["width"].asInt(), kW);
      EXPECT_EQ(s["height"].asInt(), kH);
    }
  EXPECT_TRUE(video);
  test_support::TempDir dir("strivon-camera-publish");
  // Every picture is decoded and each overwrites the file, so the last one
  // stays however few pictures a loaded machine let through.
  const auto r = test_support::RunFfmpeg({"-i", recording, "-map", "0:v:0", "-update", "1", "-f", "image2",
                                          "-c:v", "rawvideo", "-pix_fmt", "bgr24", dir.File("last.bgr")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string last = test_support::ReadFileBytes(dir.File("last.bgr"));
  ASSERT_EQ(last.size(), static_cast<size_t>(kW * kH * 3));
  EXPECT_EQ(Quadrants(reinterpret_cast<const BYTE*>(last.data()), kW, kH), "grwb")
      << "mirrored: green top left, red top right, white bottom left, blue bottom right";
}

}  // namespace
