// One HTTP GET whose response body comes back as text. The scheduler owns
// one and uses it for both of its requests; one caller at a time.
#pragma once
#include <cstddef>
#include <string>

// Largest response body taken: the scheduling service's replies are a few
// kilobytes, and a longer one ends the transfer as a failed request.
inline constexpr size_t kMaxHttpReplyBytes = 1u << 20;

class IHttpConnect {
 public:
  // GETs url ("http://host:port/path?query"). True with the whole body in
  // *body; false with *body left as it was, also for a body over
  // kMaxHttpReplyBytes.
  virtual bool StartConnect(const std::string& url, std::string* body) = 0;
  virtual void Release() = 0;

 protected:
  ~IHttpConnect() = default;
};

// Null when the object cannot be made.
IHttpConnect* CreateHttpConnect();
