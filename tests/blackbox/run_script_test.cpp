// The main job on a desktop: scripts/run starts the program with the demo
// account against its own login service and nginx-rtmp; the presenter logs
// in, goes live twice and quits; the script then shows what the server
// recorded of each broadcast, keeps the program's folder without the copy
// of the program, and leaves nothing running.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/blackbox/blackbox_desktop.h"
#include "tests/support/temp_dir.h"
#include "tests/support/velmora_session.h"

using blackbox::ClickControl;
using blackbox::WaitUntil;
using test_support::XWindow;

namespace {

constexpr int kTimeoutMs = 60000;

// The .flv files of a folder, in name order.
std::vector<std::string> FlvFiles(const std::string& folder) {
  std::vector<std::string> found;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string path = entry.path().lexically_normal().string();
    if (entry.path().extension() == ".flv") found.push_back(path);
  }
  std::sort(found.begin(), found.end());
  return found;
}

std::string Listed(const std::vector<std::string>& files) {
  std::string all = "recordings:";
  for (const auto& file : files) all += " " + file;
  return all;
}

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

TEST(RunScriptOnADesktopTest, StartsTheProgramWithTheDemoAccountAndCleansUp) {
  blackbox::Desktop desktop;
  ASSERT_TRUE(desktop.Start()) << desktop.error();
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
  auto dumpStatus = [&] { return blackbox::DumpStatus(folder); };
  const std::string serverFolder = folder + "/../server";
  // Two broadcasts, one after the other: the server keeps both.
  for (size_t broadcast = 1; broadcast <= 2; ++broadcast) {
    ASSERT_TRUE(ClickControl(main, "skin.xml", "startPubBtn"));
    ASSERT_TRUE(WaitUntil(kTimeoutMs, [&] { return dumpStatus() == "OnPub"; }));
    ASSERT_TRUE(WaitUntil(kTimeoutMs, [&] { return FlvFiles(serverFolder).size() == broadcast; }))
        << Listed(FlvFiles(serverFolder));
    // The server names a recording by the second it opened the file in, at
    // the latest now.
    const std::time_t recordedFrom = std::time(nullptr);
    ASSERT_TRUE(WaitUntil(kTimeoutMs, [&] { return test_support::FileSize(FlvFiles(serverFolder).back()) > 0; }));
    ASSERT_TRUE(ClickControl(main, "skin.xml", "startPubBtn"));
    ASSERT_TRUE(WaitUntil(kTimeoutMs, [&] { return dumpStatus() == "NoPub"; }));
    // So the next one, in a later second, gets a name of its own.
    ASSERT_TRUE(WaitUntil(kTimeoutMs, [&] { return std::time(nullptr) > recordedFrom; }));
  }

  ASSERT_TRUE(ClickControl(main, "skin.xml", "closebtn"));
  const XWindow exitDialog = test_support::WaitForWindow("EDLG", kTimeoutMs);
  ASSERT_NE(exitDialog, 0u);
  ASSERT_TRUE(ClickControl(exitDialog, "exitDlg.xml", "comfirm"));
  int status = -1;
  ASSERT_TRUE(script.WaitForExit(kTimeoutMs, &status));
  const std::string finished = test_support::ReadFileBytes(output);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << finished;
  for (const std::string& recording : FlvFiles(serverFolder)) {
    EXPECT_NE(finished.find("recorded by the server: " + recording), std::string::npos) << finished;
  }
  EXPECT_EQ(FlvFiles(serverFolder).size(), 2u);
  EXPECT_NE(finished.find("\n  video: h264 "), std::string::npos) << finished;
  // Settings and local recordings stay; the copy of the program does not.
  EXPECT_GT(test_support::FileSize(folder + "/user_config.xml"), 0);
  EXPECT_FALSE(std::filesystem::exists(folder + "/Velmora"));
  // The peers it started are gone with it.
  EXPECT_NE(test_support::RunCommand({"pgrep", "-f", scratch.path()}).exitCode, 0);
}
