// The send buffer's bound: its size from the bit rate, and applying it to the
// connection's socket.
#include "RtmpLib/jni/rtmp_send_buffer.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "RtmpLib/jni/Rtmp.h"
#include "RtmpLib/jni/rtmp_log.h"

namespace rtmp {

size_t SendBufferBytesFor(int videoBps) {
  const int64_t video = videoBps > 0 ? videoBps : kAssumedVideoBpsWhenUnknown;
  const int64_t bytes = (video + kSoundAllowanceBps) / 8 * kSendBufferMediaMs / 1000;
  return std::max(static_cast<size_t>(bytes), kMinSendBufferBytes);
}

int SendBufferOptionFor(size_t bytes) { return static_cast<int>(std::min<size_t>(bytes / 2, INT32_MAX)); }

}  // namespace rtmp

void CRtmp::BoundSendBuffer() {
  const platform::SocketHandle socket = m_socket.load();
  if (socket == platform::kNoSocket) return;
  const size_t bytes = rtmp::SendBufferBytesFor(m_videoBitrateBps.load());
  const int option = rtmp::SendBufferOptionFor(bytes);
  if (::setsockopt(socket, SOL_SOCKET, SO_SNDBUF, &option, sizeof(option)) != 0) {
    const int error = errno;
    RTMP_LOG(kLogWarning, "CRtmp::BoundSendBuffer", "send buffer not bounded. %d (%s)", error, std::strerror(error));
    return;
  }
  int granted = 0;
  socklen_t length = sizeof(granted);
  ::getsockopt(socket, SOL_SOCKET, SO_SNDBUF, &granted, &length);
  RTMP_LOG(kLogInfo, "CRtmp::BoundSendBuffer", "send buffer %d bytes for %zu bytes of media (video %d bps)", granted,
           bytes, m_videoBitrateBps.load());
}
