// Child processes for tests: run a command to completion and capture what it
// printed (ffmpeg, ffprobe), or keep a server running in the background
// (nginx) and stop it again. Commands are argument vectors; no shell is used.
#pragma once
#include <string>
#include <sys/types.h>
#include <vector>

namespace test_support {

struct CommandResult {
  int exitCode = -1;  // -1 when the command could not be started or timed out
  bool timedOut = false;
  std::string out;
  std::string err;
};

// Runs argv[0] (looked up in PATH) and waits at most timeoutMs; a command
// still running then is killed.
CommandResult RunCommand(const std::vector<std::string>& argv, int timeoutMs = 120000);

// A background child whose stdout and stderr go to files (or /dev/null).
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();  // stops the child if it still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Start(const std::vector<std::string>& argv, const std::string& outputFile = "");
  bool Running();
  // Waits up to timeoutMs for the child to end by itself; true with the
  // status as waitpid reported it (also when Running() saw the end first).
  bool WaitForExit(int timeoutMs, int* status);
  // Sends signal, waits up to graceMs, then SIGKILL. Returns the exit status
  // as waitpid reported it, or -1 when nothing ran.
  int Stop(int signal, int graceMs = 5000);
  pid_t pid() const { return m_pid; }

 private:
  pid_t m_pid = -1;
  int m_endStatus = -1;  // of the last child that ended on its own
};

}  // namespace test_support
