// The RTMP client against a real nginx-rtmp server: a publish that the
// server records and ffprobe accepts, a quiet connection kept alive by pongs,
// and the status words for refusals the server makes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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
  {
    Client client(CreateRtmpLib(&notify));
    ASSERT_TRUE(client);
    ASSERT_TRUE(client->SetAudioParams(2, 44100));
    ASSERT_TRUE(client->Connect(m_server.Url("cam").c_str()));
    ASSERT_TRUE(notify.WaitForWord("NetStream.Publish.Start", 10000)) << ::testing::PrintToString(notify.Words());
    EXPECT_EQ(notify.Connected(), 1);

    struct Item {
      unsigned timestamp;
      bool video;
      const std::string* data;
    };
    std::vector<Item> items;
    for (size_t i = 0; i < accessUnits.size(); ++i) items.push_back({static_cast<unsigned>(i * 40), true, &accessUnits[i]});
    for (size_t i = 0; i < aacFrames.size(); ++i) {
      items.push_back({static_cast<unsigned>(std::llround(i * 2048 * 1000.0 / 44100)), false, &aacFrames[i]});
    }
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.timestamp < b.timestamp; });
    int videoSent = 0;
    int audioSent = 0;
    for (const Item& item : items) {
      const auto* bytes = reinterpret_cast<const unsigned char*>(item.data->data());
      const int size = static_cast<int>(item.data->size());
      if (item.video) {
        videoSent += client->SendVideoH264(bytes, size, item.timestamp) ? 1 : 0;
      } else {
        audioSent += client->SendAAC(bytes, size, item.timestamp) ? 1 : 0;
      }
    }
    EXPECT_EQ(videoSent, static_cast<int>(accessUnits.size()));
    EXPECT_EQ(audioSent, static_cast<int>(aacFrames.size()));
    MediaInfo statistics;
    client->GetStatistics(&statistics);
    EXPECT_EQ(statistics.value6, static_cast<int>(accessUnits.size()));
    EXPECT_EQ(statistics.value7, static_cast<int>(aacFrames.size()));
    // Let the server take in the tail before we hang up.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
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

  const std::string recording = m_server.RecordingPath("cam");
  Json::Value streams;
  ASSERT_TRUE(test_support::ProbeStreams(recording, &streams, &error)) << error << m_server.ErrorLog();
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
  int videoPackets = 0;
  for (const auto& packet : packets) {
    if (packet.codecType == "video") ++videoPackets;
    if (packet.dtsMs < 0) continue;
    auto it = lastDts.find(packet.streamIndex);
    if (it != lastDts.end()) {
      EXPECT_GE(packet.dtsMs, it->second) << "stream " << packet.streamIndex;
    }
    lastDts[packet.streamIndex] = packet.dtsMs;
  }
  EXPECT_EQ(videoPackets, static_cast<int>(accessUnits.size()));
  EXPECT_EQ(test_support::DecodeErrors(recording), "");
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
