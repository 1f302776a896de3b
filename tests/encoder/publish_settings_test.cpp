// Settings the manager may choose, published to a real nginx-rtmp through the
// real RTMP client and checked in the server's recording with ffprobe and
// ffmpeg: every sound format keeps the tone's pitch and the stream's length
// (whether configured before or after Connect), and a B-frame count keeps the
// pictures in presentation order.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <iostream>
#include <string>
#include <thread>

#include "encodemediathensendthroughrtmp/IEncoderMediaThenSendThroughRtmp.h"
#include "tests/encoder/live_feeder.h"
#include "tests/encoder/probe_helpers.h"
#include "tests/support/media_tools.h"
#include "tests/support/nginx_rtmp.h"
#include "tests/support/temp_dir.h"

namespace {

class ConnectWatcher : public IEncoderMediaThenSendThroughRtmpNotify {
 public:
  void OnEncoderMediaThenSendThroughRtmpDead() override {}
  void OnEncoderMediaThenSendThroughRtmpConnected() override { connected = true; }
  void OnEncoderMediaThenSendThroughRtmpPublishFaild() override {}
  void OnEncoderMediaThenSendThroughRtmpStatus(MediaInfo*) override {}
  void OnEncoderMediaThenSendThroughRtmpStatistics(MediaInfo*) override {}
  void OnEncoderMediaThenSendThroughRtmpMediaData(const char*, int, double, int) override {}
  std::atomic<bool> connected{false};
};

struct PublishRun {
  LiveFeedOptions feed;
  int bframes = 0;
  bool configureBeforeConnect = false;
};

// The manager's configuration order for a fresh encoder.
void Configure(IEncoderMediaThenSendThroughRtmp* encoder, const PublishRun& run) {
  encoder->SetAudioBitrate(64000);
  EXPECT_TRUE(encoder->SetAudioFormat(run.feed.channels, run.feed.sampleRate, 16));
  encoder->SetBframeCount(run.bframes);
  encoder->SetAbrQmin(0);
  encoder->SetRfConstant(0, 0);
  encoder->SetVideoBitrate(500000, 0);
  encoder->SetFrameRateAndGop(run.feed.fps, 2 * run.feed.fps);
  encoder->SetVideoFormat(run.feed.width, run.feed.height, 4106, run.feed.fps, 500000, 0);
}

// Publishes one live feed to `stream` and stops the server; the recording's path.
std::string Publish(test_support::NginxRtmp* server, const std::string& stream, const PublishRun& run) {
  ConnectWatcher notify;
  {
    EncoderMediaThenSendThroughRtmpPtr encoder(CreateEncoderMediaThenSendThroughRtmp(&notify));
    if (!encoder) return "";
    if (run.configureBeforeConnect) Configure(encoder.get(), run);
    if (!encoder->Connect(server->Url(stream).c_str())) return "";
    if (!run.configureBeforeConnect) Configure(encoder.get(), run);
    for (int i = 0; i < 1000 && !notify.connected; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!notify.connected) return "";
    LiveFeedResult fed = FeedLive(encoder.get(), run.feed);
    EXPECT_EQ(fed.blocksRefused, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // let the last pass go out
  }
  server->Stop();
  return server->RecordingPath(stream);
}

// Channel configuration of the AudioSpecificConfig the stream announced, from
// ffprobe's hex dump of the extradata; -1 when there is none. (ffmpeg itself
// reports every mono HE-AAC stream as stereo, allowing for implicit
// parametric stereo, so its channel count cannot tell.)
int AnnouncedChannels(const std::string& recording) {
  Json::Value probe;
  if (!test_support::FfprobeJson(recording, {"-select_streams", "a", "-show_streams", "-show_data"}, &probe)) return -1;
  const std::string dump = probe["streams"][0]["extradata"].asString();
  const size_t colon = dump.find(": ");
  if (colon == std::string::npos || dump.size() < colon + 6) return -1;
  const unsigned second = std::stoul(dump.substr(colon + 4, 2), nullptr, 16);
  return static_cast<int>((second >> 3) & 0x0F);
}

struct SoundCase {
  int channels;
  int sampleRate;
  bool configureBeforeConnect;
};

class SoundFormatPublish : public ::testing::TestWithParam<SoundCase> {};

TEST_P(SoundFormatPublish, ToneKeepsItsPitchLengthAndDecodesCleanly) {
  if (test_support::NginxRtmpModulePath().empty()) GTEST_SKIP() << "nginx RTMP module not installed";
  const SoundCase c = GetParam();
  test_support::NginxRtmp server;
  ASSERT_TRUE(server.Start()) << server.error();
  test_support::TempDir scratch("strivon-sound-format");
  PublishRun run;
  run.feed.width = 160;
  run.feed.height = 120;
  run.feed.fps = 10;
  run.feed.durationMs = 5000;
  run.feed.channels = c.channels;
  run.feed.sampleRate = c.sampleRate;
  run.configureBeforeConnect = c.configureBeforeConnect;
  const std::string rec = Publish(&server, "tone", run);
  ASSERT_FALSE(rec.empty()) << server.ErrorLog();

  Json::Value streams;
  ASSERT_TRUE(test_support::ProbeStreams(rec, &streams));
  const Json::Value* audio = nullptr;
  for (const auto& s : streams)
    if (s["codec_type"].asString() == "audio") audio = &s;
  ASSERT_NE(audio, nullptr) << "no sound reached the server";
  EXPECT_EQ((*audio)["sample_rate"].asString(), std::to_string(c.sampleRate));
  // One core channel either way: stereo travels as parametric stereo.
  EXPECT_EQ(AnnouncedChannels(rec), 1);
  EXPECT_EQ((*audio)["profile"].asString(), c.channels == 2 ? "HE-AACv2" : "HE-AAC");

  std::vector<test_support::ProbedPacket> packets;
  ASSERT_TRUE(test_support::ProbePackets(rec, &packets));
  int frames = 0;
  long long first = -1, last = 0;
  for (const auto& p : packets) {
    if (p.codecType != "audio") continue;
    frames++;
    if (first < 0) first = p.dtsMs;
    last = p.dtsMs;
  }
  // One HE-AAC frame carries 2048 samples per channel at the full rate.
  const double expectedFrames = run.feed.durationMs / 1000.0 * c.sampleRate / 2048;
  EXPECT_NEAR(frames, expectedFrames, expectedFrames * 0.1);
  EXPECT_NEAR((last - first) / 1000.0, run.feed.durationMs / 1000.0, 0.4);

  EXPECT_EQ(test_support::DecodeErrors(rec), "");
  std::vector<int16_t> sound = DecodeSoundMono(rec, scratch.path(), 1.5, c.sampleRate);
  ASSERT_GT(sound.size(), static_cast<size_t>(c.sampleRate / 2));
  const double pitch = DominantFrequency(sound, c.sampleRate, 5);
  std::cout << c.channels << " ch " << c.sampleRate << " Hz: tone at " << pitch << " Hz, " << frames << " frames over "
            << (last - first) << " ms\n";
  EXPECT_NEAR(pitch, 1000.0, 20.0);
}

INSTANTIATE_TEST_SUITE_P(Formats, SoundFormatPublish,
                         ::testing::Values(SoundCase{2, 44100, false}, SoundCase{1, 48000, false},
                                           SoundCase{2, 32000, false}, SoundCase{1, 48000, true}),
                         [](const ::testing::TestParamInfo<SoundCase>& info) {
                           return std::to_string(info.param.channels) + "ch" +
                                  std::to_string(info.param.sampleRate) +
                                  (info.param.configureBeforeConnect ? "SetBeforeConnect" : "");
                         });

TEST(BframePublish, PicturesArriveInPresentationOrderAndDecodeCleanly) {
  if (test_support::NginxRtmpModulePath().empty()) GTEST_SKIP() << "nginx RTMP module not installed";
  test_support::NginxRtmp server;
  ASSERT_TRUE(server.Start()) << server.error();
  PublishRun run;
  run.feed.width = 320;
  run.feed.height = 240;
  run.feed.durationMs = 6000;
  run.bframes = 2;
  const std::string rec = Publish(&server, "bframes", run);
  ASSERT_FALSE(rec.empty()) << server.ErrorLog();

  std::vector<test_support::ProbedPacket> packets;
  ASSERT_TRUE(test_support::ProbePackets(rec, &packets));
  long long lastDts = -1;
  int videoPackets = 0;
  int reordered = 0;
  for (const auto& p : packets) {
    if (p.codecType != "video") continue;
    videoPackets++;
    reordered += p.ptsMs > p.dtsMs ? 1 : 0;
    EXPECT_GE(p.dtsMs, lastDts) << "decode times went back";
    EXPECT_GE(p.ptsMs, p.dtsMs) << "a picture shown before it is decoded";
    lastDts = p.dtsMs;
  }
  EXPECT_GT(videoPackets, run.feed.durationMs / 40 / 2) << "too few pictures to judge their order";
  EXPECT_GT(reordered, 0) << "no picture shown after its decode time: no B-frames were made";

  Json::Value frames;
  ASSERT_TRUE(test_support::FfprobeJson(rec, {"-select_streams", "v", "-show_entries", "frame=pts_time"}, &frames));
  double previous = -1;
  int shown = 0;
  for (const auto& f : frames["frames"]) {
    const double pts = std::stod(f["pts_time"].asString());
    EXPECT_GT(pts, previous) << "picture " << shown << " is shown out of order";
    previous = pts;
    shown++;
  }
  EXPECT_EQ(shown, videoPackets);
  EXPECT_EQ(test_support::DecodeErrors(rec), "");
}

}  // namespace
