// The Velmora program as a black box for tests: a copy of the binary in a
// private program folder (where it keeps its INI files, "usr/" and "video/"),
// started with this process's environment (DISPLAY, PULSE_SERVER); its
// windows are driven with x11_driver.h.
#pragma once
#include <string>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace test_support {

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

 private:
  TempDir m_dir{"velmora"};
  ChildProcess m_process;
  bool m_ready = false;
};

// One value of an INI file as the program writes it ("" when absent).
std::string ReadIniValue(const std::string& path, const std::string& section, const std::string& key);

}  // namespace test_support
