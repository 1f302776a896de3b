// One blocking HTTP exchange over libcurl for the program's HTTP client:
// sends the request, hands the reply body to a sink as it arrives and reports
// the final status line. Requests and redirects go to http and https only.
// Another thread can end a running exchange at once (HttpCancellation).
#pragma once
#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// libcurl waits for ever by default; a dead or trickling login service must
// not hang the login thread. A transfer ends when connecting takes longer
// than connectTimeoutMs, when it moves less than one byte per second for
// lowSpeedSeconds (a server that accepts and never answers included), and in
// any case once the whole exchange took longer than its overall deadline
// (one byte a second keeps the low-speed limit quiet for ever).
struct HttpLimits {
  long connectTimeoutMs = 60000;
  long lowSpeedSeconds = 30;
  long requestTimeoutMs = 60000;
  // Downloads may be large; they still end some time.
  long downloadTimeoutMs = 30L * 60 * 1000;
  // The most a request keeps of a reply body; a longer reply ends the
  // transfer and fails. Login replies are a few hundred bytes.
  size_t maxReplyBytes = size_t{1} << 20;
};

// Ends a transfer from another thread at once: closing the program must not
// wait for a silent service. Once cancelled it stays so; every transfer
// given it afterwards ends before it sends anything.
class HttpCancellation {
 public:
  void Cancel();
  bool Cancelled() const { return cancelled_.load(); }

  // For PerformHttpTransfer: the libcurl multi handle to wake while a
  // transfer runs (nullptr when it ends). False when already cancelled.
  bool Attach(void* multi);

 private:
  std::mutex lock_;
  void* multi_ = nullptr;  // behind lock_, so Cancel never wakes a freed handle
  std::atomic<bool> cancelled_{false};
};

struct HttpTransferRequest {
  std::string url;  // absolute http or https URL, ready for curl
  bool post = false;
  std::string body;  // sent for POST only
  std::vector<std::string> headers;
  std::string userAgent;
  bool useSystemProxy = false;  // else connect directly, whatever the environment says
  long overallTimeoutMs = 0;  // the whole exchange; 0: no overall deadline
  HttpCancellation* cancel = nullptr;  // not owned; may be null
};

struct HttpTransferResult {
  bool completed = false;  // the whole reply arrived and the sink took it all
  bool cancelled = false;  // ended by HttpCancellation::Cancel
  std::string statusLine;  // of the final reply, without its line break
  long responseCode = 0;  // of the final reply; 0 when none arrived
  long long contentLength = -1;  // of the final reply; -1 when it sent none
  int curlCode = 0;
};

// Takes each piece of the body with the final reply's status line; false
// stops the transfer.
using HttpBodySink = std::function<bool(std::string_view piece, const std::string& statusLine)>;

// Certificates of https peers are checked against the system's authorities,
// or against the file SSL_CERT_FILE names when that is set (as OpenSSL's own
// tools do).
HttpTransferResult PerformHttpTransfer(const HttpTransferRequest& request, const HttpLimits& limits,
                                       const HttpBodySink& sink);
