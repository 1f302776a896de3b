// What the program's HTTP client tests share: a client with short limits, the
// fake server's base URL, and a loopback port that accepts no connection.
#pragma once
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "app/IHttpInterface.h"
#include "tests/support/fake_http_server.h"

namespace app_test {

using HttpPtr = std::unique_ptr<IHttpInterface, HttpInterfaceRelease>;

inline HttpPtr ShortLimitHttp(long connectTimeoutMs = 2000, long lowSpeedSeconds = 1) {
  // The wide forms honour proxy settings; tests talk to loopback only.
  for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "ALL_PROXY", "HTTPS_PROXY"}) unsetenv(name);
  return HttpPtr(CreateHttpConnect(HttpLimits{connectTimeoutMs, lowSpeedSeconds}));
}

inline std::string Base(const test_support::FakeHttpServer& server) {
  return "http://127.0.0.1:" + std::to_string(server.port());
}

inline std::string RawReply(const std::string& statusAndHeaders, const std::string& body) {
  return "HTTP/1.1 " + statusAndHeaders + "\r\nConnection: close\r\n\r\n" + body;
}

// A listener whose accept queue is full, so further connection attempts are
// never answered (the kernel drops their SYNs).
class UnansweredPort {
 public:
  UnansweredPort() {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener_, 0) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      return;
    port_ = ntohs(address.sin_port);
    filler_ = socket(AF_INET, SOCK_STREAM, 0);
    if (connect(filler_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) port_ = 0;
  }
  ~UnansweredPort() {
    if (filler_ >= 0) close(filler_);
    if (listener_ >= 0) close(listener_);
  }
  UnansweredPort(const UnansweredPort&) = delete;
  UnansweredPort& operator=(const UnansweredPort&) = delete;
  int port() const { return port_; }

 private:
  int listener_ = -1;
  int filler_ = -1;
  int port_ = 0;
};

}  // namespace app_test
