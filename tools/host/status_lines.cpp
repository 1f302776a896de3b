#include "status_lines.h"

#include <cctype>

#include <strivon/StatusWords.h>

namespace {

// The words a reconnect repeats every time it fails.
bool RepeatsWhileUnreachable(const std::string& word) {
  return word == strivon_status::kConnectFailed || word == strivon_status::kConnectClosed ||
         word == strivon_status::kPluginCloseSocket || word == strivon_status::kClosedUnexpectly ||
         word == strivon_status::kStartSchedule;
}

}  // namespace

std::string WithoutObjectAddress(const std::string& text) {
  const std::string head = "this:";
  if (text.compare(0, head.size(), head) != 0) return text;
  size_t at = head.size();
  const size_t digits = at;
  while (at < text.size() && std::isxdigit(static_cast<unsigned char>(text[at]))) ++at;
  if (at == digits || text.compare(at, 2, " _") != 0) return text;
  return text.substr(at + 2);
}

std::optional<std::string> StatusLines::Line(int level, const char* text) {
  const std::string raw = text ? text : "";
  const std::string word = WithoutObjectAddress(raw);
  std::lock_guard<std::mutex> hold(m_lock);
  const bool failed = word == strivon_status::kConnectFailed || word == strivon_status::kClosedUnexpectly;
  if (word == strivon_status::kConnectSuccess) {
    m_inOutage = false;
  } else if (failed && !m_inOutage) {
    m_inOutage = true;
    m_outageToTell = true;
    if (!m_verbose) return std::nullopt;
  }
  if (!m_verbose && m_inOutage && RepeatsWhileUnreachable(word)) return std::nullopt;
  return "  status " + std::to_string(level) + ": " + (m_verbose ? raw : word);
}

bool StatusLines::TakeOutageStart() {
  std::lock_guard<std::mutex> hold(m_lock);
  const bool tell = m_outageToTell;
  m_outageToTell = false;
  return tell;
}
