// The program with Qt's scaling on (QT_SCALE_FACTOR=2), as on a high-density
// screen: its windows are laid out in logical pixels, twice the screen's,
// while the library captures the screen in its own pixels. What the server
// records must be what the capture frame frames.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/blackbox/blackbox_desktop.h"
#include "tests/support/media_tools.h"
#include "tests/support/nginx_rtmp.h"
#include "tests/support/velmora_session.h"

using blackbox::ClickControl;
using blackbox::DumpStatus;
using blackbox::kPublishTimeoutMs;
using blackbox::kWindowTimeoutMs;
using blackbox::WaitUntil;
using test_support::WindowGeometry;
using test_support::XWindow;

namespace {

bool Xdo(const std::vector<std::string>& args) { return test_support::Xdotool(args).exitCode == 0; }

}  // namespace

TEST(ScaledScreenTest, ServerRecordsTheFramedAreaWhenQtScalesTheWindows) {
  blackbox::Desktop desktop;
  // Room for the main window at twice its size and, beside it, the target.
  ASSERT_TRUE(desktop.Start("2600x1600x24")) << desktop.error();
  ::setenv("QT_SCALE_FACTOR", "2", 1);
  blackbox::SetUiScale(2);
  test_support::NginxRtmp nginx;
  ASSERT_TRUE(nginx.Start()) << nginx.error();
  blackbox::DemoService service;
  ASSERT_TRUE(service.Start("demo", "demo", nginx.Url("velmora")));
  test_support::VelmoraSession session(blackbox::VelmoraBinary());
  ASSERT_TRUE(session.ready());
  ASSERT_TRUE(session.WriteLoginUrl(service.LoginUrl()));
  const XWindow main = blackbox::StartAndLogIn(session, "demo", "demo");
  ASSERT_NE(main, 0u) << session.Output();
  const XWindow frame = test_support::WaitForWindow("CaptureDlg", kWindowTimeoutMs);
  ASSERT_NE(frame, 0u);
  ASSERT_TRUE(Xdo({"windowmove", "--sync", std::to_string(main), "0", "0"}));

  // A blue window right of the main window, and the frame over part of it,
  // placed in the screen's pixels. Taken as logical pixels, the frame's
  // rectangle would lie on the main window instead.
  test_support::ChildProcess target;
  ASSERT_TRUE(target.Start({"xmessage", "-title", "zz-blue-target", "-geometry", "500x500+2020+100", "-bg", "blue",
                            "-fg", "blue", "-bd", "blue", "x"},
                           session.File("xmessage.log")));
  ASSERT_NE(test_support::WaitForWindow("zz-blue-target", kWindowTimeoutMs), 0u);
  ASSERT_TRUE(Xdo({"windowsize", "--sync", std::to_string(frame), "400", "400"}));
  ASSERT_TRUE(Xdo({"windowmove", "--sync", std::to_string(frame), "2070", "150"}));
  WindowGeometry placed;
  ASSERT_TRUE(WaitUntil(kWindowTimeoutMs, [&] {
    return test_support::Geometry(frame, &placed) && placed.x == 2070 && placed.y == 150 && placed.width == 400;
  }));

  const std::string recording = nginx.RecordingPath("velmora");
  ASSERT_TRUE(ClickControl(main, "skin.xml", "startPubBtn"));
  ASSERT_TRUE(WaitUntil(kPublishTimeoutMs, [&] { return DumpStatus(session.folder()) == "OnPub"; })) << session.Output();
  ASSERT_TRUE(WaitUntil(kPublishTimeoutMs, [&] { return test_support::FileSize(recording) > 40000; }));
  ASSERT_TRUE(ClickControl(main, "skin.xml", "startPubBtn"));
  ASSERT_TRUE(WaitUntil(kPublishTimeoutMs, [&] { return DumpStatus(session.folder()) == "NoPub"; })) << session.Output();
  int exitCode = -1;
  ASSERT_TRUE(blackbox::QuitThroughExitDialog(main, session, &exitCode)) << session.Output();
  nginx.Stop();

  test_support::RunFfmpeg(
      {"-v", "error", "-i", recording, "-update", "1", "-y", blackbox::ScreenshotPath("scaled_published_area")});
  // The last picture shrunk to one pixel: all of it is the blue window.
  const std::string pixel = session.File("pixel.rgb");
  ASSERT_EQ(test_support::RunFfmpeg({"-v", "error", "-sseof", "-1", "-i", recording, "-an", "-vf", "scale=1:1",
                                     "-f", "rawvideo", "-pix_fmt", "rgb24", "-y", pixel})
                .exitCode,
            0);
  const std::string rgb = test_support::ReadFileBytes(pixel);
  ASSERT_GE(rgb.size(), 3u);
  const auto r = static_cast<unsigned char>(rgb[rgb.size() - 3]), g = static_cast<unsigned char>(rgb[rgb.size() - 2]),
             b = static_cast<unsigned char>(rgb[rgb.size() - 1]);
  EXPECT_TRUE(b > 200 && r < 60 && g < 60) << "last picture averages to rgb(" << int(r) << "," << int(g) << ","
                                           << int(b) << ")";
}
