// A real camera through V4L2, when the machine has one: its first frames
// arrive as RGB pictures of the size asked for. Skipped without a device.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "capture/VideoCapture.h"
#include "platform/dshow/device_enum.h"

namespace {

class Owner : public IVideoCaptureNotify {
 public:
  bool OnVideoData(int, BYTE*, int len, int64_t, int64_t) override {
    lastLength = len;
    ++frames;
    return true;
  }
  bool OnVideoRawData(int, BYTE*, int, int64_t, int64_t) override { return true; }
  bool OnHDVideoCapNotify(std::string, int) override { return true; }
  std::atomic<int> frames{0};
  std::atomic<int> lastLength{0};
};

TEST(CameraV4l2, RealCameraDeliversPictures) {
  const auto cameras = dshow::EnumerateDevices(CLSID_VideoInputDeviceCategory);
  if (cameras.empty()) GTEST_SKIP() << "no V4L2 camera: no /dev/video* here, and v4l2loopback cannot be loaded";
  Owner owner;
  int width = 320, height = 240, rate = 15;
  bool ok = false;
  std::string err;
  IVideoCapture* capture = CreateVideoCapture(&owner, 0, "", 0, static_cast<int>(cameras.size()), &width, &height,
                                              &rate, &ok, &err);
  ASSERT_NE(capture, nullptr) << err;
  ASSERT_TRUE(capture->Start());
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (owner.frames < 3 && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  capture->Release();
  EXPECT_GE(owner.frames.load(), 3);
  EXPECT_EQ(owner.lastLength.load(), 320 * 240 * 3);
}

}  // namespace
