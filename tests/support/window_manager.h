// A window manager on the test's display, as a presenter's desktop has one:
// openbox, which reparents every window into a frame of its own, keeps the
// "above" layer and stacks dialogs over their owners. Start() waits until it
// manages the screen (it has set _NET_SUPPORTING_WM_CHECK on the root); the
// destructor stops it. Uses this process's DISPLAY.
#pragma once
#include <signal.h>

#include <string>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace test_support {

class WindowManager {
 public:
  ~WindowManager() { Stop(); }
  // False, with why in error(), when openbox is missing or did not take the
  // screen in time.
  bool Start();
  void Stop() { m_process.Stop(SIGTERM, 5000); }
  const std::string& error() const { return m_error; }

 private:
  TempDir m_dir{"window-manager"};
  ChildProcess m_process;
  std::string m_error;
};

}  // namespace test_support
