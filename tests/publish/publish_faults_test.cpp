// Live stays live when an input falters, judged by what nginx-rtmp recorded:
// the sound server killed and back 3 s later, the microphone's sink
// suspended for 3 s, the X server killed and a new one started on the
// display, a file of sound alone switched to, a file that ends before the
// stop, and a switch from a file back to the screen. After each fault the
// pictures keep their rate in every second but the first one after it, the
// sound has no hole over 250 ms (100 ms at the switch back), everything
// decodes, and the screen's flashes and the sound's beeps, drawn and played
// at the same instants, lie as they did before the fault.
#include <algorithm>
#include <cstdio>
#include <thread>

#include <gtest/gtest.h>

#include "strivon/StatusWords.h"
#include "tests/publish/publish_support.h"
#include "tests/publish/sync_marks.h"
#include "tests/support/pulse_beeper.h"
#include "tests/support/stream_health.h"

using namespace publish_test;
using namespace strivon_status;

namespace {

constexpr int kFps = 25;

void Hold(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::nth_element(values.begin(), values.begin() + static_cast<long>(values.size() / 2), values.end());
  return values[values.size() / 2];
}

class PublishFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    peers.xvfb.forRestart = true;
    ASSERT_TRUE(peers.Start()) << peers.error;
    ASSERT_TRUE(flasher.Start());
    beeper = std::make_unique<test_support::PulseBeeper>(peers.pulse.ServerAddress(), peers.pulse.SinkName());
    beeper->Start();
    manager.reset(CreateRtmpPublishManagerWith(&log, DefaultManagerFactories()));
    ASSERT_TRUE(peers.Configure(manager.get(), "faults", 44100, 2, 640, 360, kFps));
    std::vector<char> reply(kSendCmdReplyBufferSize);
    char* replyText = reply.data();
    ASSERT_TRUE(manager->SendCmd(
        R"({"cmd":"ScreenCaptureSettings","params":{"isFollowCursor":false,"isFullScreen":true}})", &replyText));
    ASSERT_TRUE(manager->StartPublish());
    ASSERT_TRUE(log.WaitFor(kPublishStart, 1, 15000, &publishedAt)) << log.Dump();
  }
  void TearDown() override {
    // A sink left suspended by a failed step would hold the beeper's writes.
    if (suspended) peers.pulse.Pactl({"suspend-sink", peers.pulse.SinkName(), "0"});
    if (manager) manager->StopPublish();
    manager.reset();
    flasher.Stop();
    if (beeper) beeper->Stop();
  }

  // Where the recording stands now, near enough: it starts as the server
  // takes the stream.
  long long Mark() const { return static_cast<long long>(MsSince(publishedAt)); }
  // Publishes on until the recording has, from fromMark on, count more flashes
  // drawn (seconds left out or woken late for do not count), and 600 ms more
  // so the last one is not cut by what comes next.
  void PublishForFlashes(long long fromMark, int count) {
    if (Mark() < fromMark) Hold(static_cast<int>(fromMark - Mark()));
    const int target = flasher.flashes() + count;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(30);
    while (flasher.flashes() < target && Clock::now() < deadline) Hold(50);
    ASSERT_GE(flasher.flashes(), target) << "the flasher drew " << flasher.flashes() << ", skipped "
                                         << flasher.skipped();
    Hold(600);
  }
  // The second after a fault (with half a second either side for the guess).
  static test_support::LeftOut After(std::initializer_list<long long> faults) {
    test_support::LeftOut out;
    for (long long at : faults) out.emplace_back(at - 500, at + 1500);
    return out;
  }
  std::string Finish() {
    stoppedAt = Mark();
    EXPECT_TRUE(manager->StopPublish());
    manager.reset();
    flasher.Stop();
    beeper->Stop();
    peers.nginx.Stop();
    return peers.nginx.RecordingPath("faults");
  }
  // Pictures in every second but those left out, the sound's holes, decoding.
  void ExpectHealthy(const std::string& recording, const test_support::LeftOut& leftOut, long long maxSoundGapMs) {
    test_support::StreamHealth health;
    std::string error;
    ASSERT_TRUE(test_support::MeasureStreamHealth(recording, 2000, &health, &error, leftOut)) << error;
    std::printf("figures: %s\n", test_support::DescribeStreamHealth(health).c_str());
    EXPECT_EQ(test_support::StreamHealthProblems(health, kFps, maxSoundGapMs, true), "");
    // Every second up to the stop: a stream that died at the fault has none.
    EXPECT_GT(health.lastPictureMs, stoppedAt - 1500) << "pictures end at " << health.lastPictureMs << " ms";
    EXPECT_GT(health.lastSoundMs, stoppedAt - 1500) << "sound ends at " << health.lastSoundMs << " ms";
  }
  // The marks lie after the fault as they did before it, within 40 ms: a mark
  // is a flash with a beep next to it, so there are marks after the fault
  // only once the microphone's own sound is back.
  void ExpectTogetherAsBefore(const std::string& recording, long long faultMs, long long faultEndMs) {
    std::vector<MarkOffset> marks;
    std::string error;
    test_support::TempDir dir("strivon-faults");
    ASSERT_TRUE(MarkOffsets(recording, dir.path(), 44100, test_support::PulseBeeper::kBeepHz, &marks, &error)) << error;
    ASSERT_FALSE(marks.empty());
    std::vector<double> before, after;
    for (const MarkOffset& m : marks) {
      if (m.atMs > 2000 && m.atMs < faultMs - 500) before.push_back(m.flashAfterBeepMs);
      if (m.atMs > faultEndMs + 2000) after.push_back(m.flashAfterBeepMs);
    }
    ASSERT_GE(before.size(), 3u) << marks.size() << " marks";
    ASSERT_GE(after.size(), 3u) << marks.size() << " marks";
    std::printf("figures: flash after beep %.1f ms before the fault, %.1f ms after it (%zu and %zu marks)\n",
                Median(before), Median(after), before.size(), after.size());
    if (before.empty() || after.empty()) return;
    EXPECT_NEAR(Median(after), Median(before), 40.0) << "sound and picture moved apart";
  }
  // A clip made by ffmpeg: pictures (unless soundOnly) and a 440 Hz tone.
  std::string MakeClip(const std::string& name, int seconds, bool soundOnly) {
    const std::string path = clips.File(name);
    std::vector<std::string> args = {"-v", "error", "-f", "lavfi", "-i",
                                     "sine=frequency=440:sample_rate=44100:duration=" + std::to_string(seconds)};
    if (!soundOnly)
      args.insert(args.end(), {"-f", "lavfi", "-i",
                               "testsrc2=size=640x360:rate=25:duration=" + std::to_string(seconds), "-pix_fmt",
                               "yuv420p", "-c:v", "libx264", "-preset", "ultrafast"});
    args.insert(args.end(), {"-c:a", "aac", "-shortest", "-y", path});
    EXPECT_EQ(test_support::RunFfmpeg(args).exitCode, 0) << name;
    return path;
  }

  PublishPeers peers;
  ScreenFlasher flasher;
  std::unique_ptr<test_support::PulseBeeper> beeper;
  StatusLog log;
  ManagerPtr manager;
  Clock::time_point publishedAt;
  long long stoppedAt = 0;
  bool suspended = false;
  test_support::TempDir clips{"strivon-fault-clips"};
};

// The judge itself, on a file ffmpeg made with a 1.2 s hole in its sound
// from 3.0 s: the second left out after a fault hides only what lies in it.
TEST(StreamHealthJudge, AHoleThatStartsInALeftOutSecondCountsForWhatLiesBeyondIt) {
  test_support::TempDir dir("strivon-judge");
  const std::string file = dir.File("hole.flv");
  ASSERT_EQ(test_support::RunFfmpeg({"-v", "error", "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=8",
                                     "-f", "lavfi", "-i", "testsrc2=size=160x120:rate=25:duration=8", "-af",
                                     "aselect='not(between(t,3,4.2))'", "-c:v", "libx264", "-preset", "ultrafast",
                                     "-c:a", "aac", "-f", "flv", "-y", file})
                .exitCode,
            0);
  test_support::StreamHealth health;
  std::string error;
  ASSERT_TRUE(test_support::MeasureStreamHealth(file, 0, &health, &error, {{2500, 3500}})) << error;
  EXPECT_GT(health.largestSoundGapMs, 600) << test_support::DescribeStreamHealth(health);
  ASSERT_TRUE(test_support::MeasureStreamHealth(file, 0, &health, &error, {{2500, 4500}})) << error;
  EXPECT_LT(health.largestSoundGapMs, 100) << test_support::DescribeStreamHealth(health);
  ASSERT_TRUE(test_support::MeasureStreamHealth(file, 0, &health, &error)) << error;
  EXPECT_NEAR(health.largestSoundGapMs, 1200, 60) << test_support::DescribeStreamHealth(health);
}

TEST_F(PublishFaults, TheSoundServerKilledAndBackThreeSecondsLater) {
  PublishForFlashes(2000, 6);
  const long long fault = Mark();
  peers.pulse.Kill();
  Hold(3000);
  ASSERT_TRUE(peers.pulse.Restart()) << peers.pulse.error();
  const long long back = Mark();
  ASSERT_TRUE(log.WaitFor(kAudioCaptureError, 1, 5000)) << log.Dump();
  PublishForFlashes(back + 2000, 6);
  const std::string recording = Finish();
  EXPECT_EQ(log.Count(kAudioCaptureError), 1) << "each loss is told once";
  ExpectHealthy(recording, After({fault}), 250);
  ExpectTogetherAsBefore(recording, fault, back);
}

TEST_F(PublishFaults, TheMicrophonesSinkSuspendedForThreeSeconds) {
  PublishForFlashes(2000, 6);
  const long long fault = Mark();
  suspended = true;
  ASSERT_EQ(peers.pulse.Pactl({"suspend-sink", peers.pulse.SinkName(), "1"}).exitCode, 0);
  Hold(3000);
  ASSERT_EQ(peers.pulse.Pactl({"suspend-sink", peers.pulse.SinkName(), "0"}).exitCode, 0);
  suspended = false;
  const long long back = Mark();
  PublishForFlashes(back + 2000, 6);
  const std::string recording = Finish();
  ExpectHealthy(recording, After({fault, back}), 250);
  ExpectTogetherAsBefore(recording, fault, back);
}

TEST_F(PublishFaults, TheXServerKilledAndANewOneOnTheDisplay) {
  PublishForFlashes(2000, 6);
  const long long fault = Mark();
  flasher.Stop();  // its connection would go down with the server
  peers.xvfb.Kill();
  Hold(2000);
  ASSERT_TRUE(peers.xvfb.Restart()) << peers.xvfb.error();
  ASSERT_TRUE(flasher.Start());
  const long long back = Mark();
  PublishForFlashes(back + 2000, 6);
  const std::string recording = Finish();
  EXPECT_EQ(log.Count(kVideoCaptureError), 1) << log.Dump();
  ExpectHealthy(recording, After({fault}), 250);
  ExpectTogetherAsBefore(recording, fault, back);
}

TEST_F(PublishFaults, AFileOfSoundAloneIsRefusedAndTheScreenStays) {
  const std::string clip = MakeClip("sound-only.m4a", 5, true);
  PublishForFlashes(2000, 6);
  const long long fault = Mark();
  manager->changeToVexaFile(clip.c_str(), kFps, 2 * kFps);
  EXPECT_TRUE(log.WaitFor("cannot open " + clip + ": no picture in it", 1, 5000, nullptr, kLevelError)) << log.Dump();
  PublishForFlashes(fault + 2000, 6);
  const std::string recording = Finish();
  ExpectHealthy(recording, {}, 250);
  ExpectTogetherAsBefore(recording, fault, fault);
}

TEST_F(PublishFaults, AFileThatEndsFiveSecondsBeforeTheStop) {
  const std::string clip = MakeClip("clip.mp4", 6, false);
  Hold(3000);
  const long long switched = Mark();
  manager->changeToVexaFile(clip.c_str(), kFps, 2 * kFps);
  Hold(11000);
  const std::string recording = Finish();
  ExpectHealthy(recording, After({switched, switched + 6000}), 250);
}

TEST_F(PublishFaults, ASwitchFromAFileBackToTheScreenLeavesNoHoleInTheSound) {
  const std::string clip = MakeClip("clip.mp4", 10, false);
  PublishForFlashes(2000, 6);
  const long long toFile = Mark();
  manager->changeToVexaFile(clip.c_str(), kFps, 2 * kFps);
  Hold(4000);
  const long long toScreen = Mark();
  manager->changeToScreen(kFps, 2 * kFps);
  PublishForFlashes(toScreen + 2000, 6);
  const std::string recording = Finish();
  // Pictures change source at each switch; the sound has no hole anywhere.
  ExpectHealthy(recording, After({toFile, toScreen}), 250);
  test_support::StreamHealth whole;
  ASSERT_TRUE(test_support::MeasureStreamHealth(recording, 2000, &whole));
  EXPECT_LE(whole.largestSoundGapMs, 100) << test_support::DescribeStreamHealth(whole);
  ExpectTogetherAsBefore(recording, toFile, toScreen);
}

}  // namespace
