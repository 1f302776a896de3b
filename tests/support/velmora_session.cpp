#include "tests/support/velmora_session.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <sstream>

namespace test_support {

std::string ReadIniValue(const std::string& path, const std::string& section, const std::string& key) {
  std::istringstream in(ReadFileBytes(path));
  std::string line, current;
  while (std::getline(in, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (!line.empty() && line.front() == '[' && line.back() == ']') {
      current = line.substr(1, line.size() - 2);
    } else if (current == section) {
      const size_t equals = line.find('=');
      if (equals != std::string::npos && line.substr(0, equals) == key) return line.substr(equals + 1);
    }
  }
  return {};
}

VelmoraSession::VelmoraSession(const std::string& binary) {
  if (m_dir.path().empty()) return;
  const std::string copy = m_dir.File("Velmora");
  m_ready = WriteFileBytes(copy, ReadFileBytes(binary)) && ::chmod(copy.c_str(), 0755) == 0 &&
            FileSize(copy) == FileSize(binary) && FileSize(copy) > 0;
}

bool VelmoraSession::WriteLoginUrl(const std::string& baseUrl) {
  return WriteFileBytes(m_dir.File("HtmlURL.ini"), "[PARAMS]\nURL=" + baseUrl + "\n");
}

bool VelmoraSession::Start() {
  return m_ready && m_process.Start({m_dir.File("Velmora")}, m_dir.File("velmora.log"));
}

bool VelmoraSession::WaitForExit(int timeoutMs, int* exitCode) {
  int status = 0;
  if (!m_process.WaitForExit(timeoutMs, &status)) return false;
  *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return true;
}

void VelmoraSession::Stop() { m_process.Stop(SIGTERM, 5000); }

}  // namespace test_support
