// The paste routine and the camera-frame holder of picture-in-picture: no
// byte is written or read outside the buffers they are given, whatever the
// sizes and positions (run under AddressSanitizer too).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "variant/CameraVideo.h"
#include "variant/PasteRgb24Image.h"

namespace {

constexpr BYTE kCanary = 0xA5;
constexpr int kW = 8, kH = 6;

// A destination picture with canary bytes on both sides of it.
struct Guarded {
  static constexpr size_t kGuard = 64;
  std::vector<BYTE> bytes = std::vector<BYTE>(kGuard + kW * kH * 3 + kGuard, kCanary);
  BYTE* picture() { return bytes.data() + kGuard; }
  bool GuardsIntact() const {
    for (size_t i = 0; i < kGuard; ++i)
      if (bytes[i] != kCanary || bytes[bytes.size() - 1 - i] != kCanary) return false;
    return true;
  }
  bool Untouched() const {
    for (BYTE b : bytes)
      if (b != kCanary) return false;
    return true;
  }
};

TEST(PasteRgb24Image, PastesFlushWithTheBottomRightCorner) {
  Guarded dst;
  const int dstSize[2] = {kW, kH}, srcSize[2] = {3, 2};
  std::unique_ptr<BYTE[]> src(new BYTE[3 * 2 * 3]);
  std::memset(src.get(), 7, 3 * 2 * 3);
  PasteRgb24Image(src.get(), srcSize, dst.picture(), dstSize, kW - 3, kH - 2);
  EXPECT_TRUE(dst.GuardsIntact());
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      EXPECT_EQ(dst.picture()[(y * kW + x) * 3], (x >= kW - 3 && y >= kH - 2) ? 7 : kCanary) << x << "," << y;
}

TEST(PasteRgb24Image, WritesNothingWhenThePictureWouldNotLieInside) {
  // Exactly sized source buffers, so any read past one shows under ASan.
  struct Case {
    int w, h, x, y;
  } cases[] = {{3, 2, kW - 2, 0}, {3, 2, 0, kH - 1}, {3, 2, -1, 0}, {3, 2, 0, -1}, {kW + 1, 1, 0, 0},
               {1, kH + 1, 0, 0}, {0, 2, 0, 0},      {3, -2, 0, 0},  {3, 2, INT32_MAX, 0}, {3, 2, 0, INT32_MAX}};
  for (const Case& c : cases) {
    Guarded dst;
    const int dstSize[2] = {kW, kH}, srcSize[2] = {c.w, c.h};
    const size_t srcBytes = c.w > 0 && c.h > 0 ? static_cast<size_t>(c.w) * c.h * 3 : 1;
    std::unique_ptr<BYTE[]> src(new BYTE[srcBytes]());
    PasteRgb24Image(src.get(), srcSize, dst.picture(), dstSize, c.x, c.y);
    EXPECT_TRUE(dst.Untouched()) << c.w << "x" << c.h << " at " << c.x << "," << c.y;
  }
  Guarded dst;
  const int dstSize[2] = {kW, kH}, srcSize[2] = {1, 1};
  PasteRgb24Image(nullptr, srcSize, dst.picture(), dstSize, 0, 0);
  const BYTE one[3] = {1, 2, 3};
  PasteRgb24Image(one, srcSize, nullptr, dstSize, 0, 0);
  EXPECT_TRUE(dst.Untouched());
}

class FakeCapture final : public IVideoCapture {
 public:
  explicit FakeCapture(int* live) : m_live(live) { ++*m_live; }
  bool Start() override { return true; }
  bool Stop() override { return true; }
  int GetId() override { return 0; }
  void SetAudioLevel(const short*, int) override {}
  void EnableLevelBar(const bool*) override {}
  void Release() override {
    --*m_live;
    delete this;
  }

 private:
  int* m_live;
};

TEST(CameraVideo, KeepsOnlyWholeFramesOfItsSizeAndCopiesOnlyWhatFits) {
  int live = 0;
  CCameraVideo holder([&live](IVideoCaptureNotify*, int, const char*, int, int, int*, int*, int*, bool* ok,
                              std::string*) -> IVideoCapture* {
    *ok = true;
    return new FakeCapture(&live);
  });
  ASSERT_EQ(holder.init("cam", 0, 1, 10, 4, 2), 0);
  EXPECT_EQ(live, 1);
  std::vector<BYTE> out(4 * 2 * 3 + 16, kCanary);
  int w = 0, h = 0;
  EXPECT_EQ(holder.GetFrame(out.data(), static_cast<int>(out.size()), &w, &h), 0) << "no frame yet";
  EXPECT_EQ(w, 4);
  EXPECT_EQ(h, 2);

  // Longer or shorter than 4 x 2 x 3: dropped, never copied past the buffer.
  std::unique_ptr<BYTE[]> big(new BYTE[4 * 2 * 3 + 1]());
  holder.OnVideoData(0, big.get(), 4 * 2 * 3 + 1, 0, 0);
  holder.OnVideoData(0, big.get(), 4 * 2 * 3 - 1, 0, 0);
  EXPECT_EQ(holder.GetFrame(out.data(), static_cast<int>(out.size()), &w, &h), 0);

  std::unique_ptr<BYTE[]> frame(new BYTE[4 * 2 * 3]);
  std::memset(frame.get(), 9, 4 * 2 * 3);
  holder.OnVideoData(0, frame.get(), 4 * 2 * 3, 0, 0);
  EXPECT_EQ(holder.GetFrame(out.data(), 4 * 2 * 3 - 1, &w, &h), 0) << "the caller's buffer is too small";
  EXPECT_EQ(out[0], kCanary);
  EXPECT_EQ(holder.GetFrame(out.data(), static_cast<int>(out.size()), &w, &h), 4 * 2 * 3);
  EXPECT_EQ(out[4 * 2 * 3 - 1], 9);
  EXPECT_EQ(out[4 * 2 * 3], kCanary);

  // A new camera drops the old frame and releases the old capture first.
  ASSERT_EQ(holder.init("cam", 0, 1, 10, 2, 2), 0);
  EXPECT_EQ(live, 1);
  EXPECT_EQ(holder.GetFrame(out.data(), static_cast<int>(out.size()), &w, &h), 0);
  holder.Stop();
  EXPECT_EQ(live, 0);
}

TEST(CameraVideo, NoCameraMeansNoFrame) {
  CCameraVideo holder([](IVideoCaptureNotify*, int, const char*, int, int, int*, int*, int*, bool*,
                         std::string*) -> IVideoCapture* { return nullptr; });
  EXPECT_EQ(holder.init("cam", 0, 1, 10, 4, 2), -1);
  CCameraVideo unwired(nullptr);
  EXPECT_EQ(unwired.init("cam", 0, 1, 10, 4, 2), -1);
}

}  // namespace
