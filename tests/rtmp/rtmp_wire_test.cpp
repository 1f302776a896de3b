// The RTMP client's bytes on the wire and its status words, checked against
// a scripted server on loopback.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <map>
#include <memory>
#include <thread>

#include <sys/socket.h>
#include <unistd.h>

#include "RtmpLib/jni/IRtmpLib.h"
#include "RtmpLib/jni/Rtmp.h"
#include "RtmpLib/jni/rtmp_send_buffer.h"
#include "tests/rtmp/recording_notify.h"
#include "tests/support/fake_rtmp_server.h"
#include "tests/support/free_port.h"

namespace {

using test_support::FakeRtmpMessage;
using test_support::FakeRtmpServer;
using Client = std::unique_ptr<IRtmpLib, RtmpLibDeleter>;
namespace amf0 = test_support::amf0;

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

int Count(const std::vector<std::string>& words, const std::string& word) {
  return static_cast<int>(std::count(words.begin(), words.end(), word));
}

// Runs the server side of a connection up to "NetStream.Publish.Start".
class RtmpWireTest : public ::testing::Test {
 protected:
  void SetUp() override { m_client.reset(CreateRtmpLib(&m_notify)); }

  void ConnectUntilConnectCommand(bool corruptS2 = false) {
    ASSERT_TRUE(m_client->Connect(m_server.Url("app", "stream").c_str()));
    ASSERT_TRUE(m_server.Accept());
    ASSERT_TRUE(m_server.Handshake(corruptS2));
    std::string method;
    ASSERT_TRUE(m_server.ReadCommand(&m_connect, &method));
    ASSERT_EQ(method, "connect");
  }

  void Publish() {
    ConnectUntilConnectCommand();
    ASSERT_TRUE(m_server.Send(test_support::RtmpChunks(2, 5, 0, 0, test_support::Be32(2500000)) +
                              test_support::RtmpCommand("_result", 1, amf0::Object({{"fmsVer", "FMS/3,0,1,123"}}) +
                                                                          amf0::Object({{"code", "NetConnection.Connect.Success"}}))));
    FakeRtmpMessage message;
    std::string method;
    for (const char* expected : {"releaseStream", "FCPublish", "createStream"}) {
      ASSERT_TRUE(m_server.ReadCommand(&message, &method));
      ASSERT_EQ(method, expected);
      EXPECT_EQ(message.chunkHeaders[0].size(), 8u) << method;
      EXPECT_EQ(static_cast<uint8_t>(message.chunkHeaders[0][0]), 0x43) << method;
    }
    ASSERT_TRUE(m_server.Send(test_support::RtmpCommand("_result", 4, amf0::Number(1))));
    ASSERT_TRUE(m_server.ReadCommand(&message, &method));
    ASSERT_EQ(method, "publish");
    EXPECT_EQ(message.chunkStreamId, 4);
    EXPECT_EQ(message.messageStreamId, 1u);
    EXPECT_EQ(message.chunkHeaders[0].size(), 12u);
    ASSERT_TRUE(m_server.ReadMessage(&message));
    EXPECT_EQ(message.type, 1);
    EXPECT_EQ(message.body, test_support::Be32(1048576));
    ASSERT_TRUE(m_server.Send(test_support::RtmpOnStatus("NetStream.Publish.Start")));
    ASSERT_TRUE(m_notify.WaitForWord("NetStream.Publish.Start", 5000));
    EXPECT_EQ(m_notify.Connected(), 1);
  }

  bool SendAac(const std::string& frame, unsigned timestamp) {
    return m_client->SendAAC(reinterpret_cast<const unsigned char*>(frame.data()), static_cast<int>(frame.size()),
                             timestamp);
  }
  bool SendVideo(const std::string& au, unsigned timestamp) {
    return m_client->SendVideoH264(reinterpret_cast<const unsigned char*>(au.data()), static_cast<int>(au.size()),
                                   timestamp);
  }

  FakeRtmpServer m_server;
  RecordingNotify m_notify;
  Client m_client;
  FakeRtmpMessage m_connect;
};

TEST_F(RtmpWireTest, ConnectCommandIsChunkedAt128BytesWithC3Continuations) {
  ConnectUntilConnectCommand();
  EXPECT_EQ(m_connect.chunkStreamId, 3);
  ASSERT_GT(m_connect.body.size(), 128u);
  ASSERT_EQ(m_connect.chunkHeaders.size(), (m_connect.body.size() + 127) / 128);
  EXPECT_EQ(Hex(m_connect.chunkHeaders[0].substr(0, 1)), "03");
  EXPECT_EQ(m_connect.chunkHeaders[0].size(), 12u);
  for (size_t i = 1; i < m_connect.chunkHeaders.size(); ++i) EXPECT_EQ(Hex(m_connect.chunkHeaders[i]), "C3");
  const std::string tcUrl = "rtmp://127.0.0.1:" + std::to_string(m_server.port()) + "/app";
  EXPECT_NE(m_connect.body.find(amf0::String(tcUrl)), std::string::npos);
  EXPECT_NE(m_connect.body.find(amf0::String("connect") + amf0::Number(1)), std::string::npos);
  EXPECT_NE(m_connect.body.find(amf0::String("WIN 10,0,32,18")), std::string::npos);
}

TEST_F(RtmpWireTest, ServerWhoseS2DiffersFromC1StillGetsTheConnectCommand) {
  ConnectUntilConnectCommand(/*corruptS2=*/true);
  EXPECT_EQ(Count(m_notify.Words(), "NetConnection.Connect.Closed"), 0);
}

TEST_F(RtmpWireTest, AudioHeadersShrinkOnlyWhenTheDeltaRepeats) {
  Publish();
  ASSERT_TRUE(m_client->SetAudioParams(2, 44100));
  const std::string frame(100, '\x21');
  const unsigned kHuge = 46u + 0x1000000u;
  for (unsigned timestamp : {0u, 23u, 46u, 46u, 46u, kHuge}) ASSERT_TRUE(SendAac(frame, timestamp));

  FakeRtmpMessage header;
  ASSERT_TRUE(m_server.ReadMessage(&header));
  EXPECT_EQ(header.chunkStreamId, 21);
  EXPECT_EQ(Hex(header.body), "AF 00 13 88 56 E5 A0");
  EXPECT_EQ(Hex(header.chunkHeaders[0].substr(0, 1)), "15");
  EXPECT_EQ(header.messageStreamId, 1u);

  struct Expected {
    size_t headerSize;
    uint32_t timestamp;
  };
  const Expected expected[] = {{12, 0}, {4, 23}, {1, 46}, {4, 46}, {1, 46}, {8, kHuge}};
  for (const Expected& e : expected) {
    FakeRtmpMessage message;
    ASSERT_TRUE(m_server.ReadMessage(&message));
    EXPECT_EQ(message.type, 8);
    EXPECT_EQ(message.chunkHeaders[0].size(), e.headerSize) << Hex(message.chunkHeaders[0]);
    EXPECT_EQ(message.timestamp, e.timestamp);
    EXPECT_FALSE(message.ambiguousDelta);
    EXPECT_EQ(message.body, std::string("\xAF\x01", 2) + frame);
  }
}

TEST_F(RtmpWireTest, ExtendedTimestampIsRepeatedAfterEveryContinuationHeader) {
  Publish();
  ASSERT_TRUE(m_client->SetAudioParams(2, 44100));
  // Longer than the publishing chunk size of 1 MiB, so it needs a continuation.
  std::string frame(1100000, '\0');
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<char>(i * 31);
  const unsigned kHuge = 0x1000005;
  // More than the client's send buffer holds: sent while the server reads.
  auto sent = std::async(std::launch::async,
                         [&] { return SendAac(frame, kHuge) && SendAac("after", kHuge + 23); });

  FakeRtmpMessage message;
  ASSERT_TRUE(m_server.ReadMessage(&message));  // the sequence header
  ASSERT_TRUE(m_server.ReadMessage(&message));
  EXPECT_EQ(message.timestamp, kHuge);
  ASSERT_EQ(message.chunkHeaders.size(), 2u);
  EXPECT_EQ(Hex(message.chunkHeaders[0]), "55 FF FF FF 10 C8 E2 08 01 00 00 05");
  EXPECT_EQ(Hex(message.chunkHeaders[1]), "D5 01 00 00 05");
  EXPECT_TRUE(message.body == std::string("\xAF\x01", 2) + frame) << "body damaged";
  // The stream is still in step: the next message has an ordinary header.
  ASSERT_TRUE(m_server.ReadMessage(&message));
  EXPECT_EQ(message.timestamp, kHuge + 23);
  EXPECT_EQ(message.body, std::string("\xAF\x01" "after", 7));
  EXPECT_TRUE(sent.get());
}

TEST_F(RtmpWireTest, OnStatusWithoutAStringCodeIsDropped) {
  Publish();
  const std::string head = amf0::String("onStatus") + amf0::Number(0) + amf0::Null();
  const std::string numericCode =
      std::string(1, '\x03') + test_support::Be16(4) + "code" + amf0::Number(5) + std::string("\x00\x00\x09", 3);
  ASSERT_TRUE(m_server.Send(test_support::RtmpChunks(5, 20, 0, 1, head + amf0::Object({{"level", "status"}}))));
  ASSERT_TRUE(m_server.Send(test_support::RtmpChunks(5, 20, 0, 1, head + numericCode)));
  ASSERT_TRUE(m_server.Send(test_support::RtmpChunks(5, 20, 0, 1, head + amf0::Object({{"code", ""}}))));
  ASSERT_TRUE(m_server.Send(test_support::RtmpChunks(5, 20, 0, 1, head + amf0::Number(3))));
  ASSERT_TRUE(m_server.Send(test_support::RtmpOnStatus("Custom.After")));
  ASSERT_TRUE(m_notify.WaitForWord("Custom.After", 5000));
  EXPECT_EQ(m_notify.Words(), (std::vector<std::string>{"HighQualityService.Connect.Success",
                                                        "NetConnection.Connect.Success", "NetStream.Publish.Start",
                                                        "Custom.After"}));
}

TEST_F(RtmpWireTest, ServerThatStopsReadingEndsTheSendWithClosedOnce) {
  constexpr int kStallMs = 500;
  static_cast<CRtmp*>(m_client.get())->SetSendStallTimeoutForTest(kStallMs);
  Publish();
  int small = 4096;
  ASSERT_EQ(::setsockopt(m_server.clientSocket(), SOL_SOCKET, SO_RCVBUF, &small, sizeof(small)), 0);
  ASSERT_TRUE(m_client->SetAudioParams(2, 44100));
  // From here on the server reads nothing but keeps the connection open.
  std::atomic<bool> sendFailed{false};
  std::thread sender([&] {
    const std::string frame(64 * 1024, '\x21');
    for (unsigned timestamp = 0; SendAac(frame, timestamp); timestamp += 23) {
    }
    sendFailed = true;
  });
  // Filling the buffers takes moments; then only the stall limit is left.
  const bool closed = m_notify.WaitForWord("NetConnection.Connect.Closed", kStallMs + 5000);
  if (!closed) m_client->CloseSocket();  // frees the blocked sender so the test can end
  sender.join();
  ASSERT_TRUE(closed);
  EXPECT_TRUE(sendFailed);
  EXPECT_FALSE(SendAac("late", 1u << 30));
  EXPECT_EQ(Count(m_notify.Words(), "NetConnection.Connect.Closed"), 1);
  EXPECT_EQ(Count(m_notify.Words(), "NetConnection.Connect.Failed"), 0);
}

TEST_F(RtmpWireTest, LateTimestampsNeverMoveAStreamBackwards) {
  Publish();
  ASSERT_TRUE(m_client->SetAudioParams(2, 44100));
  const std::string frame(50, '\x21');
  for (unsigned timestamp : {100u, 123u, 110u, 146u}) ASSERT_TRUE(SendAac(frame, timestamp));
  const std::string start4("\x00\x00\x00\x01", 4);
  const std::string key = start4 + std::string("\x67\x4D\x40\x1F\xAA", 5) + start4 + std::string("\x68\xEE", 2) +
                          start4 + std::string("\x65\x88", 2);
  const std::string inter = start4 + std::string("\x41\x9A", 2);
  ASSERT_TRUE(SendVideo(key, 200));
  ASSERT_TRUE(SendVideo(inter, 240));
  ASSERT_TRUE(SendVideo(inter, 220));
  ASSERT_TRUE(SendVideo(inter, 280));

  std::map<int, std::vector<uint32_t>> received;
  for (int i = 0; i < 10; ++i) {
    FakeRtmpMessage message;
    ASSERT_TRUE(m_server.ReadMessage(&message));
    received[message.type].push_back(message.timestamp);
  }
  EXPECT_EQ(received[8], (std::vector<uint32_t>{0, 100, 123, 123, 146}));
  EXPECT_EQ(received[9], (std::vector<uint32_t>{200, 200, 240, 240, 280}));
}

TEST_F(RtmpWireTest, FramesBeyondTheMessageSizeLimitAreRefusedAndTheStreamGoesOn) {
  Publish();
  ASSERT_TRUE(m_client->SetAudioParams(2, 44100));
  const std::string huge(0x1000000, '\x21');  // one byte over a 24-bit message length
  EXPECT_FALSE(SendAac(huge, 10));
  EXPECT_FALSE(SendVideo(std::string("\x00\x00\x01\x65", 4) + huge, 10));
  ASSERT_TRUE(SendAac("ok", 20));
  FakeRtmpMessage message;
  ASSERT_TRUE(m_server.ReadMessage(&message));  // the sequence header
  ASSERT_TRUE(m_server.ReadMessage(&message));
  EXPECT_EQ(message.timestamp, 20u);
  EXPECT_EQ(message.body, std::string("\xAF\x01ok", 4));
}

TEST_F(RtmpWireTest, AudioHeaderBytesFollowRateAndChannels) {
  Publish();
  ASSERT_TRUE(m_client->SetAudioParams(1, 24000));
  ASSERT_TRUE(SendAac("x", 0));
  FakeRtmpMessage header;
  ASSERT_TRUE(m_server.ReadMessage(&header));
  EXPECT_EQ(Hex(header.body), "AF 00 14 88 56 E5 B0");
}

TEST_F(RtmpWireTest, VideoStartsAtTheFirstKeyFrameWithItsOwnParameterSets) {
  Publish();
  const std::string start4("\x00\x00\x00\x01", 4);
  const std::string start3("\x00\x00\x01", 3);
  const std::string sps("\x67\x4D\x40\x1F\xAA\xBB", 6);
  const std::string pps("\x68\xEE\x3C\x80", 4);
  const std::string idr("\x65\x88\x84\x00\x33", 5);
  const std::string inter = start4 + std::string("\x41\x9A\x02", 3);

  EXPECT_FALSE(SendVideo(inter, 0));
  EXPECT_TRUE(m_server.NothingArrives(200));

  ASSERT_TRUE(SendVideo(start4 + sps + start4 + pps + start3 + idr, 40));
  FakeRtmpMessage config;
  ASSERT_TRUE(m_server.ReadMessage(&config));
  EXPECT_EQ(config.chunkStreamId, 20);
  EXPECT_EQ(config.timestamp, 40u);
  EXPECT_EQ(Hex(config.body), "17 00 00 00 00 01 4D 40 1F FF E1 00 06 67 4D 40 1F AA BB 01 00 04 68 EE 3C 80");
  FakeRtmpMessage key;
  ASSERT_TRUE(m_server.ReadMessage(&key));
  EXPECT_EQ(key.timestamp, 40u);
  EXPECT_EQ(Hex(key.body), "17 01 00 00 00 00 00 00 05 65 88 84 00 33");

  ASSERT_TRUE(SendVideo(inter, 80));
  FakeRtmpMessage next;
  ASSERT_TRUE(m_server.ReadMessage(&next));
  EXPECT_EQ(Hex(next.body), "27 01 00 00 00 00 00 00 03 41 9A 02");
  EXPECT_EQ(next.timestamp, 80u);

  // The same parameter sets again: no new sequence header.
  ASSERT_TRUE(SendVideo(start4 + sps + start4 + pps + start4 + idr, 120));
  ASSERT_TRUE(m_server.ReadMessage(&next));
  EXPECT_EQ(Hex(next.body.substr(0, 2)), "17 01");

  // A new SPS (another level) is announced before its key frame.
  const std::string sps2("\x67\x4D\x40\x28\xAA\xBB", 6);
  ASSERT_TRUE(SendVideo(start4 + sps2 + start4 + pps + start4 + idr, 160));
  ASSERT_TRUE(m_server.ReadMessage(&next));
  EXPECT_EQ(Hex(next.body.substr(0, 9)), "17 00 00 00 00 01 4D 40 28");
  ASSERT_TRUE(m_server.ReadMessage(&next));
  EXPECT_EQ(Hex(next.body.substr(0, 2)), "17 01");
}

TEST_F(RtmpWireTest, ServerPingIsEchoedAndOwnPingMeasuresTheRoundTrip) {
  Publish();
  ASSERT_TRUE(m_server.Send(test_support::RtmpChunks(2, 4, 0, 0, std::string("\x00\x06", 2) + test_support::Be32(0x01020304))));
  FakeRtmpMessage pong;
  ASSERT_TRUE(m_server.ReadMessage(&pong));
  EXPECT_EQ(pong.type, 4);
  EXPECT_EQ(Hex(pong.body), "00 07 01 02 03 04");

  ASSERT_TRUE(m_client->SendPing());
  FakeRtmpMessage ping;
  ASSERT_TRUE(m_server.ReadMessage(&ping));
  ASSERT_EQ(ping.body.size(), 6u);
  EXPECT_EQ(Hex(ping.body.substr(0, 2)), "00 06");
  ASSERT_TRUE(m_server.Send(test_support::RtmpChunks(2, 4, 0, 0, std::string("\x00\x07", 2) + ping.body.substr(2))));
  EXPECT_TRUE(m_notify.WaitForRoundTrip(3000));
}

TEST_F(RtmpWireTest, ServerClosingTheConnectionRaisesClosedOnce) {
  Publish();
  m_server.CloseClient();
  ASSERT_TRUE(m_notify.WaitForWord("NetConnection.Connect.Closed", 5000));
  m_client->CloseSocket();
  EXPECT_EQ(Count(m_notify.Words(), "NetConnection.Connect.Closed"), 1);
  EXPECT_FALSE(SendAac("x", 10));
}

TEST_F(RtmpWireTest, SilentServerEndsTheConnectPhaseWithFailedThenClosed) {
  static_cast<CRtmp*>(m_client.get())->SetConnectPhaseTimeoutForTest(300);
  ASSERT_TRUE(m_client->Connect(m_server.Url("app", "s").c_str()));
  ASSERT_TRUE(m_server.Accept());
  ASSERT_TRUE(m_notify.WaitForWord("NetConnection.Connect.Closed", 5000));
  const auto words = m_notify.Words();
  ASSERT_EQ(words.size(), 4u) << ::testing::PrintToString(words);
  EXPECT_EQ(words[2], "NetConnection.Connect.Failed");
  EXPECT_EQ(words[3], "NetConnection.Connect.Closed");
}

TEST_F(RtmpWireTest, TricklingServerCannotStretchTheConnectPhase) {
  constexpr int kLimitMs = 1000;
  static_cast<CRtmp*>(m_client.get())->SetConnectPhaseTimeoutForTest(kLimitMs);
  const auto start = std::chrono::steady_clock::now();
  ConnectUntilConnectCommand();
  // Valid pings, one byte every 100 ms: no single read waits long, and the
  // command sequence never ends.
  std::string trickle;
  for (uint32_t i = 0; i < 5; ++i) {
    trickle += test_support::RtmpChunks(2, 4, 0, 0, std::string("\x00\x06", 2) + test_support::Be32(i));
  }
  for (size_t next = 0; next < trickle.size(); ++next) {
    if (m_notify.WaitForWord("NetConnection.Connect.Closed", 100) || !m_server.Send(trickle.substr(next, 1))) break;
  }
  ASSERT_TRUE(m_notify.WaitForWord("NetConnection.Connect.Closed", 0)) << "still connecting after the trickle";
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(elapsed, std::chrono::milliseconds(kLimitMs + 2000));
  const auto words = m_notify.Words();
  ASSERT_EQ(words.size(), 4u) << ::testing::PrintToString(words);
  EXPECT_EQ(words[2], "NetConnection.Connect.Failed");
  EXPECT_EQ(words[3], "NetConnection.Connect.Closed");
}

TEST_F(RtmpWireTest, TcpSuccessWordsArriveBeforeAnyHandshakeByte) {
  std::atomic<int> acceptedSocket{-1};
  std::atomic<int> bytesWaitingAtSuccess{-1};
  m_notify.onStatus = [&](const std::string& word) {
    if (word != "NetConnection.Connect.Success") return;
    // The client's thread waits here, so whatever it sent before raising
    // the word has reached the server by the time we look.
    for (int i = 0; i < 200 && acceptedSocket == -1; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    char probe[1];
    const ssize_t n = ::recv(acceptedSocket, probe, 1, MSG_PEEK | MSG_DONTWAIT);
    bytesWaitingAtSuccess = n > 0 ? 1 : 0;
  };
  ASSERT_TRUE(m_client->Connect(m_server.Url("app", "s").c_str()));
  ASSERT_TRUE(m_server.Accept());
  acceptedSocket = m_server.clientSocket();
  ASSERT_TRUE(m_notify.WaitForWord("NetConnection.Connect.Success", 5000));
  ASSERT_TRUE(m_server.Handshake());
  const auto words = m_notify.Words();
  ASSERT_GE(words.size(), 2u);
  EXPECT_EQ(words[0], "HighQualityService.Connect.Success");
  EXPECT_EQ(words[1], "NetConnection.Connect.Success");
  EXPECT_EQ(bytesWaitingAtSuccess.load(), 0);
}

TEST(RtmpStatusTest, RefusedPortGivesFailedThenClosed) {
  test_support::RefusingPort refusing;
  ASSERT_NE(refusing.port(), 0);
  RecordingNotify notify;
  Client client(CreateRtmpLib(&notify));
  ASSERT_TRUE(client->Connect(("rtmp://127.0.0.1:" + std::to_string(refusing.port()) + "/app/s").c_str()));
  ASSERT_TRUE(notify.WaitForWord("NetConnection.Connect.Closed", 5000));
  EXPECT_EQ(notify.Words(), (std::vector<std::string>{"NetConnection.Connect.Failed", "NetConnection.Connect.Closed"}));
}

TEST(RtmpStatusTest, UnresolvableHostGivesFailedOnly) {
  // A label longer than 63 characters is refused by the resolver library
  // itself, so no query leaves the machine.
  const std::string host = std::string(70, 'a') + ".invalid";
  RecordingNotify notify;
  {
    Client client(CreateRtmpLib(&notify));
    ASSERT_TRUE(client->Connect(("rtmp://" + host + "/app/s").c_str()));
    ASSERT_TRUE(notify.WaitForWord("NetConnection.Connect.Failed", 10000));
  }
  EXPECT_EQ(notify.Words(), std::vector<std::string>{"NetConnection.Connect.Failed"});
}

TEST(RtmpStatusTest, BadUrlRaisesNothingAndReleaseReturns) {
  RecordingNotify notify;
  {
    Client client(CreateRtmpLib(&notify));
    ASSERT_TRUE(client->Connect("rtmp://127.0.0.1/app/"));
    EXPECT_FALSE(client->Connect("rtmp://127.0.0.1/app/s"));
  }
  EXPECT_TRUE(notify.Words().empty());
}

TEST_F(RtmpWireTest, CloseFromAnotherThreadWhileSendingAndReceivingIsClean) {
  Publish();
  ASSERT_TRUE(m_client->SetAudioParams(2, 48000));
  std::atomic<bool> stop{false};
  std::thread sender([&] {
    const std::string frame(300, '\x11');
    unsigned timestamp = 0;
    while (!stop) {
      SendAac(frame, timestamp += 21);
      m_client->SendPing();
    }
  });
  // The server keeps pinging meanwhile, so the receive thread answers while
  // the sender sends; the server does not read, so sends end up blocked.
  for (int i = 0; i < 20; ++i) {
    m_server.Send(test_support::RtmpChunks(2, 4, 0, 0, std::string("\x00\x06", 2) + test_support::Be32(i)));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  std::thread closer([&] { m_client->CloseSocket(); });
  closer.join();
  ASSERT_TRUE(m_notify.WaitForWord("NetConnection.Connect.Closed", 5000));
  stop = true;
  sender.join();
  m_client.reset();
  EXPECT_EQ(Count(m_notify.Words(), "NetConnection.Connect.Closed"), 1);
}

TEST_F(RtmpWireTest, ReleaseDuringTheHandshakeJoinsEverything) {
  ASSERT_TRUE(m_client->Connect(m_server.Url("app", "s").c_str()));
  ASSERT_TRUE(m_server.Accept());
  // C0 and C1 arrive and no answer goes back: the connect thread is left
  // waiting for S0.
  std::string c0c1;
  ASSERT_TRUE(m_server.ReadExact(1537, &c0c1));
  m_client.reset();
  const auto words = m_notify.Words();
  EXPECT_EQ(Count(words, "NetConnection.Connect.Closed"), 1);
  EXPECT_EQ(Count(words, "NetConnection.Connect.Failed"), 0);
}

}  // namespace

// Statistics and sequence headers belong to one connection: after a close
// nothing of the old one is reported, and the next one announces its audio again.
TEST(RtmpCloseTest, CloseStartsCountersAndSequenceHeadersAfresh) {
  RecordingNotify notify;
  std::unique_ptr<CRtmp, RtmpLibDeleter> client(static_cast<CRtmp*>(CreateRtmpLib(&notify)));
  int first[2], second[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, first), 0);
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, second), 0);
  ASSERT_TRUE(client->SetAudioParams(2, 44100));
  const unsigned char frame[64] = {0x21};
  auto bodyKinds = [&] {
    std::string heads;  // the second byte of each audio body: 0 header, 1 frame
    for (const auto& body : notify.MediaBodies()) heads += static_cast<char>('0' + body.second[1]);
    return heads;
  };

  client->AdoptSocketForTest(first[0]);
  ASSERT_TRUE(client->SendAAC(frame, sizeof frame, 0));
  ASSERT_TRUE(client->SendAAC(frame, sizeof frame, 23));
  MediaInfo sent;
  client->GetStatistics(&sent);
  EXPECT_EQ(sent.value7, 2);
  EXPECT_EQ(sent.value2, 2 * static_cast<int>(sizeof frame));
  client->CloseSocket();
  MediaInfo closed;
  client->GetStatistics(&closed);
  for (int value : {closed.value1, closed.value2, closed.value3, closed.value4, closed.value5, closed.value6,
                    closed.value7})
    EXPECT_EQ(value, 0);

  client->AdoptSocketForTest(second[0]);
  ASSERT_TRUE(client->SendAAC(frame, sizeof frame, 0));
  EXPECT_EQ(bodyKinds(), "011" "01");
  client.reset();
  for (int fd : {first[0], first[1], second[1]}) ::close(fd);
}

// The kernel may hold about half a second of the stream, whatever the
// system's autotuning would allow: on a slow link the sender then blocks
// within a fraction of a second and the ping behind the queue shows it.
TEST(RtmpSendBufferTest, TheSocketHoldsAboutHalfASecondOfTheStream) {
  RecordingNotify notify;
  std::unique_ptr<CRtmp, RtmpLibDeleter> client(static_cast<CRtmp*>(CreateRtmpLib(&notify)));
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
  const auto granted = [&] {
    int value = 0;
    socklen_t length = sizeof value;
    ::getsockopt(pair[0], SOL_SOCKET, SO_SNDBUF, &value, &length);
    return static_cast<size_t>(value);
  };
  client->AdoptSocketForTest(pair[0]);
  const size_t unknownRate = granted();
  // Linux doubles what it is asked for; what it grants is the bound.
  EXPECT_EQ(unknownRate, rtmp::SendBufferBytesFor(0) / 2 * 2);
  ASSERT_TRUE(client->SetVideoParams(1280, 720, 25, 1500000));
  EXPECT_EQ(granted(), rtmp::SendBufferBytesFor(1500000) / 2 * 2);
  ASSERT_TRUE(client->SetVideoParams(1280, 720, 25, 300000));
  EXPECT_EQ(granted(), rtmp::SendBufferBytesFor(300000) / 2 * 2);
  client.reset();
  for (int fd : pair) ::close(fd);
}
