// A hostile or broken server: every length and type it sends is checked, bad
// ones end the connection, and nothing it sends can crash the client.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <random>
#include <thread>

#include "RtmpLib/jni/Rtmp.h"
#include "tests/rtmp/recording_notify.h"
#include "tests/support/fake_rtmp_server.h"

namespace {

namespace amf0 = test_support::amf0;
using test_support::Be32;
using test_support::RtmpChunks;

// The client reads from one end of a socket pair; the test scripts the other.
class HostileSession {
 public:
  HostileSession() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, m_pair) != 0) m_pair[0] = m_pair[1] = -1;
    m_client.reset(new CRtmp(&m_notify));
    m_client->AdoptSocketForTest(m_pair[0]);
  }
  ~HostileSession() {
    m_client.reset();
    ::close(m_pair[1]);
  }

  // Sends bytes, ends the server's side and lets the client read all of it.
  void Feed(const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
      const ssize_t n = ::send(m_pair[1], bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
    ::shutdown(m_pair[1], SHUT_WR);
    m_client->ReadAndDispatchForTest();
  }
  // Feeds bytes that are too many for the socket buffer from another thread.
  void FeedLarge(const std::string& bytes) {
    std::thread writer([&] {
      size_t sent = 0;
      while (sent < bytes.size()) {
        const ssize_t n = ::send(m_pair[1], bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
      }
      ::shutdown(m_pair[1], SHUT_WR);
    });
    m_client->ReadAndDispatchForTest();
    m_client->CloseSocket();
    writer.join();
  }
  // What the client sent back.
  std::string Answers() {
    std::string out;
    char buffer[4096];
    ssize_t n;
    while ((n = ::recv(m_pair[1], buffer, sizeof(buffer), MSG_DONTWAIT)) > 0) out.append(buffer, static_cast<size_t>(n));
    return out;
  }
  static std::string Ping(uint32_t value) { return RtmpChunks(2, 4, 0, 0, std::string("\x00\x06", 2) + Be32(value)); }
  static std::string PongBody(uint32_t value) { return std::string("\x00\x07", 2) + Be32(value); }
  int Closed() {
    const auto words = m_notify.Words();
    return static_cast<int>(std::count(words.begin(), words.end(), "NetConnection.Connect.Closed"));
  }

  int m_pair[2] = {-1, -1};
  RecordingNotify m_notify;
  std::unique_ptr<CRtmp> m_client;
};

class RtmpHostileInputTest : public ::testing::Test, public HostileSession {};

TEST_F(RtmpHostileInputTest, OversizedBodyClosesBeforeAnythingIsAllocated) {
  std::string header("\x03\x00\x00\x00", 4);
  header += std::string("\x1E\x84\x81", 3);  // 2000001 bytes
  header += std::string("\x14\x00\x00\x00\x00", 5);
  Feed(header + Ping(1));
  EXPECT_EQ(Closed(), 1);
  EXPECT_EQ(Answers().find(PongBody(1)), std::string::npos);
}

TEST_F(RtmpHostileInputTest, ChunkSizeZeroOrAboveRangeCloses) {
  for (uint32_t size : {0u, 0x80000000u, 0xFFFFFFFFu}) {
    HostileSession session;
    session.Feed(RtmpChunks(2, 1, 0, 0, Be32(size)) + Ping(7));
    EXPECT_EQ(session.Closed(), 1) << size;
    EXPECT_EQ(session.Answers().find(PongBody(7)), std::string::npos) << size;
  }
}

TEST_F(RtmpHostileInputTest, ShortControlBodiesAreIgnored) {
  std::string bytes;
  bytes += RtmpChunks(2, 1, 0, 0, std::string("\x00\x01", 2));   // chunk size, 2 bytes
  bytes += RtmpChunks(2, 5, 0, 0, std::string("\x00", 1));       // window ack, 1 byte
  bytes += RtmpChunks(2, 6, 0, 0, std::string("\x00\x01\x02", 3));  // peer bandwidth, 3 bytes
  bytes += RtmpChunks(2, 4, 0, 0, std::string("\x00", 1));        // user control, no event
  bytes += RtmpChunks(2, 4, 0, 0, std::string("\x00\x06\x01", 3));  // ping without its value
  bytes += RtmpChunks(2, 4, 0, 0, std::string("\x00\x1A", 2));    // SWF verification, empty
  bytes += Ping(0x0A0B0C0D);
  Feed(bytes);
  EXPECT_NE(Answers().find(PongBody(0x0A0B0C0D)), std::string::npos);
}

TEST_F(RtmpHostileInputTest, LargerChunkSizeFromTheServerIsHonoured) {
  std::string body = amf0::String("onStatus") + amf0::Number(0) + amf0::Null() +
                     amf0::Object({{"code", "NetStream.Publish.Start"}, {"pad", std::string(500, 'p')}});
  Feed(RtmpChunks(2, 1, 0, 0, Be32(4096)) + RtmpChunks(5, 20, 0, 1, body, 4096));
  EXPECT_EQ(m_notify.Connected(), 1);
}

TEST_F(RtmpHostileInputTest, DeeplyNestedAmfIsRefusedWithoutRecursingIntoIt) {
  std::string nested;
  for (int i = 0; i < 100000; ++i) nested += std::string("\x03\x00\x01x", 4);
  std::string body = amf0::String("onStatus") + amf0::Number(0) + amf0::Null() + nested;
  FeedLarge(RtmpChunks(5, 20, 0, 1, body, 128) + test_support::RtmpOnStatus("NetStream.Publish.Start"));
  // The nested message was dropped; the well-formed one after it still counted.
  EXPECT_EQ(m_notify.Connected(), 1);
}

TEST_F(RtmpHostileInputTest, TruncatedAndMistypedCommandsAreDropped) {
  std::string bytes;
  const std::string good = amf0::String("onStatus") + amf0::Number(0) + amf0::Null();
  bytes += RtmpChunks(3, 20, 0, 0, std::string("\x02\x00\xFF" "abc", 6));           // string longer than body
  bytes += RtmpChunks(3, 20, 0, 0, amf0::Number(5));                               // no method
  bytes += RtmpChunks(3, 20, 0, 0, good + amf0::Object({{"code", "x"}}).substr(0, 8));  // cut object
  bytes += RtmpChunks(3, 20, 0, 0, good + std::string("\x0A\xFF\xFF\xFF\xFF", 5));  // strict array, huge count
  bytes += RtmpChunks(3, 20, 0, 0, good + std::string("\x11\x0A\x0B\x01", 4));      // AMF3 switch
  bytes += RtmpChunks(3, 20, 0, 0, amf0::String("_result") + amf0::Number(1e300) + amf0::Null());
  bytes += RtmpChunks(3, 20, 0, 0, amf0::String("onStatus") + amf0::Number(0) + amf0::Null() + amf0::Number(3));
  bytes += RtmpChunks(3, 17, 0, 0, std::string(1, '\0'));                          // flex message, empty
  bytes += Ping(3);
  Feed(bytes);
  EXPECT_EQ(m_notify.Connected(), 0);
  EXPECT_NE(Answers().find(PongBody(3)), std::string::npos);
}

TEST_F(RtmpHostileInputTest, ServerCloseAndFatalStatusEndTheConnectionOnce) {
  Feed(test_support::RtmpOnStatus("NetStream.Publish.BadName", "error") + test_support::RtmpCommand("close", 0, ""));
  const auto words = m_notify.Words();
  EXPECT_EQ(words, (std::vector<std::string>{"NetConnection.Connect.Closed", "NetStream.Publish.BadName"}));
}

TEST_F(RtmpHostileInputTest, ExtendedTimestampsAndInterleavedStreamsAreReassembled) {
  // Two messages interleaved on two chunk streams, one with an extended time stamp.
  const std::string a = amf0::String("onStatus") + amf0::Number(0) + amf0::Null() +
                        amf0::Object({{"code", "NetStream.Publish.Start"}, {"pad", std::string(300, 'a')}});
  const std::string b = amf0::String("onStatus") + amf0::Number(0) + amf0::Null() +
                        amf0::Object({{"code", "Custom.Code"}, {"pad", std::string(300, 'b')}});
  const std::string chunksA = RtmpChunks(5, 20, 0x1234567, 1, a);
  const std::string chunksB = RtmpChunks(6, 20, 10, 1, b);
  // Split each into header+first chunk and the rest, then interleave.
  const size_t firstA = 16 + 128;
  const size_t firstB = 12 + 128;
  // Then a message of the same length that starts with a 1-byte header: it
  // repeats the extended value too, after each of its headers.
  const std::string c = amf0::String("onStatus") + amf0::Number(0) + amf0::Null() +
                        amf0::Object({{"code", "NetStream.Custom.Second"}, {"pad", std::string(300, 'c')}});
  ASSERT_EQ(c.size(), a.size());
  std::string chunksC;
  for (size_t sent = 0; sent < c.size(); sent += 128) chunksC += "\xC5" + Be32(0x1234567) + c.substr(sent, 128);
  Feed(chunksA.substr(0, firstA) + chunksB.substr(0, firstB) + chunksA.substr(firstA) + chunksB.substr(firstB) +
       chunksC + Ping(9));
  const auto words = m_notify.Words();
  EXPECT_NE(std::find(words.begin(), words.end(), "NetStream.Publish.Start"), words.end());
  EXPECT_NE(std::find(words.begin(), words.end(), "Custom.Code"), words.end());
  EXPECT_NE(std::find(words.begin(), words.end(), "NetStream.Custom.Second"), words.end());
  EXPECT_NE(Answers().find(PongBody(9)), std::string::npos);
}

TEST_F(RtmpHostileInputTest, RandomBytesNeverCrash) {
  std::mt19937 random(12345);
  for (int round = 0; round < 200; ++round) {
    HostileSession session;
    std::string bytes(1 + random() % 3000, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    // Half start validly, so the reader gets past the first header.
    if (round % 2 == 0) bytes = RtmpChunks(2, 1, 0, 0, Be32(1 + random() % 300)) + bytes;
    session.Feed(bytes);
  }
}

}  // namespace
