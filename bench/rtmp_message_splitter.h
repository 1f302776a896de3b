// Follows the bytes an RTMP publisher sends to its server (handshake, then
// chunks) and hands back each message once its last byte has been fed, so a
// relay can tell when a video message has completely arrived. It only
// watches: it never answers, and it gives up (Broken()) on a stream it cannot
// follow rather than guessing.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

struct RtmpWatchedMessage {
  uint8_t type = 0;
  uint32_t timestamp = 0;
  std::string body;
};

class RtmpMessageSplitter {
 public:
  using Sink = std::function<void(const RtmpWatchedMessage&)>;
  explicit RtmpMessageSplitter(Sink sink) : m_sink(std::move(sink)) {}

  void Feed(const char* bytes, size_t count);
  bool Broken() const { return m_broken; }

 private:
  struct ChunkStream {
    uint32_t timestamp = 0;
    uint32_t delta = 0;
    uint32_t length = 0;
    uint8_t type = 0;
    bool extended = false;  // the last full header carried an extended stamp
    std::string partial;
  };
  // Parses one chunk from the front of m_pending; false when it is not all there.
  bool TakeChunk();

  Sink m_sink;
  std::string m_pending;
  size_t m_handshakeLeft = 1 + 1536 + 1536;  // C0, C1, C2
  uint32_t m_chunkSize = 128;
  std::map<uint32_t, ChunkStream> m_streams;
  bool m_broken = false;
};
