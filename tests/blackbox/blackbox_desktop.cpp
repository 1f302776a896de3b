#include "tests/blackbox/blackbox_desktop.h"

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>
#include <vector>

namespace blackbox {

using test_support::WindowGeometry;
using test_support::XWindow;

std::string VelmoraBinary() { return VELMORA_BINARY; }

std::string ScreenshotPath(const std::string& name) { return std::string(SCREENSHOT_DIR) + "/" + name + ".png"; }

bool Desktop::Start(const std::string& screen) {
  // xdotool matches the programs' UTF-8 window names only in a UTF-8 locale.
  ::setenv("LC_ALL", "C.UTF-8", 1);
  if (!m_xvfb.Start(screen) || !m_pulse.Start("velmora_null", "Velmora Null")) return false;
  m_xvfb.ExportDisplay();
  m_pulse.ExportToClients();
  return true;
}

bool DemoService::Start(const std::string& user, const std::string& password, const std::string& rtmpUrl,
                        ServiceMode mode) {
  const char* modeName = mode == ServiceMode::kAnswer ? "answer" : mode == ServiceMode::kNotFound ? "404" : "stall";
  const std::string output = m_dir.File("out");
  if (!m_process.Start({DEMO_ACCOUNT_SERVICE, "--user", user, "--password", password, "--rtmp", rtmpUrl, "--mode",
                        modeName},
                       output))
    return false;
  // It prints its port once it accepts connections.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline && m_process.Running()) {
    std::istringstream in(test_support::ReadFileBytes(output));
    std::string word;
    if (in >> word >> m_port && word == "port" && m_port > 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

namespace {
int g_uiScale = 1;
}  // namespace

void SetUiScale(int factor) { g_uiScale = factor > 0 ? factor : 1; }

bool ControlRect(const std::string& layout, const WindowGeometry& window, const std::string& name,
                 WindowGeometry* rect, const std::string& page) {
  std::vector<std::string> argv{CONTROL_POSITIONS, SKIN_DIR, layout, std::to_string(window.width / g_uiScale),
                                std::to_string(window.height / g_uiScale)};
  // Several choices, separated by spaces.
  std::istringstream choices(page);
  for (std::string choice; choices >> choice;) argv.push_back(choice);
  argv.push_back(name);
  const test_support::CommandResult r = test_support::RunCommand(argv, 30000);
  std::istringstream in(r.out);
  std::string found;
  int left = 0, top = 0, right = 0, bottom = 0;
  if (r.exitCode != 0 || !(in >> found >> left >> top >> right >> bottom) || found != name) return false;
  *rect = WindowGeometry{left * g_uiScale, top * g_uiScale, (right - left) * g_uiScale, (bottom - top) * g_uiScale};
  return right > left && bottom > top;
}

bool ControlCentre(const std::string& layout, const WindowGeometry& window, const std::string& name, Point* centre,
                   const std::string& page) {
  WindowGeometry rect;
  if (!ControlRect(layout, window, name, &rect, page)) return false;
  centre->x = rect.x + rect.width / 2;
  centre->y = rect.y + rect.height / 2;
  return true;
}

bool ClickControl(XWindow window, const std::string& layout, const std::string& name, const std::string& page) {
  WindowGeometry geometry;
  Point centre;
  return test_support::Geometry(window, &geometry) && ControlCentre(layout, geometry, name, &centre, page) &&
         test_support::Click(window, centre.x, centre.y);
}

bool TypeLogin(XWindow loginWindow, const std::string& user, const std::string& password) {
  // Select-all first: the window may show the last account's saved text.
  return ClickControl(loginWindow, "login.xml", "editUser") && test_support::Key(loginWindow, "ctrl+a") &&
         test_support::Type(loginWindow, user) && ClickControl(loginWindow, "login.xml", "editPwd") &&
         test_support::Key(loginWindow, "ctrl+a") && test_support::Type(loginWindow, password) &&
         ClickControl(loginWindow, "login.xml", "login");
}

XWindow StartAndLogIn(test_support::VelmoraSession& session, const std::string& user, const std::string& password) {
  if (!session.Start()) return 0;
  const XWindow login = test_support::WaitForWindow("LoginDlg", kWindowTimeoutMs);
  if (login == 0 || !TypeLogin(login, user, password)) return 0;
  return test_support::WaitForWindow("transwnd", kWindowTimeoutMs);
}

std::string DumpStatus(const std::string& programFolder) {
  return test_support::ReadIniValue(programFolder + "/DUMP.ini", "DUMP", "DumpStatus");
}

bool QuitThroughExitDialog(XWindow main, test_support::VelmoraSession& session, int* exitCode,
                           const std::string& shotName) {
  if (!ClickControl(main, "skin.xml", "closebtn")) return false;
  const XWindow exitDialog = test_support::WaitForWindow("EDLG", kWindowTimeoutMs);
  if (exitDialog == 0) return false;
  if (!shotName.empty() && !test_support::Screenshot(exitDialog, ScreenshotPath(shotName))) return false;
  return ClickControl(exitDialog, "exitDlg.xml", "comfirm") && session.WaitForExit(kPublishTimeoutMs, exitCode);
}

}  // namespace blackbox
