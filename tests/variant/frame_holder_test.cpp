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
constexpr int kW = 8, kH = 6, kGuard = 64;

// A kW x kH destination picture between two runs of canary bytes.
std::vector<BYTE> Guarded() { return std::vector<BYTE>(kGuard + kW * kH * 3 + kGuard, kCanary); }

TEST(PasteRgb24Image, PastesOnlyWhereThePictureLiesWhollyInside) {
  const int dstSize[2] = {kW, kH};
  struct Case {
    int w, h, x, y;
    bool pasted;
  } cases[] = {{3, 2, kW - 3, kH - 2, true}, {3, 2, kW - 2, 0, false}, {3, 2, 0, kH - 1, false},
               {3, 2, -1, 0, false},         {3, 2, 0, -1, false},     {kW + 1, 1, 0, 0, false},
               {1, kH + 1, 0, 0, false},     {0, 2, 0, 0, false},      {3, 2, INT32_MAX, 0, false}};
  for (const Case& c : cases) {
    std::vector<BYTE> dst = Guarded();
    // Exactly sized, so a read past its end shows under ASan.
    const size_t srcBytes = c.w > 0 ? static_cast<size_t>(c.w) * c.h * 3 : 1;
    std::unique_ptr<BYTE[]> src(new BYTE[srcBytes]);
    std::memset(src.get(), 7, srcBytes);
    const int srcSize[2] = {c.w, c.h};
    PasteRgb24Image(src.get(), srcSize, dst.data() + kGuard, dstSize, c.x, c.y);
    for (size_t i = 0; i < dst.size(); ++i) {
      const int pixel = (static_cast<int>(i) - kGuard) / 3, x = pixel % kW, y = pixel / kW;
      const bool inside = i >= kGuard && i < dst.size() - kGuard && x >= c.x && x < c.x + c.w && y >= c.y &&
                          y < c.y + c.h;
      ASSERT_EQ(dst[i], c.pasted && inside ? 7 : kCanary) << c.w << "x" << c.h << " at " << c.x << "," << c.y;
    }
  }
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
  constexpr int kBytes = 4 * 2 * 3;
  ASSERT_EQ(holder.init("cam", 0, 1, 10, 4, 2), 0);
  std::vector<BYTE> out(kBytes + 16, kCanary);
  int w = 0, h = 0;
  EXPECT_EQ(holder.GetFrame(out.data(), static_cast<int>(out.size()), &w, &h), 0) << "no frame yet";
  EXPECT_EQ(w * 10 + h, 42);

  std::unique_ptr<BYTE[]> big(new BYTE[kBytes + 1]);
  std::memset(big.get(), 9, kBytes + 1);
  holder.OnVideoData(0, big.get(), kBytes + 1, 0, 0);
  holder.OnVideoData(0, big.get(), kBytes - 1, 0, 0);
  EXPECT_EQ(holder.GetFrame(out.data(), static_cast<int>(out.size()), &w, &h), 0) << "not 4 x 2: dropped";

  holder.OnVideoData(0, big.get(), kBytes, 0, 0);
  EXPECT_EQ(holder.GetFrame(out.data(), kBytes - 1, &w, &h), 0) << "the caller's buffer is too small";
  EXPECT_EQ(out[0], kCanary);
  EXPECT_EQ(holder.GetFrame(out.data(), static_cast<int>(out.size()), &w, &h), kBytes);
  EXPECT_EQ(out[kBytes - 1], 9);
  EXPECT_EQ(out[kBytes], kCanary);

  // A new camera: the old capture is released first and its frame dropped.
  ASSERT_EQ(holder.init("cam", 0, 1, 10, 2, 2), 0);
  EXPECT_EQ(live, 1);
  EXPECT_EQ(holder.GetFrame(out.data(), static_cast<int>(out.size()), &w, &h), 0);
  holder.Stop();
  EXPECT_EQ(live, 0);
}

}  // namespace
