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

std::string SocketPath(int display) { return "/tmp/.X11-unix/X" + std::to_string(display); }

bool DisplayLooksFree(int display) {
  const std::string lock = "/tmp/.X" + std::to_string(display) + "-lock";
  return ::access(lock.c_str(), F_OK) != 0 && ::access(SocketPath(display).c_str(), F_OK) != 0;
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

bool XvfbServer::Start(const std::string& screen) {
  if (m_display >= 0) return true;
  // Spread parallel test processes over the range so they rarely collide;
  // a collision makes Xvfb exit at once and the next number is tried.
  // -noreset below: without it the server resets whenever its last client
  // disconnects, and a test that reconnects at that moment is refused.
  int candidate = 200 + static_cast<int>(::getpid() % 600);
  for (int attempt = 0; attempt < 30; ++attempt, candidate = 200 + (candidate - 200 + 7) % 600) {
    if (!DisplayLooksFree(candidate)) continue;
    if (!m_process.Start({"Xvfb", ":" + std::to_string(candidate), "-screen", "0", screen,
                          "-nolisten", "tcp", "-noreset"})) {
      return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline && m_process.Running()) {
      if (Accepts(SocketPath(candidate))) {
        m_display = candidate;
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    m_process.Stop(SIGTERM, 2000);
  }
  return false;
}

void XvfbServer::Stop() {
  m_process.Stop(SIGTERM, 5000);
  m_display = -1;
}

std::string XvfbServer::DisplayName() const {
  return m_display >= 0 ? ":" + std::to_string(m_display) : std::string();
}

void XvfbServer::ExportDisplay() const { ::setenv("DISPLAY", DisplayName().c_str(), 1); }

}  // namespace test_support
