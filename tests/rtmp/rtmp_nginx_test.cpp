// The RTMP client against a real nginx-rtmp server: a publish that the
// server records and ffprobe accepts, a quiet connection kept alive by pongs,
// and the status words for refusals the server makes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <thread>

#include "RtmpLib/jni/IRtmpLib.h"
#include "tests/rtmp/recording_notify.h"
#include "tests/rtmp/test_media.h"
#include "tests/support/media_tools.h"
#include "tests/support/nginx_rtmp.h"
#include "tests/support/temp_dir.h"

namespace {

using Client = std::unique_ptr<IRtmpLib, RtmpLibDeleter>;

int Count(const std::vector<std::string>& words, const std::string& word) {
  return static_cast<int>(std::count(words.begin(), words.end(), word));
}

size_t IndexOf(const std::vector<std::string>& words, const std::string& word) {
  return static_cast<size_t>(std::find(words.begin(), words.end(), word) - words.begin());
}

class RtmpNginxTest : public ::testing::Test {
 protected:
  void StartServer(const test_support::NginxRtmpOptions& options = {}) {
    ASSERT_TRUE(m_server.Start(options)) << m_server.error();
  }
  test_support::NginxRtmp m_server;
};

struct MediaItem {
  unsigned timestamp;
  bool video;
  const std::string* data;
};

// Access units every 40 ms and AAC frames every 2048 samples at 44100 Hz, in
// time order, each stamp passed through stampOf (media time in ms).
std::vector<MediaItem> Interleave(const std::vector<std::string>& accessUnits, const std::vector<std::string>& aacFrames,
                                  const std::function<unsigned(unsigned)>& stampOf) {
  std::vector<MediaItem> items;
  for (size_t i = 0; i < accessUnits.size(); ++i) {
    items.push_back({stampOf(static_cast<unsigned>(i * 40)), true, &accessUnits[i]});
  }
  for (size_t i = 0; i < aacFrames.size(); ++i) {
    items.push_back({stampOf(static_cast<unsigned>(std::llround(i * 2048 * 1000.0 / 44100))), false, &aacFrames[i]});
  }
  std::stable_sort(items.begin(), items.end(),
                   [](const MediaItem& a, const MediaItem& b) { return a.timestamp < b.timestamp; });
  return items;
}

// Publishes the items on a new connection and hangs up; the status words in *notify.
void Publish(const std::string& url, const std::vector<MediaItem>& items, RecordingNotify* notify) {
  Client client(CreateRtmpLib(notify));
  ASSERT_TRUE(client);
  ASSERT_TRUE(client->SetAudioParams(2, 44100));
  ASSERT_TRUE(client->Connect(url.c_str()));
  ASSERT_TRUE(notify->WaitForWord("NetStream.Publish.Start", 10000)) << ::testing::PrintToString(notify->Words());
  EXPECT_EQ(notify->Connected(), 1);
  int videoItems = 0;
  int videoSent = 0;
  int audioSent = 0;
  for (const MediaItem& item : items) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(item.data->data());
    const int size = static_cast<int>(item.data->size());
    if (item.video) {
      ++videoItems;
      videoSent += client->SendVideoH264(bytes, size, item.timestamp) ? 1 : 0;
    } else {
      audioSent += client->SendAAC(bytes, size, item.timestamp) ? 1 : 0;
    }
  }
  EXPECT_EQ(videoSent, videoItems);
  EXPECT_EQ(audioSent, static_cast<int>(items.size()) - videoItems);
  MediaInfo statistics;
  client->GetStatistics(&statistics);
  EXPECT_EQ(statistics.value6, videoItems);
  EXPECT_EQ(statistics.value7, static_cast<int>(items.size()) - videoItems);
  // Let the server take in the tail before we hang up.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
}

// The recording has H.264 320x240 and AAC 44100 Hz, every video packet, time
// stamps that never fall within a stream, and decodes without an error.
// The last video time stamp (ms) in *lastVideoDtsMs.
void ExpectIntactRecording(const std::string& recording, int videoPackets, long long* lastVideoDtsMs = nullptr) {
  std::string error;
  Json::Value streams;
  ASSERT_TRUE(test_support::ProbeStreams(recording, &streams, &error)) << error;
  bool sawVideo = false;
  bool sawAudio = false;
  for (const auto& stream : streams) {
    if (stream["codec_type"].asString() == "video") {
      sawVideo = true;
      EXPECT_EQ(stream["codec_name"].asString(), "h264");
      EXPECT_EQ(stream["width"].asInt(), 320);
      EXPECT_EQ(stream["height"].asInt(), 240);
    } else if (stream["codec_type"].asString() == "audio") {
      sawAudio = true;
      EXPECT_EQ(stream["codec_name"].asString(), "aac");
      EXPECT_EQ(stream["sample_rate"].asString(), "44100");
    }
  }
  EXPECT_TRUE(sawVideo);
  EXPECT_TRUE(sawAudio);

  std::vector<test_support::ProbedPacket> packets;
  ASSERT_TRUE(test_support::ProbePackets(recording, &packets, &error)) << error;
  std::map<int, long long> lastDts;
  int probedVideo = 0;
  for (const auto& packet : packets) {
    if (packet.codecType == "video") {
      ++probedVideo;
      if (lastVideoDtsMs) *lastVideoDtsMs = packet.dtsMs;
    }
    if (packet.dtsMs < 0) continue;
    auto it = lastDts.find(packet.streamIndex);
    if (it != lastDts.end()) {
      EXPECT_GE(packet.dtsMs, it->second) << "stream " << packet.streamIndex;
    }
    lastDts[packet.streamIndex] = packet.dtsMs;
  }
  EXPECT_EQ(probedVideo, videoPackets);
  EXPECT_EQ(test_support::DecodeErrors(recording), "");
}

TEST_F(RtmpNginxTest, PublishedH264AndAacAreRecordedIntact) {
  StartServer();
  test_support::TempDir media("rtmp-media");
  std::string error;
  ASSERT_TRUE(rtmp_test::MakeH264AnnexB(media.File("v.h264"), 5, 320, 240, &error)) << error;
  const auto accessUnits = rtmp_test::SplitAccessUnits(test_support::ReadFileBytes(media.File("v.h264")));
  const auto aacFrames = rtmp_test::EncodeHeAacFrames(44100, 2, 5.0);
  ASSERT_GE(accessUnits.size(), 120u);
  ASSERT_GE(aacFrames.size(), 100u);

  RecordingNotify notify;
  Publish(m_server.Url("cam"), Interleave(accessUnits, aacFrames, [](unsigned ms) { return ms; }), &notify);
  m_server.Stop();

  const auto words = notify.Words();
  ASSERT_GE(words.size(), 4u);
  EXPECT_EQ(words[0], "HighQualityService.Connect.Success");
  EXPECT_EQ(words[1], "NetConnection.Connect.Success");
  EXPECT_LT(IndexOf(words, "NetStream.Publish.Start"), IndexOf(words, "NetConnection.Connect.Closed"));
  EXPECT_EQ(Count(words, "NetConnection.Connect.Closed"), 1);
  const auto reports = notify.Reports();
  ASSERT_GE(reports.size(), 3u);
  EXPECT_NE(reports[0].find("\"RtmpSerIP\" : \"127.0.0.1\""), std::string::npos) << reports[0];
  ExpectIntactRecording(m_server.RecordingPath("cam"), static_cast<int>(accessUnits.size()));
}

TEST_F(RtmpNginxTest, TimestampsBeyond24BitsAndFramesAboveTheChunkSizeAreRecordedIntact) {
  // Key frames above the 1 MiB publishing chunk size are over nginx's
  // default message limit.
  test_support::NginxRtmpOptions options;
  options.serverDirectives = "max_message 8M;";
  StartServer(options);
  test_support::TempDir media("rtmp-media");
  std::string error;
  ASSERT_TRUE(rtmp_test::MakeH264AnnexB(media.File("v.h264"), 4, 320, 240, &error)) << error;
  auto accessUnits = rtmp_test::SplitAccessUnits(test_support::ReadFileBytes(media.File("v.h264")));
  const auto aacFrames = rtmp_test::EncodeHeAacFrames(44100, 2, 4.0);
  ASSERT_GE(accessUnits.size(), 90u);

  // Stamps start beyond 24 bits and jump once more by as much at the key
  // frame of second 2, so that its delta needs the extended field too. That
  // key frame carries filler data, making it span two chunks.
  constexpr unsigned kStart = 0x1000000;
  constexpr unsigned kJumpAtMs = 2000;
  constexpr unsigned kJump = 0x1000000;
  const size_t jumpFrame = kJumpAtMs / 40;
  ASSERT_NE(accessUnits[jumpFrame].find(std::string("\x00\x00\x01\x65", 4)), std::string::npos);
  accessUnits[jumpFrame] += std::string("\x00\x00\x00\x01\x0C", 5) + std::string(1200000, '\xFF') + "\x80";
  const auto stampOf = [&](unsigned ms) { return kStart + ms + (ms >= kJumpAtMs ? kJump : 0u); };

  RecordingNotify notify;
  Publish(m_server.Url("wide"), Interleave(accessUnits, aacFrames, stampOf), &notify);
  m_server.Stop();
  EXPECT_EQ(Count(notify.Words(), "NetConnection.Connect.Closed"), 1);

  long long lastVideoDtsMs = -1;
  ExpectIntactRecording(m_server.RecordingPath("wide"), static_cast<int>(accessUnits.size()), &lastVideoDtsMs);
  // The recording starts at 0 and keeps the jump.
  EXPECT_GE(lastVideoDtsMs, static_cast<long long>(kJump));
}

TEST_F(RtmpNginxTest, QuietPublisherAnswersServerPingsAndStaysConnected) {
  test_support::NginxRtmpOptions options;
  options.serverDirectives = "ping 1s; ping_timeout 1s;";
  StartServer(options);
  RecordingNotify notify;
  Client client(CreateRtmpLib(&notify));
  ASSERT_TRUE(client->Connect(m_server.Url("quiet").c_str()));
  ASSERT_TRUE(notify.WaitForWord("NetStream.Publish.Start", 10000));
  // nginx drops a peer that leaves a ping unanswered for a second.
  EXPECT_FALSE(notify.WaitForWord("NetConnection.Connect.Closed", 10000));
  ASSERT_TRUE(client->SendPing());
  EXPECT_TRUE(notify.WaitForRoundTrip(3000));
  EXPECT_EQ(Count(notify.Words(), "NetConnection.Connect.Closed"), 0);
}

TEST_F(RtmpNginxTest, UnknownApplicationEndsWithClosedAndNoPublishStart) {
  StartServer();
  RecordingNotify notify;
  Client client(CreateRtmpLib(&notify));
  ASSERT_TRUE(client->Connect(m_server.UrlFor("nosuchapp", "s").c_str()));
  ASSERT_TRUE(notify.WaitForWord("NetConnection.Connect.Closed", 10000));
  const auto words = notify.Words();
  EXPECT_EQ(Count(words, "NetStream.Publish.Start"), 0);
  EXPECT_EQ(Count(words, "NetConnection.Connect.Failed"), 0);
  EXPECT_EQ(notify.Connected(), 0);
}

TEST_F(RtmpNginxTest, SecondPublisherOfAStreamGetsBadNameAfterClosed) {
  StartServer();
  RecordingNotify first;
  Client publisher(CreateRtmpLib(&first));
  ASSERT_TRUE(publisher->Connect(m_server.Url("taken").c_str()));
  ASSERT_TRUE(first.WaitForWord("NetStream.Publish.Start", 10000));

  RecordingNotify second;
  Client intruder(CreateRtmpLib(&second));
  ASSERT_TRUE(intruder->Connect(m_server.Url("taken").c_str()));
  ASSERT_TRUE(second.WaitForWord("NetStream.Publish.BadName", 10000)) << ::testing::PrintToString(second.Words());
  const auto words = second.Words();
  EXPECT_LT(IndexOf(words, "NetConnection.Connect.Closed"), IndexOf(words, "NetStream.Publish.BadName"));
  EXPECT_EQ(Count(words, "NetStream.Publish.Start"), 0);
  EXPECT_EQ(Count(first.Words(), "NetConnection.Connect.Closed"), 0);

  // A second CloseSocket raises nothing more.
  publisher->CloseSocket();
  publisher->CloseSocket();
  EXPECT_EQ(Count(first.Words(), "NetConnection.Connect.Closed"), 1);
}

}  // namespace
