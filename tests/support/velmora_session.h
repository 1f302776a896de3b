// The Velmora program as a black box for tests: a copy of the binary in a
// private program folder (where it keeps its INI files, "usr/" and "video/"),
// started with this process's environment (DISPLAY, PULSE_SERVER), and its
// windows found and driven from outside through xdotool, as a presenter's
// mouse and keyboard would. Windows are found by their X11 names
// ("transwnd", "LoginDlg", "EDLG", ...). Every wait has a time-out.
#pragma once
#include <string>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace test_support {

using XWindow = unsigned long;

struct WindowGeometry {
  int x = 0, y = 0, width = 0, height = 0;
};

class VelmoraSession {
 public:
  // binary: the built program, copied into a new private folder.
  explicit VelmoraSession(const std::string& binary);
  ~VelmoraSession() { Stop(); }
  VelmoraSession(const VelmoraSession&) = delete;
  VelmoraSession& operator=(const VelmoraSession&) = delete;

  // False when the folder or the copy could not be made.
  bool ready() const { return m_ready; }
  const std::string& folder() const { return m_dir.path(); }
  std::string File(const std::string& name) const { return m_dir.File(name); }
  // HtmlURL.ini: where the program sends its login request.
  bool WriteLoginUrl(const std::string& baseUrl);

  bool Start();
  bool Running() { return m_process.Running(); }
  // True once the program ended within timeoutMs, with its exit code
  // (-1 when a signal ended it).
  bool WaitForExit(int timeoutMs, int* exitCode);
  void Stop();
  // What the program printed so far (stdout and stderr).
  std::string Output() const { return ReadFileBytes(m_dir.File("velmora.log")); }

  // The first window named exactly name, 0 when none existed within
  // timeoutMs. With viewable, only a mapped (shown) window counts.
  XWindow WaitForWindow(const std::string& name, int timeoutMs, bool viewable = true);
  // True once no viewable window of that name is left within timeoutMs.
  bool WaitForNoWindow(const std::string& name, int timeoutMs);
  bool IsViewable(XWindow window);
  bool Geometry(XWindow window, WindowGeometry* out);

  // Mouse click at (x, y) inside the window; keyboard focus to the window
  // first, so typed keys go where the click put Qt's focus.
  bool Click(XWindow window, int x, int y);
  bool Type(XWindow window, const std::string& text);
  // xdotool key names ("Return", "Tab", "ctrl+a").
  bool Key(XWindow window, const std::string& keys);
  // The window's picture as PNG (ImageMagick import).
  bool Screenshot(XWindow window, const std::string& path);

 private:
  TempDir m_dir{"velmora"};
  ChildProcess m_process;
  bool m_ready = false;
};

// The screen's size as xdotool reports it.
bool ScreenSize(int* width, int* height);

// Runs xdotool with these arguments (UTF-8 names match); its output.
CommandResult Xdotool(const std::vector<std::string>& args);

// One value of an INI file as the program writes it ("" when absent).
std::string ReadIniValue(const std::string& path, const std::string& section, const std::string& key);

}  // namespace test_support
