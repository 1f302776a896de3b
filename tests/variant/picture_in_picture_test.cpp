// Picture in picture against a real server: the Xvfb screen in one colour,
// the virtual camera in another, published at 1280 x 720 to nginx-rtmp.
// A late recorded picture shows the small picture in the bottom-right
// corner [800, 1280) x [450, 720) and the main one everywhere else.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "strivon/RtmpPublishManager.h"
#include "tests/camera/camera_env.h"
#include "tests/support/media_tools.h"
#include "tests/support/nginx_rtmp.h"
#include "tests/support/temp_dir.h"
#include "tests/support/waiting_notify.h"
#include "tests/support/xvfb_server.h"
// Last: Xlib's macros (None, Status, Bool) clash with the headers above.
#include <X11/Xlib.h>

namespace {

constexpr int kW = 1280, kH = 720, kInsetX = 800, kInsetY = 450, kMargin = 16;
constexpr int kCamW = 640, kCamH = 360;
const wchar_t* const kCamera = L"Virtual PiP Camera";

struct Bgr {
  double b, g, r;
};
constexpr Bgr kScreen{200, 90, 40};
constexpr Bgr kCameraColour{40, 130, 210};

Bgr Mean(const std::string& bgr, int x0, int y0, int x1, int y1) {
  double sum[3] = {0, 0, 0};
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      for (int k = 0; k < 3; ++k) sum[k] += static_cast<uint8_t>(bgr[(static_cast<size_t>(y) * kW + x) * 3 + k]);
  const double n = static_cast<double>(x1 - x0) * (y1 - y0);
  return {sum[0] / n, sum[1] / n, sum[2] / n};
}

bool Near(const Bgr& a, const Bgr& b) {
  return std::fabs(a.b - b.b) <= 30 && std::fabs(a.g - b.g) <= 30 && std::fabs(a.r - b.r) <= 30;
}

double Distance(const Bgr& a, const Bgr& b) { return std::fabs(a.b - b.b) + std::fabs(a.g - b.g) + std::fabs(a.r - b.r); }

std::ostream& operator<<(std::ostream& out, const Bgr& c) { return out << c.b << "," << c.g << "," << c.r; }

// Publishes screen and camera composed (the camera silent unless
// cameraFrames), then returns the recording's last picture as packed B, G, R rows.
std::string PublishAndTakeLastPicture(int screenMain, bool cameraFrames = true) {
  test_support::XvfbServer xvfb;
  EXPECT_TRUE(xvfb.Start("1280x720x24"));
  xvfb.ExportDisplay();
  // Kept open for the run: the root's background lasts as long as a client does.
  Display* display = XOpenDisplay(nullptr);
  EXPECT_NE(display, nullptr);
  if (!display) return "";
  const Window root = DefaultRootWindow(display);
  XSetWindowBackground(display, root,
                       (static_cast<unsigned long>(kScreen.r) << 16) | (static_cast<unsigned long>(kScreen.g) << 8) |
                           static_cast<unsigned long>(kScreen.b));
  XClearWindow(display, root);
  XSync(display, False);

  test_support::NginxRtmp nginx;
  EXPECT_TRUE(nginx.Start()) << nginx.error();
  dshow::VirtualDevice mic;
  mic.kind = dshow::VirtualKind::AudioInput;
  mic.name = L"Virtual Mic";
  dshow::SetVirtualDevices({camera_test::Camera(kCamera, kCamW, kCamH), mic});
  std::string cameraFrame(static_cast<size_t>(kCamW) * kCamH * 3, '\0');
  for (size_t i = 0; i < cameraFrame.size(); i += 3) {
    cameraFrame[i] = static_cast<char>(static_cast<uint8_t>(kCameraColour.b));
    cameraFrame[i + 1] = static_cast<char>(static_cast<uint8_t>(kCameraColour.g));
    cameraFrame[i + 2] = static_cast<char>(static_cast<uint8_t>(kCameraColour.r));
  }

  test_support::WaitingNotify notify;
  IRtmpPublishManager* manager = CreateRtmpPublishManagerWith(&notify, DefaultManagerFactories());
  EXPECT_NE(manager, nullptr);
  if (!manager) return "";
  manager->SetMic(0);
  manager->SetPublishAudioPara(44100, 2, 16, 64000, 100, false);
  manager->SetPublishVideoPara(kW, kH, 25, 2000000, 0, 50);
  manager->SetPublishUrl(("rtmp://127.0.0.1:" + std::to_string(nginx.port())).c_str(), "live", "pip");
  manager->SetVideoSource(1, 0, nullptr, 25, 50);
  EXPECT_TRUE(manager->StartPublish());

  // The test is the camera's and the microphone's clock; picture in picture
  // starts once publishing does and runs for 4 s.
  bool composing = false;
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < until) {
    if (cameraFrames)
      dshow::PushVirtualFrameBytes(kCamera, reinterpret_cast<const BYTE*>(cameraFrame.data()),
                                   static_cast<long>(cameraFrame.size()));
    dshow::PushVirtualTone(L"Virtual Mic", 40);
    if (!composing && (notify.Count(-1, "NetStream.Publish.Start") > 0)) {
      composing = true;
      manager->changeToCameraIn(0, 25, 50, screenMain);
      until = std::chrono::steady_clock::now() + std::chrono::seconds(4);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
  }
  EXPECT_TRUE(composing);
  EXPECT_TRUE(manager->StopPublish());
  manager->release();
  nginx.Stop();
  dshow::SetVirtualDevices({});
  XCloseDisplay(display);

  test_support::TempDir dir("strivon-pip");
  const auto r = test_support::RunFfmpeg({"-i", nginx.RecordingPath("pip"), "-map", "0:v:0", "-update", "1", "-f",
                                          "image2", "-c:v", "rawvideo", "-pix_fmt", "bgr24", dir.File("last.bgr")});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  return test_support::ReadFileBytes(dir.File("last.bgr"));
}

void ExpectInset(const std::string& picture, const Bgr& main, const Bgr& inset) {
  ASSERT_EQ(picture.size(), static_cast<size_t>(kW) * kH * 3);
  const Bgr small = Mean(picture, kInsetX + kMargin, kInsetY + kMargin, kW - kMargin, kH - kMargin);
  const Bgr above = Mean(picture, kMargin, kMargin, kW - kMargin, kInsetY - kMargin);
  const Bgr left = Mean(picture, kMargin, kInsetY - kMargin, kInsetX - kMargin, kH - kMargin);
  EXPECT_TRUE(Near(small, inset)) << "inset " << small << " want " << inset;
  EXPECT_TRUE(Near(above, main)) << "above the inset " << above << " want " << main;
  EXPECT_TRUE(Near(left, main)) << "left of the inset " << left << " want " << main;
  // The first column, along the inset's middle row, that looks like the inset.
  const int row = (kInsetY + kH) / 2;
  int edge = -1;
  for (int x = kInsetX - 40; x < kInsetX + 40 && edge < 0; ++x) {
    const Bgr p = Mean(picture, x, row, x + 1, row + 1);
    if (Distance(p, inset) < Distance(p, main)) edge = x;
  }
  EXPECT_NEAR(edge, kInsetX, 4);
}

TEST(PictureInPicture, ScreenMainShowsTheCameraSmallInTheBottomRightCorner) {
  ExpectInset(PublishAndTakeLastPicture(1), kScreen, kCameraColour);
}

TEST(PictureInPicture, CameraMainShowsTheScreenSmallInTheBottomRightCorner) {
  ExpectInset(PublishAndTakeLastPicture(0), kCameraColour, kScreen);
}

TEST(PictureInPicture, CameraMainWithoutACameraFrameStillShowsTheScreenSmall) {
  ExpectInset(PublishAndTakeLastPicture(0, false), Bgr{0, 0, 0}, kScreen);
}

}  // namespace
