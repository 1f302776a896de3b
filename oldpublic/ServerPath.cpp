#include "oldpublic/ServerPath.h"

namespace {

constexpr size_t kMaxHostPart = 99;

bool IsSlash(char c) { return c == '/' || c == '\\'; }

}  // namespace

bool PraseServerPath(const std::string& url, ServerPath* out) {
  *out = ServerPath();
  size_t pos = url.find_first_not_of(' ');
  if (pos == std::string::npos) return false;
  if (url.compare(pos, 4, "http") != 0 && url.compare(pos, 4, "HTTP") != 0) return false;
  while (pos < url.size() && !IsSlash(url[pos])) ++pos;
  if (pos == url.size()) return false;
  while (pos < url.size() && IsSlash(url[pos])) ++pos;
  if (pos == url.size()) return false;
  const size_t hostEnd = url.find_first_of("/\\?", pos);
  const std::string hostPart = url.substr(pos, hostEnd == std::string::npos ? std::string::npos : hostEnd - pos);
  // The host part once went into a 100-byte buffer; longer ones are refused.
  if (hostPart.empty() || hostPart.size() > kMaxHostPart) return false;
  const size_t colon = hostPart.find(':');
  if (colon == std::string::npos) return false;
  out->host = hostPart.substr(0, colon);
  out->port = hostPart.substr(colon + 1);
  if (out->host.empty()) return false;
  if (hostEnd == std::string::npos) return true;
  const size_t question = url.find('?', hostEnd);
  if (question == std::string::npos) {
    out->path = url.substr(hostEnd);
    return true;
  }
  out->path = url.substr(hostEnd, question - hostEnd);
  out->query = url.substr(question + 1);
  const std::string withEnd = out->query + "&";
  size_t start = 0;
  for (size_t amp = withEnd.find('&'); amp != std::string::npos; amp = withEnd.find('&', start)) {
    out->params.push_back(withEnd.substr(start, amp - start));
    start = amp + 1;
  }
  return true;
}
