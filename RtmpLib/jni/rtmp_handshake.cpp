// The plain RTMP handshake: C0+C1 out, S0+S1 in, S1 echoed as C2, S2 in.
#include <cstring>
#include <random>
#include <vector>

#include "RtmpLib/jni/Rtmp.h"
#include "RtmpLib/jni/rtmp_log.h"
#include "platform/base/tick.h"

namespace {
constexpr size_t kSignatureSize = 1536;
constexpr uint8_t kRtmpVersion = 3;
}  // namespace

bool CRtmp::HandShake() {
  std::vector<uint8_t> c0c1(1 + kSignatureSize);
  c0c1[0] = kRtmpVersion;
  uint8_t* c1 = c0c1.data() + 1;
  const uint32_t now = platform::TickCount();
  c1[0] = static_cast<uint8_t>(now >> 24);
  c1[1] = static_cast<uint8_t>(now >> 16);
  c1[2] = static_cast<uint8_t>(now >> 8);
  c1[3] = static_cast<uint8_t>(now);
  std::minstd_rand random(std::random_device{}());
  for (size_t i = 8; i < kSignatureSize; ++i) c1[i] = static_cast<uint8_t>(random());

  bool ok = false;
  {
    // C0+C1 leave as one write, and no other message may come between them.
    std::lock_guard<std::recursive_mutex> lock(m_sendLock);
    ok = WriteN(c0c1.data(), c0c1.size());
  }
  if (!ok) return false;

  uint8_t s0 = 0;
  std::vector<uint8_t> s1(kSignatureSize);
  if (!ReadN(&s0, 1) || !ReadN(s1.data(), s1.size())) return false;
  {
    std::lock_guard<std::recursive_mutex> lock(m_sendLock);
    ok = WriteN(s1.data(), s1.size());
  }
  if (!ok) return false;

  std::vector<uint8_t> s2(kSignatureSize);
  if (!ReadN(s2.data(), s2.size())) return false;
  if (std::memcmp(s2.data(), c1, kSignatureSize) != 0) {
    RTMP_LOG(kLogWarning, "CRtmp::HandShake", "client signature does not match!");
  }
  return true;
}
