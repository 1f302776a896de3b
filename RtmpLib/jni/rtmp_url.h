// Splits an "rtmp://host[:port]/app/stream" publish URL. CRtmp calls it at the
// start of every connect attempt; the application ends at the first "/" after
// the host, so a path "live?k=1/a/b" gives the application "live?k=1" and the
// stream "a/b".
#pragma once
#include <string>

namespace rtmp {

constexpr int kDefaultPort = 1935;

struct RtmpUrl {
  std::string host;
  int port = kDefaultPort;
  std::string app;
  std::string stream;
};

// False with the reason in *error ("No stream in URL!", ...) for a URL that
// cannot be published to.
bool ParseRtmpUrl(const std::string& url, RtmpUrl* out, std::string* error);

// "rtmp://<host>:<port>/<app>", at most 511 characters.
std::string BuildTcUrl(const RtmpUrl& url);

}  // namespace rtmp
