// Every window and page a presenter sees, photographed on the two common
// laptop screens: the login window, the main window's source tabs, its
// settings pages, the camera picker, the settings dialog's pages and the
// main window while live. The pictures are left in <build>/screenshots/
// ("screen_<size>_<what>.png") for a person to look at; the test itself
// checks that each window came up and could be photographed.
#include <gtest/gtest.h>

#include <string>

#include "tests/blackbox/blackbox_desktop.h"
#include "tests/support/nginx_rtmp.h"
#include "tests/support/velmora_session.h"

using blackbox::ClickControl;
using blackbox::DumpStatus;
using blackbox::kPublishTimeoutMs;
using blackbox::kWindowTimeoutMs;
using blackbox::WaitUntil;
using test_support::XWindow;

namespace {

class ScreensTest : public ::testing::TestWithParam<const char*> {
 protected:
  void Shoot(XWindow window, const std::string& what) {
    const std::string name = std::string("screen_") + GetParam() + "_" + what;
    EXPECT_TRUE(test_support::Screenshot(window, blackbox::ScreenshotPath(name))) << name;
  }
  // A page option clicked, then the window photographed.
  void ShowAndShoot(XWindow window, const std::string& layout, const std::string& option, const std::string& page,
                    const std::string& what) {
    ASSERT_TRUE(ClickControl(window, layout, option, page)) << option;
    Shoot(window, what);
  }
};

}  // namespace

TEST_P(ScreensTest, EveryWindowAndPage) {
  blackbox::Desktop desktop;
  ASSERT_TRUE(desktop.Start(std::string(GetParam()) + "x24")) << desktop.error();
  test_support::NginxRtmp nginx;
  ASSERT_TRUE(nginx.Start()) << nginx.error();
  blackbox::DemoService service;
  ASSERT_TRUE(service.Start("demo", "demo", nginx.Url("velmora")));
  test_support::VelmoraSession session(blackbox::VelmoraBinary());
  ASSERT_TRUE(session.ready());
  ASSERT_TRUE(session.WriteLoginUrl(service.LoginUrl()));
  ASSERT_TRUE(session.Start());

  // Logged in by hand: the login window is photographed on the way.
  const XWindow login = test_support::WaitForWindow("LoginDlg", kWindowTimeoutMs);
  ASSERT_NE(login, 0u) << session.Output();
  Shoot(login, "login");
  ASSERT_TRUE(blackbox::TypeLogin(login, "demo", "demo"));
  const XWindow main = test_support::WaitForWindow("transwnd", kWindowTimeoutMs);
  ASSERT_NE(main, 0u) << session.Output();

  Shoot(main, "main_desktop");
  ShowAndShoot(main, "skin.xml", "camera_tab", "", "main_camera");
  ASSERT_TRUE(ClickControl(main, "skin.xml", "camedevBtn", "tab_switch=1"));
  const XWindow picker = test_support::WaitForWindow("CameraDev", kWindowTimeoutMs);
  ASSERT_NE(picker, 0u);
  Shoot(picker, "camera_picker");
  ASSERT_TRUE(ClickControl(picker, "camedev.xml", "closebtn"));
  ASSERT_TRUE(test_support::WaitForNoWindow("CameraDev", kWindowTimeoutMs));
  ShowAndShoot(main, "skin.xml", "file_tab", "", "main_file");
  ShowAndShoot(main, "skin.xml", "set_tab", "", "main_parameters");
  ShowAndShoot(main, "skin.xml", "setting_tab", "", "main_settings_video");
  ShowAndShoot(main, "skin.xml", "mansetting", "top_tab_switch=1", "main_settings_video_typed");
  ShowAndShoot(main, "skin.xml", "audio_tab", "top_tab_switch=1", "main_settings_audio");
  ShowAndShoot(main, "skin.xml", "recoder_tab", "top_tab_switch=1", "main_settings_recording");
  ASSERT_TRUE(ClickControl(main, "skin.xml", "live_tab", "top_tab_switch=1"));
  ASSERT_TRUE(ClickControl(main, "skin.xml", "desk_tab"));

  ASSERT_TRUE(ClickControl(main, "skin.xml", "setting"));
  const XWindow dialog = test_support::WaitForWindow("CSettingDlg", kWindowTimeoutMs);
  ASSERT_NE(dialog, 0u);
  Shoot(dialog, "settings_video");
  ShowAndShoot(dialog, "setting.xml", "mansetting", "", "settings_video_typed");
  ShowAndShoot(dialog, "setting.xml", "audio_tab", "", "settings_audio");
  ShowAndShoot(dialog, "setting.xml", "recoder_tab", "", "settings_recording");
  ShowAndShoot(dialog, "setting.xml", "set_tab", "", "settings_about");
  ASSERT_TRUE(ClickControl(dialog, "setting.xml", "closebtn"));
  ASSERT_TRUE(test_support::WaitForNoWindow("CSettingDlg", kWindowTimeoutMs));

  ASSERT_TRUE(ClickControl(main, "skin.xml", "startPubBtn"));
  ASSERT_TRUE(WaitUntil(kPublishTimeoutMs, [&] { return DumpStatus(session.folder()) == "OnPub"; }))
      << session.Output();
  Shoot(main, "main_live");
  ASSERT_TRUE(ClickControl(main, "skin.xml", "startPubBtn"));
  ASSERT_TRUE(WaitUntil(kPublishTimeoutMs, [&] { return DumpStatus(session.folder()) == "NoPub"; }))
      << session.Output();

  int exitCode = -1;
  ASSERT_TRUE(blackbox::QuitThroughExitDialog(main, session, &exitCode,
                                              std::string("screen_") + GetParam() + "_exit_dialog"))
      << session.Output();
  EXPECT_EQ(exitCode, 0) << session.Output();
}

INSTANTIATE_TEST_SUITE_P(LaptopScreens, ScreensTest, ::testing::Values("1366x768", "1600x900"));
