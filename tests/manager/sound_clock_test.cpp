// The run's time line when the sound device starts late: sound and pictures
// captured at the same moment must get the same stamp, or the send thread,
// which interleaves by stamp, holds the pictures back and drops them.
#include <gtest/gtest.h>

#include "strivon/SoundClock.h"

namespace {

constexpr unsigned kBlockBytes = 4096;  // 23 ms of 44.1 kHz stereo

TEST(SoundClock, LateFirstSoundBlockLinesUpWithThePictures) {
  uint32_t now = 5000;
  SoundClock clock([&] { return now; });
  EXPECT_EQ(clock.StampLivePicture(), 0u);
  now += 760;  // the device's first block arrives this late, position 23 ms
  const uint32_t firstSound = clock.StampMicrophoneBlock(23);
  const uint32_t picture = clock.StampLivePicture();
  EXPECT_NEAR(static_cast<double>(firstSound), picture, 2.0);
  now += 23;
  const uint32_t nextSound = clock.StampMicrophoneBlock(46);
  EXPECT_EQ(nextSound - firstSound, 23u);  // the device's own spacing is kept
  EXPECT_NEAR(static_cast<double>(nextSound), clock.StampLivePicture(), 2.0);
}

TEST(SoundClock, FirstSoundEndsWhenItArrived) {
  uint32_t now = 100;
  SoundClock clock([&] { return now; });
  // The sound starts the live clock: its first block ended then, not 23 ms
  // later, or the sound would play that much behind its pictures.
  EXPECT_EQ(clock.StampMicrophoneBlock(23), 0u);
  now += 23;
  EXPECT_EQ(clock.StampMicrophoneBlock(46), 23u);  // then the device's own spacing
  EXPECT_EQ(clock.StampLivePicture(), 23u);
  // After a switch the next sound never overlaps what was queued.
  clock.Rebase(23);
  EXPECT_EQ(clock.StampMicrophoneBlock(23), 46u);
}

TEST(SoundClock, RebaseLinesTheNextSoundUpAgain) {
  uint32_t now = 1000;
  SoundClock clock([&] { return now; });
  clock.StampLivePicture();
  now += 500;
  clock.StampMicrophoneBlock(23);  // shifted by 477 ms
  clock.Rebase(600);
  now += 10;
  clock.StampLivePicture();  // the new source's first picture, at 600
  now += 300;
  // A device restarted with the new source starts late again; the old shift
  // must not stay on top of the new one.
  EXPECT_NEAR(static_cast<double>(clock.StampMicrophoneBlock(23)), 900.0, 2.0);
}

}  // namespace
