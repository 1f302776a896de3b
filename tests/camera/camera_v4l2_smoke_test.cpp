// A real camera through V4L2, when the machine has one: its first frames
// arrive as RGB pictures of the size asked for. Skipped without a device.
#include <gtest/gtest.h>

#include <dirent.h>

#include <atomic>
#include <chrono>
#include <cstring>
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

bool HasVideoNode() {
  bool found = false;
  if (DIR* dir = opendir("/dev")) {
    while (dirent* e = readdir(dir)) found = found || std::strncmp(e->d_name, "video", 5) == 0;
    closedir(dir);
  }
  return found;
}

TEST(CameraV4l2, RealCameraDeliversPictures) {
  if (!HasVideoNode()) GTEST_SKIP() << "no /dev/video* on this machine (and v4l2loopback cannot be loaded)";
  ASSERT_EQ(S_OK, CoInitialize(nullptr));
  const auto cameras = dshow::EnumerateDevices(CLSID_VideoInputDeviceCategory);
  CoUninitialize();
  if (cameras.empty()) GTEST_SKIP() << "video nodes exist but none captures";
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
