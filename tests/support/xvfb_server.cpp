#include "tests/support/xvfb_server.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace test_support {
namespace {

constexpr int kStartSeconds = 90;

std::string SocketPath(int display) { return "/tmp/.X11-unix/X" + std::to_string(display); }

// The process a server on a number of its own choosing (not -displayfd)
// claims the number for, through its lock file.
pid_t LockOwner(int display) {
  return static_cast<pid_t>(std::atol(ReadFileBytes("/tmp/.X" + std::to_string(display) + "-lock").c_str()));
}

bool Accepts(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

XvfbServer::~XvfbServer() { Stop(); }

bool XvfbServer::Start(const std::string& screen, const std::vector<std::string>& extraArgs) {
  if (m_display >= 0) return true;
  m_screen = screen;
  m_extraArgs = extraArgs;
  // Xvfb picks the display number itself (-displayfd): it claims the number
  // through its lock file, so servers of parallel tests (also of other build
  // trees) never end up sharing one, and it writes the number only once it
  // accepts connections. -noreset: without it the server resets whenever its
  // last client disconnects, and a test that reconnects at that moment is
  // refused.
  m_dir = std::make_unique<TempDir>("xvfb");
  if (m_dir->path().empty()) return false;
  if (forRestart) {
    // Servers of parallel tests that do the same start at other numbers;
    // one that finds its number held ends, and the next is tried.
    const int first = kRestartableDisplays + static_cast<int>(::getpid() % 100) * 8;
    for (int display = first; display < first + 64; ++display) {
      if (StartOn(display, "xvfb.log")) return true;
    }
    return false;
  }
  const std::string numberFile = m_dir->File("display");
  std::vector<std::string> argv = {"sh", "-c", "file=$0; exec Xvfb -displayfd 3 \"$@\" 3>\"$file\"", numberFile};
  const std::vector<std::string> args = ServerArgs();
  argv.insert(argv.end(), args.begin(), args.end());
  const std::string logFile = m_dir->File("xvfb.log");
  if (!m_process.Start(argv, logFile)) {
    m_error = "Xvfb could not be started";
    return false;
  }
  // Xvfb comes up in well under a second on an idle machine; a loaded one
  // (the whole suite side by side) is given far longer before it counts as
  // a failure.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kStartSeconds);
  while (std::chrono::steady_clock::now() < deadline && m_process.Running()) {
    const std::string text = ReadFileBytes(numberFile);
    if (text.find('\n') != std::string::npos) {
      const int display = std::atoi(text.c_str());
      if (display >= 0 && Accepts(SocketPath(display))) {
        m_display = m_lastDisplay = display;
        return true;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  m_error = std::string(m_process.Running() ? "Xvfb did not take connections within " +
                                                  std::to_string(kStartSeconds) + " s"
                                            : "Xvfb ended") +
            ": " + ReadFileBytes(logFile).substr(0, 2000);
  m_process.Stop(SIGTERM, 2000);
  return false;
}

void XvfbServer::Stop() {
  m_process.Stop(SIGTERM, 5000);
  m_display = -1;
}

void XvfbServer::Kill() {
  m_process.Stop(SIGKILL, 5000);
  m_display = -1;
}

bool XvfbServer::Restart() {
  if (m_display >= 0 || m_lastDisplay < 0) return m_display >= 0;
  // The killed server left its lock file and socket; a new one on the same
  // number takes them over once it sees their owner is gone. Without
  // forRestart a server of a parallel test may take the free number first;
  // the restart then fails.
  return StartOn(m_lastDisplay, "xvfb-restart.log");
}

bool XvfbServer::StartOn(int display, const std::string& logName) {
  std::vector<std::string> argv = {"Xvfb", ":" + std::to_string(display)};
  const std::vector<std::string> args = ServerArgs();
  argv.insert(argv.end(), args.begin(), args.end());
  const std::string logFile = m_dir->File(logName);
  if (!m_process.Start(argv, logFile)) {
    m_error = "Xvfb could not be started";
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kStartSeconds);
  while (std::chrono::steady_clock::now() < deadline && m_process.Running()) {
    if (LockOwner(display) == m_process.pid() && Accepts(SocketPath(display))) {
      m_display = m_lastDisplay = display;
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  m_error = "Xvfb did not come up on :" + std::to_string(display) + ": " + ReadFileBytes(logFile).substr(0, 2000);
  m_process.Stop(SIGTERM, 2000);
  return false;
}

std::vector<std::string> XvfbServer::ServerArgs() const {
  std::vector<std::string> args = {"-screen", "0", m_screen, "-nolisten", "tcp", "-noreset"};
  args.insert(args.end(), m_extraArgs.begin(), m_extraArgs.end());
  return args;
}

std::string XvfbServer::DisplayName() const {
  return m_display >= 0 ? ":" + std::to_string(m_display) : std::string();
}

void XvfbServer::ExportDisplay() const { ::setenv("DISPLAY", DisplayName().c_str(), 1); }

}  // namespace test_support
