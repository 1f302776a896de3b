// A scripted RTMP server for wire-level tests of the RTMP client: it listens
// on a free loopback port, accepts one client, performs the server side of
// the handshake, parses what the client sends chunk by chunk (keeping each
// chunk's raw header bytes) and sends whatever bytes a test scripts,
// including hostile ones. Single-threaded; every wait has a time-out.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace test_support {

struct FakeRtmpMessage {
  int chunkStreamId = 0;
  uint8_t type = 0;
  uint32_t timestamp = 0;  // absolute, as a receiver reconstructs it
  uint32_t messageStreamId = 0;
  std::string body;
  std::vector<std::string> chunkHeaders;  // raw header bytes of each chunk
  // The first chunk used the 1-byte form right after a full header, whose
  // meaning receivers disagree on.
  bool ambiguousDelta = false;
};

class FakeRtmpServer {
 public:
  FakeRtmpServer();
  ~FakeRtmpServer();
  FakeRtmpServer(const FakeRtmpServer&) = delete;
  FakeRtmpServer& operator=(const FakeRtmpServer&) = delete;

  int port() const { return m_port; }
  std::string Url(const std::string& app, const std::string& stream) const;

  bool Accept(int timeoutMs = 5000);
  int clientSocket() const { return m_client; }
  // Server side of the handshake. With corruptS2 the S2 sent back differs
  // from C1. *c1 receives the client's C1 when given.
  bool Handshake(bool corruptS2 = false, std::string* c1 = nullptr, int timeoutMs = 5000);

  bool ReadExact(size_t n, std::string* out, int timeoutMs = 5000);
  bool Send(const std::string& bytes);
  // True when nothing arrives within timeoutMs (and the connection is still up).
  bool NothingArrives(int timeoutMs);
  // True when the client closed (EOF or reset) within timeoutMs.
  bool ClientClosed(int timeoutMs);
  void CloseClient();

  // Next complete message from the client; chunk size changes it announces
  // are applied.
  bool ReadMessage(FakeRtmpMessage* message, int timeoutMs = 5000);
  // Next command message (type 20), skipping others; its method in *method.
  bool ReadCommand(FakeRtmpMessage* message, std::string* method, int timeoutMs = 5000);

 private:
  struct StreamState {
    uint32_t timestamp = 0;
    uint32_t delta = 0;
    bool deltaValid = false;
    bool extended = false;  // the last time field was 0xFFFFFF
    uint32_t length = 0;
    uint8_t type = 0;
    uint32_t messageStreamId = 0;
    std::string partial;
    std::vector<std::string> headers;
    bool ambiguous = false;
  };

  int m_listen = -1;
  int m_client = -1;
  int m_port = 0;
  uint32_t m_inChunkSize = 128;
  std::map<int, StreamState> m_streams;
  std::string m_buffer;  // received but not yet parsed
};

// Building server messages.
namespace amf0 {
std::string String(const std::string& value);
std::string Number(double value);
std::string Boolean(bool value);
std::string Null();
// An object of string members, in the given order.
std::string Object(const std::vector<std::pair<std::string, std::string>>& members);
// Decodes the string at the start of an AMF0 body ("" when there is none).
std::string FirstString(const std::string& body);
}  // namespace amf0

// One message as chunks with a full first header (and 1-byte continuation
// headers every chunkSize bytes).
std::string RtmpChunks(int chunkStreamId, uint8_t type, uint32_t timestamp, uint32_t messageStreamId,
                       const std::string& body, uint32_t chunkSize = 128);
// A command: name, transaction, null, then the given AMF0 values.
std::string RtmpCommand(const std::string& name, double transaction, const std::string& arguments,
                        uint32_t messageStreamId = 0);
std::string RtmpOnStatus(const std::string& code, const std::string& level = "status", uint32_t messageStreamId = 1);
std::string Be32(uint32_t value);
std::string Be16(uint16_t value);

}  // namespace test_support
