// Automatic bit-rate control against a real server whose pongs come back
// 600 ms late: the encoder lowers its rates and the recorded stream shows it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

#include "encodemediathensendthroughrtmp/IEncoderMediaThenSendThroughRtmp.h"
#include "tests/support/delaying_proxy.h"
#include "tests/encoder/live_feeder.h"
#include "tests/support/media_tools.h"
#include "tests/support/nginx_rtmp.h"

namespace {

const char kLowered[] = "Auto set audio bitrate 16000, video bitrate 64000";

class Recorder : public IEncoderMediaThenSendThroughRtmpNotify {
 public:
  void OnEncoderMediaThenSendThroughRtmpDead() override {}
  void OnEncoderMediaThenSendThroughRtmpConnected() override { connected = true; }
  void OnEncoderMediaThenSendThroughRtmpPublishFaild() override {}
  void OnEncoderMediaThenSendThroughRtmpStatus(MediaInfo* info) override {
    if (!info || info->text1 != kLowered) return;
    lowered++;
    std::lock_guard<std::mutex> lock(m_lock);
    loweredAtMs = elapsedMs.load();
  }
  void OnEncoderMediaThenSendThroughRtmpStatistics(MediaInfo*) override {}
  void OnEncoderMediaThenSendThroughRtmpMediaData(const char*, int, double, int) override {}
  int LoweredAt() {
    std::lock_guard<std::mutex> lock(m_lock);
    return loweredAtMs;
  }
  std::atomic<bool> connected{false};
  std::atomic<int> lowered{0};
  std::atomic<int> elapsedMs{0};

 private:
  std::mutex m_lock;
  int loweredAtMs = -1;
};

// Video bytes the recording holds with time stamps in [fromMs, toMs), per second, in kbps.
double VideoKbps(const Json::Value& packets, double fromMs, double toMs) {
  double bytes = 0;
  for (const auto& p : packets) {
    if (p["codec_type"].asString() != "video") continue;
    const double t = std::stod(p["dts_time"].asString()) * 1000.0;
    if (t >= fromMs && t < toMs) bytes += std::stod(p["size"].asString());
  }
  return bytes * 8 / (toMs - fromMs);
}

TEST(AdaptiveLive, LatePongsLowerTheRateOfTheRecordedStream) {
  if (test_support::NginxRtmpModulePath().empty()) GTEST_SKIP() << "nginx RTMP module not installed";
  test_support::NginxRtmp server;
  ASSERT_TRUE(server.Start()) << server.error();
  DelayingProxy proxy;
  ASSERT_TRUE(proxy.Start(server.port()));

  LiveFeedOptions feed;
  feed.width = 320;
  feed.height = 240;
  feed.durationMs = 24000;
  feed.noisy = true;  // hard to compress: the encoder spends what it may
  Recorder notify;
  const int delayFromMs = 5000;
  {
    EncoderMediaThenSendThroughRtmpPtr encoder(CreateEncoderMediaThenSendThroughRtmp(&notify));
    ASSERT_NE(encoder, nullptr);
    const std::string url = "rtmp://127.0.0.1:" + std::to_string(proxy.port()) + "/live/adapt";
    ASSERT_TRUE(encoder->Connect(url.c_str()));
    encoder->SetAudioBitrate(64000);
    ASSERT_TRUE(encoder->SetAudioFormat(2, 44100, 16));
    encoder->SetBframeCount(0);
    encoder->SetVideoBitrate(1200000, 0);
    encoder->SetFrameRateAndGop(feed.fps, 2 * feed.fps);
    encoder->SetVideoFormat(feed.width, feed.height, 4106, feed.fps, 1200000, 0);
    encoder->SetAutoCtrlBitrate(true);
    for (int i = 0; i < 1000 && !notify.connected; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(notify.connected);

    int nextPing = 0;
    feed.onTick = [&](int elapsed) {
      notify.elapsedMs = elapsed;
      if (elapsed >= delayFromMs) proxy.SetReturnDelayMs(600);
      if (elapsed >= nextPing) {  // the manager asks for a ping about once a second
        encoder->QueuePing();
        nextPing += 500;
      }
    };
    FeedLive(encoder.get(), feed);
  }
  proxy.Stop();
  server.Stop();

  ASSERT_EQ(notify.lowered.load(), 1) << "the lowering is reported once";
  const int loweredAt = notify.LoweredAt();
  EXPECT_GT(loweredAt, delayFromMs);
  EXPECT_LT(loweredAt, feed.durationMs - 6000);

  Json::Value probe;
  ASSERT_TRUE(test_support::FfprobeJson(server.RecordingPath("adapt"),
                                        {"-show_entries", "packet=codec_type,dts_time,size"}, &probe));
  const double before = VideoKbps(probe["packets"], 1000, delayFromMs);
  const double after = VideoKbps(probe["packets"], loweredAt + 2000, feed.durationMs - 1000);
  std::printf("lowered at %d ms; video %.0f kbps before, %.0f kbps after\n", loweredAt, before, after);
  EXPECT_GT(before, 400) << "the configured rate should be in use before the lowering";
  EXPECT_LT(after, 150) << "after the lowering the stream should run near 64 kbps";
  EXPECT_LT(after * 4, before);
}

}  // namespace
