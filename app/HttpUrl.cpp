#include "app/HttpUrl.h"

namespace {

const char kScheme[] = "http://";
const char kSecureScheme[] = "https://";

std::optional<uint16_t> ParsePort(const std::string& text, uint16_t defaultPort) {
  if (text.empty()) return defaultPort;
  unsigned long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned long>(c - '0');
    if (value > 65535) return std::nullopt;
  }
  // Port 0 means "the default" to the service's old clients.
  return value == 0 ? defaultPort : static_cast<uint16_t>(value);
}

}  // namespace

std::optional<HttpUrlParts> SplitHttpUrl(const std::string& url) {
  std::string rest = url;
  HttpUrlParts parts;
  const size_t plain = rest.find(kScheme);
  const size_t secure = rest.find(kSecureScheme);
  if (secure != std::string::npos && (plain == std::string::npos || secure < plain)) {
    parts.secure = true;
    rest.erase(0, secure + sizeof kSecureScheme - 1);
  } else if (plain != std::string::npos) {
    rest.erase(0, plain + sizeof kScheme - 1);
  }
  const size_t slash = rest.find('/');
  parts.host = rest.substr(0, slash);
  if (slash != std::string::npos) parts.path = rest.substr(slash);
  const size_t colon = parts.host.find(':');
  parts.name = parts.host.substr(0, colon);
  const std::optional<uint16_t> port =
      ParsePort(colon == std::string::npos ? std::string() : parts.host.substr(colon + 1), parts.secure ? 443 : 80);
  if (parts.name.empty() || !port) return std::nullopt;
  parts.port = *port;
  return parts;
}

std::string CurlUrlOf(const HttpUrlParts& parts) {
  std::string url = (parts.secure ? kSecureScheme : kScheme) + parts.name + ":" + std::to_string(parts.port);
  for (char c : parts.path) {
    if (c == ' ')
      url += "%20";
    else
      url += c;
  }
  return url;
}

std::string DefaultHttpHeaders(const std::string& host, DefaultHeaderForm form) {
  return std::string(form == DefaultHeaderForm::kHost ? "Host: " : "nReferer: ") + host +
         "\r\nContent-Type: application/x-www-form-urlencoded\r\n"
         "Accept: */*\r\n"
         "Connection: Keep-Alive\r\n\r\n";
}

std::vector<std::string> HttpHeaderLines(const std::string& block) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= block.size()) {
    const size_t end = block.find_first_of("\r\n", start);
    const std::string line = block.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty()) lines.push_back(line);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}
