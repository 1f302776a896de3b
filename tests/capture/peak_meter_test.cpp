// Peak meter holds and the level bar's colours and blending, plus the text
// conversions the capture code uses for device names.
#include <gtest/gtest.h>

#include <vector>

#include "capture/LevelBar.h"
#include "capture/PeakMeter.h"
#include "capture/TextConvert.h"

namespace {

std::vector<short> Stereo(short left, short right, int frames = 8) {
  std::vector<short> pcm;
  for (int i = 0; i < frames; ++i) {
    pcm.push_back(left);
    pcm.push_back(right);
  }
  return pcm;
}

TEST(PeakMeter, HoldsRisesAndFallsByTheDecay) {
  PeakMeter m(1500);
  auto loud = Stereo(10000, -20000);
  EXPECT_FLOAT_EQ(10000 / 32767.0f, m.Left(loud.data(), static_cast<int>(loud.size() * 2)));
  EXPECT_FLOAT_EQ(20000 / 32767.0f, m.Right(loud.data(), static_cast<int>(loud.size() * 2)));
  // Held 10000, block 9000: falls by the decay, even below the block's peak.
  auto softer = Stereo(9000, 0);
  EXPECT_EQ(10000, m.peakLeft);
  m.Left(softer.data(), static_cast<int>(softer.size() * 2));
  EXPECT_EQ(8500, m.peakLeft);
  // Three bytes hold no frame: a silent block.
  m.Left(softer.data(), 3);
  EXPECT_EQ(7000, m.peakLeft);
  // Null leaves the hold alone.
  EXPECT_EQ(0.0f, m.Left(nullptr, 64));
  EXPECT_EQ(7000, m.peakLeft);
}

TEST(PeakMeter, NeverGoesBelowZeroAndIgnoresMinus32768) {
  PeakMeter m(1500);
  m.peakLeft = 1000;
  auto silent = Stereo(0, 0);
  m.Left(silent.data(), static_cast<int>(silent.size() * 2));
  EXPECT_EQ(0, m.peakLeft);
  auto edge = Stereo(-32768, 32767);
  EXPECT_EQ(0.0f, m.Left(edge.data(), static_cast<int>(edge.size() * 2)));
  EXPECT_FLOAT_EQ(1.0f, m.Right(edge.data(), static_cast<int>(edge.size() * 2)));
}

TEST(LevelBar, FullScaleOn640RunsGreenToYellowThenStaysYellow) {
  const auto bar = FillLevelBar(640, 640);
  ASSERT_EQ(640u * 3 * 3, bar.size());
  auto px = [&](int k) { return std::vector<int>{bar[k * 3], bar[k * 3 + 1], bar[k * 3 + 2]}; };
  EXPECT_EQ((std::vector<int>{0, 255, 0}), px(0));
  EXPECT_EQ((std::vector<int>{0, 255, 254}), px(319));
  EXPECT_EQ((std::vector<int>{0, 255, 255}), px(320));
  EXPECT_EQ((std::vector<int>{0, 255, 255}), px(639));
  // The three rows are the same.
  EXPECT_TRUE(std::equal(bar.begin(), bar.begin() + 640 * 3, bar.begin() + 640 * 3));
}

TEST(LevelBar, On320TheSecondHalfFadesTowardsRed) {
  const auto bar = FillLevelBar(320, 320);
  EXPECT_EQ(255, bar[160 * 3 + 1]);
  EXPECT_EQ(96, bar[319 * 3 + 1]);
  EXPECT_EQ(255, bar[319 * 3 + 2]);
}

TEST(LevelBar, LengthsOutsideTheFrameAndOnePixelFrames) {
  EXPECT_TRUE(FillLevelBar(0, 320).empty());
  EXPECT_TRUE(FillLevelBar(321, 320).empty());
  EXPECT_TRUE(FillLevelBar(-1, 320).empty());
  // One pixel wide: no division by zero, a yellow pixel.
  const auto bar = FillLevelBar(1, 1);
  ASSERT_EQ(9u, bar.size());
  EXPECT_EQ(255, bar[1]);
  EXPECT_EQ(255, bar[2]);
  std::vector<BYTE> frame(3 * 4, 0);
  BITMAPINFOHEADER h{};
  h.biWidth = 1;
  h.biHeight = 4;
  DrawLevelBar(frame.data(), &h, 1.0f);
  EXPECT_EQ(254, frame[1]);
  EXPECT_EQ(254, frame[3 * 2 + 2]);
  EXPECT_EQ(0, frame[3 * 3 + 1]) << "the fourth row is not part of the bar";
}

TEST(LevelBar, DrawBlendsWithFullOpacityIntoTheFirstThreeRows) {
  std::vector<BYTE> frame(8 * 4 * 3, 100);
  BITMAPINFOHEADER h{};
  h.biWidth = 8;
  h.biHeight = -4;  // orientation does not matter: the bar starts at the first byte
  DrawLevelBar(frame.data(), &h, 0.5f);
  // Length 4 of 8: green fading to yellow over the first half; 255 arrives as 254.
  EXPECT_EQ(0, frame[0]);
  EXPECT_EQ(254, frame[1]);
  EXPECT_EQ(0, frame[2]);
  EXPECT_EQ(254, frame[3 * 3 + 1]);
  EXPECT_EQ(190, frame[3 * 3 + 2]);  // 3 * 255 / 4 = 191, blended: 191 * 255 >> 8
  EXPECT_EQ(100, frame[4 * 3]) << "beyond the bar";
  EXPECT_EQ(100, frame[3 * 8 * 3]) << "fourth row untouched";
  std::vector<BYTE> untouched(frame);
  DrawLevelBar(frame.data(), &h, 0.0f);
  EXPECT_EQ(untouched, frame);
}

TEST(LevelBar, BlendClipsToTheFrame) {
  std::vector<BYTE> frame(4 * 2 * 3, 0);
  const std::vector<BYTE> picture(3 * 3 * 3, 200);
  BlendImage(frame.data(), 4, 2, picture.data(), 3, 3, 2, 1, 255);
  EXPECT_EQ(199, frame[(1 * 4 + 2) * 3]);
  EXPECT_EQ(199, frame[(1 * 4 + 3) * 3 + 2]);
  EXPECT_EQ(0, frame[(0 * 4 + 2) * 3]);
  BlendImage(frame.data(), 4, 2, picture.data(), 3, 3, 10, 10, 255);  // wholly outside
  BlendImage(frame.data(), 4, 2, picture.data(), 3, 3, -3, 0, 255);
  EXPECT_EQ(0, frame[0]);
}

TEST(TextConvert, Utf8RoundTripsAndCleansItsInput) {
  EXPECT_EQ(L"音频捕获filter", AnsiToWide("音频捕获filter"));
  EXPECT_EQ("音频捕获filter", WideToAnsi(L"音频捕获filter"));
  EXPECT_EQ(L"Mic 🎤", AnsiToWide("Mic \xF0\x9F\x8E\xA4"));
  EXPECT_EQ(L"abc", AnsiToWide("\xEF\xBB\xBF" "abc")) << "byte-order mark dropped";
  EXPECT_EQ(L"ab", AnsiToWide(std::string("ab\0cd", 5))) << "ends at the first NUL";
  EXPECT_EQ(L"a\xFFFD" L"b", AnsiToWide("a\xC3" "b")) << "truncated sequence";
  EXPECT_EQ(L"\xFFFD", AnsiToWide("\xC0\xAF")) << "overlong encoding";
  EXPECT_EQ(L"", AnsiToWide(""));
  EXPECT_EQ("x", WideToAnsi(std::wstring(L"x\0y", 3)));
  EXPECT_EQ("\xEF\xBF\xBD", WideToAnsi(std::wstring(1, static_cast<wchar_t>(0xD800))));
}

}  // namespace
