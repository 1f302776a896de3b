// Message records of the RTMP client's chunk layer: what the reader hands to
// the dispatcher, what the writer sends, and the per-chunk-stream state each
// side keeps for header compression. Used only inside CRtmp.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace rtmp {

enum HeaderType : uint8_t { kHeaderFull = 0, kHeaderNoStreamId = 1, kHeaderTimeOnly = 2, kHeaderNone = 3 };

enum MessageType : uint8_t {
  kSetChunkSize = 1,
  kBytesRead = 3,
  kUserControl = 4,
  kWindowAckSize = 5,
  kSetPeerBandwidth = 6,
  kAudio = 8,
  kVideo = 9,
  kFlexStream = 15,
  kFlexSharedObject = 16,
  kFlexMessage = 17,
  kDataMessage = 18,
  kSharedObject = 19,
  kCommand = 20,
};

enum ChunkStream : int { kControlChannel = 2, kCommandChannel = 3, kPublishChannel = 4, kVideoChannel = 20, kAudioChannel = 21 };

// Announced bodies above this close the connection.
constexpr uint32_t kMaxIncomingBody = 2000000;
// Largest chunk header: 3 basic-header bytes, 11 message-header bytes, 4
// extended time stamp bytes.
constexpr size_t kMaxChunkHeader = 18;

// A complete incoming message.
struct RtmpMessage {
  uint8_t messageType = 0;
  int chunkStreamId = 0;
  uint32_t timestamp = 0;
  int32_t messageStreamId = 0;
  std::vector<uint8_t> body;
};

// Reader state of one incoming chunk stream: the header last read (time stamp
// as written: absolute after a full header, a delta otherwise) and the body
// of the message being assembled.
struct InChunkStream {
  uint8_t headerType = kHeaderFull;
  uint8_t messageType = 0;
  bool absoluteTimestamp = false;
  uint32_t timestamp = 0;
  // The last header's time field was 0xFFFFFF: every chunk of this stream,
  // continuations included, carries the 4-byte extended value until a
  // header says otherwise.
  bool extendedTimestamp = false;
  int32_t messageStreamId = 0;
  uint32_t bodySize = 0;
  uint32_t bytesRead = 0;
  uint32_t lastTimestamp = 0;  // absolute time of the last completed message
  std::vector<uint8_t> body;
};

// Writer state of one outgoing chunk stream: the header last sent. The delta
// is only meaningful after a header that carried one (types 1 and 2, and 3
// after them), which is what a receiver reuses for a 1-byte header.
struct OutChunkStream {
  uint8_t messageType = 0;
  uint32_t bodySize = 0;
  uint32_t timestamp = 0;
  int32_t messageStreamId = 0;
  uint32_t delta = 0;
  bool deltaValid = false;
};

// An outgoing message. The body lives behind kMaxChunkHeader spare bytes so
// the writer can put each chunk header directly in front of its piece
// without copying the body.
class RtmpOutPacket {
 public:
  RtmpOutPacket(uint8_t headerType, uint8_t messageType, int chunkStreamId, uint32_t timestamp,
                int32_t messageStreamId, size_t bodySize)
      : headerType(headerType),
        messageType(messageType),
        chunkStreamId(chunkStreamId),
        timestamp(timestamp),
        messageStreamId(messageStreamId),
        m_storage(kMaxChunkHeader + bodySize) {}

  uint8_t* body() { return m_storage.data() + kMaxChunkHeader; }
  const uint8_t* body() const { return m_storage.data() + kMaxChunkHeader; }
  size_t bodySize() const { return m_storage.size() - kMaxChunkHeader; }
  // Cuts the body to the bytes actually written (size <= bodySize()).
  void Truncate(size_t size) { m_storage.resize(kMaxChunkHeader + size); }

  uint8_t headerType;
  uint8_t messageType;
  int chunkStreamId;
  uint32_t timestamp;
  int32_t messageStreamId;

 private:
  std::vector<uint8_t> m_storage;
};

}  // namespace rtmp
