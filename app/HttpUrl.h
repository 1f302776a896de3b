// How the program's HTTP client reads the URLs and header blocks it is given:
// the login service's addresses are "http://host[:port]/path?query", or the
// same with "https://". Pure text work, shared by requests and downloads.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct HttpUrlParts {
  bool secure = false;  // https
  std::string host;  // as written, ":port" included; it goes into the Host line
  std::string name;  // host without ":port"
  uint16_t port = 80;  // 443 for https without a port
  std::string path = "/";  // from the first "/" on, query included
};

// Everything up to and including the first "http://" or "https://" is
// dropped (a URL with neither is taken as plain http); the host is the text
// before the first "/", the path the rest ("/" when there is none). Nothing
// for an empty host or a port that is not a decimal number below 65536.
std::optional<HttpUrlParts> SplitHttpUrl(const std::string& url);

// The URL handed to libcurl. Blanks in the path are percent-encoded: curl
// refuses raw ones, and they would end the request line early anyway.
std::string CurlUrlOf(const HttpUrlParts& parts);

// The header block sent when the caller gives none. The referer form (first
// line "nReferer: ", as the service has always received it) goes with the
// wide requests and downloads, the Host form with narrow requests.
enum class DefaultHeaderForm { kHost, kReferer };
std::string DefaultHttpHeaders(const std::string& host, DefaultHeaderForm form);

// The non-empty lines of a header block, split at CR and LF, so no caller
// text can start a line of its own in the request.
std::vector<std::string> HttpHeaderLines(const std::string& block);
