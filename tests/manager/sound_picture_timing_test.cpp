// How the live pictures and the microphone keep to the monotonic clock: the
// worker's screen pulls stay on the frame rate's grid however late it wakes
// (and never stamp a picture a period before its grab),
// and the sound rate compensation holds a fast or slow device on the clock
// without breaking the sound.
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "strivon/MediaTimeline.h"
#include "strivon/ScreenPullSchedule.h"
#include "strivon/SoundRateCompensator.h"
#include "strivon/SoundRateEstimator.h"
#include "tests/support/tone_purity.h"

namespace {

// The worker wakes when the schedule says, plus a random lateness, and now
// and then much later (a long command, a loaded machine): each pull's slot
// and when it was taken.
struct Pull {
  uint32_t slot, at;
};
std::vector<Pull> Pulls(int frameRate, uint32_t seconds, uint32_t start) {
  ScreenPullSchedule schedule;
  schedule.Restart(frameRate);
  std::mt19937 random(7);
  std::uniform_int_distribution<uint32_t> late(0, 12);
  std::vector<Pull> pulls;
  uint32_t now = start;
  while (now - start < seconds * 1000) {
    uint32_t slot = 0;
    while (schedule.Take(now, &slot)) pulls.push_back({slot, now});
    now += schedule.WaitMs(now) + late(random) + (random() % 200 == 0 ? 90 : 0);
  }
  return pulls;
}

TEST(ScreenPullSchedule, LateWakesKeepTheGridAndNoPictureLeadsItsGrabByAPeriod) {
  const uint32_t start = 0xFFFF0000u;  // across the tick's wrap
  const std::vector<Pull> pulls = Pulls(25, 600, start);
  // A wake less than a period late loses nothing; one a period or more late
  // skips what it missed (about one wake in two hundred here).
  EXPECT_GT(static_cast<double>(pulls.size()), 600.0 * 25 * 0.985);
  for (size_t n = 1; n < pulls.size(); ++n) {
    ASSERT_EQ((pulls[n].slot - pulls[n - 1].slot) % 40, 0u) << "pull " << n;
    ASSERT_LE(pulls[n].slot - pulls[n - 1].slot, 120u) << "pull " << n;
  }
  for (const Pull& p : pulls) ASSERT_LT(p.at - p.slot, 40u) << "stamped a period or more before the grab";
  // A rate that does not divide a second keeps its average.
  EXPECT_NEAR(static_cast<double>(Pulls(30, 100, 0).size()), 100.0 * 30, 30.0);
}

// 60 fps with every grab taking 30 ms: pictures come every other slot or so,
// each stamped with the slot it was grabbed in.
TEST(ScreenPullSchedule, AGrabSlowerThanThePeriodSkipsSlotsInsteadOfStampingEarly) {
  ScreenPullSchedule schedule;
  schedule.Restart(60);
  uint32_t now = 1000, slot = 0, last = 0;
  int pictures = 0;
  while (now - 1000 < 10000) {
    if (schedule.Take(now, &slot)) {
      EXPECT_LT(now - slot, 17u);
      if (pictures++ > 0) {
        EXPECT_LE(slot - last, 2 * 17u) << "at " << now;
      }
      last = slot;
      now += 30;  // the grab
    }
    now += schedule.WaitMs(now);
  }
  EXPECT_NEAR(pictures, 10000 / 30, 20);
  EXPECT_GT(schedule.Skipped(), 0u);
  // Stalled for seconds: no burst of pictures, one pull in the slot now lies in.
  ASSERT_TRUE(schedule.Take(now + 5000, &slot));
  EXPECT_LT(now + 5000 - slot, 17u);
  EXPECT_FALSE(schedule.Take(now + 5000, &slot));
}

// Block n of a 1 kHz stereo tone, block->size() / 2 frames long.
void ToneBlock(int64_t n, int rate, std::vector<int16_t>* block) {
  const size_t frames = block->size() / 2;
  for (size_t f = 0; f < frames; ++f) {
    const double t = static_cast<double>(static_cast<size_t>(n) * frames + f) / rate;
    (*block)[2 * f] = (*block)[2 * f + 1] = static_cast<int16_t>(std::lround(8000 * std::sin(2 * M_PI * 1000 * t)));
  }
}

// The simulated clock moves on to at, the send thread taking what is due
// every 10 ms on the way.
void SendUntil(MediaTimeline* line, uint32_t* tick, uint32_t at) {
  PublishCmd unit;
  while (static_cast<int32_t>(at - *tick) > 0) {
    *tick = std::min(at, *tick + 10);
    while (line->Next(&unit, 0)) {
    }
  }
}

// A device whose clock runs at clockRate delivers blocks of 1024 frames,
// each arriving a little late, now and then much later. Returns, per block,
// how far the compensated sound's end is from the block's capture on the
// monotonic clock (ms), relative to the first block.
std::vector<double> CompensatedOffsets(double clockRate, int seconds) {
  SoundRateEstimator estimator(44100);
  std::mt19937 random(3);
  std::exponential_distribution<double> jitter(1 / 1500.0);
  const double blockUs = 1024 / (44100 * clockRate) * 1e6;
  std::vector<double> offsets;
  for (int64_t n = 1; n * blockUs < seconds * 1e6; ++n) {
    const double capturedUs = n * blockUs;
    const double lateUs = 500 + jitter(random) + (random() % 300 == 0 ? 150000 : 0);
    estimator.Update(static_cast<int64_t>(capturedUs + lateUs), 1024);
    offsets.push_back(estimator.OutputFrames() / 44.1 - capturedUs / 1000);
  }
  for (double& offset : offsets) offset -= offsets.front();
  return offsets;
}

TEST(SoundRateEstimator, HoldsAFastOrSlowDeviceOnTheClock) {
  for (double clockRate : {1.003, 0.997, 1.0001}) {
    SCOPED_TRACE(clockRate);
    const std::vector<double> offsets = CompensatedOffsets(clockRate, 600);
    double worst = 0;
    for (double offset : offsets) worst = std::max(worst, std::abs(offset));
    EXPECT_LT(worst, 15.0) << "ms off the clock at the worst";
    EXPECT_NEAR(offsets.back(), 0.0, 3.0) << "ms off the clock after ten minutes";
  }
}

// A 1 kHz tone from a device 0.3% fast, its blocks arriving a little late:
// the compensated tone's stamps keep to the clock and rise with every
// block, and the tone stays clean.
TEST(SoundRateCompensator, StretchesTheSoundWithoutAStep) {
  SoundRateCompensator compensator;
  constexpr int kRate = 44100;
  constexpr size_t kFrames = 1024;
  const double clockRate = 1.003;
  std::vector<int16_t> tone, block(kFrames * 2), out;
  std::mt19937 random(5);
  std::exponential_distribution<double> jitter(1 / 1500.0);
  int64_t lastEndMs = -1;
  for (int64_t n = 0; n < 2583; ++n) {  // a minute of the device's sound
    ToneBlock(n, kRate, &block);
    const int64_t startMs = n * kFrames * 1000 / kRate, stopMs = (n + 1) * kFrames * 1000 / kRate;
    const auto arrivalUs = static_cast<int64_t>((n + 1) * kFrames / (kRate * clockRate) * 1e6 + 500 + jitter(random));
    ASSERT_TRUE(compensator.Process(block.data(), kFrames, kRate, 2, startMs, stopMs, arrivalUs, &out));
    ASSERT_GT(compensator.OutputEndMs(), lastEndMs) << "block " << n;
    lastEndMs = compensator.OutputEndMs();
    for (size_t f = 0; f < out.size(); f += 2) tone.push_back(out[f]);
  }
  const double lastCapturedMs = static_cast<double>(tone.size() > 0 ? 2583 * kFrames : 0) / (kRate * clockRate) * 1000;
  EXPECT_NEAR(lastEndMs, lastCapturedMs, 15.0) << "the sound left the clock";
  EXPECT_NEAR(compensator.Ratio(), 1 / clockRate, 0.0002);
  // Nothing but the tone: no lost or doubled sample, no sudden change of
  // pitch while the ratio settles.
  EXPECT_LT(test_support::LoudestStrayDb(tone, kRate, 0), -80.0);
}

TEST(SoundRateCompensator, ARestartedOrSkippingDeviceNeverTakesTheStampsBack) {
  SoundRateCompensator compensator;
  std::vector<int16_t> block(1024 * 2, 0), out;
  constexpr double kBlockMs = 1024 * 1000.0 / 44100;
  double arrivedMs = 0;
  // Block number position of the device, arriving blockMs after the last.
  auto feed = [&](int64_t position, double afterMs) {
    arrivedMs += afterMs;
    compensator.Process(block.data(), 1024, 44100, 2, std::llround(position * kBlockMs),
                        std::llround((position + 1) * kBlockMs), std::llround(arrivedMs * 1000), &out);
    return compensator.OutputEndMs();
  };
  int64_t end = 0;
  for (int64_t n = 0; n < 130; ++n) end = feed(n, kBlockMs);
  // The device starts again from 0 after half a second: a hole of that
  // length, the stamps going on from there.
  const int64_t restarted = feed(0, 500 + kBlockMs);
  EXPECT_NEAR(static_cast<double>(restarted - end), 500 + kBlockMs, 3.0);
  // Sound lost at the device: its position jumps, so does the time line.
  end = restarted;
  for (int64_t n = 1; n < 10; ++n) end = feed(n, kBlockMs);
  const int64_t skipped = feed(10 + 43, 43 * kBlockMs + kBlockMs);
  EXPECT_NEAR(static_cast<double>(skipped - end), 44 * kBlockMs, 3.0);
  // A new time line starts at 0.
  compensator.Reset();
  EXPECT_EQ(compensator.OutputEndMs(), 0);
  EXPECT_NEAR(static_cast<double>(feed(0, 99000)), kBlockMs, 1.5);
}

// Four hours of a microphone whose clock runs off, with a 3 s and a 10 s
// loss (the device's position stands still while it delivers nothing),
// through the real compensator and the time line's microphone mapping on a
// simulated clock, the send thread taking what is due every 10 ms: how far
// any stamp lies from when its sound was captured on the monotonic clock,
// against the first one (ms). 8 kHz mono runs the same loop fast enough.
double WorstStampOffMs(double clockRate) {
  constexpr int kRate = 8000;
  constexpr size_t kFrames = 800;
  uint32_t tick = 1000;
  MediaTimeline line([&] { return tick; });
  MediaTimeline::Shape shape;
  shape.sampleRate = kRate;
  shape.channels = 1;
  shape.pictureBytes = 12;
  line.NewRun(shape);
  std::mt19937 random(11);
  std::exponential_distribution<double> jitter(1 / 1500.0);
  const std::vector<int16_t> block(kFrames, 1000);
  std::vector<int16_t> out;
  const double blockUs = kFrames / (kRate * clockRate) * 1e6;
  const double lossAtUs[] = {3600e6, 7200e6}, lossUs[] = {3e6, 10e6};
  double capturedUs = 0, worst = 0, first = NAN;
  int64_t position = 0;
  size_t losses = 0;
  while (capturedUs < 4 * 3600e6) {
    capturedUs += blockUs;
    if (losses < 2 && capturedUs > lossAtUs[losses]) capturedUs += lossUs[losses++];
    const double arrivalUs = capturedUs + 500 + jitter(random);
    SendUntil(&line, &tick, 1000 + static_cast<uint32_t>(arrivalUs / 1000));
    const int64_t startMs = position * 1000 / kRate, stopMs = (position + kFrames) * 1000 / kRate;
    position += kFrames;
    line.CompensateMicrophone(block.data(), kFrames, kRate, 1, startMs, stopMs, static_cast<int64_t>(arrivalUs),
                              &out);
    const int64_t stamp = line.PushMicrophoneSound(&out, kRate, 1);
    if (stamp < 0) continue;  // left out: sound for time already filled
    const double off = static_cast<double>(stamp) - capturedUs / 1000;
    if (std::isnan(first)) first = off;
    worst = std::max(worst, std::abs(off - first));
  }
  return worst;
}

TEST(SoundOnTheClock, FourHoursOfAFastOrSlowDeviceWithLossesStayWithin20Ms) {
  for (double clockRate : {1.003, 0.997, 0.9999}) {
    const double worst = WorstStampOffMs(clockRate);
    std::printf("figures: clock %.4f: stamps at most %.1f ms off the clock over 4 h\n", clockRate, worst);
    EXPECT_LT(worst, 20.0) << clockRate;
  }
}

}  // namespace
