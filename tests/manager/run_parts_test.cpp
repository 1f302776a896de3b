// The small parts a publish run is made of: the delayed command queue, the
// A/V queues, the time line, the sample arithmetic, noise-suppression
// framing, the logo's filter text and overlay, statistics and the connect URL.
#include <atomic>
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "common/Md5.h"
#include "platform/outside/OutsideDoubles.h"
#include "strivon/CommandQueue.h"
#include "strivon/LogoFilterText.h"
#include "strivon/LogoOverlay.h"
#include "strivon/MediaQueues.h"
#include "strivon/NoiseSuppressor.h"
#include "strivon/PublishUrl.h"
#include "strivon/SendStatistics.h"
#include "strivon/SoundProcessing.h"
#include "strivon/VideoPacer.h"

namespace {

TEST(CommandQueue, DelayedHeadLetsLaterCommandsRunUntilItIsDue) {
  uint32_t now = 0xFFFFF000u;  // across the tick's wrap
  CommandQueue queue([&] { return now; });
  queue.PushDelayed(kCmdStartSchedule, 2000);
  queue.Push(kCmdStopPublish);
  PublishCmd cmd;
  EXPECT_FALSE(queue.TakeDue(&cmd));  // not due: moved behind the stop
  ASSERT_TRUE(queue.TakeDue(&cmd));
  EXPECT_EQ(cmd.type, kCmdStopPublish);
  now += 1999;
  EXPECT_FALSE(queue.TakeDue(&cmd));
  EXPECT_EQ(queue.Size(), 1u);
  now += 1;
  ASSERT_TRUE(queue.TakeDue(&cmd));
  EXPECT_EQ(cmd.type, kCmdStartSchedule);
  // A delayed entry without a positive delay never runs.
  queue.PushDelayed(kCmdConnectServer, 0);
  now += 100000;
  EXPECT_FALSE(queue.TakeDue(&cmd));
  EXPECT_EQ(queue.Size(), 1u);
}

PublishCmd Unit(int type, uint32_t stamp) {
  const uint8_t byte = 1;
  return PublishCmd::Unit(type, &byte, 1, stamp);
}

TEST(MediaQueues, SendsByStampOnlyWhileBothQueuesHoldAnEntry) {
  MediaQueues queues;
  PublishCmd out;
  ASSERT_TRUE(queues.PushAudio(Unit(kCmdAudioUnit, 10)));
  EXPECT_FALSE(queues.TakeNext(&out));  // sound alone waits for a picture
  ASSERT_TRUE(queues.PushVideo(Unit(kCmdVideoUnit, 10)));
  ASSERT_TRUE(queues.TakeNext(&out));
  EXPECT_EQ(out.type, kCmdVideoUnit);  // a tie goes to the picture
  ASSERT_TRUE(queues.PushVideo(Unit(kCmdVideoUnit, 20)));
  ASSERT_TRUE(queues.TakeNext(&out));
  EXPECT_EQ(out.type, kCmdAudioUnit);  // strictly earlier sound first
  // Stamps compare across the wrap of 32 bits: just before it is earlier.
  queues.Clear();
  ASSERT_TRUE(queues.PushAudio(Unit(kCmdAudioUnit, 0xFFFFFFF0u)));
  ASSERT_TRUE(queues.PushVideo(Unit(kCmdVideoUnit, 0x10u)));
  ASSERT_TRUE(queues.TakeNext(&out));
  EXPECT_EQ(out.type, kCmdAudioUnit);
}

TEST(MediaQueues, BoundsBothQueues) {
  MediaQueues queues;
  // Before any sound the newest pictures are kept...
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(queues.PushVideo(Unit(kCmdVideoUnit, i)));
  EXPECT_EQ(queues.VideoSize(), 8u);
  ASSERT_TRUE(queues.PushAudio(Unit(kCmdAudioUnit, 0)));
  PublishCmd out;
  ASSERT_TRUE(queues.TakeNext(&out));
  EXPECT_EQ(out.timestamp, 0u);  // the sound, earlier than every picture
  ASSERT_TRUE(queues.PushAudio(Unit(kCmdAudioUnit, 100)));
  ASSERT_TRUE(queues.TakeNext(&out));
  EXPECT_EQ(out.timestamp, 2u);
  // ...while sound waits, a full queue refuses the new one.
  ASSERT_TRUE(queues.PushVideo(Unit(kCmdVideoUnit, 10)));
  EXPECT_FALSE(queues.PushVideo(Unit(kCmdVideoUnit, 11)));
  EXPECT_TRUE(queues.PushVideo(Unit(kCmdVideoUnit, 11), 64));  // the file's allowance
  queues.Clear();
  for (int i = 0; i < 101; ++i) ASSERT_TRUE(queues.PushAudio(Unit(kCmdAudioUnit, i)));
  EXPECT_TRUE(queues.AudioFull());
  EXPECT_FALSE(queues.PushAudio(Unit(kCmdAudioUnit, 101)));
  queues.Clear();
  EXPECT_EQ(queues.AudioSize() + queues.VideoSize(), 0u);
}

TEST(SoundProcessing, VolumeScalesTowardZeroAndMuteSilences) {
  std::vector<int16_t> block{1000, -999, 32767};
  ApplyVolume(block.data(), block.size(), 50, false);
  EXPECT_EQ(block, (std::vector<int16_t>{500, -499, 16383}));
  ApplyVolume(block.data(), block.size(), 100, false);
  EXPECT_EQ(block[0], 500);
  ApplyVolume(block.data(), block.size(), 80, true);
  EXPECT_EQ(block, (std::vector<int16_t>{0, 0, 0}));
  std::vector<int16_t> loud{-30000, 20000};
  EXPECT_EQ(PeakSample(loud.data(), loud.size()), 20000);
  EXPECT_EQ(PeakPercent(32767), 100);
}

TEST(SoundProcessing, LimiterCatchesClippingAndRecoversSlowly) {
  Limiter limiter;
  std::vector<int16_t> dst{30000, 30000, 0};
  const std::vector<int16_t> src{30000, 0};
  limiter.Mix(dst.data(), dst.size(), src.data(), src.size());
  EXPECT_EQ(dst[0], 32767);
  const float clipped = 1.0f / (60000.0f / 32768.0f);
  const float afterFirst = clipped + (1 - clipped) / 32;
  EXPECT_EQ(dst[1], static_cast<int16_t>(30000.0f / 32768.0f * afterFirst * 32767.0f));
  EXPECT_EQ(dst[2], 0);  // beyond the background: untouched
  EXPECT_GT(limiter.gain(), afterFirst);
  EXPECT_LT(limiter.gain(), 1.0f);
  // Below clipping the mix costs one step: 30000 + 0 comes out 29999.
  Limiter fresh;
  std::vector<int16_t> quiet{30000};
  const std::vector<int16_t> zero{0};
  fresh.Mix(quiet.data(), 1, zero.data(), 1);
  EXPECT_EQ(quiet[0], 29999);
}

TEST(SoundProcessing, FiveSecondsOfSilenceLowersTheRateAndSoundRestoresIt) {
  SilenceDetector detector;
  std::vector<int16_t> silent(44100, 3275);  // 88200 bytes, all within the threshold
  for (int i = 0; i < 10; ++i)
    EXPECT_EQ(detector.Check(silent.data(), 88200, 176400), SilenceDetector::Change::kNone);
  EXPECT_EQ(detector.Check(silent.data(), 2, 176400), SilenceDetector::Change::kBecameSilent);
  EXPECT_EQ(detector.Check(silent.data(), 88200, 176400), SilenceDetector::Change::kNone);
  std::vector<int16_t> sound{0, -32768};
  EXPECT_EQ(detector.Check(sound.data(), 4, 176400), SilenceDetector::Change::kSoundReturned);
  EXPECT_FALSE(detector.muted());
}

TEST(SoundProcessing, DownmixAveragesTheChannels) {
  const std::vector<int16_t> stereo{100, 300, -32768, -32768, 1, 2};
  std::vector<int16_t> mono(3);
  EXPECT_EQ(DownmixStereoToMono(stereo.data(), stereo.size(), mono.data()), 3u);
  EXPECT_EQ(mono, (std::vector<int16_t>{200, -32768, 1}));
}

TEST(NoiseSuppressor, DrainsEveryWholeFrameOfEachBlock) {
  OutsideDoubles doubles;
  NoiseSuppressor suppressor;
  ASSERT_EQ(suppressor.Enable(true), 0);
  EXPECT_EQ(suppressor.FrameBytes(), 5292);
  std::vector<int16_t> block(2205, 7);  // 4410 bytes
  std::vector<int16_t> out;
  EXPECT_FALSE(suppressor.Process(block.data(), 4410, &out));
  EXPECT_TRUE(suppressor.Process(block.data(), 4410, &out));
  EXPECT_EQ(out.size() * 2, 5292u);
  // A block of ten frames gives ten frames, not one: nothing piles up.
  std::vector<int16_t> longBlock(5292 * 5, 7);
  ASSERT_TRUE(suppressor.Process(longBlock.data(), longBlock.size() * 2, &out));
  EXPECT_EQ(out.size() * 2, 10u * 5292);
  EXPECT_EQ(doubles.hushgain().processedLengths().size(), 11u);
  // 48 kHz mono frames are 30 ms of that format.
  suppressor.SetFormat(48000, 1);
  EXPECT_EQ(suppressor.FrameBytes(), 2880);
  doubles.hushgain().initResult = 5;
  EXPECT_NE(suppressor.SetAgcLevel(30), 0);
  EXPECT_FALSE(suppressor.enabled());
}

TEST(LogoFilterText, PathIsEscapedSoItCannotAddFilters) {
  std::string text;
  ASSERT_TRUE(BuildLogoFilterText("C:\\logos\\a b.png", 40, 20, &text));
  EXPECT_EQ(text, "movie='C\\:\\\\logos\\\\a\\ b.png'[wm];[in][wm]overlay=x=40:y=20[out]");
  ASSERT_TRUE(BuildLogoFilterText("/tmp/x.png:y=1[out];[in]negate", 0, 0, &text));
  EXPECT_EQ(text.find("x.png:"), std::string::npos);
  EXPECT_FALSE(BuildLogoFilterText("/tmp/it's.png", 0, 0, &text));
  EXPECT_FALSE(BuildLogoFilterText(nullptr, 0, 0, &text));
}

// The filter was made once, at the output size of the moment: pictures of a
// later size were all refused, and none went out at all.
TEST(LogoOverlay, FollowsThePictureSizeAndLetsPicturesPassWhenItCannotDraw) {
  FakeADFilter filter(0);
  LogoOverlay logo;
  ASSERT_EQ(logo.Set(&filter, "text", 320, 240), 0);
  std::vector<uint8_t> picture(852 * 480 * 3, 9);
  int emitted = 0;
  EXPECT_TRUE(logo.Draw(picture.data(), 852, 480, static_cast<int>(picture.size()), [&] { ++emitted; }));
  EXPECT_EQ(emitted, 1);
  EXPECT_EQ(picture[0], 1) << "drawn by the filter";
  EXPECT_EQ(filter.calls().width, 852);
  EXPECT_EQ(filter.calls().height, 480);

  FakeADFilter broken(-5);
  EXPECT_EQ(logo.Set(&broken, "text", 852, 480), -5);
  EXPECT_TRUE(filter.calls().released);
  picture.assign(picture.size(), 9);
  for (int width : {852, 848}) {
    EXPECT_FALSE(logo.Draw(picture.data(), width, 480, static_cast<int>(picture.size()), [&] { ++emitted; }));
    EXPECT_EQ(picture[0], 9) << "left as it was, to go out without the logo";
  }
  EXPECT_EQ(emitted, 1);
  EXPECT_EQ(broken.calls().width, 848) << "tried again for the new size";
  logo.Clear();
  EXPECT_TRUE(broken.calls().released);
}

TEST(SendStatistics, RatesComeFromDifferencesAndRestartWithAConnection) {
  SendStatistics stats;
  MediaInfo info;
  PublishSendStatistics out{};
  EXPECT_FALSE(stats.Compute(info, 0, &out));  // only type 2 counts
  info.type = MediaInfo::kSendStatistics;
  info.value1 = 128 * 1024;  // video bytes
  info.value5 = 42;          // round trip
  info.value6 = 25;
  ASSERT_TRUE(stats.Compute(info, 1000, &out));
  EXPECT_FLOAT_EQ(out.videoKbitPerSecond, 1024.0f);  // first record: one second
  EXPECT_EQ(out.pingRoundTripMs, 42u);
  info.value1 = 192 * 1024;
  info.value6 = 50;
  ASSERT_TRUE(stats.Compute(info, 3000, &out));
  EXPECT_FLOAT_EQ(out.videoKbitPerSecond, 256.0f);
  EXPECT_EQ(out.videoFramesPerSecond, 12u);
  // A new connection's counters start again: never a wrapped rate.
  info.value1 = 1000;
  info.value6 = 1;
  ASSERT_TRUE(stats.Compute(info, 4000, &out));
  EXPECT_FLOAT_EQ(out.videoKbitPerSecond, 0.0f);
  stats.Reset();
  ASSERT_TRUE(stats.Compute(info, 5000, &out));
  EXPECT_EQ(out.videoFramesPerSecond, 1u);
}

TEST(ConnectUrl, KeySignatureRouteAndForwarding) {
  PublishTarget target;
  ApplyPublishUrl(&target, "rtmp://127.0.0.1:1935", "live?secret", "cam1");
  ConnectTarget connect;
  connect.serverAddress = target.storedUrl;
  const std::string t = "1700000000";
  EXPECT_EQ(BuildConnectUrl(target, connect, 1700000000),
            "rtmp://127.0.0.1:1935/live?k=" + MD5("secret" + t).HexDigest() + "&t=" + t + "/cam1");
  PublishTarget plain;
  ApplyPublishUrl(&plain, "rtmp://host", "live", "s");
  connect.serverAddress = plain.storedUrl;
  EXPECT_EQ(BuildConnectUrl(plain, connect, 5), "rtmp://host/live/s");
  // Scheduled: the scheduler's address and port; a forwarded one goes bare.
  PublishTarget scheduled;
  ApplyPublishUrl(&scheduled, "httpRtmp://sched.example", "live?key", "s");
  ConnectTarget found{"10.0.0.1", "1935", false, false};
  EXPECT_EQ(BuildConnectUrl(scheduled, found, 7).rfind("rtmp://10.0.0.1:1935/live?k=", 0), 0u);
  found.forward = true;
  EXPECT_EQ(BuildConnectUrl(scheduled, found, 7), "rtmp://10.0.0.1:1935/live/s");
  // The seconds travel as the low 32 bits read signed.
  EXPECT_NE(BuildConnectUrl(target, ConnectTarget{target.storedUrl, "", false, false}, 0x100000005LL).find("&t=5/"), std::string::npos);
}

TEST(VideoPacer, CameraPicturesArePacedScreenPicturesAreNot) {
  VideoPacer pacer;
  EXPECT_EQ(VideoPacer::IntervalMs(15), 59u);
  EXPECT_EQ(VideoPacer::IntervalMs(25), 36u);
  EXPECT_FALSE(pacer.Take(3600, 25, false));  // due time = now: not after it
  EXPECT_TRUE(pacer.Take(3601, 25, false));
  EXPECT_FALSE(pacer.Take(3620, 25, false));  // before the next due time
  EXPECT_TRUE(pacer.Take(3620, 25, true));    // the screen is always taken
  EXPECT_TRUE(pacer.Take(9000, 25, false));   // late: due time catches up
  EXPECT_FALSE(pacer.Take(9001, 25, false));
  VideoPacer unpaced;
  EXPECT_TRUE(unpaced.Take(1, 0, false));
  EXPECT_TRUE(unpaced.Take(1, 0, false));
}

// 1000 / 1001 was 0: the worker pulled the screen on every pass.
TEST(VideoPacer, NoRateMakesAnIntervalOfZero) {
  for (int rate : {1001, 5000, 2147483647}) {
    EXPECT_EQ(VideoPacer::PullIntervalMs(rate), 1000u / kMaxFrameRate) << rate;
    EXPECT_GT(VideoPacer::IntervalMs(rate), 0u) << rate;
  }
  EXPECT_EQ(VideoPacer::PullIntervalMs(25), 40u);
  EXPECT_EQ(VideoPacer::PullIntervalMs(0), 1000u);
}

}  // namespace
