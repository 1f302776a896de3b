// How the live pictures and the microphone keep to the monotonic clock: the
// worker's screen pulls stay on the frame rate's grid however late it wakes,
// and the sound rate compensation holds a fast or slow device on the clock
// without breaking the sound.
#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "strivon/ScreenPullSchedule.h"

namespace {

// The worker wakes when the schedule says, plus a random lateness, and now
// and then much later (a long command, a loaded machine).
std::vector<uint32_t> PullSlots(int frameRate, uint32_t seconds, uint32_t start) {
  ScreenPullSchedule schedule;
  schedule.Restart(frameRate);
  std::mt19937 random(7);
  std::uniform_int_distribution<uint32_t> late(0, 12);
  std::vector<uint32_t> slots;
  uint32_t now = start;
  while (now - start < seconds * 1000) {
    uint32_t slot = 0;
    while (schedule.Take(now, &slot)) slots.push_back(slot);
    now += schedule.WaitMs(now) + late(random) + (random() % 200 == 0 ? 90 : 0);
  }
  return slots;
}

TEST(ScreenPullSchedule, LateWakesNeitherLosePicturesNorUnevenTheirSpacing) {
  const uint32_t start = 0xFFFF0000u;  // across the tick's wrap
  const std::vector<uint32_t> slots = PullSlots(25, 600, start);
  EXPECT_NEAR(static_cast<double>(slots.size()), 600.0 * 25, 2.0);
  for (size_t n = 1; n < slots.size(); ++n) ASSERT_EQ(slots[n] - slots[n - 1], 40u) << "pull " << n;
  // A rate that does not divide a second keeps its average.
  EXPECT_NEAR(static_cast<double>(PullSlots(30, 100, 0).size()), 100.0 * 30, 2.0);
}

TEST(ScreenPullSchedule, AStallLongerThanTheCatchUpStartsTheGridAgain) {
  ScreenPullSchedule schedule;
  schedule.Restart(25);
  uint32_t slot = 0;
  ASSERT_TRUE(schedule.Take(1000, &slot));
  EXPECT_EQ(slot, 1000u);
  EXPECT_FALSE(schedule.Take(1039, &slot));
  EXPECT_EQ(schedule.WaitMs(1039), 1u);
  // Three slots late: made up at once, each with its own slot time.
  for (uint32_t expected : {1040u, 1080u, 1120u}) {
    ASSERT_TRUE(schedule.Take(1130, &slot));
    EXPECT_EQ(slot, expected);
  }
  EXPECT_FALSE(schedule.Take(1130, &slot));
  // Stalled for seconds: no burst of pictures, the grid starts at now.
  ASSERT_TRUE(schedule.Take(5000, &slot));
  EXPECT_EQ(slot, 5000u);
  EXPECT_FALSE(schedule.Take(5001, &slot));
}

}  // namespace
