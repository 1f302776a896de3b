#include "tests/support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

extern char** environ;

namespace test_support {
namespace {

std::vector<char*> ArgvPointers(const std::vector<std::string>& argv) {
  std::vector<char*> pointers;
  pointers.reserve(argv.size() + 1);
  for (const auto& arg : argv) pointers.push_back(const_cast<char*>(arg.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

// Waits for pid up to timeoutMs; true with *status when it ended.
bool WaitWithTimeout(pid_t pid, int timeoutMs, int* status) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const pid_t r = ::waitpid(pid, status, WNOHANG);
    if (r == pid) return true;
    if (r < 0 && errno != EINTR) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace

CommandResult RunCommand(const std::vector<std::string>& argv, int timeoutMs) {
  CommandResult result;
  if (argv.empty()) return result;
  int outPipe[2];
  int errPipe[2];
  if (::pipe2(outPipe, O_CLOEXEC) != 0) return result;
  if (::pipe2(errPipe, O_CLOEXEC) != 0) {
    ::close(outPipe[0]);
    ::close(outPipe[1]);
    return result;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
  pid_t pid = -1;
  auto args = ArgvPointers(argv);
  const int rc = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  if (rc != 0) {
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    return result;
  }

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  char buffer[65536];
  while (open > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      result.timedOut = true;
      break;
    }
    const int r = ::poll(fds, 2, static_cast<int>(left.count()));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof(buffer));
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  for (auto& fd : fds) {
    if (fd.fd >= 0) ::close(fd.fd);
  }
  int status = 0;
  if (result.timedOut || !WaitWithTimeout(pid, std::max(0, static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                             deadline - std::chrono::steady_clock::now()).count())),
                                          &status)) {
    result.timedOut = true;
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return result;
  }
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

ChildProcess::~ChildProcess() {
  if (m_pid > 0) Stop(SIGTERM);
}

bool ChildProcess::Start(const std::vector<std::string>& argv, const std::string& outputFile) {
  if (argv.empty() || m_pid > 0) return false;
  m_endStatus = -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  const std::string out = outputFile.empty() ? "/dev/null" : outputFile;
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  auto args = ArgvPointers(argv);
  const int rc = ::posix_spawnp(&m_pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) m_pid = -1;
  return rc == 0;
}

bool ChildProcess::Running() {
  if (m_pid <= 0) return false;
  int status = 0;
  const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
  if (r == 0) return true;
  if (r == m_pid) m_endStatus = status;
  m_pid = -1;
  return false;
}

bool ChildProcess::WaitForExit(int timeoutMs, int* status) {
  if (m_pid > 0) {
    int ended = 0;
    if (!WaitWithTimeout(m_pid, timeoutMs, &ended)) return false;
    m_endStatus = ended;
    m_pid = -1;
  }
  if (m_endStatus == -1) return false;
  *status = m_endStatus;
  return true;
}

int ChildProcess::Stop(int signal, int graceMs) {
  if (m_pid <= 0) return -1;
  int status = 0;
  ::kill(m_pid, signal);
  if (!WaitWithTimeout(m_pid, graceMs, &status)) {
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, &status, 0);
  }
  m_pid = -1;
  return status;
}

}  // namespace test_support
