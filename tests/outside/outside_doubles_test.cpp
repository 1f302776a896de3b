// The factory table and the doubles the manager's tests stand on, and the
// Wexmoor loader against the stand-in libraries.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/outside/OutsideDoubles.h"

namespace {

class CountingCaptureSink : public ICaptureNotfy {
 public:
  void PrintText(const char*) override {}
  void OnCaptureAudio(const WAVEFORMATEX* format, BYTE* data, int* byteCount, uint32_t) override {
    std::lock_guard lock(m_lock);
    if (stopped) ++afterStop;
    lastFormat = *format;
    const int16_t* s = reinterpret_cast<const int16_t*>(data);
    for (int i = 0; i < *byteCount / 2; ++i) peak = std::max(peak, std::abs(int{s[i]}));
    bytes += *byteCount;
  }
  int OnGetAudioFormat(WAVEFORMATEX*) override { return 0; }
  void OnStop() override { ++stops; }

  long long Bytes() {
    std::lock_guard lock(m_lock);
    return bytes;
  }

  std::mutex m_lock;
  WAVEFORMATEX lastFormat{};
  long long bytes = 0;
  int peak = 0;
  int afterStop = 0;
  bool stopped = false;
  std::atomic<int> stops{0};
};

TEST(OutsideFactoriesTest, DoublesReplaceTheRealLibrariesAndGoAway) {
  {
    OutsideDoubles doubles;
    IScreenCapture* screen = OutsideFactories().createScreenCapture();
    ASSERT_NE(screen, nullptr);
    RECT rect{100, 200, 103, 202};
    ASSERT_TRUE(screen->SetCaptureRect(&rect));
    BITMAPINFOHEADER* info = nullptr;
    BYTE* pixels = nullptr;
    int bytes = 0;
    screen->GrabFrame(&info, &pixels, &bytes);  // frame 0
    ASSERT_TRUE(screen->GrabFrame(&info, &pixels, &bytes));
    ASSERT_EQ(bytes, 3 * 2 * 3);
    BYTE expected[3];
    FakeScreenCapture::ExpectedPixel(1, 102, 201, expected);  // frame 1, last pixel
    EXPECT_EQ(0, std::memcmp(pixels + (1 * 3 + 2) * 3, expected, 3));
    screen->Release();
    ASSERT_EQ(doubles.screens().size(), 1u);
    EXPECT_TRUE(doubles.screens()[0]->calls().released);
    EXPECT_EQ(doubles.screens()[0]->calls().grabs, 2);

    doubles.hushgain().gain = 0.5;
    const int handle = OutsideFactories().createHushgain();
    EXPECT_EQ(OutsideFactories().hushgainInit(handle, 44100, 16, 20, 3, 0, 2), 0);
    short samples[4] = {1000, -1000, 200, 0};
    EXPECT_EQ(OutsideFactories().hushgainPro(handle, samples, 8), 0);
    EXPECT_EQ(samples[0], 500);
    ASSERT_EQ(doubles.hushgain().inits().size(), 1u);
    EXPECT_EQ(doubles.hushgain().inits()[0].level, 20);
    EXPECT_EQ(doubles.hushgain().processedLengths(), std::vector<int>{8});

    doubles.screenFails = true;
    EXPECT_EQ(OutsideFactories().createScreenCapture(), nullptr);
  }
  // The real table is back: the real Hushgain refuses a handle it never made.
  EXPECT_NE(OutsideFactories().hushgainInit(7, 44100, 16, 20, 3, 0, 2), 0);
}

class RecordingVexaSink : public IVexaCaptureNotify {
 public:
  void OnVexaCapturePlayComplete() override { ++completes; }
  void OnVexaCaptureSeekDone(int64_t) override {}
  void OnVexaCaptureVideo(int, BYTE* data, int len, uint32_t ts, int) override {
    lastVideoLen = len;
    lastVideoStamp = ts;
    firstPixelRed = data[2];
  }
  void OnVexaCaptureAudio(int, BYTE*, int len, uint32_t, int frames) override {
    lastAudioLen = len;
    lastFrames = frames;
  }
  void OnVexaCaptureStatus(const wchar_t*) override {}
  int completes = 0, lastVideoLen = 0, lastAudioLen = 0, lastFrames = 0, firstPixelRed = 0;
  uint32_t lastVideoStamp = 0;
};

TEST(OutsideFactoriesTest, PumpedFileSourceAndPassThroughFilter) {
  OutsideDoubles doubles;
  RecordingVexaSink sink;
  IVexaCapture* source = OutsideFactories().createVexaCapture(&sink, "a.mp4", 8, 4, 24, false, 15, 44100, 2, nullptr);
  ASSERT_NE(source, nullptr);
  FakeVexaCapture* fake = doubles.fileSources().at(0);
  EXPECT_EQ(fake->path(), "a.mp4");
  EXPECT_TRUE(fake->PumpPicture(40, 0, 0, 255));
  EXPECT_EQ(sink.lastVideoLen, 8 * 4 * 3);
  EXPECT_EQ(sink.firstPixelRed, 255);
  EXPECT_TRUE(fake->PumpSound(50, 441, 100));
  EXPECT_EQ(sink.lastAudioLen, 441 * 4);
  source->Seek(1000, 0);
  source->Release();
  EXPECT_FALSE(fake->PumpPlayComplete()) << "nothing after Release";
  EXPECT_EQ(sink.completes, 0);
  EXPECT_EQ(fake->calls().seeks.size(), 1u);

  doubles.filterInitResult = -3;
  IADFilter* refusing = OutsideFactories().createFilter(nullptr);
  EXPECT_EQ(refusing->Init("x", 8, 4, 3), -3);
  refusing->Release();
  doubles.filterInitResult = 0;
  IADFilter* filter = OutsideFactories().createFilter(nullptr);
  ASSERT_EQ(filter->Init("[in]null[out]", 2, 2, 3), 0);
  BYTE picture[12] = {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9};
  EXPECT_LT(filter->Push(picture, 11), 0);
  ASSERT_EQ(filter->Push(picture, 12), 0);
  int capacity = 12;
  EXPECT_EQ(filter->Pull(picture, &capacity), 12);
  EXPECT_EQ(picture[0], 1);
  EXPECT_EQ(picture[3], 9);
  filter->Release();
  EXPECT_EQ(doubles.filters().size(), 2u);
}

TEST(WexmoorLoaderTest, LoadsTheToneLibraryAndReportsWhatIsMissing) {
  OutsideDoubles doubles;
  doubles.SetWexmoor(WexmoorDouble::kMissing);
  WexmoorLoadResult missing = OutsideFactories().loadWexmoor();
  EXPECT_EQ(missing.error, WexmoorLoadError::kLibraryMissing);
  EXPECT_EQ(missing.create, nullptr);
  EXPECT_FALSE(missing.detail.empty());

  doubles.SetWexmoor(WexmoorDouble::kWithoutExport);
  WexmoorLoadResult noExport = OutsideFactories().loadWexmoor();
  EXPECT_EQ(noExport.error, WexmoorLoadError::kFactoryMissing);
  EXPECT_EQ(noExport.create, nullptr);

  doubles.SetWexmoor(WexmoorDouble::kToneLibrary);
  WexmoorLoadResult tone = OutsideFactories().loadWexmoor();
  ASSERT_EQ(tone.error, WexmoorLoadError::kNone) << tone.detail;
  ASSERT_NE(tone.create, nullptr);
  EXPECT_EQ(tone.create(nullptr), nullptr);
  CountingCaptureSink sink;
  ICaptureDevice* device = tone.create(&sink);
  ASSERT_NE(device, nullptr);
  ASSERT_TRUE(device->Start());
  for (int i = 0; i < 200 && sink.Bytes() < 48000; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(device->Stop());
  {
    std::lock_guard lock(sink.m_lock);
    sink.stopped = true;
  }
  EXPECT_EQ(sink.stops.load(), 1);
  EXPECT_GE(sink.bytes, 48000);
  EXPECT_EQ(sink.lastFormat.nSamplesPerSec, 48000u);
  EXPECT_EQ(sink.lastFormat.nChannels, 2);
  EXPECT_GT(sink.peak, 7000);
  ASSERT_TRUE(device->Start());  // a second start after a stop works again
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  device->Release();
  EXPECT_EQ(sink.stops.load(), 2);
}

}  // namespace
