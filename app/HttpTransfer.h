// One blocking HTTP exchange over libcurl for the program's HTTP client:
// sends the request, hands the reply body to a sink as it arrives and reports
// the final status line. Redirects are followed to http and https only.
#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// libcurl waits for ever by default; a dead login service must not hang the
// login thread. A transfer ends when connecting takes longer than
// connectTimeoutMs, or when it moves less than one byte per second for
// lowSpeedSeconds (a server that accepts and never answers included).
struct HttpLimits {
  long connectTimeoutMs = 60000;
  long lowSpeedSeconds = 30;
};

struct HttpTransferRequest {
  std::string url;  // absolute http URL, ready for curl
  bool post = false;
  std::string body;  // sent for POST only
  std::vector<std::string> headers;
  std::string userAgent;
  bool useSystemProxy = false;  // else connect directly, whatever the environment says
};

struct HttpTransferResult {
  bool completed = false;  // the whole reply arrived and the sink took it all
  std::string statusLine;  // of the final reply, without its line break
  long responseCode = 0;  // of the final reply; 0 when none arrived
  long long contentLength = -1;  // of the final reply; -1 when it sent none
  int curlCode = 0;
};

// Takes each piece of the body with the final reply's status line; false
// stops the transfer.
using HttpBodySink = std::function<bool(std::string_view piece, const std::string& statusLine)>;

HttpTransferResult PerformHttpTransfer(const HttpTransferRequest& request, const HttpLimits& limits,
                                       const HttpBodySink& sink);
