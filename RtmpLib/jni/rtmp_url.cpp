#include "RtmpLib/jni/rtmp_url.h"

#include <cstdlib>

namespace rtmp {
namespace {

bool Fail(std::string* error, const char* text) {
  if (error) *error = text;
  return false;
}

}  // namespace

bool ParseRtmpUrl(const std::string& url, RtmpUrl* out, std::string* error) {
  const size_t scheme = url.find("://");
  if (scheme == std::string::npos) return Fail(error, "RTMP URL: No :// in url!");
  const size_t hostStart = scheme + 3;
  if (hostStart >= url.size()) return Fail(error, "No hostname in URL!");

  const size_t hostEnd = url.find_first_of(":/", hostStart);
  const size_t hostLength = (hostEnd == std::string::npos ? url.size() : hostEnd) - hostStart;
  if (hostLength == 0) return Fail(error, "No hostname in URL!");
  if (hostLength >= 256) return Fail(error, "Hostname exceeds 255 characters!");
  RtmpUrl parsed;
  parsed.host = url.substr(hostStart, hostLength);

  size_t slash = url.find('/', hostStart + hostLength);
  if (hostEnd != std::string::npos && url[hostEnd] == ':') {
    // atoi semantics (leading digits only), but without its overflow: any
    // value outside 1..65535 is refused.
    const std::string portText = url.substr(hostEnd + 1, slash == std::string::npos ? std::string::npos : slash - hostEnd - 1);
    size_t i = 0;
    while (i < portText.size() && (portText[i] == ' ' || portText[i] == '\t')) ++i;
    bool negative = false;
    if (i < portText.size() && (portText[i] == '+' || portText[i] == '-')) negative = portText[i++] == '-';
    long long value = 0;
    while (i < portText.size() && portText[i] >= '0' && portText[i] <= '9' && value <= 65535) {
      value = value * 10 + (portText[i++] - '0');
    }
    if (negative || value > 65535 || value == 0) return Fail(error, "Invalid port number!");
    parsed.port = static_cast<int>(value);
  }

  if (slash == std::string::npos) return Fail(error, "No application in URL!");
  const size_t appStart = slash + 1;
  const size_t appEnd = url.find('/', appStart);
  if (appEnd == std::string::npos) return Fail(error, "No stream in URL!");
  parsed.app = url.substr(appStart, appEnd - appStart);
  parsed.stream = url.substr(appEnd + 1);
  if (parsed.stream.empty()) return Fail(error, "No stream in URL!");
  *out = std::move(parsed);
  return true;
}

std::string BuildTcUrl(const RtmpUrl& url) {
  std::string tcUrl = "rtmp://" + url.host + ":" + std::to_string(url.port) + "/" + url.app;
  if (tcUrl.size() > 511) tcUrl.resize(511);
  return tcUrl;
}

}  // namespace rtmp
