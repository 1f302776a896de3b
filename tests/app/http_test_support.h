// What the tests of the program's HTTP client share.
#pragma once
#include <cstdlib>
#include <memory>
#include <string>

#include "app/IHttpInterface.h"
#include "tests/support/fake_http_server.h"

namespace app_test {

inline std::unique_ptr<IHttpInterface, HttpInterfaceRelease> LimitedHttp(
    const HttpLimits& limits, std::shared_ptr<HttpCancellation> cancel = nullptr) {
  // The wide forms honour proxy settings; tests talk to loopback only.
  for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "ALL_PROXY", "HTTPS_PROXY"}) unsetenv(name);
  return std::unique_ptr<IHttpInterface, HttpInterfaceRelease>(CreateHttpConnect(limits, std::move(cancel)));
}

inline std::unique_ptr<IHttpInterface, HttpInterfaceRelease> ShortLimitHttp(long connectMs = 2000,
                                                                            long lowSpeedSeconds = 1) {
  return LimitedHttp(HttpLimits{connectMs, lowSpeedSeconds});
}

inline std::string Base(const test_support::FakeHttpServer& server) {
  return "http://127.0.0.1:" + std::to_string(server.port());
}

inline test_support::HttpReply Raw(const std::string& statusAndHeaders, const std::string& body = "") {
  return {0, {}, false, "HTTP/1.1 " + statusAndHeaders + "\r\nConnection: close\r\n\r\n" + body};
}

}  // namespace app_test
