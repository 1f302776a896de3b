#include "tests/support/window_manager.h"

#include <chrono>
#include <thread>

namespace test_support {

namespace {

// Long enough for a machine busy with other tests.
constexpr auto kTakeOverTimeout = std::chrono::seconds(30);

// The window manager names its check window on the root once it runs.
bool ManagesTheScreen() {
  const CommandResult r = RunCommand({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}, 10000);
  return r.exitCode == 0 && r.out.find("window id #") != std::string::npos;
}

}  // namespace

bool WindowManager::Start() {
  m_error.clear();
  if (ManagesTheScreen()) {
    m_error = "the display has a window manager already";
    return false;
  }
  const std::string log = m_dir.File("openbox.log");
  // No session manager to talk to, and nothing from the user's folders.
  if (!m_process.Start({"openbox", "--sm-disable", "--config-file", "/etc/xdg/openbox/rc.xml"}, log)) {
    m_error = "openbox could not be started (package openbox)";
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + kTakeOverTimeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (ManagesTheScreen()) return true;
    if (!m_process.Running()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  m_error = "openbox did not take the screen: " + ReadFileBytes(log);
  Stop();
  return false;
}

}  // namespace test_support
