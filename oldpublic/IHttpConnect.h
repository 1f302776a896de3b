// One HTTP GET whose response body comes back as text. The scheduler owns
// one and uses it for both of its requests; one caller at a time.
#pragma once
#include <string>

class IHttpConnect {
 public:
  // GETs url ("http://host:port/path?query"). True with the whole body in
  // *body; false with *body left as it was.
  virtual bool StartConnect(const std::string& url, std::string* body) = 0;
  virtual void Release() = 0;

 protected:
  ~IHttpConnect() = default;
};

// Null when the object cannot be made.
IHttpConnect* CreateHttpConnect();
