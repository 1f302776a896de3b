// x264 with B-frames, driven through the encoder's own functions: every
// access unit carries its own picture's capture time and a composition offset
// that gives rising decode times, and the level written into the stream has
// room for the pictures the stream asks a decoder to keep.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "encodemediathensendthroughrtmp/RgbToI420.h"
#include "encodemediathensendthroughrtmp/VideoEncoder.h"
#include "tests/encoder/live_feeder.h"
#include "tests/support/media_tools.h"
#include "tests/support/temp_dir.h"

namespace {

// Level and max_num_ref_frames of the first sequence parameter set of an
// Annex-B stream; false when there is none or it uses scaling lists.
bool ReadSpsLevelAndReferences(const std::string& annexB, int* level, int* references) {
  size_t start = std::string::npos;
  for (size_t i = 0; i + 3 < annexB.size(); ++i) {
    if (annexB[i] == 0 && annexB[i + 1] == 0 && annexB[i + 2] == 1 && (annexB[i + 3] & 0x1F) == 7) {
      start = i + 4;
      break;
    }
  }
  if (start == std::string::npos) return false;
  std::vector<uint8_t> rbsp;
  for (size_t i = start; i < annexB.size() && rbsp.size() < 64; ++i) {
    if (i + 2 < annexB.size() && annexB[i] == 0 && annexB[i + 1] == 0 && annexB[i + 2] == 3) {
      rbsp.push_back(0);
      rbsp.push_back(0);
      i += 2;
      continue;
    }
    rbsp.push_back(static_cast<uint8_t>(annexB[i]));
  }
  size_t bit = 0;
  auto u = [&](int n) {
    unsigned v = 0;
    for (int k = 0; k < n; ++k, ++bit) v = (v << 1) | ((rbsp[bit / 8] >> (7 - bit % 8)) & 1);
    return v;
  };
  auto ue = [&] {
    int zeros = 0;
    while (u(1) == 0 && zeros < 31) zeros++;
    return (1u << zeros) - 1 + u(zeros);
  };
  const unsigned profile = u(8);
  u(8);
  *level = static_cast<int>(u(8));
  ue();
  if (profile == 100 || profile == 110 || profile == 122 || profile == 244) {
    if (ue() == 3) u(1);
    ue();
    ue();
    u(1);
    if (u(1)) return false;
  }
  ue();
  const unsigned pocType = ue();
  if (pocType == 0) ue();
  if (pocType == 1) return false;
  *references = static_cast<int>(ue());
  return true;
}

struct EncodedUnit {
  uint32_t shownAt;
  int compositionMs;
};

TEST(ReorderedPictures, UnitsCarryTheirOwnCaptureTimesRisingDecodeTimesAndAFittingLevel) {
  const int width = 320;
  const int height = 240;
  VideoEncoderSettings r;
  std::vector<uint8_t> out(static_cast<size_t>(width) * height * 4);
  r.output = out.data();
  r.outputCapacity = static_cast<int>(out.size());
  r.width = width;
  r.height = height;
  r.frameRate = 25;
  r.keyInterval = 50;
  r.bframeCount = 2;
  r.bitrateKbps = 500;
  ASSERT_EQ(OpenVideoEncoder(&r), 0);

  std::set<uint32_t> fed;
  std::vector<EncodedUnit> units;
  std::string stream;
  std::vector<uint8_t> i420(I420Size(width, height));
  for (int n = 0; n < 40; ++n) {
    const uint32_t ts = 100000 + 40 * n + n % 3;  // a capture clock with a little jitter
    std::vector<uint8_t> bgr = MakeTestPicture(width, height, n);
    FlipAndConvertRgbToI420(i420.data(), bgr.data(), width, height);
    r.input = i420.data();
    r.inputLength = static_cast<int>(i420.size());
    r.inputTimestamp = ts;
    fed.insert(ts);
    ASSERT_EQ(EncodeVideoFrame(&r), 0) << n;
    if (r.outputLength == 0) continue;
    units.push_back({r.outputTimestamp, r.outputCompositionMs});
    stream.append(reinterpret_cast<const char*>(r.output), static_cast<size_t>(r.outputLength));
  }

  ASSERT_GE(units.size(), 35u);
  EXPECT_EQ(units.front().shownAt, 100000u);
  EXPECT_GT(units.front().compositionMs, 0) << "the first picture is decoded before it is shown";
  std::set<uint32_t> shown;
  long long lastDecode = LLONG_MIN;
  uint32_t latestShown = 0;
  bool reordered = false;
  for (const EncodedUnit& u : units) {
    EXPECT_EQ(fed.count(u.shownAt), 1u) << u.shownAt << " was never captured";
    EXPECT_TRUE(shown.insert(u.shownAt).second) << u.shownAt << " came out twice";
    EXPECT_GE(u.compositionMs, 0);
    const long long decode = static_cast<long long>(u.shownAt) - u.compositionMs;
    EXPECT_GT(decode, lastDecode) << "decode times must rise";
    lastDecode = decode;
    reordered = reordered || u.shownAt < latestShown;
    latestShown = std::max(latestShown, u.shownAt);
  }
  EXPECT_TRUE(reordered) << "no B-frames came out";

  int level = 0;
  int refs = 0;
  ASSERT_TRUE(ReadSpsLevelAndReferences(stream, &level, &refs));
  EXPECT_EQ(refs, DecodedPictureBufferFrames(&r.session->params)) << "x264 keeps other pictures than accounted for";
  EXPECT_EQ(level, H264LevelFor(width, height, 25, 500, refs));
  EXPECT_GT(level, H264LevelFor(width, height, 25, 500, 1)) << "this many references need a higher level";

  test_support::TempDir dir("strivon-reordered");
  const std::string path = dir.path() + "/reordered.h264";
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(std::fwrite(stream.data(), 1, stream.size(), file), stream.size());
  std::fclose(file);
  EXPECT_EQ(test_support::DecodeErrors(path), "");
}

}  // namespace
