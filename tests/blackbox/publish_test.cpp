// Whole broadcasts through the program's windows against the real library
// and a real server: log in, go live, record, lose the server and get it
// back, quit through the exit dialog; then check what the server and the
// local recording hold. And an account logged in from its cache publishes
// to its own stream at every start.
#include <dirent.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>

#include "tests/blackbox/blackbox_desktop.h"
#include "tests/support/free_port.h"
#include "tests/support/media_tools.h"
#include "tests/support/nginx_rtmp.h"
#include "tests/support/velmora_session.h"

using blackbox::ClickControl;
using blackbox::DumpStatus;
using blackbox::kPublishTimeoutMs;
using blackbox::kWindowTimeoutMs;
using blackbox::ScreenshotPath;
using blackbox::WaitUntil;
using test_support::FileSize;
using test_support::VelmoraSession;
using test_support::XWindow;

namespace {

// The first .flv file of a folder, "" when there is none.
std::string FirstFlv(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return {};
  std::string found;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".flv") == 0) {
      found = folder + "/" + name;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

// What the screen shows of a control of the main window's layout.
bool ShotOfControl(XWindow main, const std::string& name, const std::string& path) {
  test_support::WindowGeometry window, control;
  if (!test_support::Geometry(main, &window) || !blackbox::ControlRect("skin.xml", window, name, &control)) return false;
  return test_support::ScreenshotOfArea({window.x + control.x, window.y + control.y, control.width, control.height},
                                        path);
}

bool SamePicture(const std::string& a, const std::string& b) {
  const test_support::CommandResult r = test_support::RunCommand({"compare", "-metric", "AE", a, b, "null:"});
  return r.exitCode == 0 && std::atol(r.err.c_str()) == 0;
}

// The codec names of a file's streams in name order, e.g. "aac h264".
std::string Codecs(const std::string& path) {
  Json::Value streams;
  std::string error;
  if (!test_support::ProbeStreams(path, &streams, &error)) return "unreadable: " + error;
  std::set<std::string> names;
  for (const auto& stream : streams) names.insert(stream["codec_name"].asString());
  std::string text;
  for (const auto& name : names) text += (text.empty() ? "" : " ") + name;
  return text;
}

}  // namespace

TEST(PublishThroughWindowsTest, GoesLiveRecordsRidesOutAServerRestartAndQuits) {
  blackbox::Desktop desktop;
  ASSERT_TRUE(desktop.Start()) << desktop.error();
  test_support::NginxRtmp nginx;
  ASSERT_TRUE(nginx.Start()) << nginx.error();
  blackbox::DemoService service;
  ASSERT_TRUE(service.Start("demo", "demo", nginx.Url("velmora")));
  VelmoraSession session(blackbox::VelmoraBinary());
  ASSERT_TRUE(session.ready());
  ASSERT_TRUE(session.WriteLoginUrl(service.LoginUrl()));
  const XWindow main = blackbox::StartAndLogIn(session, "demo", "demo");
  ASSERT_NE(main, 0u) << session.Output();

  auto dumpStatus = [&] { return DumpStatus(session.folder()); };
  const std::string serverRecording = nginx.RecordingPath("velmora");
  ASSERT_TRUE(ClickControl(main, "skin.xml", "startPubBtn"));
  ASSERT_TRUE(WaitUntil(kPublishTimeoutMs, [&] { return dumpStatus() == "OnPub"; })) << session.Output();
  ASSERT_TRUE(WaitUntil(kPublishTimeoutMs, [&] { return FileSize(serverRecording) > 0; }));
  EXPECT_TRUE(test_support::Screenshot(main, ScreenshotPath("main_window_live")));

  ASSERT_TRUE(ClickControl(main, "skin.xml", "recoderBtn"));
  std::string localRecording;
  ASSERT_TRUE(WaitUntil(kPublishTimeoutMs, [&] {
    localRecording = FirstFlv(session.File("video"));
    return !localRecording.empty() && FileSize(localRecording) > 0;
  }));

  const long long beforeCrash = FileSize(serverRecording);
  nginx.Kill();
  EXPECT_TRUE(WaitUntil(kPublishTimeoutMs, [&] { return dumpStatus() == "NoPub"; })) << session.Output();
  ASSERT_TRUE(nginx.Restart()) << nginx.error();
  EXPECT_TRUE(WaitUntil(kPublishTimeoutMs, [&] { return dumpStatus() == "OnPub"; })) << session.Output();
  // The server records the returning stream anew.
  EXPECT_TRUE(WaitUntil(kPublishTimeoutMs, [&] {
    const long long size = FileSize(serverRecording);
    return size > 0 && size != beforeCrash;
  }));

  int exitCode = -1;
  ASSERT_TRUE(blackbox::QuitThroughExitDialog(main, session, &exitCode, "exit_dialog_live")) << session.Output();
  EXPECT_EQ(exitCode, 0) << session.Output();

  nginx.Stop();
  EXPECT_EQ(Codecs(serverRecording), "aac h264");
  EXPECT_EQ(Codecs(localRecording), "aac h264");
}

// adam logged in online last (his name is saved, his cache names his
// stream); bella logs in from her cache while the service is away. Every
// broadcast of hers, not only the first, reaches her stream.
TEST(PublishThroughWindowsTest, AnOfflineLoginPublishesToItsOwnStreamEveryTime) {
  blackbox::Desktop desktop;
  ASSERT_TRUE(desktop.Start()) << desktop.error();
  test_support::NginxRtmp nginx;
  ASSERT_TRUE(nginx.Start()) << nginx.error();
  VelmoraSession session(blackbox::VelmoraBinary());
  ASSERT_TRUE(session.ready());
  {
    blackbox::DemoService online;
    ASSERT_TRUE(online.Start("bella", "pw", nginx.Url("bella")));
    ASSERT_TRUE(session.WriteLoginUrl(online.LoginUrl()));
    ASSERT_NE(blackbox::StartAndLogIn(session, "bella", "pw"), 0u) << session.Output();
    session.Stop();
  }
  const std::string port = std::to_string(nginx.port());
  ASSERT_TRUE(test_support::WriteFileBytes(session.File("usr/adam"),
                                           "[VideoParam]\nPublishRoomInfo=live\nstream=adam\nstrmqPubUrlPub=127.0.0\n"
                                           "strDomain=.1:" + port + "\n"));
  ASSERT_TRUE(test_support::WriteFileBytes(
      session.File("user_config.xml"),
      "<?xml version=\"1.0\"?>\n<USERINFO><USERID>adam</USERID><USERPWD>a</USERPWD><FILELIST/></USERINFO>\n"));

  test_support::RefusingPort away;
  ASSERT_TRUE(session.WriteLoginUrl("http://127.0.0.1:" + std::to_string(away.port()) + "/login?v=1"));
  const XWindow main = blackbox::StartAndLogIn(session, "bella", "pw");
  ASSERT_NE(main, 0u) << session.Output();
  const std::string dumpIni = session.File("DUMP.ini");
  auto dumpStatus = [&] { return DumpStatus(session.folder()); };
  // DUMP.ini is written once the main window is up.
  auto dumpUser = [&] { return test_support::ReadIniValue(dumpIni, "DUMP", "UserID"); };
  EXPECT_TRUE(WaitUntil(kPublishTimeoutMs, [&] { return dumpUser() == "bella"; })) << dumpUser();
  // The name the main window shows for bella's account.
  const std::string nameAtLogin = ScreenshotPath("offline_login_name");
  ASSERT_TRUE(ShotOfControl(main, "usernameLabel", nameAtLogin));

  const std::string recording = nginx.RecordingPath("bella");
  for (int broadcast = 1; broadcast <= 2; ++broadcast) {
    SCOPED_TRACE(broadcast);
    ASSERT_TRUE(ClickControl(main, "skin.xml", "startPubBtn"));
    ASSERT_TRUE(WaitUntil(kPublishTimeoutMs, [&] { return dumpStatus() == "OnPub"; })) << session.Output();
    ASSERT_TRUE(WaitUntil(kPublishTimeoutMs, [&] { return FileSize(recording) > 0; }));
    // Once the clock has ticked since the server accepted the stream, the
    // window has painted what that acceptance changed: still bella's name.
    const std::string clock = ScreenshotPath("offline_login_clock"), clockNow = clock + ".now.png";
    ASSERT_TRUE(ShotOfControl(main, "pubtimeLabel", clock));
    ASSERT_TRUE(WaitUntil(kWindowTimeoutMs, [&] {
      return ShotOfControl(main, "pubtimeLabel", clockNow) && !SamePicture(clock, clockNow);
    }));
    std::remove(clockNow.c_str());
    std::remove(clock.c_str());
    const std::string nameLive = ScreenshotPath("offline_login_name_live");
    ASSERT_TRUE(ShotOfControl(main, "usernameLabel", nameLive));
    EXPECT_TRUE(SamePicture(nameAtLogin, nameLive)) << "the name shown changed when the broadcast started";
    if (broadcast == 1) {
      EXPECT_TRUE(test_support::Screenshot(main, ScreenshotPath("main_window_live_offline_login")));
    }
    ASSERT_TRUE(ClickControl(main, "skin.xml", "startPubBtn"));
    ASSERT_TRUE(WaitUntil(kPublishTimeoutMs, [&] { return dumpStatus() == "NoPub"; })) << session.Output();
    // The server has closed it; the next broadcast must make it anew.
    ASSERT_TRUE(WaitUntil(kWindowTimeoutMs, [&] { return std::remove(recording.c_str()) == 0; }));
  }
  EXPECT_EQ(FileSize(nginx.RecordingPath("adam")), -1) << "a broadcast went to the account saved before";
}
