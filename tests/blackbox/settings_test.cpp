// The settings window as a presenter uses it: output size and capture-frame
// mode changed through the real program's windows, kept across a restart,
// and the new size reaching a real RTMP server.
#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "tests/blackbox/blackbox_desktop.h"
#include "tests/support/media_tools.h"
#include "tests/support/nginx_rtmp.h"
#include "tests/support/velmora_session.h"

using blackbox::ClickControl;
using blackbox::kPublishTimeoutMs;
using blackbox::kWindowTimeoutMs;
using blackbox::ScreenshotPath;
using blackbox::WaitUntil;
using test_support::WindowGeometry;
using test_support::XWindow;

namespace {

// The text of the first element of that name in an XML file ("" when absent).
std::string XmlElementText(const std::string& path, const std::string& name) {
  const std::string xml = test_support::ReadFileBytes(path);
  const std::string open = "<" + name + ">";
  const size_t start = xml.find(open);
  if (start == std::string::npos) return {};
  const size_t end = xml.find("</" + name + ">", start);
  if (end == std::string::npos) return {};
  return xml.substr(start + open.size(), end - start - open.size());
}

// "WxH" of the video stream in a recording; the probe's error when it cannot
// be read, "" when the file has no video.
std::string RecordedVideoSize(const std::string& recording) {
  Json::Value streams;
  std::string error;
  if (!test_support::ProbeStreams(recording, &streams, &error)) return "probe failed: " + error;
  for (const auto& stream : streams) {
    if (stream["codec_type"].asString() == "video")
      return std::to_string(stream["width"].asInt()) + "x" + std::to_string(stream["height"].asInt());
  }
  return {};
}

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_desktop.Start()) << m_desktop.error();
    ASSERT_TRUE(m_session.ready());
  }

  void UseService(const std::string& rtmpUrl) {
    ASSERT_TRUE(m_service.Start("demo", "demo", rtmpUrl));
    ASSERT_TRUE(m_session.WriteLoginUrl(m_service.LoginUrl()));
  }

  // Starts the program in its folder and logs in; the main window or 0.
  XWindow LogIn() { return blackbox::StartAndLogIn(m_session, "demo", "demo"); }

  // The setting button's modal dialog, shown over the hidden one made at
  // login; 0 when none appeared.
  XWindow OpenSettings(XWindow main) {
    if (!ClickControl(main, "skin.xml", "setting")) return 0;
    return test_support::WaitForWindow("CSettingDlg", kWindowTimeoutMs);
  }

  // Picks a preset output size with the keyboard: the list is clicked for
  // the focus, then the keys move its selection to a known row.
  bool PickListedSize(XWindow dialog, const std::string& keys) {
    return ClickControl(dialog, "setting.xml", "resolutionList") && test_support::Key(dialog, "Home") &&
           test_support::Key(dialog, keys);
  }

  bool CloseSettings(XWindow dialog) {
    return ClickControl(dialog, "setting.xml", "closebtn") &&
           test_support::WaitForNoWindow("CSettingDlg", kWindowTimeoutMs);
  }

  void QuitThroughExitDialog(XWindow main) {
    int exitCode = -1;
    ASSERT_TRUE(blackbox::QuitThroughExitDialog(main, m_session, &exitCode)) << m_session.Output();
    EXPECT_EQ(exitCode, 0) << m_session.Output();
  }

  // Goes live and waits until the server has recorded more than minBytes.
  void GoLive(XWindow main, const std::string& recording, long long minBytes) {
    ASSERT_TRUE(ClickControl(main, "skin.xml", "startPubBtn"));
    ASSERT_TRUE(WaitUntil(kPublishTimeoutMs, [&] { return DumpStatus() == "OnPub"; })) << m_session.Output();
    ASSERT_TRUE(WaitUntil(kPublishTimeoutMs, [&] { return test_support::FileSize(recording) > minBytes; }));
  }

  void StopLiveAndQuit(XWindow main) {
    ASSERT_TRUE(ClickControl(main, "skin.xml", "startPubBtn"));
    EXPECT_TRUE(WaitUntil(kPublishTimeoutMs, [&] { return DumpStatus() == "NoPub"; })) << m_session.Output();
    QuitThroughExitDialog(main);
  }

  // Opens the menu of a main-window button and picks its item by position:
  // the menu, a window of its own, takes the keyboard once it is shown.
  bool OpenMenuAndPickItem(XWindow main, const std::string& button, int item) {
    auto visibleWindows = [] {
      return test_support::Xdotool({"search", "--onlyvisible", "--maxdepth", "1", "--name", ""}).out;
    };
    // One id a line; framed by line breaks so no id matches part of another.
    const std::string before = "\n" + visibleWindows();
    if (!ClickControl(main, "skin.xml", button)) return false;
    const bool shown = WaitUntil(kWindowTimeoutMs, [&] {
      std::istringstream now(visibleWindows());
      std::string id;
      while (now >> id) {
        if (before.find("\n" + id + "\n") == std::string::npos) return true;
      }
      return false;
    });
    std::vector<std::string> keys{"key"};
    for (int i = 0; i < item; ++i) keys.push_back("Down");
    keys.push_back("Return");
    return shown && test_support::Xdotool(keys).exitCode == 0;
  }

  static bool FrameHasSize(XWindow frame, int width, int height) {
    WindowGeometry geometry;
    const bool sized = WaitUntil(kWindowTimeoutMs, [&] {
      return test_support::Geometry(frame, &geometry) && geometry.width == width + 6 && geometry.height == height + 37;
    });
    if (!sized) ADD_FAILURE() << "capture frame " << geometry.width << "x" << geometry.height;
    return sized;
  }

  std::string DumpStatus() { return blackbox::DumpStatus(m_session.folder()); }

  std::string ConfigValue(const std::string& name) { return XmlElementText(m_session.File("user_config.xml"), name); }

  blackbox::Desktop m_desktop;
  blackbox::DemoService m_service;
  test_support::VelmoraSession m_session{blackbox::VelmoraBinary()};
};

}  // namespace

TEST_F(SettingsTest, ChosenSizeAndLockAreKeptAcrossARestart) {
  UseService("rtmp://127.0.0.1:1935/live/velmora");
  XWindow main = LogIn();
  ASSERT_NE(main, 0u) << m_session.Output();
  const XWindow dialog = OpenSettings(main);
  ASSERT_NE(dialog, 0u) << m_session.Output();
  EXPECT_TRUE(test_support::Screenshot(dialog, ScreenshotPath("settings_dialog")));
  ASSERT_TRUE(ClickControl(dialog, "setting.xml", "lockResolution"));
  // Second row of the presets: 480*270.
  ASSERT_TRUE(PickListedSize(dialog, "Down"));
  // The locked frame's inside takes the output size at once; its border and
  // caption add a fixed amount.
  const XWindow frame = test_support::WaitForWindow("CaptureDlg", kWindowTimeoutMs);
  ASSERT_NE(frame, 0u);
  EXPECT_TRUE(FrameHasSize(frame, 480, 270));

  // The recording folder is taken from a folder chooser only (the edit is
  // read-only); the program's chooser is Qt's own dialog, typed into here.
  const std::string newRecordFolder = m_session.File("recordings");
  ASSERT_EQ(test_support::RunCommand({"mkdir", "-p", newRecordFolder}).exitCode, 0);
  ASSERT_TRUE(ClickControl(dialog, "setting.xml", "recoder_tab"));
  ASSERT_TRUE(ClickControl(dialog, "setting.xml", "recoderPathBtn", "tab_switch=2"));
  const XWindow chooser = test_support::WaitForWindow("请选择文件夹", kWindowTimeoutMs);
  ASSERT_NE(chooser, 0u);
  ASSERT_TRUE(test_support::Key(chooser, "ctrl+a"));
  ASSERT_TRUE(test_support::Type(chooser, newRecordFolder));
  ASSERT_TRUE(test_support::Key(chooser, "Return"));
  ASSERT_TRUE(test_support::WaitForNoWindow("请选择文件夹", kWindowTimeoutMs));
  ASSERT_TRUE(CloseSettings(dialog));
  QuitThroughExitDialog(main);

  EXPECT_EQ(ConfigValue("OUTRESOLUTION"), "480*270");
  EXPECT_EQ(ConfigValue("m_lockMode"), "1");
  EXPECT_EQ(ConfigValue("RECORDPATH"), newRecordFolder);

  main = LogIn();
  ASSERT_NE(main, 0u) << m_session.Output();
  const XWindow restartedFrame = test_support::WaitForWindow("CaptureDlg", kWindowTimeoutMs);
  ASSERT_NE(restartedFrame, 0u);
  EXPECT_TRUE(FrameHasSize(restartedFrame, 480, 270));
  const XWindow again = OpenSettings(main);
  ASSERT_NE(again, 0u);
  EXPECT_TRUE(test_support::Screenshot(again, ScreenshotPath("settings_dialog_kept")));
  ASSERT_TRUE(CloseSettings(again));
  QuitThroughExitDialog(main);
  EXPECT_EQ(ConfigValue("OUTRESOLUTION"), "480*270");
  EXPECT_EQ(ConfigValue("m_lockMode"), "1");
}

TEST_F(SettingsTest, ServerRecordsTheChosenOutputSize) {
  test_support::NginxRtmp nginx;
  ASSERT_TRUE(nginx.Start()) << nginx.error();
  UseService(nginx.Url("velmora"));
  const XWindow main = LogIn();
  ASSERT_NE(main, 0u) << m_session.Output();
  const XWindow dialog = OpenSettings(main);
  ASSERT_NE(dialog, 0u);
  // The first preset, 320*240 (the default is 640*480).
  ASSERT_TRUE(PickListedSize(dialog, "Home"));
  ASSERT_TRUE(CloseSettings(dialog));

  const std::string recording = nginx.RecordingPath("velmora");
  // A key frame and a few more reach the server before it is stopped.
  GoLive(main, recording, 20000);
  StopLiveAndQuit(main);
  nginx.Stop();

  EXPECT_EQ(RecordedVideoSize(recording), "320x240");
}

TEST_F(SettingsTest, PublishesAChosenApplicationWindowWhereverItIsMoved) {
  test_support::NginxRtmp nginx;
  ASSERT_TRUE(nginx.Start()) << nginx.error();
  UseService(nginx.Url("velmora"));
  // A window all of one colour, on a part of the screen nothing else covers.
  test_support::ChildProcess target;
  ASSERT_TRUE(target.Start({"xmessage", "-title", "zz-velmora-target", "-geometry", "180x140+1182+40", "-bg", "red",
                            "-fg", "red", "-bd", "red", "x"},
                           m_session.File("xmessage.log")));
  const XWindow window = test_support::WaitForWindow("zz-velmora-target", kWindowTimeoutMs);
  ASSERT_NE(window, 0u);
  const XWindow main = LogIn();
  ASSERT_NE(main, 0u) << m_session.Output();

  const std::string recording = nginx.RecordingPath("velmora");
  GoLive(main, recording, 20000);

  // The library takes the choice only while it captures, so the window is
  // chosen live.
  ASSERT_TRUE(OpenMenuAndPickItem(main, "shareDeskBtn", 2));
  const XWindow picker = test_support::WaitForWindow("SOFTDLG", kWindowTimeoutMs);
  ASSERT_NE(picker, 0u);
  EXPECT_TRUE(test_support::Screenshot(picker, ScreenshotPath("window_picker")));
  // The program's own windows (console, frame, this picker) are not offered,
  // so the one other window comes first after "请选择".
  ASSERT_TRUE(ClickControl(picker, "shareSoftWnd.xml", "softwareList"));
  ASSERT_TRUE(test_support::Key(picker, "Home"));
  ASSERT_TRUE(test_support::Key(picker, "Down"));
  ASSERT_TRUE(ClickControl(picker, "shareSoftWnd.xml", "comfirm"));
  ASSERT_TRUE(test_support::WaitForNoWindow("SOFTDLG", kWindowTimeoutMs));
  const long long atChoice = test_support::FileSize(recording);
  ASSERT_TRUE(WaitUntil(kPublishTimeoutMs, [&] { return test_support::FileSize(recording) > atChoice + 20000; }))
      << "recorded " << test_support::FileSize(recording) << " bytes, " << atChoice << " at the choice\n"
      << m_session.Output();

  // Moved clear of where it was, the window is still what is published.
  ASSERT_EQ(test_support::Xdotool({"windowmove", "--sync", std::to_string(window), "1182", "600"}).exitCode, 0);
  const long long atMove = test_support::FileSize(recording);
  ASSERT_TRUE(WaitUntil(kPublishTimeoutMs, [&] { return test_support::FileSize(recording) > atMove + 20000; }))
      << "recorded " << test_support::FileSize(recording) << " bytes, " << atMove << " at the move\n"
      << m_session.Output();
  StopLiveAndQuit(main);
  nginx.Stop();

  // The last frame, for a person to look at.
  test_support::RunFfmpeg({"-v", "error", "-i", recording, "-update", "1", "-y", ScreenshotPath("published_window")});
  // Every frame shrunk to one pixel: the last one is red.
  const std::string pixels = m_session.File("pixels.rgb");
  ASSERT_EQ(test_support::RunFfmpeg({"-v", "error", "-i", recording, "-an", "-vf", "scale=1:1", "-f", "rawvideo",
                                     "-pix_fmt", "rgb24", "-y", pixels})
                .exitCode,
            0);
  const std::string rgb = test_support::ReadFileBytes(pixels);
  ASSERT_GE(rgb.size(), 3u);
  auto isRed = [](const std::string& p) {
    const auto r = static_cast<unsigned char>(p[0]), g = static_cast<unsigned char>(p[1]),
               b = static_cast<unsigned char>(p[2]);
    return r > 200 && g < 60 && b < 60;
  };
  EXPECT_TRUE(isRed(rgb.substr(rgb.size() - 3)));
}

// Width 5000 typed, then 确定: the window stays with the width it takes and
// the tip saying why; a second 确定 closes it. What then goes out is what is
// kept for the next start.
TEST_F(SettingsTest, ATypedSizeAboveTheLimitIsShownBroadcastAndKept) {
  test_support::NginxRtmp nginx;
  ASSERT_TRUE(nginx.Start()) << nginx.error();
  UseService(nginx.Url("velmora"));
  const XWindow main = LogIn();
  ASSERT_NE(main, 0u) << m_session.Output();
  const XWindow dialog = OpenSettings(main);
  ASSERT_NE(dialog, 0u);
  const std::string typedSizes = "resolutionList=hidden resolutionContainer=shown";
  ASSERT_TRUE(ClickControl(dialog, "setting.xml", "mansetting"));
  ASSERT_TRUE(ClickControl(dialog, "setting.xml", "widthEdit", typedSizes));
  ASSERT_TRUE(test_support::Key(dialog, "ctrl+a"));
  ASSERT_TRUE(test_support::Type(dialog, "5000"));
  ASSERT_TRUE(ClickControl(dialog, "setting.xml", "comfirm", typedSizes));
  EXPECT_NE(test_support::WaitForWindow("tipMenu", kWindowTimeoutMs), 0u) << "no word of the limit";
  EXPECT_TRUE(test_support::IsViewable(dialog)) << "the window closed before the presenter saw the width taken";
  // The tip is a window of its own, over the dialog's edge.
  WindowGeometry around;
  ASSERT_TRUE(test_support::Geometry(dialog, &around));
  around.width += 200;
  EXPECT_TRUE(test_support::ScreenshotOfArea(around, ScreenshotPath("settings_typed_size_capped")));
  ASSERT_TRUE(ClickControl(dialog, "setting.xml", "comfirm", typedSizes));
  ASSERT_TRUE(test_support::WaitForNoWindow("CSettingDlg", kWindowTimeoutMs));

  const std::string recording = nginx.RecordingPath("velmora");
  GoLive(main, recording, 20000);
  StopLiveAndQuit(main);
  nginx.Stop();
  EXPECT_EQ(RecordedVideoSize(recording), "1920x360");
  EXPECT_EQ(ConfigValue("OUTRESOLUTION"), "1920*360");
}
