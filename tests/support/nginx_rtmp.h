// nginx with the RTMP module as a real server for publishing tests. Each
// instance runs in the foreground in its own temp folder on a free loopback
// port, with one live application that records everything it receives
// ("record all") to <folder>/rec/<stream>.flv. Stop() (or the destructor)
// ends it gracefully so the recordings are complete.
#pragma once
#include <string>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace test_support {

struct NginxRtmpOptions {
  std::string application = "live";
  // Extra directives for the rtmp server block, e.g. "ping 1s; ping_timeout 1s;".
  std::string serverDirectives;
  // Extra directives for the application block.
  std::string applicationDirectives;
};

class NginxRtmp {
 public:
  NginxRtmp() = default;
  ~NginxRtmp();
  NginxRtmp(const NginxRtmp&) = delete;
  NginxRtmp& operator=(const NginxRtmp&) = delete;

  // Writes the configuration, starts nginx and waits until it accepts
  // connections. False (see error()) when nginx could not be started.
  bool Start(const NginxRtmpOptions& options = {});
  // Graceful stop (SIGQUIT), so recordings are closed; idempotent.
  void Stop();
  // SIGKILL: the server vanishes mid-stream, as a crash would.
  void Kill();
  // Starts nginx again on the same port and configuration after Stop or
  // Kill, and waits until it accepts connections.
  bool Restart();
  // Sends sig (SIGSTOP, SIGCONT) to the running server.
  bool Signal(int sig);
  // Kill, then Restart: a server crash and its return. False (see error())
  // when it did not come back; its recording of a stream starts over.
  bool KillAndRestart();

  int port() const { return m_port; }
  // rtmp://127.0.0.1:<port>/<application>/<stream>
  std::string Url(const std::string& stream) const;
  std::string UrlFor(const std::string& application, const std::string& stream) const;
  std::string RecordingPath(const std::string& stream) const;
  const std::string& folder() const { return m_dir.path(); }
  std::string ErrorLog() const;
  const std::string& error() const { return m_error; }

 private:

  TempDir m_dir{"strivon-nginx"};
  ChildProcess m_process;
  NginxRtmpOptions m_options;
  int m_port = 0;
  std::string m_error;

  bool Launch();
};

// Where Debian keeps the RTMP module; empty when it is not installed.
std::string NginxRtmpModulePath();

}  // namespace test_support
