// The run's time line on a simulated clock: sound and pictures captured
// together share a stamp, a kind that stops is filled after the grace so the
// other keeps going, a device that loses sound leaves a filled hole instead
// of a slow catch-up, a paused file moves on, and a switch or a new run
// continue or start afresh. Every sound unit must follow on from the last.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "strivon/MediaTimeline.h"

namespace {

constexpr int kRate = 44100;
constexpr int kWidth = 16, kHeight = 8;
constexpr int kPictureBytes = kWidth * kHeight * 3;
constexpr size_t kBlockFrames = 1024;
constexpr double kBlockMs = kBlockFrames * 1000.0 / kRate;

struct Taken {
  bool video;
  uint32_t stamp;
  double soundMs;   // a sound unit's length
  bool silent;      // every sample (or byte) 0
  uint8_t shade;    // a picture's first byte
  uint32_t lineNow; // the line's time when it was taken
};

MediaTimeline::Shape TestShape() {
  MediaTimeline::Shape shape;
  shape.sampleRate = kRate;
  shape.pictureBytes = kPictureBytes;
  return shape;
}

class Line : public ::testing::Test {
 protected:
  void SetUp() override {
    line.NewRun(TestShape());
    start = now;
  }

  // Time passes in ms (fractions kept), the send thread taking what is due.
  void Pass(double ms) {
    exactNow += ms;
    now = static_cast<uint32_t>(std::llround(exactNow));
    Drain();
  }
  void Drain() {
    PublishCmd unit;
    while (line.Next(&unit, 0)) {
      Taken t{unit.type == kCmdVideoUnit, unit.timestamp, 0, true, unit.data[0], now - start};
      for (int i = 0; i < unit.len; ++i) t.silent = t.silent && unit.data[i] == 0;
      if (!t.video) t.soundMs = unit.len / 4 * 1000.0 / kRate;
      taken.push_back(t);
    }
  }
  // A microphone block: the device's position goes on by its length.
  void Microphone(int16_t level = 3000) {
    std::vector<int16_t> block(kBlockFrames * 2, level), out;
    const auto startMs = std::llround(devicePositionMs), stopMs = std::llround(devicePositionMs + kBlockMs);
    devicePositionMs += kBlockMs;
    line.CompensateMicrophone(block.data(), kBlockFrames, kRate, 2, startMs, stopMs,
                              static_cast<int64_t>(exactNow * 1000), &out);
    line.PushMicrophoneSound(&out, kRate, 2);
  }
  void Picture(uint8_t shade = 100) {
    const std::vector<uint8_t> bytes(kPictureBytes, shade);
    line.PushPicture(PublishCmd::Unit(kCmdVideoUnit, bytes.data(), kPictureBytes, line.StampLivePicture(now)));
  }
  void FileSound(uint32_t fileMs, double ms = 20) {
    std::vector<int16_t> block(static_cast<size_t>(ms * kRate / 1000) * 2, 2000);
    line.PushFileSound(&block, kRate, 2, fileMs);
  }
  void FilePicture(uint32_t fileMs, uint8_t shade = 150) {
    const std::vector<uint8_t> bytes(kPictureBytes, shade);
    line.PushPicture(PublishCmd::Unit(kCmdVideoUnit, bytes.data(), kPictureBytes, line.StampFilePicture(fileMs)), 64);
  }

  std::vector<Taken> Kind(bool video) const {
    std::vector<Taken> kind;
    for (const auto& t : taken)
      if (t.video == video) kind.push_back(t);
    return kind;
  }
  // Every sound unit starts where the one before ended; every picture is
  // stamped after the one before.
  void ExpectOneUnbrokenLine() const {
    const auto sound = Kind(false);
    for (size_t i = 1; i < sound.size(); ++i)
      ASSERT_NEAR(sound[i].stamp - sound[i].soundMs, sound[i - 1].stamp, 1.0) << "sound unit " << i;
    const auto pictures = Kind(true);
    for (size_t i = 1; i < pictures.size(); ++i)
      ASSERT_GT(static_cast<int32_t>(pictures[i].stamp - pictures[i - 1].stamp), 0) << "picture " << i;
  }
  double RealSoundMs(uint32_t from, uint32_t to) const {
    double ms = 0;
    for (const auto& t : Kind(false))
      if (!t.silent && t.stamp > from && t.stamp <= to) ms += t.soundMs;
    return ms;
  }

  uint32_t now = 5000;
  double exactNow = 5000;
  uint32_t start = 5000;
  double devicePositionMs = 0;
  MediaTimeline line{[this] { return now; }};
  std::vector<Taken> taken;
};

TEST_F(Line, SoundAndPicturesCapturedTogetherShareAStampWhenTheDeviceStartsLate) {
  Picture();
  Pass(760);  // the device's first block arrives this late
  Microphone();
  Picture();
  Pass(kBlockMs);
  Microphone();
  Picture();
  Pass(MediaTimeline::kGraceMs + 50);
  const auto sound = Kind(false), pictures = Kind(true);
  ASSERT_GE(pictures.size(), 3u);
  EXPECT_EQ(pictures.front().stamp, 0u);
  // The first block ends when it arrived, the next one a block later.
  const auto real = std::find_if(sound.begin(), sound.end(), [](const Taken& t) { return !t.silent; });
  ASSERT_TRUE(real != sound.end() && real + 1 != sound.end());
  EXPECT_NEAR(real->stamp, 760, 2);
  EXPECT_NEAR((real + 1)->stamp, 760 + kBlockMs, 2);
  const auto lastReal = std::find_if(pictures.rbegin(), pictures.rend(), [](const Taken& t) { return t.stamp < 800; });
  ASSERT_TRUE(lastReal != pictures.rend());
  EXPECT_NEAR(lastReal->stamp, 760 + kBlockMs, 2);
  ExpectOneUnbrokenLine();
}

TEST_F(Line, AKindThatIsMissingIsFilledAfterTheGraceAndNeverHoldsTheOtherLonger) {
  // Pictures alone for two seconds: silence goes with them.
  for (int i = 0; i < 50; ++i) {
    Picture();
    Pass(40);
  }
  auto pictures = Kind(true);
  ASSERT_GE(pictures.size(), 44u);
  for (const auto& p : pictures) EXPECT_LE(p.lineNow - p.stamp, MediaTimeline::kGraceMs + 40) << p.stamp;
  for (const auto& s : Kind(false)) EXPECT_TRUE(s.silent);
  EXPECT_NEAR(static_cast<double>(line.FilledSoundMs()), 2000 - MediaTimeline::kGraceMs, 60);

  // Then sound alone: the last picture stands in for the missing ones.
  taken.clear();
  for (int i = 0; i < 86; ++i) {  // two seconds of blocks
    Microphone();
    Pass(kBlockMs);
  }
  pictures = Kind(true);
  ASSERT_GE(pictures.size(), 40u);
  for (const auto& p : pictures) EXPECT_EQ(p.shade, 100);
  const auto sound = Kind(false);
  for (const auto& s : sound) EXPECT_LE(s.lineNow - s.stamp, MediaTimeline::kGraceMs + 40) << s.stamp;
  // Real sound from its first block on, up to what still waits.
  EXPECT_GT(RealSoundMs(2000, 4000), 2000 - MediaTimeline::kGraceMs - 100);
  ExpectOneUnbrokenLine();
}

TEST_F(Line, BeforeAnyPictureTheFillerIsBlack) {
  for (int i = 0; i < 43; ++i) {
    Microphone();
    Pass(kBlockMs);
  }
  const auto pictures = Kind(true);
  ASSERT_GE(pictures.size(), 15u);
  for (const auto& p : pictures) EXPECT_TRUE(p.silent);
  for (size_t i = 1; i < pictures.size(); ++i) EXPECT_EQ(pictures[i].stamp - pictures[i - 1].stamp, 40u);
}

TEST_F(Line, ADeviceThatLosesSoundLeavesAFilledHoleNotASlowCatchUp) {
  double nextPicture = exactNow, nextBlock = exactNow;
  const auto run = [&](double ms, bool sound) {
    const double until = exactNow + ms;
    while (exactNow < until) {
      const double step = std::min(nextPicture, sound ? nextBlock : until) - exactNow;
      Pass(std::max(0.0, step));
      if (exactNow >= nextPicture) {
        Picture();
        nextPicture += 40;
      }
      if (sound && exactNow >= nextBlock) {
        Microphone();
        nextBlock += kBlockMs;
      }
    }
    if (!sound) nextBlock = exactNow;
  };
  run(3000, true);
  // Three seconds lost at the device (a suspended sink): its position goes
  // on from where it stopped, the clock does not.
  run(3000, false);
  run(3000, true);
  Drain();
  ExpectOneUnbrokenLine();
  const auto sound = Kind(false);
  ASSERT_FALSE(sound.empty());
  // The sound is back within a fraction of a second and on the clock: not
  // behind by the three seconds it lost.
  EXPECT_GT(RealSoundMs(6300, 9000), 2300);
  EXPECT_NEAR(static_cast<double>(line.FilledSoundMs()), 3000, 400);
  EXPECT_LE(now - start - sound.back().stamp, MediaTimeline::kGraceMs);
}

TEST_F(Line, AFilePausedPastTheGraceMovesOnWithNothingLeftOut) {
  for (uint32_t ms = 0; ms < 1000; ms += 20) {
    FileSound(ms);
    if (ms % 40 == 0) FilePicture(ms);
    Pass(20);
  }
  Pass(1000);  // paused: its clock stands still
  for (uint32_t ms = 1000; ms < 2000; ms += 20) {
    FileSound(ms);
    if (ms % 40 == 0) FilePicture(ms, 180);
    Pass(20);
  }
  Pass(300);
  ExpectOneUnbrokenLine();
  EXPECT_NEAR(RealSoundMs(0, 10000), 2000, 1.0) << "the file's sound went out whole";
  const auto pictures = Kind(true);
  const auto resumed = std::find_if(pictures.begin(), pictures.end(), [](const Taken& t) { return t.shade == 180; });
  ASSERT_NE(resumed, pictures.end());
  EXPECT_GT(resumed->stamp, 2000u - MediaTimeline::kGraceMs) << "after what stood in for the pause";
}

TEST_F(Line, ASwitchContinuesFromWhatWentOutAndANewRunStartsAfresh) {
  for (int i = 0; i < 43; ++i) {
    Microphone();
    if (i % 2 == 0) Picture();
    Pass(kBlockMs);
  }
  Microphone();
  Picture();  // queued, then dropped by the switch
  line.NewSource();
  Pass(300);  // the next source takes its time to start
  for (int i = 0; i < 20; ++i) {
    Picture(120);
    Pass(40);
  }
  ExpectOneUnbrokenLine();
  // The new source's pictures lie where the line stands: no jump forward.
  int fromNewSource = 0;
  for (const auto& p : Kind(true)) {
    if (p.shade != 120) continue;
    ++fromNewSource;
    EXPECT_LE(p.stamp, p.lineNow) << "stamped ahead of the line";
  }
  EXPECT_GE(fromNewSource, 15);

  taken.clear();
  Pass(60000);
  line.NewRun(TestShape());
  start = now;
  taken.clear();
  Picture();
  Pass(40);
  Picture();
  Pass(MediaTimeline::kGraceMs);
  const auto pictures = Kind(true);
  ASSERT_FALSE(pictures.empty());
  // Nothing of the last run's minute survives into this one.
  EXPECT_LT(pictures.back().stamp, 1000u);
  EXPECT_LT(line.FilledSoundMs(), 200u);
}

}  // namespace
