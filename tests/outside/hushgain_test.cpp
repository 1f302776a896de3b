// Noise suppression and gain control on synthetic sound, in the blocks the
// publish manager hands over (30 ms of 44.1 kHz stereo).
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "platform/hushgain/Hushgain.h"

namespace {

constexpr int kRate = 44100;
constexpr int kBlockBytes = 5292;
constexpr int kBlockSamples = kBlockBytes / 2;

double RmsDb(const std::vector<int16_t>& s, size_t from, size_t to) {
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += static_cast<double>(s[i]) * s[i];
  return 10 * std::log10(sum / (to - from) / (32768.0 * 32768.0) + 1e-20);
}

// Interleaved stereo: white noise with an RMS of rmsDb dBFS.
std::vector<int16_t> Noise(double seconds, double rmsDb, unsigned seed) {
  std::mt19937 random(seed);
  std::normal_distribution<double> gauss(0.0, 32768.0 * std::pow(10.0, rmsDb / 20));
  std::vector<int16_t> s(static_cast<size_t>(seconds * kRate) * 2);
  for (auto& v : s) v = static_cast<int16_t>(std::clamp(gauss(random), -32768.0, 32767.0));
  return s;
}

void ProcessInBlocks(int handle, std::vector<int16_t>* s) {
  // A block that is not whole 10 ms pieces at this rate (48 kHz) is fine too.
  for (size_t at = 0; at + kBlockSamples <= s->size(); at += kBlockSamples) {
    ASSERT_EQ(HushgainPro(handle, s->data() + at, kBlockBytes), 0);
  }
}

TEST(HushgainTest, WhiteNoiseIsAtLeastSixDbQuieterAfterOneSecond) {
  const int handle = createHushgain();
  ASSERT_NE(handle, 0);
  ASSERT_EQ(HushgainInit(handle, kRate, 16, 20, 3, 0), 0);  // the manager's defaults
  std::vector<int16_t> sound = Noise(3.0, -30.0, 7);
  const std::vector<int16_t> original = sound;
  ProcessInBlocks(handle, &sound);
  const size_t oneSecond = kRate * 2;
  const double before = RmsDb(original, oneSecond, sound.size());
  const double after = RmsDb(sound, oneSecond, sound.size());
  EXPECT_NEAR(before, -30.0, 0.5);
  RecordProperty("attenuation_db", static_cast<int>(before - after));
  EXPECT_LE(after, before - 6.0) << "before " << before << " dB, after " << after << " dB";
  // Left and right are handled alike: neither channel is left as it was.
  double left = 0, right = 0;
  for (size_t i = oneSecond; i < sound.size(); i += 2) {
    left += std::abs(sound[i]);
    right += std::abs(sound[i + 1]);
  }
  EXPECT_NEAR(left / right, 1.0, 0.2);
  EXPECT_EQ(HushgainDestroy(handle), 0);
}

TEST(HushgainTest, BlocksThatAreNotWholePiecesAreProcessedThroughout) {
  const int handle = createHushgain();
  ASSERT_NE(handle, 0);
  ASSERT_EQ(HushgainInit(handle, 48000, 16, 20, 3, 0), 0);  // 5292 bytes = 13.8 pieces of 10 ms
  std::mt19937 random(3);
  std::normal_distribution<double> gauss(0.0, 32768.0 * std::pow(10.0, -30.0 / 20));
  std::vector<int16_t> sound(48000 * 2 * 3);
  for (auto& v : sound) v = static_cast<int16_t>(gauss(random));
  const std::vector<int16_t> original = sound;
  ProcessInBlocks(handle, &sound);
  // Every 10 ms stretch after the first second is quieter, none left raw.
  for (size_t at = 48000 * 2; at + 960 <= sound.size() - kBlockSamples; at += 960) {
    ASSERT_LT(RmsDb(sound, at, at + 960), RmsDb(original, at, at + 960) - 6.0) << "at sample " << at;
  }
  HushgainDestroy(handle);
}

TEST(HushgainTest, LevelZeroOrModeZeroSuppressesLess) {
  const int strong = createHushgain();
  const int off = createHushgain();
  ASSERT_NE(strong, 0);
  ASSERT_NE(off, 0);
  ASSERT_NE(strong, off);
  ASSERT_EQ(HushgainInit(strong, kRate, 16, 40, 3, 0), 0);
  ASSERT_EQ(HushgainInit(off, kRate, 16, 0, 3, 0), 0);
  std::vector<int16_t> a = Noise(2.0, -30.0, 11), b = a;
  ProcessInBlocks(strong, &a);
  ProcessInBlocks(off, &b);
  const size_t oneSecond = kRate * 2;
  EXPECT_LT(RmsDb(a, oneSecond, a.size()), RmsDb(b, oneSecond, b.size()) - 6.0);
  HushgainDestroy(strong);
  HushgainDestroy(off);
}

TEST(HushgainTest, GainControlLiftsQuietSpeechLevel) {
  const int handle = createHushgain();
  ASSERT_NE(handle, 0);
  ASSERT_EQ(HushgainInit(handle, kRate, 16, 0, 0, 30), 0);
  std::vector<int16_t> tone(static_cast<size_t>(4 * kRate) * 2);
  for (size_t i = 0; i < tone.size() / 2; ++i) {
    const double t = static_cast<double>(i) / kRate;
    // a syllable-like 300 Hz tone at about -40 dBFS, switched on and off
    const double on = std::fmod(t, 0.5) < 0.3 ? 1.0 : 0.0;
    tone[2 * i] = tone[2 * i + 1] = static_cast<int16_t>(on * 327 * std::sin(2 * M_PI * 300 * t));
  }
  const std::vector<int16_t> original = tone;
  ProcessInBlocks(handle, &tone);
  const size_t from = 3 * kRate * 2;
  EXPECT_GT(RmsDb(tone, from, tone.size()), RmsDb(original, from, original.size()) + 6.0);
  HushgainDestroy(handle);
}

TEST(HushgainTest, RefusesBadHandlesFormatsAndBlocks) {
  EXPECT_NE(HushgainInit(0, kRate, 16, 20, 3, 0), 0);
  EXPECT_NE(HushgainInit(12345, kRate, 16, 20, 3, 0), 0);
  const int handle = createHushgain();
  ASSERT_NE(handle, 0);
  EXPECT_NE(HushgainInit(handle, kRate, 8, 20, 3, 0), 0);
  EXPECT_NE(HushgainInit(handle, kRate, 24, 20, 3, 0), 0);
  EXPECT_NE(HushgainInit(handle, 7999, 16, 20, 3, 0), 0);
  EXPECT_NE(HushgainInit(handle, 48001, 16, 20, 3, 0), 0);
  EXPECT_NE(HushgainInit(handle, kRate, 16, 20, 3, 0, 3), 0);
  std::vector<int16_t> block(kBlockSamples, 1000);
  EXPECT_NE(HushgainPro(handle, block.data(), kBlockBytes), 0) << "a failed Init leaves it unusable";
  EXPECT_EQ(block[0], 1000);
  EXPECT_EQ(HushgainInit(handle, 8000, 16, 20, 3, 0), 0);
  EXPECT_EQ(HushgainInit(handle, 48000, 16, 20, 3, 0, 1), 0);
  EXPECT_NE(HushgainPro(handle, nullptr, kBlockBytes), 0);
  EXPECT_NE(HushgainPro(handle, block.data(), 0), 0);
  EXPECT_NE(HushgainPro(handle, block.data(), -4), 0);
  EXPECT_NE(HushgainPro(handle, block.data(), 3), 0);

  EXPECT_EQ(HushgainInit(handle, 48000, 16, 20, 3, 0, 2), 0);
  EXPECT_NE(HushgainPro(handle, block.data(), 6), 0) << "half a stereo sample frame";
  EXPECT_EQ(HushgainPro(handle, block.data(), 8), 0);

  EXPECT_EQ(HushgainDestroy(handle), 0);
  EXPECT_NE(HushgainDestroy(handle), 0);
  EXPECT_NE(HushgainPro(handle, block.data(), kBlockBytes), 0);
  EXPECT_NE(HushgainDestroy(0), 0);
}

TEST(HushgainTest, HandlesAreNeverZeroAndTheTableIsBounded) {
  std::vector<int> handles;
  for (;;) {
    const int h = createHushgain();
    if (h == 0) break;
    handles.push_back(h);
    ASSERT_LT(handles.size(), 1000u);
  }
  EXPECT_GE(handles.size(), 8u);
  ASSERT_EQ(HushgainDestroy(handles[3]), 0);
  EXPECT_EQ(createHushgain(), handles[3]);  // a freed slot is used again
  for (int h : handles) HushgainDestroy(h);
}

}  // namespace
