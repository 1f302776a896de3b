// A private X server for tests that need a screen: Xvfb on a display number
// that no other server uses, 1366x768 with 24-bit colour, no TCP listener.
// Start() waits until the server accepts connections; the destructor stops
// it. Tests set DISPLAY to DisplayName() (or use ExportDisplay()).
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace test_support {

class XvfbServer {
 public:
  XvfbServer() = default;
  ~XvfbServer();
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  // screen is Xvfb's "-screen 0" value; extraArgs go to Xvfb as they stand
  // (e.g. {"-extension", "MIT-SHM"} for a server without shared memory).
  // Waits as long as a busy machine needs; false when no server came up, with
  // why in error().
  bool Start(const std::string& screen = "1366x768x24", const std::vector<std::string>& extraArgs = {});
  void Stop();
  // The server dies as in a crash (SIGKILL); the display number is kept.
  void Kill();
  // A new server on the display number the last one had (after Kill).
  bool Restart();
  // Set before Start for a server that will be killed and restarted: it
  // takes a number from kRestartableDisplays on, which servers that take the
  // lowest free number (the others, of parallel tests) do not reach, so the
  // number is still free when Restart comes.
  bool forRestart = false;
  static constexpr int kRestartableDisplays = 200;
  // ":N", or "" when not running.
  std::string DisplayName() const;
  // Sets DISPLAY of this process to the server.
  void ExportDisplay() const;
  // The server's process (its CPU time is the screen grabs' cost too).
  pid_t pid() const { return m_process.pid(); }
  const std::string& error() const { return m_error; }

 private:
  // The server's arguments after its display: the screen, no TCP, no reset.
  std::vector<std::string> ServerArgs() const;
  // Starts a server on that number and waits until it, not another that
  // holds the number, takes connections.
  bool StartOn(int display, const std::string& logName);

  std::unique_ptr<TempDir> m_dir;  // holds the file Xvfb writes its number to
  ChildProcess m_process;
  int m_display = -1;
  int m_lastDisplay = -1;
  std::string m_screen;
  std::vector<std::string> m_extraArgs;
  std::string m_error;
};

}  // namespace test_support
