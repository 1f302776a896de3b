// Reading chunks from the server and assembling them into messages. Every
// length the server sends is checked before it is used.
#include <algorithm>
#include <cstring>
#include <new>

#include "RtmpLib/jni/Rtmp.h"
#include "RtmpLib/jni/rtmp_log.h"

namespace {

// Bytes of unfinished messages held at once over all chunk streams; a server
// that interleaves more than this is not one we can serve.
constexpr size_t kMaxPartialBytes = 4 * rtmp::kMaxIncomingBody;
constexpr size_t kReceiveStep = 16384;

uint32_t Be24(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2]; }
uint32_t Be32(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 24 | Be24(p + 1); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
}

}  // namespace

bool CRtmp::ReadN(uint8_t* out, size_t n) {
  while (m_in.Unread() < n) {
    const platform::SocketHandle socket = m_socket.load();
    if (m_closed || socket == platform::kNoSocket) return false;
    // While connecting, every wait is cut to what is left of the phase, so a
    // server that trickles its bytes cannot stretch it.
    const int remaining = ConnectPhaseRemainingMs();
    if (remaining == 0 || (remaining > 0 && !platform::WaitReadable(socket, remaining))) {
      FailConnectPhase("CRtmp::ReadN");
      return false;
    }
    const size_t want = std::max(n - m_in.Unread(), kReceiveStep);
    unsigned received = 0;
    if (!m_in.RecvFromSocket(socket, static_cast<unsigned>(want), &received)) {
      CloseSocket();
      return false;
    }
  }
  std::memcpy(out, m_in.ReadPointer(), n);
  m_in.Consume(static_cast<unsigned>(n));
  return true;
}

void CRtmp::DropPartialMessage(rtmp::InChunkStream* stream) {
  m_partialBytes -= stream->body.size();
  std::vector<uint8_t>().swap(stream->body);
  stream->bytesRead = 0;
}

bool CRtmp::RTMP_ReadPacket(rtmp::RtmpMessage* message, bool* complete) {
  *complete = false;
  uint8_t first = 0;
  if (!ReadN(&first, 1)) {
    RTMP_LOG(kLogFatal, "CRtmp::RTMP_ReadPacket", "failed to read RTMP packet header");
    return false;
  }
  const uint8_t format = first >> 6;
  int chunkStreamId = first & 0x3f;
  if (chunkStreamId == 0) {
    uint8_t extra = 0;
    if (!ReadN(&extra, 1)) {
      RTMP_LOG(kLogFatal, "CRtmp::RTMP_ReadPacket", "failed to read RTMP packet header 2nd byte");
      return false;
    }
    chunkStreamId = extra + 64;
  } else if (chunkStreamId == 1) {
    uint8_t extra[2] = {};
    if (!ReadN(extra, 2)) {
      RTMP_LOG(kLogFatal, "CRtmp::RTMP_ReadPacket", "failed to read RTMP packet header 3nd byte");
      return false;
    }
    chunkStreamId = extra[0] + 256 * extra[1] + 64;
  }

  static constexpr size_t kHeaderBytes[4] = {11, 7, 3, 0};
  const size_t headerBytes = kHeaderBytes[format];
  uint8_t header[11] = {};
  if (headerBytes > 0 && !ReadN(header, headerBytes)) {
    RTMP_LOG(kLogFatal, "CRtmp::RTMP_ReadPacket", "failed to read RTMP packet header");
    return false;
  }

  rtmp::InChunkStream& stream = m_inStreams[chunkStreamId];
  // A full header carries an absolute time, types 1 and 2 a delta; type 3
  // keeps whatever the previous header of this chunk stream said.
  if (format == rtmp::kHeaderFull) {
    stream.absoluteTimestamp = true;
  } else if (format != rtmp::kHeaderNone) {
    stream.absoluteTimestamp = false;
  }
  if (headerBytes >= 3) {
    stream.timestamp = Be24(header);
    stream.extendedTimestamp = stream.timestamp == 0xFFFFFF;
  }
  if (headerBytes >= 6) {
    const uint32_t bodySize = Be24(header + 3);
    DropPartialMessage(&stream);
    if (bodySize > rtmp::kMaxIncomingBody) {
      RTMP_LOG(kLogFatal, "CRtmp::RTMP_ReadPacket", "message of %u bytes refused", bodySize);
      CloseSocket();
      return false;
    }
    stream.bodySize = bodySize;
  }
  if (headerBytes >= 7) stream.messageType = header[6];
  if (headerBytes == 11) stream.messageStreamId = static_cast<int32_t>(Le32(header + 7));
  // Servers repeat the extended value after every 1-byte header that
  // follows an extended one. Inside a message it only repeats the time
  // already known; a 1-byte header that starts a message takes it as its own.
  if (stream.extendedTimestamp) {
    uint8_t extended[4] = {};
    if (!ReadN(extended, 4)) {
      RTMP_LOG(kLogFatal, "CRtmp::RTMP_ReadPacket", "failed to read extended timestamp");
      return false;
    }
    if (format != rtmp::kHeaderNone || stream.bytesRead == 0) stream.timestamp = Be32(extended);
  }

  const uint32_t piece = std::min(stream.bodySize - stream.bytesRead, m_inChunkSize);
  if (piece > 0) {
    if (m_partialBytes + piece > kMaxPartialBytes) {
      RTMP_LOG(kLogFatal, "CRtmp::RTMP_ReadPacket", "too many unfinished messages, closing");
      CloseSocket();
      return false;
    }
    const size_t old = stream.body.size();
    try {
      stream.body.resize(old + piece);
    } catch (const std::bad_alloc&) {
      RTMP_LOG(kLogFatal, "CRtmp::RTMP_ReadPacket", "failed to allocate packet");
      CloseSocket();
      return false;
    }
    m_partialBytes += piece;
    if (!ReadN(stream.body.data() + old, piece)) {
      RTMP_LOG(kLogFatal, "CRtmp::RTMP_ReadPacket", "failed to read RTMP packet body");
      return false;
    }
    stream.bytesRead += piece;
  }
  if (stream.bytesRead < stream.bodySize) return true;

  const uint32_t timestamp = stream.absoluteTimestamp ? stream.timestamp : stream.lastTimestamp + stream.timestamp;
  stream.lastTimestamp = timestamp;
  message->messageType = stream.messageType;
  message->chunkStreamId = chunkStreamId;
  message->timestamp = timestamp;
  message->messageStreamId = stream.messageStreamId;
  m_partialBytes -= stream.body.size();
  message->body = std::move(stream.body);
  stream.body = {};
  stream.bytesRead = 0;
  *complete = true;
  return true;
}
