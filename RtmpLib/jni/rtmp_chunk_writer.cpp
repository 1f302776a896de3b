// Putting messages on the wire: chunk headers with compression, chunking at
// the out chunk size, user control messages. One send lock covers a whole
// message, so the encoder thread's media and the receive thread's answers
// never interleave their chunks or disturb each other's header state.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "RtmpLib/jni/Rtmp.h"
#include "RtmpLib/jni/rtmp_amf.h"
#include "RtmpLib/jni/rtmp_log.h"

namespace {

constexpr uint32_t kExtendedTimestamp = 0xFFFFFF;

void PutBe24(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 16);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v);
}

void PutBe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  PutBe24(p + 1, v);
}

// The basic header: format bits plus one, two or three bytes of chunk stream id.
size_t PutBasicHeader(uint8_t* p, uint8_t format, int chunkStreamId) {
  if (chunkStreamId < 64) {
    p[0] = static_cast<uint8_t>(format << 6 | chunkStreamId);
    return 1;
  }
  const int id = chunkStreamId - 64;
  if (chunkStreamId < 320) {
    p[0] = static_cast<uint8_t>(format << 6);
    p[1] = static_cast<uint8_t>(id);
    return 2;
  }
  p[0] = static_cast<uint8_t>(format << 6 | 1);
  p[1] = static_cast<uint8_t>(id & 0xff);
  p[2] = static_cast<uint8_t>(id >> 8);
  return 3;
}

size_t BasicHeaderSize(int chunkStreamId) { return chunkStreamId < 64 ? 1 : chunkStreamId < 320 ? 2 : 3; }

}  // namespace

bool CRtmp::WriteN(const uint8_t* data, size_t n) {
  if (n == 0) return true;
  const platform::SocketHandle socket = m_socket.load();
  if (m_closed || socket == platform::kNoSocket) return false;
  // Before publishing the connect phase's deadline bounds the send as well.
  const int remaining = ConnectPhaseRemainingMs();
  const ssize_t sent = platform::SendAllBounded(socket, data, n, m_sendStallTimeoutMs.load(), remaining);
  if (sent >= 0 && static_cast<size_t>(sent) == n) return true;
  const int error = errno;
  if (error == ETIMEDOUT && remaining >= 0 && ConnectPhaseRemainingMs() == 0) {
    FailConnectPhase("CRtmp::WriteN");
    return false;
  }
  RTMP_LOG(kLogFatal, "CRtmp::WriteN", "socket send error. %d (%s)", error, std::strerror(error));
  if (error == ETIMEDOUT) {
    RTMP_LOG(kLogFatal, "CRtmp::WriteN", "the server took no byte for %d ms", m_sendStallTimeoutMs.load());
  }
  CloseSocket();
  return false;
}

bool CRtmp::RTMP_SendPacket(rtmp::RtmpOutPacket* packet, bool queue) {
  std::lock_guard<std::recursive_mutex> lock(m_sendLock);
  if (packet->headerType > rtmp::kHeaderNone) {
    RTMP_LOG(kLogFatal, "CRtmp::RTMP_SendPacket", "sanity failed!! trying to send header of type: 0x%02x.",
             packet->headerType);
    return false;
  }
  const int chunkStreamId = packet->chunkStreamId;
  const size_t bodySize = packet->bodySize();
  if (chunkStreamId < 2 || chunkStreamId > 65599 || bodySize > 0xFFFFFF) return false;
  if (!IsOpen()) return false;

  // Compression against the last header on this chunk stream. A receiver
  // needs one full header first, and one again when the message stream
  // changes. The 1-byte form means "same delta as last time", so it is used
  // only when the delta really is the same.
  const auto previous = m_outStreams.find(chunkStreamId);
  const rtmp::OutChunkStream* last = previous == m_outStreams.end() ? nullptr : &previous->second;
  uint8_t type = packet->headerType == rtmp::kHeaderFull ? rtmp::kHeaderFull : rtmp::kHeaderNoStreamId;
  if (last == nullptr || last->messageStreamId != packet->messageStreamId) type = rtmp::kHeaderFull;
  if (type == rtmp::kHeaderNoStreamId && last->bodySize == bodySize && last->messageType == packet->messageType) {
    type = rtmp::kHeaderTimeOnly;
  }
  const uint32_t delta = packet->timestamp - (type == rtmp::kHeaderFull ? 0 : last->timestamp);
  if (type == rtmp::kHeaderTimeOnly && last->deltaValid && last->delta == delta && delta < kExtendedTimestamp) {
    type = rtmp::kHeaderNone;
  }

  static constexpr size_t kMessageHeaderBytes[4] = {11, 7, 3, 0};
  const bool extended = type != rtmp::kHeaderNone && delta >= kExtendedTimestamp;
  const size_t headerSize = BasicHeaderSize(chunkStreamId) + kMessageHeaderBytes[type] + (extended ? 4 : 0);
  uint8_t* header = packet->body() - headerSize;
  size_t pos = PutBasicHeader(header, type, chunkStreamId);
  if (type <= rtmp::kHeaderTimeOnly) {
    PutBe24(header + pos, std::min(delta, kExtendedTimestamp));
    pos += 3;
  }
  if (type <= rtmp::kHeaderNoStreamId) {
    PutBe24(header + pos, static_cast<uint32_t>(bodySize));
    header[pos + 3] = packet->messageType;
    pos += 4;
  }
  if (type == rtmp::kHeaderFull) {
    const uint32_t id = static_cast<uint32_t>(packet->messageStreamId);
    header[pos] = static_cast<uint8_t>(id);
    header[pos + 1] = static_cast<uint8_t>(id >> 8);
    header[pos + 2] = static_cast<uint8_t>(id >> 16);
    header[pos + 3] = static_cast<uint8_t>(id >> 24);
    pos += 4;
  }
  if (extended) PutBe32(header + pos, delta);

  // Remembered before sending: the body is overwritten by continuation headers.
  if (queue && packet->messageType == rtmp::kCommand) {
    std::string method;
    int transaction = 0;
    if (rtmp::PeekMethodAndTransaction(packet->body(), bodySize, &method, &transaction)) {
      AddPendingCall(method, transaction);
    }
  }

  const size_t chunkSize = m_outChunkSize;
  size_t sent = std::min(bodySize, chunkSize);
  if (!WriteN(header, headerSize + sent)) return false;
  // Receivers (nginx-rtmp, FFmpeg) expect the extended value again after
  // each continuation header of a message whose header carried one.
  const size_t continuationSize = BasicHeaderSize(chunkStreamId) + (extended ? 4 : 0);
  while (sent < bodySize) {
    const size_t piece = std::min(bodySize - sent, chunkSize);
    // The continuation header goes over body bytes that are already on the wire.
    uint8_t* continuation = packet->body() + sent - continuationSize;
    const size_t basic = PutBasicHeader(continuation, rtmp::kHeaderNone, chunkStreamId);
    if (extended) PutBe32(continuation + basic, delta);
    if (!WriteN(continuation, continuationSize + piece)) return false;
    sent += piece;
  }

  rtmp::OutChunkStream& state = m_outStreams[chunkStreamId];
  if (type != rtmp::kHeaderNone) {
    state.delta = type == rtmp::kHeaderFull ? 0 : delta;
    state.deltaValid = type != rtmp::kHeaderFull;
  }
  state.messageType = packet->messageType;
  state.bodySize = static_cast<uint32_t>(bodySize);
  state.timestamp = packet->timestamp;
  state.messageStreamId = packet->messageStreamId;
  return true;
}

bool CRtmp::SendCommand(int chunkStreamId, uint8_t headerType, uint32_t timestamp, int32_t messageStreamId,
                        const uint8_t* body, size_t size, bool queue) {
  rtmp::RtmpOutPacket packet(headerType, rtmp::kCommand, chunkStreamId, timestamp, messageStreamId, size);
  std::memcpy(packet.body(), body, size);
  return RTMP_SendPacket(&packet, queue);
}

bool CRtmp::SendCtrl(uint16_t eventType, uint32_t value, uint32_t value2) {
  size_t size = 6;
  if (eventType == 26) size = 3;
  if (eventType == 27) size = 46;
  if (eventType == 3) size = 10;
  rtmp::RtmpOutPacket packet(rtmp::kHeaderNoStreamId, rtmp::kUserControl, rtmp::kControlChannel, 0, 0, size);
  uint8_t* body = packet.body();
  body[0] = static_cast<uint8_t>(eventType >> 8);
  body[1] = static_cast<uint8_t>(eventType);
  if (eventType == 26) {
    body[2] = static_cast<uint8_t>(value);
  } else if (eventType != 27) {
    PutBe32(body + 2, value);
    if (eventType == 3) PutBe32(body + 6, value2);
  }
  return RTMP_SendPacket(&packet, false);
}

bool CRtmp::SendChunkSizeAndSwitch(uint32_t chunkSize) {
  std::lock_guard<std::recursive_mutex> lock(m_sendLock);
  rtmp::RtmpOutPacket packet(rtmp::kHeaderFull, rtmp::kSetChunkSize, rtmp::kControlChannel, 0, 0, 4);
  PutBe32(packet.body(), chunkSize);
  if (!RTMP_SendPacket(&packet, false)) return false;
  m_outChunkSize = chunkSize;
  return true;
}
