// The program on a desktop with a window manager (openbox), as a new user
// has one: the capture frame stays on top of other programs, yet every dialog
// and picker of the program opens above it, also when the frame comes back
// while a dialog is open; and a session of login, broadcast and quit prints
// no X error.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/blackbox/blackbox_desktop.h"
#include "tests/support/media_tools.h"
#include "tests/support/nginx_rtmp.h"
#include "tests/support/velmora_session.h"
#include "tests/support/window_manager.h"

using blackbox::ClickControl;
using blackbox::kPublishTimeoutMs;
using blackbox::kWindowTimeoutMs;
using blackbox::ScreenshotPath;
using blackbox::WaitUntil;
using test_support::WindowGeometry;
using test_support::XWindow;

namespace {

// The capture frame's border and caption colour (#F13B3B).
const char kFrameColour[] = "#F13B3B";

class WindowManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_desktop.Start()) << m_desktop.error();
    ASSERT_TRUE(m_windowManager.Start()) << m_windowManager.error();
    ASSERT_TRUE(m_session.ready());
  }

  XWindow LogIn(const std::string& rtmpUrl) {
    if (!m_service.Start("demo", "demo", rtmpUrl) || !m_session.WriteLoginUrl(m_service.LoginUrl())) return 0;
    return blackbox::StartAndLogIn(m_session, "demo", "demo");
  }

  // Puts the capture frame across the middle of the window, as a presenter
  // may have left it, and says how many of the frame's pixels show where the
  // window is. The picture of that part of the screen is kept as shotName.
  long FramePixelsOver(XWindow window, const std::string& shotName) {
    const XWindow frame = test_support::WaitForWindow("CaptureDlg", kWindowTimeoutMs);
    WindowGeometry area;
    if (frame == 0 || !test_support::Geometry(window, &area)) return -1;
    const int x = area.x + area.width / 3, y = area.y + area.height / 3;
    if (test_support::Xdotool({"windowmove", "--sync", std::to_string(frame), std::to_string(x), std::to_string(y)})
            .exitCode != 0)
      return -1;
    const std::string shot = ScreenshotPath(shotName);
    if (!test_support::ScreenshotOfArea(area, shot)) return -1;
    // Everything but the frame's colour black, the frame's colour white: the
    // mean is the share of the frame's pixels.
    const test_support::CommandResult count =
        test_support::RunCommand({"convert", shot, "-alpha", "off", "-fill", "black", "+opaque", kFrameColour, "-fill",
                                  "white", "-opaque", kFrameColour, "-format", "%[fx:round(mean*w*h)]", "info:"});
    return count.exitCode == 0 ? std::atol(count.out.c_str()) : -1;
  }

  void ExpectAboveTheFrame(XWindow window, const std::string& shotName) {
    ASSERT_NE(window, 0u);
    EXPECT_EQ(FramePixelsOver(window, shotName), 0) << shotName << ": the capture frame covers it";
  }

  blackbox::Desktop m_desktop;
  test_support::WindowManager m_windowManager;
  blackbox::DemoService m_service;
  test_support::VelmoraSession m_session{blackbox::VelmoraBinary()};
};

}  // namespace

TEST_F(WindowManagerTest, EveryDialogOpensAboveTheCaptureFrame) {
  const XWindow main = LogIn("rtmp://127.0.0.1:1935/live/velmora");
  ASSERT_NE(main, 0u) << m_session.Output();
  const std::string clip = m_session.File("clip.mp4");
  ASSERT_EQ(test_support::RunFfmpeg({"-v", "error", "-f", "lavfi", "-i", "testsrc=size=320x240:rate=25", "-t", "2",
                                     "-pix_fmt", "yuv420p", "-y", clip})
                .exitCode,
            0);

  // Recording is for a live run only: the program says so in a box.
  ASSERT_TRUE(ClickControl(main, "skin.xml", "recoderBtn"));
  const XWindow box = test_support::WaitForWindow("提示", kWindowTimeoutMs);
  ExpectAboveTheFrame(box, "wm_message_box");
  ASSERT_TRUE(test_support::Key(box, "Return"));
  ASSERT_TRUE(test_support::WaitForNoWindow("提示", kWindowTimeoutMs));

  ASSERT_TRUE(ClickControl(main, "skin.xml", "file_tab"));
  ASSERT_TRUE(ClickControl(main, "skin.xml", "mediaBtn", "tab_switch=2"));
  const XWindow openFile = test_support::WaitForWindow("打开", kWindowTimeoutMs);
  ExpectAboveTheFrame(openFile, "wm_open_file_dialog");
  // The file becomes the source, which hides the frame.
  ASSERT_TRUE(test_support::Type(openFile, clip));
  ASSERT_TRUE(test_support::Key(openFile, "Return"));
  ASSERT_TRUE(test_support::WaitForNoWindow("打开", kWindowTimeoutMs));
  ASSERT_TRUE(test_support::WaitForNoWindow("CaptureDlg", kWindowTimeoutMs));

  // The lock option brings the frame back while the settings are open.
  ASSERT_TRUE(ClickControl(main, "skin.xml", "setting"));
  const XWindow settings = test_support::WaitForWindow("CSettingDlg", kWindowTimeoutMs);
  ASSERT_NE(settings, 0u);
  ASSERT_TRUE(ClickControl(settings, "setting.xml", "lockResolution"));
  ASSERT_NE(test_support::WaitForWindow("CaptureDlg", kWindowTimeoutMs), 0u);
  ExpectAboveTheFrame(settings, "wm_settings_dialog");
  ASSERT_TRUE(ClickControl(settings, "setting.xml", "lockTip"));
  ExpectAboveTheFrame(test_support::WaitForWindow("tipMenu", kWindowTimeoutMs), "wm_settings_tip");
  ASSERT_TRUE(ClickControl(settings, "setting.xml", "closebtn"));
  ASSERT_TRUE(test_support::WaitForNoWindow("CSettingDlg", kWindowTimeoutMs));

  ASSERT_TRUE(ClickControl(main, "skin.xml", "camera_tab"));
  ASSERT_TRUE(ClickControl(main, "skin.xml", "camedevBtn", "tab_switch=1"));
  const XWindow cameras = test_support::WaitForWindow("CameraDev", kWindowTimeoutMs);
  ExpectAboveTheFrame(cameras, "wm_camera_picker");
  ASSERT_TRUE(ClickControl(cameras, "camedev.xml", "closebtn"));
  ASSERT_TRUE(test_support::WaitForNoWindow("CameraDev", kWindowTimeoutMs));

  ASSERT_TRUE(ClickControl(main, "skin.xml", "closebtn"));
  const XWindow exitDialog = test_support::WaitForWindow("EDLG", kWindowTimeoutMs);
  ExpectAboveTheFrame(exitDialog, "wm_exit_dialog");
  ASSERT_TRUE(ClickControl(exitDialog, "exitDlg.xml", "comfirm"));
  int exitCode = -1;
  ASSERT_TRUE(m_session.WaitForExit(kPublishTimeoutMs, &exitCode)) << m_session.Output();
  EXPECT_EQ(exitCode, 0);
}

// Hiding a modal window is where Qt looked at a window the window manager
// had just taken away; each round trip of the exit dialog tried that race.
TEST_F(WindowManagerTest, ALoginABroadcastAndQuittingPrintNoXError) {
  test_support::NginxRtmp nginx;
  ASSERT_TRUE(nginx.Start()) << nginx.error();
  const XWindow main = LogIn(nginx.Url("velmora"));
  ASSERT_NE(main, 0u) << m_session.Output();
  ASSERT_TRUE(ClickControl(main, "skin.xml", "startPubBtn"));
  ASSERT_TRUE(WaitUntil(kPublishTimeoutMs, [&] { return blackbox::DumpStatus(m_session.folder()) == "OnPub"; }))
      << m_session.Output();
  EXPECT_TRUE(test_support::Screenshot(main, ScreenshotPath("wm_main_window_live")));
  for (int round = 0; round < 15; ++round) {
    ASSERT_TRUE(ClickControl(main, "skin.xml", "closebtn"));
    const XWindow exitDialog = test_support::WaitForWindow("EDLG", kWindowTimeoutMs);
    ASSERT_NE(exitDialog, 0u);
    ASSERT_TRUE(ClickControl(exitDialog, "exitDlg.xml", "cancel"));
    ASSERT_TRUE(test_support::WaitForNoWindow("EDLG", kWindowTimeoutMs));
  }
  int exitCode = -1;
  ASSERT_TRUE(blackbox::QuitThroughExitDialog(main, m_session, &exitCode)) << m_session.Output();
  EXPECT_EQ(exitCode, 0);
  const std::string output = m_session.Output();
  EXPECT_EQ(output.find("XCB error"), std::string::npos) << output;
  EXPECT_EQ(output.find("X Error"), std::string::npos) << output;
}
