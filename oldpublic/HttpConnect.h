// IHttpConnect over libcurl's multi interface, driven on a short-lived
// thread of its own while the caller waits. Every wait is bounded (at most
// a second each, ten seconds per transfer), the body is bounded
// (kMaxHttpReplyBytes), and no signals are used, so the client is safe in a
// threaded library. A failed transfer to a host name is tried once more with
// the address the library's own DNS client finds.
#pragma once
#include <string>

#include "oldpublic/CappedBody.h"
#include "oldpublic/IHttpConnect.h"

class HttpConnect final : public IHttpConnect {
 public:
  HttpConnect();
  ~HttpConnect();
  HttpConnect(const HttpConnect&) = delete;
  HttpConnect& operator=(const HttpConnect&) = delete;

  bool StartConnect(const std::string& url, std::string* body) override;
  void Release() override { delete this; }

  // The transfer's libcurl result (0 = success); 4 when none could be read.
  int LastResult() const { return m_result; }

 private:
  // One transfer of requestUrl into m_received; sets m_result.
  void Transfer(const std::string& requestUrl);

  int m_result = 4;
  std::string m_url;
  CappedBody m_received;
};
