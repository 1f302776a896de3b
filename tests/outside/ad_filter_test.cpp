// The logo overlay filter with the manager's graph text and a PNG made by
// ffmpeg.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "platform/vexa/IADFilter.h"
#include "tests/support/media_tools.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kBytes = kWidth * kHeight * 3;

struct ReleaseFilter {
  void operator()(IADFilter* filter) const { filter->Release(); }
};
using FilterPtr = std::unique_ptr<IADFilter, ReleaseFilter>;

class CountingSink : public IADFilterNotify {
 public:
  int OnADFilterMessage(const char*) override {
    ++messages;
    return 0;
  }
  int messages = 0;
};

// The text the publish manager builds for SetLogo(path, _, a, b, c).
std::string LogoGraph(const std::string& path, int a, int b, int c) {
  char text[1024];
  std::snprintf(text, sizeof(text), "movie='%s'[inm];[inm]vflip[wm];[in][wm]overlay=x=%d:y=%d[out]",
                path.c_str(), b, kHeight - a - c);
  return text;
}

bool Near(const BYTE* px, int b, int g, int r) {
  return std::abs(px[0] - b) < 40 && std::abs(px[1] - g) < 40 && std::abs(px[2] - r) < 40;
}

class AdFilterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // 16x8 logo: top half green, bottom half yellow
    auto made = test_support::RunFfmpeg(
        {"-f", "lavfi", "-i", "color=c=0x00ff00:s=16x4,pad=16:8:0:0:0xffff00", "-frames:v", "1",
         m_dir.File("logo.png")});
    ASSERT_EQ(made.exitCode, 0) << made.err;
  }
  test_support::TempDir m_dir{"adfilter-test"};
  CountingSink m_sink;
};

TEST_F(AdFilterTest, OverlaysTheLogoWhereTheGraphPutsIt) {
  FilterPtr filter(CreateFilter(&m_sink));
  ASSERT_TRUE(filter);
  // a = 10, b = 20, c = 8: x = 20, y = 240 - 10 - 8 = 222 rows from the top
  ASSERT_EQ(filter->Init(LogoGraph(m_dir.File("logo.png"), 10, 20, 8).c_str(), kWidth, kHeight, 3), 0);
  for (int round = 0; round < 3; ++round) {
    std::vector<BYTE> picture(kBytes, 0x80);  // grey
    ASSERT_EQ(filter->Push(picture.data(), kBytes), 0);
    std::vector<BYTE> out(kBytes, 0);
    int bytes = kBytes;
    ASSERT_GE(filter->Pull(out.data(), &bytes), 0) << "round " << round;
    ASSERT_EQ(bytes, kBytes);
    auto at = [&](int x, int y) { return out.data() + (static_cast<size_t>(y) * kWidth + x) * 3; };
    // flipped: the yellow half is now on top
    EXPECT_TRUE(Near(at(27, 223), 0, 255, 255));
    EXPECT_TRUE(Near(at(27, 228), 0, 255, 0));
    EXPECT_TRUE(Near(at(10, 225), 0x80, 0x80, 0x80));   // left of the logo
    EXPECT_TRUE(Near(at(27, 215), 0x80, 0x80, 0x80));   // above it
    EXPECT_TRUE(Near(at(100, 100), 0x80, 0x80, 0x80));
  }
}

TEST_F(AdFilterTest, RefusesBadGraphsSizesAndSmallBuffers) {
  FilterPtr filter(CreateFilter(&m_sink));
  ASSERT_TRUE(filter);
  EXPECT_LT(filter->Init("this is [not] a graph", kWidth, kHeight, 3), 0);
  EXPECT_GT(m_sink.messages, 0);
  EXPECT_LT(filter->Init("[in]nosuchfilter[out]", kWidth, kHeight, 3), 0);
  EXPECT_LT(filter->Init(LogoGraph(m_dir.File("absent.png"), 0, 0, 8).c_str(), kWidth, kHeight, 3), 0);
  EXPECT_LT(filter->Init("[in]null[out]", kWidth, kHeight, 4), 0);
  EXPECT_LT(filter->Init("[in]null[out]", 0, kHeight, 3), 0);
  EXPECT_LT(filter->Init(nullptr, kWidth, kHeight, 3), 0);

  std::vector<BYTE> picture(kBytes + 16, 0x40);
  EXPECT_LT(filter->Push(picture.data(), kBytes), 0) << "no graph yet";
  ASSERT_EQ(filter->Init("[in]null[out]", kWidth, kHeight, 3), 0);
  int bytes = kBytes;
  EXPECT_LT(filter->Pull(picture.data(), &bytes), 0) << "nothing pushed";
  EXPECT_LT(filter->Push(picture.data(), kBytes - 1), 0);
  EXPECT_LT(filter->Push(picture.data(), kBytes + 3), 0);
  EXPECT_LT(filter->Push(nullptr, kBytes), 0);
  ASSERT_EQ(filter->Push(picture.data(), kBytes), 0);

  // Too small a buffer: nothing written past its end, the picture waits.
  std::vector<BYTE> small(kBytes / 2 + 8, 0xee);
  bytes = kBytes / 2;
  EXPECT_LT(filter->Pull(small.data(), &bytes), 0);
  for (size_t i = kBytes / 2; i < small.size(); ++i) ASSERT_EQ(small[i], 0xee);
  std::vector<BYTE> out(kBytes);
  bytes = kBytes;
  EXPECT_EQ(filter->Pull(out.data(), &bytes), kBytes);
  EXPECT_EQ(out[1000], 0x40);
  EXPECT_LT(filter->Pull(picture.data(), &bytes), 0);
}

// A graph whose sink hands out pictures with a negative line size (vflip):
// the rows still come out whole and in the flipped order.
TEST_F(AdFilterTest, FlippedPicturesComeOutRowByRow) {
  FilterPtr filter(CreateFilter(&m_sink));
  ASSERT_TRUE(filter);
  ASSERT_EQ(filter->Init("[in]vflip[out]", kWidth, kHeight, 3), 0);
  std::vector<BYTE> picture(kBytes);
  for (int y = 0; y < kHeight; ++y) {
    std::fill_n(picture.data() + static_cast<size_t>(y) * kWidth * 3, kWidth * 3, static_cast<BYTE>(y));
  }
  ASSERT_EQ(filter->Push(picture.data(), kBytes), 0);
  std::vector<BYTE> out(kBytes, 0xee);
  int bytes = kBytes;
  ASSERT_EQ(filter->Pull(out.data(), &bytes), kBytes);
  for (int y = 0; y < kHeight; ++y) {
    const BYTE* row = out.data() + static_cast<size_t>(y) * kWidth * 3;
    ASSERT_EQ(row[0], static_cast<BYTE>(kHeight - 1 - y)) << "row " << y;
    ASSERT_EQ(row[kWidth * 3 - 1], static_cast<BYTE>(kHeight - 1 - y)) << "row " << y;
  }
}

}  // namespace
