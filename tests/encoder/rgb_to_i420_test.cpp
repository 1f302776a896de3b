// RGB24-to-I420: exact values of the colour formulas and the orientation of
// the converted picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "encodemediathensendthroughrtmp/RgbToI420.h"

namespace {

struct Converted {
  std::vector<uint8_t> i420;
  uint8_t Y(int x, int y) const { return i420[static_cast<size_t>(y) * width + x]; }
  uint8_t U(int x, int y) const { return i420[static_cast<size_t>(width) * height + (y / 2) * (width / 2) + x / 2]; }
  uint8_t V(int x, int y) const {
    return i420[static_cast<size_t>(width) * height * 5 / 4 + (y / 2) * (width / 2) + x / 2];
  }
  int width, height;
};

Converted Convert(std::vector<uint8_t> bgr, int width, int height) {
  Converted c{std::vector<uint8_t>(I420Size(width, height), 0xEE), width, height};
  FlipAndConvertRgbToI420(c.i420.data(), bgr.data(), width, height);
  return c;
}

std::vector<uint8_t> Filled(int width, int height, uint8_t b, uint8_t g, uint8_t r) {
  std::vector<uint8_t> bgr(static_cast<size_t>(width) * height * 3);
  for (size_t i = 0; i < bgr.size(); i += 3) {
    bgr[i] = b;
    bgr[i + 1] = g;
    bgr[i + 2] = r;
  }
  return bgr;
}

TEST(RgbToI420, WhiteTruncatesTo234AndBlackIs16WithNeutralChroma) {
  Converted white = Convert(Filled(4, 2, 255, 255, 255), 4, 2);
  EXPECT_EQ(white.Y(0, 0), 234) << "234.99987 is truncated, not rounded";
  EXPECT_EQ(white.U(0, 0), 128);
  EXPECT_EQ(white.V(0, 0), 128);
  Converted black = Convert(Filled(4, 2, 0, 0, 0), 4, 2);
  EXPECT_EQ(black.Y(3, 1), 16);
  EXPECT_EQ(black.U(2, 0), 128);
  EXPECT_EQ(black.V(2, 0), 128);
}

TEST(RgbToI420, PrimariesMatchTheStudioRangeFormula) {
  Converted red = Convert(Filled(2, 2, 0, 0, 255), 2, 2);
  EXPECT_EQ(red.Y(0, 0), 81);   // 0.256788 * 255 + 16 = 81.48
  EXPECT_EQ(red.U(0, 0), 90);   // 128 - 0.148223 * 255 = 90.20
  EXPECT_EQ(red.V(0, 0), 240);  // 128 + 0.439216 * 255 = 240.00008
  Converted blue = Convert(Filled(2, 2, 255, 0, 0), 2, 2);
  EXPECT_EQ(blue.Y(0, 0), 40);  // 16 + 0.097906 * 255 = 40.97
  EXPECT_EQ(blue.U(0, 0), 240);
  EXPECT_EQ(blue.V(0, 0), 109);  // 128 - 0.071427 * 255 = 109.79
}

TEST(RgbToI420, FirstRowOfTheBufferBecomesTheTopOfThePicture) {
  const int w = 8, h = 6;
  std::vector<uint8_t> bgr = Filled(w, h, 255, 0, 0);  // blue
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) {
      uint8_t* p = &bgr[(static_cast<size_t>(y) * w + x) * 3];
      p[0] = 0;
      p[1] = 0;
      p[2] = 255;  // red square in the top-left corner
    }
  Converted c = Convert(bgr, w, h);
  EXPECT_EQ(c.Y(0, 0), 81) << "red at the top-left";
  EXPECT_EQ(c.V(0, 0), 240);
  EXPECT_EQ(c.Y(w - 1, 0), 40) << "blue at the top-right";
  EXPECT_EQ(c.Y(0, h - 1), 40) << "blue at the bottom-left";
  EXPECT_EQ(c.V(0, h - 1), 109);
}

TEST(RgbToI420, SecondHalfReadsTheBufferFromItsLastRowUpwards) {
  const int w = 6, h = 4;
  std::vector<uint8_t> bgr(static_cast<size_t>(w) * h * 3);
  for (size_t i = 0; i < bgr.size(); ++i) bgr[i] = static_cast<uint8_t>(i * 37);
  std::vector<uint8_t> upsideDown(bgr.size());
  for (int y = 0; y < h; ++y)
    std::copy_n(&bgr[static_cast<size_t>(h - 1 - y) * w * 3], w * 3, &upsideDown[static_cast<size_t>(y) * w * 3]);
  std::vector<uint8_t> fromBottom(I420Size(w, h));
  ConvertRgb24ToI420(fromBottom.data(), upsideDown.data(), w, h);
  EXPECT_EQ(fromBottom, Convert(bgr, w, h).i420);
}

TEST(RgbToI420, ChromaAveragesEachTwoByTwoBlock) {
  // Two red and two black pixels: integer averages 0, 0, 127.
  std::vector<uint8_t> bgr = Filled(2, 2, 0, 0, 0);
  bgr[2] = 255;
  bgr[5] = 254;  // (255 + 254) >> 2 = 127
  Converted c = Convert(bgr, 2, 2);
  EXPECT_EQ(c.V(0, 0), static_cast<uint8_t>(0.439216 * 127 + 128));
  EXPECT_EQ(c.U(0, 0), static_cast<uint8_t>(-0.148223 * 127 + 128));
}

TEST(RgbToI420, OddSizesAreNotTouched) {
  std::vector<uint8_t> bgr(3 * 3 * 3, 1);
  std::vector<uint8_t> out(64, 0xEE);
  FlipAndConvertRgbToI420(out.data(), bgr.data(), 3, 3);
  EXPECT_EQ(out[0], 0xEE);
}

}  // namespace
