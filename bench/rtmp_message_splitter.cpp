#include "bench/rtmp_message_splitter.h"

#include <algorithm>

namespace {

constexpr uint8_t kSetChunkSize = 1;

uint32_t Be(const std::string& s, size_t at, int bytes) {
  uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) value = (value << 8) | static_cast<uint8_t>(s[at + i]);
  return value;
}

}  // namespace

void RtmpMessageSplitter::Feed(const char* bytes, size_t count) {
  if (m_broken) return;
  size_t skip = std::min(m_handshakeLeft, count);
  m_handshakeLeft -= skip;
  m_pending.append(bytes + skip, count - skip);
  while (!m_broken && TakeChunk()) {
  }
}

bool RtmpMessageSplitter::TakeChunk() {
  const std::string& in = m_pending;
  if (in.empty()) return false;
  const uint8_t first = static_cast<uint8_t>(in[0]);
  const int format = first >> 6;
  size_t at = 1;
  uint32_t id = first & 0x3f;
  if (id == 0) {
    if (in.size() < 2) return false;
    id = 64 + static_cast<uint8_t>(in[1]);
    at = 2;
  } else if (id == 1) {
    if (in.size() < 3) return false;
    id = 64 + static_cast<uint8_t>(in[1]) + 256u * static_cast<uint8_t>(in[2]);
    at = 3;
  }
  static constexpr size_t kHeaderBytes[] = {11, 7, 3, 0};
  if (in.size() < at + kHeaderBytes[format]) return false;
  ChunkStream& stream = m_streams[id];
  uint32_t stamp = 0;
  uint32_t length = stream.length;
  uint8_t type = stream.type;
  bool extended = stream.extended;
  if (format < 3) {
    stamp = Be(in, at, 3);
    extended = stamp == 0xFFFFFF;
  }
  if (format < 2) {
    length = Be(in, at + 3, 3);
    type = static_cast<uint8_t>(in[at + 6]);
  }
  at += kHeaderBytes[format];
  if (extended) {
    if (in.size() < at + 4) return false;
    if (format < 3) stamp = Be(in, at, 4);
    at += 4;
  }
  const bool starts = stream.partial.empty() || format < 3;
  const size_t payload = std::min<size_t>(m_chunkSize, length - (starts ? 0 : stream.partial.size()));
  if (in.size() < at + payload) return false;

  if (starts) {
    stream.partial.clear();
    if (format == 0) {
      stream.timestamp = stamp;
      stream.delta = 0;
    } else {
      if (format < 3) stream.delta = stamp;
      stream.timestamp += stream.delta;
    }
    stream.length = length;
    stream.type = type;
    if (format < 3) stream.extended = extended;
  }
  stream.partial.append(in, at, payload);
  m_pending.erase(0, at + payload);
  if (stream.partial.size() < stream.length) return true;

  RtmpWatchedMessage message;
  message.type = stream.type;
  message.timestamp = stream.timestamp;
  message.body.swap(stream.partial);
  if (message.type == kSetChunkSize) {
    if (message.body.size() < 4) {
      m_broken = true;
      return false;
    }
    m_chunkSize = Be(message.body, 0, 4) & 0x7fffffffu;
    if (m_chunkSize == 0) {
      m_broken = true;
      return false;
    }
  }
  m_sink(message);
  return true;
}
