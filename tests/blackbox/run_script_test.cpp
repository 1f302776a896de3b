// The main job on a desktop: scripts/run starts the program with the demo
// account against its own login service and nginx-rtmp; the presenter logs
// in, goes live and quits; the script then shows what the server recorded
// and leaves nothing running.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "tests/blackbox/blackbox_desktop.h"
#include "tests/support/temp_dir.h"
#include "tests/support/velmora_session.h"

using blackbox::ClickControl;
using blackbox::WaitUntil;
using test_support::XWindow;

namespace {

constexpr int kTimeoutMs = 60000;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

TEST(RunScriptOnADesktopTest, StartsTheProgramWithTheDemoAccountAndCleansUp) {
  blackbox::Desktop desktop;
  ASSERT_TRUE(desktop.Start());
  test_support::TempDir scratch("run-script");
  const std::string output = scratch.File("out");
  test_support::ChildProcess script;
  ASSERT_TRUE(script.Start({"env", "STRIVON_RUN_NO_SETUP=1", "STRIVON_BUILD_DIR=" + Env("STRIVON_BINARY_DIR"),
                            "TMPDIR=" + scratch.path(), Env("STRIVON_SOURCE_DIR") + "/scripts/run"},
                           output));
  const XWindow login = test_support::WaitForWindow("LoginDlg", kTimeoutMs);
  ASSERT_NE(login, 0u) << test_support::ReadFileBytes(output);
  const std::string printed = test_support::ReadFileBytes(output);
  const std::string folderLabel = "program folder: ";
  const size_t folderAt = printed.find(folderLabel);
  ASSERT_NE(folderAt, std::string::npos) << printed;
  const size_t folderStart = folderAt + folderLabel.size();
  const std::string folder = printed.substr(folderStart, printed.find(' ', folderStart) - folderStart);
  EXPECT_NE(printed.find("log in with user: demo  password: demo"), std::string::npos) << printed;

  ASSERT_TRUE(blackbox::TypeLogin(login, "demo", "demo"));
  const XWindow main = test_support::WaitForWindow("transwnd", kTimeoutMs);
  ASSERT_NE(main, 0u) << test_support::ReadFileBytes(output);
  ASSERT_TRUE(ClickControl(main, "skin.xml", "startPubBtn"));
  const std::string dumpIni = folder + "/DUMP.ini";
  ASSERT_TRUE(
      WaitUntil(kTimeoutMs, [&] { return test_support::ReadIniValue(dumpIni, "DUMP", "DumpStatus") == "OnPub"; }));
  const std::string serverRecording = folder + "/../server/velmora.flv";
  ASSERT_TRUE(WaitUntil(kTimeoutMs, [&] { return test_support::FileSize(serverRecording) > 0; }));

  ASSERT_TRUE(ClickControl(main, "skin.xml", "closebtn"));
  const XWindow exitDialog = test_support::WaitForWindow("EDLG", kTimeoutMs);
  ASSERT_NE(exitDialog, 0u);
  ASSERT_TRUE(ClickControl(exitDialog, "exitDlg.xml", "comfirm"));
  int status = -1;
  ASSERT_TRUE(script.WaitForExit(kTimeoutMs, &status));
  const std::string finished = test_support::ReadFileBytes(output);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << finished;
  EXPECT_NE(finished.find("recorded by the server:"), std::string::npos) << finished;
  EXPECT_NE(finished.find("\n  video: h264 "), std::string::npos) << finished;
  // The peers it started are gone with it.
  EXPECT_NE(test_support::RunCommand({"pgrep", "-f", scratch.path()}).exitCode, 0);
}
