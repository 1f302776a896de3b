// The encoder end to end: 20 s of live pictures and sound published to a
// real nginx-rtmp through the real RTMP client, then the server's
// recording checked with ffprobe and ffmpeg.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "encodemediathensendthroughrtmp/IEncoderMediaThenSendThroughRtmp.h"
#include "tests/encoder/live_feeder.h"
#include "tests/encoder/probe_helpers.h"
#include "tests/support/media_tools.h"
#include "tests/support/nginx_rtmp.h"
#include "tests/support/temp_dir.h"

namespace {

class StatusRecorder : public IEncoderMediaThenSendThroughRtmpNotify {
 public:
  void OnEncoderMediaThenSendThroughRtmpDead() override {}
  void OnEncoderMediaThenSendThroughRtmpConnected() override { connected = true; }
  void OnEncoderMediaThenSendThroughRtmpPublishFaild() override {}
  void OnEncoderMediaThenSendThroughRtmpStatus(MediaInfo* info) override {
    std::lock_guard<std::mutex> lock(m_lock);
    words.push_back(info ? info->text1 : "");
  }
  void OnEncoderMediaThenSendThroughRtmpStatistics(MediaInfo*) override {}
  void OnEncoderMediaThenSendThroughRtmpMediaData(const char*, int, double, int) override {}
  std::vector<std::string> Words() {
    std::lock_guard<std::mutex> lock(m_lock);
    return words;
  }
  std::atomic<bool> connected{false};

 private:
  std::mutex m_lock;
  std::vector<std::string> words;
};

bool WaitUntil(const std::atomic<bool>& flag, int ms) {
  for (int i = 0; i < ms / 10 && !flag; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return flag;
}

TEST(EncoderPublish, TwentySecondsReachNginxUprightInTimeAndClean) {
  if (test_support::NginxRtmpModulePath().empty()) GTEST_SKIP() << "nginx RTMP module not installed";
  test_support::NginxRtmp server;
  ASSERT_TRUE(server.Start()) << server.error();
  test_support::TempDir scratch("strivon-encoder");

  LiveFeedOptions feed;
#if defined(__SANITIZE_THREAD__)
  // Instrumented conversion is several times slower; a smaller picture keeps
  // the feed close to real time, but a loaded machine may still drop a few.
  feed.width = 320;
  feed.height = 240;
  const bool strictRate = false;
#else
  const bool strictRate = true;
#endif
  StatusRecorder notify;
  {
    EncoderMediaThenSendThroughRtmpPtr encoder(CreateEncoderMediaThenSendThroughRtmp(&notify));
    ASSERT_NE(encoder, nullptr);
    // The order the manager configures a fresh encoder in.
    ASSERT_TRUE(encoder->Connect(server.Url("enc").c_str()));
    encoder->SetAudioBitrate(64000);
    ASSERT_TRUE(encoder->SetAudioFormat(feed.channels, feed.sampleRate, 16));
    encoder->SetBframeCount(0);
    encoder->SetAbrQmin(0);
    encoder->SetRfConstant(0, 0);
    encoder->SetVideoBitrate(800000, 0);
    encoder->SetFrameRateAndGop(feed.fps, 2 * feed.fps);
    encoder->SetVideoFormat(feed.width, feed.height, 4106, feed.fps, 800000, 0);
    ASSERT_TRUE(WaitUntil(notify.connected, 10000)) << server.ErrorLog();

    LiveFeedResult fed = FeedLive(encoder.get(), feed);
    if (strictRate) {
      EXPECT_EQ(fed.picturesRefused, 0);
    }
    EXPECT_EQ(fed.blocksRefused, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // let the last pass go out
  }
  server.Stop();
  const std::string rec = server.RecordingPath("enc");

  Json::Value streams;
  ASSERT_TRUE(test_support::ProbeStreams(rec, &streams));
  const Json::Value* video = nullptr;
  const Json::Value* audio = nullptr;
  for (const auto& s : streams) {
    if (s["codec_type"].asString() == "video") video = &s;
    if (s["codec_type"].asString() == "audio") audio = &s;
  }
  ASSERT_NE(video, nullptr);
  ASSERT_NE(audio, nullptr);
  EXPECT_EQ((*video)["codec_name"].asString(), "h264");
  EXPECT_EQ((*video)["profile"].asString(), "High");
  EXPECT_EQ((*video)["width"].asInt(), feed.width);
  EXPECT_EQ((*video)["height"].asInt(), feed.height);
  EXPECT_EQ((*video)["has_b_frames"].asInt(), 0);
  EXPECT_EQ((*audio)["codec_name"].asString(), "aac");
  EXPECT_EQ((*audio)["profile"].asString(), "HE-AACv2");
  EXPECT_EQ((*audio)["sample_rate"].asString(), "44100");
  EXPECT_EQ((*audio)["channels"].asInt(), 2);

  std::vector<test_support::ProbedPacket> packets;
  ASSERT_TRUE(test_support::ProbePackets(rec, &packets));
  std::map<std::string, long long> last;
  std::map<std::string, int> count;
  long long first = -1, end = 0;
  for (const auto& p : packets) {
    auto it = last.find(p.codecType);
    if (it != last.end()) {
      EXPECT_GE(p.dtsMs, it->second) << p.codecType << " time stamps went back";
    }
    last[p.codecType] = p.dtsMs;
    count[p.codecType]++;
    if (first < 0 || p.dtsMs < first) first = p.dtsMs;
    end = std::max(end, p.dtsMs);
  }
  const double seconds = (end - first) / 1000.0;
  EXPECT_NEAR(seconds, 20.0, 0.5);
  if (strictRate) {
    EXPECT_NEAR(count["video"] / seconds, 25.0, 1.5) << count["video"] << " pictures";
  }

  Json::Value frames;
  ASSERT_TRUE(test_support::FfprobeJson(rec, {"-select_streams", "v", "-show_entries", "frame=pict_type"}, &frames));
  int bFrames = 0;
  for (const auto& f : frames["frames"]) bFrames += f["pict_type"].asString() == "B" ? 1 : 0;
  EXPECT_EQ(bFrames, 0);

  EXPECT_EQ(test_support::DecodeErrors(rec), "");

  std::vector<uint8_t> rgb = DecodePictureRgb(rec, scratch.path(), 10.0);
  ASSERT_EQ(rgb.size(), static_cast<size_t>(feed.width) * feed.height * 3);
  auto pixel = [&](int x, int y) { return &rgb[(static_cast<size_t>(y) * feed.width + x) * 3]; };
  const uint8_t* topLeft = pixel(10, 10);
  EXPECT_GT(topLeft[0], 150) << "red square expected at the top-left";
  EXPECT_LT(topLeft[2], 80);
  const uint8_t* bottomLeft = pixel(10, feed.height - 10);
  EXPECT_GT(bottomLeft[2], 150) << "blue expected at the bottom-left (picture upside down?)";
  EXPECT_LT(bottomLeft[0], 80);
  const uint8_t* topRight = pixel(feed.width - 10, 10);
  EXPECT_GT(topRight[2], 150) << "blue expected at the top-right (picture mirrored?)";

  std::vector<int16_t> sound = DecodeSoundMono(rec, scratch.path(), 10.0, 44100);
  ASSERT_GT(sound.size(), 40000u);
  EXPECT_EQ(DominantFrequency(sound, 44100), 1000.0);
}

}  // namespace
