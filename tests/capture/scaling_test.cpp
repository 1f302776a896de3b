// Frame fitting: geometry of common camera and screen sizes, exact enlargement pixels,
// copies, untouched frames for bad sizes, and concurrent callers.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "capture/ResizeRgb24Fit.h"

namespace {

using Frame = std::vector<BYTE>;

Frame Pattern(int w, int h) {
  Frame f(static_cast<size_t>(w) * h * 3);
  for (size_t i = 0; i < f.size(); ++i) f[i] = static_cast<BYTE>(1 + (i * 7) % 250);  // never 0
  return f;
}

// Bounding box of the non-zero pixels.
struct Box {
  int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
};
Box Painted(const Frame& f, int w, int h) {
  Box b;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const BYTE* p = &f[(static_cast<size_t>(y) * w + x) * 3];
      if (p[0] | p[1] | p[2]) {
        b.x0 = std::min(b.x0, x);
        b.y0 = std::min(b.y0, y);
        b.x1 = std::max(b.x1, x);
        b.y1 = std::max(b.y1, y);
      }
    }
  return b;
}

struct Case {
  int sw, sh, dw, dh, fw, fh, x, y;
  bool shrink;
};

TEST(ResizeRgb24Fit, GeometryOfCommonCameraAndScreenSizes) {
  const Case cases[] = {
      {1280, 720, 640, 480, 640, 360, 0, 60, true},
      {640, 480, 1280, 720, 960, 720, 160, 0, false},  // 640 / 0.6666667f rounds to 960 in single precision
      {1366, 768, 1280, 720, 1280, 716, 0, 2, true},
      {1366, 768, 642, 360, 640, 360, 1, 0, true},     // odd border split in x
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh);
    const int s[2] = {c.sw, c.sh}, d[2] = {c.dw, c.dh};
    FitGeometry fit;
    ASSERT_TRUE(ComputeFit(s, d, &fit));
    EXPECT_EQ(c.fw, fit.width);
    EXPECT_EQ(c.fh, fit.height);
    EXPECT_EQ(c.x, fit.x);
    EXPECT_EQ(c.y, fit.y);
    EXPECT_EQ(c.shrink, fit.shrink);
    // The frame shows the picture exactly there (a non-black pattern).
    const Frame src = Pattern(c.sw, c.sh);
    Frame dst(static_cast<size_t>(c.dw) * c.dh * 3, 0);
    ResizeRgb24Fit(src.data(), s, dst.data(), d);
    const Box b = Painted(dst, c.dw, c.dh);
    EXPECT_EQ(c.x, b.x0);
    EXPECT_EQ(c.y, b.y0);
    EXPECT_EQ(c.x + c.fw - 1, b.x1);
    EXPECT_EQ(c.y + c.fh - 1, b.y1);
  }
}

TEST(ResizeRgb24Fit, EnlargingTwoByTwoGivesTheExactBilinearPixels) {
  // One channel value per source pixel, the same in B, G and R.
  const BYTE v[2][2] = {{0, 100}, {200, 40}};
  Frame src(2 * 2 * 3);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x)
      for (int c = 0; c < 3; ++c) src[(y * 2 + x) * 3 + c] = v[y][x];
  const int s[2] = {2, 2}, d[2] = {4, 4};
  Frame dst(4 * 4 * 3, 0);
  ResizeRgb24Fit(src.data(), s, dst.data(), d);
  // Positions 0, .25, .5, .75 on both axes; the second sample is the rounded
  // position, so weights apply only from .5 on.
  const int expected[4][4] = {
      {0, 0, 50, 75},
      {0, 0, 50, 75},
      {100, 100, 85, 77},
      {150, 150, 102, 78},
  };
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(expected[y][x], dst[(y * 4 + x) * 3]) << "at " << x << "," << y;
      EXPECT_EQ(dst[(y * 4 + x) * 3], dst[(y * 4 + x) * 3 + 2]);
    }
}

TEST(ResizeRgb24Fit, EqualSizesCopyAndBadInputLeavesTheFrameAlone) {
  const int s[2] = {8, 4};
  const Frame src = Pattern(8, 4);
  Frame dst(src.size(), 0);
  ResizeRgb24Fit(src.data(), s, dst.data(), s);
  EXPECT_EQ(src, dst);

  const int bad[][2] = {{0, 4}, {8, -1}, {-8, 4}, {8, 0}};
  Frame untouched(8 * 4 * 3, 0x5A);
  for (const auto& b : bad) {
    ResizeRgb24Fit(src.data(), b, untouched.data(), s);
    ResizeRgb24Fit(src.data(), s, untouched.data(), b);
  }
  ResizeRgb24Fit(nullptr, s, untouched.data(), s);
  ResizeRgb24Fit(src.data(), s, nullptr, s);
  EXPECT_EQ(Frame(8 * 4 * 3, 0x5A), untouched);
}

TEST(ResizeRgb24Fit, OddSourceWidthsShrinkAndLargeOutputsWork) {
  // A width whose rows are not a multiple of 4 bytes is scaled like any other.
  const int s[2] = {1366, 767}, d[2] = {640, 360};
  const Frame src = Pattern(1366, 767);
  Frame dst(640 * 360 * 3, 0);
  ResizeRgb24Fit(src.data(), s, dst.data(), d);
  const Box b = Painted(dst, 640, 360);
  EXPECT_EQ(0, b.x0);
  EXPECT_EQ(639, b.x1);
  // Above 1920 x 1080 the picture is still fitted.
  const int big[2] = {2560, 1440}, small[2] = {640, 360};
  const Frame from = Pattern(640, 360);
  Frame out(2560 * 1440 * 3, 0);
  ResizeRgb24Fit(from.data(), small, out.data(), big);
  const Box bb = Painted(out, 2560, 1440);
  EXPECT_EQ(0, bb.x0);
  EXPECT_EQ(2559, bb.x1);
  EXPECT_EQ(1439, bb.y1);
}

TEST(ResizeRgb24Fit, ConcurrentCallersGetTheSameResultAsOne) {
  const int s1[2] = {1280, 720}, d1[2] = {640, 480};
  const int s2[2] = {320, 240}, d2[2] = {1280, 720};
  const Frame a = Pattern(1280, 720), b = Pattern(320, 240);
  Frame wantA(640 * 480 * 3, 0), wantB(1280 * 720 * 3, 0);
  ResizeRgb24Fit(a.data(), s1, wantA.data(), d1);
  ResizeRgb24Fit(b.data(), s2, wantB.data(), d2);
  auto worker = [&](bool first, bool* same) {
    *same = true;
    for (int i = 0; i < 20; ++i) {
      Frame out(first ? wantA.size() : wantB.size(), 0);
      if (first)
        ResizeRgb24Fit(a.data(), s1, out.data(), d1);
      else
        ResizeRgb24Fit(b.data(), s2, out.data(), d2);
      *same = *same && out == (first ? wantA : wantB);
    }
  };
  bool sameA = false, sameB = false;
  std::thread t1(worker, true, &sameA), t2(worker, false, &sameB);
  t1.join();
  t2.join();
  EXPECT_TRUE(sameA);
  EXPECT_TRUE(sameB);
}

}  // namespace
