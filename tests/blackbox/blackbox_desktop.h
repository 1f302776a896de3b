// What every black-box test of the program stands on: a private desktop
// (Xvfb, PulseAudio whose null sink's monitor is the microphone), the demo
// login service as a child process, the control positions of a skin, and
// the presenter's login typed into the login window.
#pragma once
#include <signal.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/support/process.h"
#include "tests/support/pulse_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/velmora_session.h"
#include "tests/support/x11_driver.h"
#include "tests/support/xvfb_server.h"

namespace blackbox {

// How long a window may take to come up, and how long going live or off may
// take (the library's capture set-up and connect, a reconnect's delay on top).
constexpr int kWindowTimeoutMs = 30000;
constexpr int kPublishTimeoutMs = 60000;

// Polls the condition until it holds (true) or timeoutMs passed (false).
template <typename Condition>
bool WaitUntil(int timeoutMs, Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

// Where the build put what the tests run.
std::string VelmoraBinary();
std::string ScreenshotPath(const std::string& name);

// Xvfb and PulseAudio, exported into this process's environment so the
// program and xdotool started from here use them.
class Desktop {
 public:
  // screen is Xvfb's "-screen 0" value. False, with why in error(), when
  // either server did not come up.
  bool Start(const std::string& screen = "1366x768x24");
  std::string error() const { return m_xvfb.error() + m_pulse.error(); }

 private:
  test_support::XvfbServer m_xvfb;
  test_support::PulseServer m_pulse;
};

enum class ServiceMode { kAnswer, kNotFound, kStall };

// tools/demo_account_service on a free loopback port.
class DemoService {
 public:
  ~DemoService() { Stop(); }
  bool Start(const std::string& user, const std::string& password, const std::string& rtmpUrl,
             ServiceMode mode = ServiceMode::kAnswer);
  void Stop() { m_process.Stop(SIGTERM, 5000); }
  int port() const { return m_port; }
  // The base URL the program's HtmlURL.ini names.
  std::string LoginUrl() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/login?v=1"; }

 private:
  test_support::TempDir m_dir{"demo-service"};
  test_support::ChildProcess m_process;
  int m_port = 0;
};

struct Point {
  int x = 0, y = 0;
};
// The program's windows are laid out in Qt's logical pixels; with
// QT_SCALE_FACTOR set for the program, the tests give the same factor here
// so the places of controls are found in the screen's pixels (default 1).
void SetUiScale(int factor);

// Where a named control of a skin layout lies (x, y, width, height in the
// coordinates of a window of the given size, in the screen's pixels); false
// when the layout has no such control.
bool ControlRect(const std::string& layout, const test_support::WindowGeometry& window, const std::string& name,
                 test_support::WindowGeometry* rect, const std::string& page = "");
// The centre of a named control of a skin layout, in the coordinates of a
// window of the given size; false when the layout has no such control.
bool ControlCentre(const std::string& layout, const test_support::WindowGeometry& window,
                   const std::string& name, Point* centre, const std::string& page = "");
// Clicks the centre of a named control of the window's layout. With a page
// ("tab_switch=2"), the control's place is the one it has on that page of
// the tab layout, which the window is expected to show; "name=shown" and
// "name=hidden" (space-separated) give the controls a choice shows or hides.
bool ClickControl(test_support::XWindow window, const std::string& layout, const std::string& name,
                  const std::string& page = "");

// Replaces the user name and password in the login window and clicks its
// login button.
bool TypeLogin(test_support::XWindow loginWindow, const std::string& user, const std::string& password);

// Starts the program of the session and logs in through its login window;
// the main window, or 0 when either window did not come up.
test_support::XWindow StartAndLogIn(test_support::VelmoraSession& session, const std::string& user,
                                    const std::string& password);

// The live state the program keeps in DUMP.ini in its folder: "OnPub" or
// "NoPub" ("" before the main window has written it).
std::string DumpStatus(const std::string& programFolder);

// Closes the main window through its exit dialog (photographed as shotName
// first, unless that is empty) and waits for the program to end. False when
// a step failed or the program did not end; exitCode as WaitForExit gives it.
bool QuitThroughExitDialog(test_support::XWindow main, test_support::VelmoraSession& session, int* exitCode,
                           const std::string& shotName = "");

}  // namespace blackbox
