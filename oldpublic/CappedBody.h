// A response body as it arrives from the network, kept only up to
// kMaxHttpReplyBytes: a longer one is refused rather than held. Filled by the
// HTTP client's write callback; the scheduler's reply fuzzer drives it too.
#pragma once
#include <cstddef>
#include <string>

#include "oldpublic/IHttpConnect.h"

class CappedBody {
 public:
  // False (keeping nothing of this piece) once the body would pass the cap,
  // and for every piece after that.
  bool Append(const char* data, size_t size) {
    if (m_overCap || size > kMaxHttpReplyBytes - m_bytes.size()) {
      m_overCap = true;
      return false;
    }
    m_bytes.append(data, size);
    return true;
  }
  bool overCap() const { return m_overCap; }
  const std::string& bytes() const { return m_bytes; }
  // Lets go of the memory too: a body near the cap need not stay around.
  void Clear() {
    std::string().swap(m_bytes);
    m_overCap = false;
  }

 private:
  std::string m_bytes;
  bool m_overCap = false;
};
