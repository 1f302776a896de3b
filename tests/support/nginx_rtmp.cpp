#include "tests/support/nginx_rtmp.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>

#include "tests/support/free_port.h"

namespace test_support {

std::string NginxRtmpModulePath() {
  for (const char* candidate :
       {"/usr/lib/nginx/modules/ngx_rtmp_module.so", "/usr/share/nginx/modules/ngx_rtmp_module.so"}) {
    if (::access(candidate, R_OK) == 0) return candidate;
  }
  return {};
}

NginxRtmp::~NginxRtmp() { Stop(); }

bool NginxRtmp::Start(const NginxRtmpOptions& options) {
  m_options = options;
  if (m_dir.path().empty()) {
    m_error = "no temp folder";
    return false;
  }
  const std::string module = NginxRtmpModulePath();
  if (module.empty()) {
    m_error = "ngx_rtmp_module.so not found";
    return false;
  }
  ::mkdir(m_dir.File("rec").c_str(), 0755);
  ::mkdir(m_dir.File("logs").c_str(), 0755);

  // A port found free can be taken by a parallel test before nginx binds it;
  // a few attempts make that race harmless.
  for (int attempt = 0; attempt < 5; ++attempt) {
    m_port = FindFreeLoopbackPort();
    if (m_port == 0) continue;
    std::ostringstream conf;
    conf << "load_module " << module << ";\n"
         << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
         << "pid " << m_dir.File("nginx.pid") << ";\n"
         << "error_log " << m_dir.File("logs/error.log") << " info;\n"
         << "events { worker_connections 128; }\n"
         // The RTMP module's access log would otherwise go to the machine's
         // /var/log/nginx, which a private user namespace may not even open.
         << "rtmp {\n  access_log " << m_dir.File("logs/access.log") << ";\n"
         << "  server {\n    listen 127.0.0.1:" << m_port << ";\n"
         << "    " << options.serverDirectives << "\n"
         << "    application " << options.application << " {\n"
         << "      live on;\n      record all;\n"
         << "      record_path " << m_dir.File("rec") << ";\n"
         << "      " << options.applicationDirectives << "\n"
         << "    }\n  }\n}\n";
    const std::string confPath = m_dir.File("nginx.conf");
    if (!WriteFileBytes(confPath, conf.str())) {
      m_error = "cannot write nginx.conf";
      return false;
    }
    if (Launch()) return true;
    if (!m_error.empty()) return false;
    m_process.Stop(SIGKILL);
  }
  m_error = "nginx did not start: " + ErrorLog();
  return false;
}

bool NginxRtmp::Launch() {
  if (!m_process.Start({"nginx", "-p", m_dir.path() + "/", "-e", m_dir.File("logs/error.log"), "-c",
                        m_dir.File("nginx.conf")},
                       m_dir.File("logs/stdout.log"))) {
    m_error = "cannot start nginx";
    return false;
  }
  for (int waited = 0; waited < 100; ++waited) {
    if (!m_process.Running()) break;
    if (WaitForLoopbackPort(m_port, 100)) return true;
  }
  return false;
}

void NginxRtmp::Kill() {
  if (m_process.pid() > 0) m_process.Stop(SIGKILL, 0);
}

bool NginxRtmp::Restart() {
  if (m_port == 0) return false;
  if (Launch()) return true;
  m_process.Stop(SIGKILL);
  return false;
}

bool NginxRtmp::Signal(int sig) { return m_process.pid() > 0 && ::kill(m_process.pid(), sig) == 0; }

bool NginxRtmp::KillAndRestart() {
  Kill();
  if (Restart()) return true;
  m_error = "nginx did not come back: " + ErrorLog();
  return false;
}

void NginxRtmp::Stop() {
  if (m_process.pid() > 0) m_process.Stop(SIGQUIT, 5000);
}

std::string NginxRtmp::Url(const std::string& stream) const { return UrlFor(m_options.application, stream); }

std::string NginxRtmp::UrlFor(const std::string& application, const std::string& stream) const {
  return "rtmp://127.0.0.1:" + std::to_string(m_port) + "/" + application + "/" + stream;
}

std::string NginxRtmp::RecordingPath(const std::string& stream) const { return m_dir.File("rec/" + stream + ".flv"); }

std::string NginxRtmp::ErrorLog() const { return ReadFileBytes(m_dir.File("logs/error.log")); }

}  // namespace test_support
