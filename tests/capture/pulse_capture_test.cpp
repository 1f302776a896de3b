// The real PulseAudio back end against a private server started here: the
// device list shows the null sink and its monitor, and a 1 kHz tone played
// into the sink is captured from the monitor in the publish format.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

#include "capture/IAudioCapture.h"
#include "capture/IDeviceList.h"
#include "capture/TextConvert.h"
#include "platform/base/tick.h"
#include "platform/dshow/com.h"
#include "tests/capture/audio_analysis.h"
#include "tests/support/pulse_server.h"

namespace {

class Recorder : public IAudioCaptureNotify {
 public:
  void OnAudioData(int, const BYTE* pcm, int length, int64_t startMs, int64_t stopMs) override {
    std::lock_guard<std::mutex> lock(mutex);
    data.insert(data.end(), pcm, pcm + length);
    starts.push_back(startMs);
    stops.push_back(stopMs);
  }
  void OnHDAudioCapNotify(std::string text, int kind) override {
    std::lock_guard<std::mutex> lock(mutex);
    if (kind == 0) errors.push_back(text);
  }
  std::mutex mutex;
  std::vector<BYTE> data;
  std::vector<int64_t> starts, stops;
  std::vector<std::string> errors;
};

class PulseCaptureTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    unsetenv("STRIVON_DSHOW_DEVICES");
    server_ = new test_support::PulseServer();
    started_ = server_->Start("strivon_null", "Strivon Null");
    if (started_) server_->ExportToClients();
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(started_) << "pulseaudio did not start"; }

  static test_support::PulseServer* server_;
  static bool started_;
};
test_support::PulseServer* PulseCaptureTest::server_ = nullptr;
bool PulseCaptureTest::started_ = false;

TEST_F(PulseCaptureTest, DeviceListShowsTheMonitorAsAnInputAndTheSinkAsAPlaybackDevice) {
  IDeviceList* list = CreateDeviceList(nullptr);
  ASSERT_NE(nullptr, list);
  const std::vector<std::wstring> inputs = *list->GetList(1);
  EXPECT_NE(inputs.end(), std::find(inputs.begin(), inputs.end(), AnsiToWide(server_->MonitorDescription())));
  const std::vector<std::wstring> outputs = *list->GetList(2);
  EXPECT_NE(outputs.end(), std::find(outputs.begin(), outputs.end(), L"Strivon Null"));
  list->Release();
}

TEST_F(PulseCaptureTest, ToneInTheSinkIsCapturedFromTheMonitorInThePublishFormat) {
  const long baseline = dshow::LiveObjectCount();
  Recorder rec;
  int channels = 2, rate = 44100;
  unsigned short bits = 16;
  bool ok = false;
  std::string error;
  IAudioCapture* capture = CreateAudioCapture(&rec, 3, server_->MonitorDescription().c_str(), 0, 1, &channels,
                                              &rate, &bits, &ok, &error);
  ASSERT_TRUE(ok) << error;
  ASSERT_NE(nullptr, capture);
  ASSERT_TRUE(capture->Start());
  ASSERT_TRUE(server_->PlayTone(1000.0, 1500));
  EXPECT_TRUE(server_->WaitPlayback(10000));
  platform::SleepMs(300);
  ASSERT_TRUE(capture->Stop());
  // The recording thread is gone once Stop returns, while the source itself
  // keeps producing (the monitor of a running sink).
  size_t afterStop = 0;
  {
    std::lock_guard<std::mutex> lock(rec.mutex);
    afterStop = rec.data.size();
  }
  platform::SleepMs(100);
  {
    std::lock_guard<std::mutex> lock(rec.mutex);
    EXPECT_EQ(afterStop, rec.data.size()) << "no data after Stop returned";
  }
  capture->Release();
  EXPECT_EQ(baseline, dshow::LiveObjectCount());

  EXPECT_TRUE(rec.errors.empty()) << rec.errors.front();
  ASSERT_GT(rec.data.size(), 44100u * 4) << "at least a second of sound";
  EXPECT_EQ(0u, rec.data.size() % 4);
  // The tone, not the silence around it: look at the loudest second.
  std::vector<BYTE> loudest;
  double best = -1;
  for (size_t at = 0; at + 176400 <= rec.data.size(); at += 17640) {
    std::vector<BYTE> window(rec.data.begin() + static_cast<long>(at), rec.data.begin() + static_cast<long>(at + 176400));
    const double rms = capture_test::Rms(window, 2);
    if (rms > best) {
      best = rms;
      loudest.swap(window);
    }
  }
  EXPECT_GT(best, 3000.0) << "the tone was heard";
  EXPECT_NEAR(1000.0, capture_test::DominantFrequency(loudest, 44100, 2), 20.0);
  for (size_t i = 1; i < rec.starts.size(); ++i) {
    EXPECT_GT(rec.starts[i], rec.starts[i - 1]);
    EXPECT_GE(rec.stops[i], rec.starts[i]);
  }
}

}  // namespace
