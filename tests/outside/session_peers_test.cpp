// Runs only inside tests/run_with_display_and_sound.sh (label "session"):
// the screen capture and the desktop-sound device on the X and sound servers
// named by DISPLAY and PULSE_SERVER, as a host program's session gives them.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/grabora/IScreenCapture.h"
#include "platform/wexmoor/WexmoorLoader.h"

namespace {

class CountingSink : public ICaptureNotfy {
 public:
  void PrintText(const char*) override {}
  void OnCaptureAudio(const WAVEFORMATEX* format, BYTE*, int* byteCount, uint32_t) override {
    std::lock_guard lock(m_lock);
    bytes += *byteCount;
    rate = format->nSamplesPerSec;
  }
  int OnGetAudioFormat(WAVEFORMATEX* format) override {
    // Ask for the publish format instead of the monitor's own.
    *format = WAVEFORMATEX{WAVE_FORMAT_PCM, 2, 22050, 22050 * 4, 4, 16, 0};
    return 1;
  }
  void OnStop() override {}
  long long Bytes() {
    std::lock_guard lock(m_lock);
    return bytes;
  }
  std::mutex m_lock;
  long long bytes = 0;
  uint32_t rate = 0;
};

TEST(SessionPeersTest, ScreenOfTheSessionDisplay) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "run under tests/run_with_display_and_sound.sh";
  IScreenCapture* capture = CreateScreenCapture();
  ASSERT_NE(capture, nullptr);
  BITMAPINFOHEADER* info = nullptr;
  BYTE* pixels = nullptr;
  int bytes = 0;
  ASSERT_TRUE(capture->GrabFrame(&info, &pixels, &bytes));
  EXPECT_EQ(info->biWidth, 1366);
  EXPECT_EQ(info->biHeight, 768);
  EXPECT_EQ(bytes, 1366 * 768 * 3);
  capture->Release();
}

TEST(SessionPeersTest, DesktopSoundInTheAskedFormat) {
  if (!std::getenv("PULSE_SERVER")) GTEST_SKIP() << "run under tests/run_with_display_and_sound.sh";
  const char* binary = std::getenv("STRIVON_BINARY_DIR");
  WexmoorLoadResult library = LoadWexmoor(std::string(binary ? binary : ".") + "/strivon");
  ASSERT_EQ(library.error, WexmoorLoadError::kNone) << library.detail;
  CountingSink sink;
  ICaptureDevice* device = library.create(&sink);
  ASSERT_TRUE(device->Start());
  // An idle sink's monitor gives little; some blocks are enough here.
  for (int i = 0; i < 300 && sink.Bytes() < 4000; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  device->Release();
  EXPECT_GE(sink.bytes, 4000);
  EXPECT_EQ(sink.rate, 22050u);
}

}  // namespace
