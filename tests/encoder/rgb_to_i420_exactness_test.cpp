// The fixed-point colour formulas against the exact decimal ones for every
// possible input, and every vectorised variant the CPU can run against the
// scalar form.
#include <gtest/gtest.h>

#include <hwy/targets.h>

#include <random>
#include <string>
#include <vector>

#include "encodemediathensendthroughrtmp/RgbToI420.h"
#include "encodemediathensendthroughrtmp/RgbToI420FixedPoint.h"

namespace {

using namespace rgb_to_i420;

// The formulas with their coefficients in exact millionths and one
// truncating division: every sum is positive, so the division truncates
// toward zero as the formulas require.
uint8_t ExactLuma(int b, int g, int r) {
  const int32_t y = (256788 * r + 504129 * g + 97906 * b + 16000000) / 1000000;
  return static_cast<uint8_t>(y > 255 ? 255 : y);
}
uint8_t ExactU(int b, int g, int r) {
  return static_cast<uint8_t>((439216 * b - 290993 * g - 148223 * r + 128000000) / 1000000);
}
uint8_t ExactV(int b, int g, int r) {
  return static_cast<uint8_t>((439216 * r - 367788 * g - 71427 * b + 128000000) / 1000000);
}

// Chroma is computed from the averages of 2x2 blocks, which are themselves
// 0..255 per channel: all 2^24 triples cover U and V as well as luma.
TEST(RgbToI420Exactness, FixedPointEqualsTheExactFormulasForEveryTriple) {
  int lumaMismatches = 0, uMismatches = 0, vMismatches = 0;
  for (int r = 0; r < 256; ++r) {
    for (int g = 0; g < 256; ++g) {
      for (int b = 0; b < 256; ++b) {
        lumaMismatches += LumaOf(b, g, r) != ExactLuma(b, g, r);
        uMismatches += ChromaUOf(b, g, r) != ExactU(b, g, r);
        vMismatches += ChromaVOf(b, g, r) != ExactV(b, g, r);
      }
    }
  }
  EXPECT_EQ(lumaMismatches, 0);
  EXPECT_EQ(uMismatches, 0);
  EXPECT_EQ(vMismatches, 0);
  // Plain double arithmetic gets these wrong; the exact form must not.
  EXPECT_EQ(ChromaUOf(229, 229, 229), ExactU(229, 229, 229));
  EXPECT_EQ(ChromaUOf(230, 230, 230), ExactU(230, 230, 230));
}

// Expected output built pixel by pixel from the scalar formulas.
std::vector<uint8_t> ScalarI420(const std::vector<uint8_t>& bgr, int w, int h) {
  std::vector<uint8_t> out(I420Size(w, h));
  auto at = [&](int x, int y, int c) { return bgr[(static_cast<size_t>(y) * w + x) * 3 + c]; };
  uint8_t* u = out.data() + static_cast<size_t>(w) * h;
  uint8_t* v = u + static_cast<size_t>(w) * h / 4;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) out[static_cast<size_t>(y) * w + x] = LumaOf(at(x, y, 0), at(x, y, 1), at(x, y, 2));
  for (int y = 0; y < h; y += 2) {
    for (int x = 0; x < w; x += 2) {
      int avg[3];
      for (int c = 0; c < 3; ++c) avg[c] = (at(x, y, c) + at(x + 1, y, c) + at(x, y + 1, c) + at(x + 1, y + 1, c)) >> 2;
      const size_t i = static_cast<size_t>(y / 2) * (w / 2) + x / 2;
      u[i] = ChromaUOf(avg[0], avg[1], avg[2]);
      v[i] = ChromaVOf(avg[0], avg[1], avg[2]);
    }
  }
  return out;
}

struct Picture {
  int width, height;
  std::vector<uint8_t> bgr;
};

std::vector<Picture> TestPictures() {
  std::vector<Picture> pictures;
  std::mt19937 random(20261209);
  // Widths that leave no vector, a partial one and a scalar tail behind a
  // run of full ones, for every lane count.
  for (int width : {2, 6, 30, 64, 98, 1282}) {
    for (int height : {2, 6}) {
      Picture p{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3)};
      for (auto& byte : p.bgr) byte = static_cast<uint8_t>(random());
      pictures.push_back(std::move(p));
    }
  }
  // Every triple once: each variant's luma path sees all of them.
  Picture all{4096, 4096, std::vector<uint8_t>(size_t{4096} * 4096 * 3)};
  for (uint32_t i = 0; i < (1u << 24); ++i) {
    all.bgr[3 * i] = static_cast<uint8_t>(i);
    all.bgr[3 * i + 1] = static_cast<uint8_t>(i >> 8);
    all.bgr[3 * i + 2] = static_cast<uint8_t>(i >> 16);
  }
  pictures.push_back(std::move(all));
  return pictures;
}

class TargetScope {
 public:
  explicit TargetScope(int64_t target) { hwy::SetSupportedTargetsForTest(target); }
  ~TargetScope() { hwy::SetSupportedTargetsForTest(0); }
};

TEST(RgbToI420Exactness, EveryVectorTargetGivesTheScalarBytes) {
  const std::vector<Picture> pictures = TestPictures();
  std::vector<std::vector<uint8_t>> expected;
  for (const Picture& p : pictures) expected.push_back(ScalarI420(p.bgr, p.width, p.height));
  const std::vector<int64_t> targets = hwy::SupportedAndGeneratedTargets();
  ASSERT_GE(targets.size(), 2u) << "at least one vector target and the portable fallback";
  for (int64_t target : targets) {
    TargetScope scope(target);
    ASSERT_EQ(std::string(RgbToI420TargetName()), hwy::TargetName(target));
    for (size_t i = 0; i < pictures.size(); ++i) {
      const Picture& p = pictures[i];
      std::vector<uint8_t> out(I420Size(p.width, p.height), 0xEE);
      FlipAndConvertRgbToI420(out.data(), p.bgr.data(), p.width, p.height);
      EXPECT_TRUE(out == expected[i]) << hwy::TargetName(target) << " at " << p.width << "x" << p.height;
    }
  }
}

}  // namespace
