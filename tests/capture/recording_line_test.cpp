// Recording-line selection on virtual devices: which input each line takes by
// its name, the graph state kept across a switch, and a switch to an input
// that cannot be opened.
#include <gtest/gtest.h>

#include <mutex>

#include "capture/IAudioCapture.h"
#include "capture/RecordingLine.h"
#include "platform/dshow/com.h"
#include "tests/capture/virtual_env.h"

namespace {

using capture_test::Mic;
constexpr const char* kCountNotice =
    "AudioCapture find the sum of devices with same name is different from the sum passed in";

class Notices : public IAudioCaptureNotify {
 public:
  void OnAudioData(int, const BYTE*, int, int64_t, int64_t) override {}
  void OnHDAudioCapNotify(std::string text, int kind) override {
    std::lock_guard<std::mutex> lock(mutex);
    countNotices += text == kCountNotice && kind == 1;
  }
  int CountNotices() {
    std::lock_guard<std::mutex> lock(mutex);
    return countNotices;
  }
  std::mutex mutex;
  int countNotices = 0;
};

IAudioCapture* Make(Notices* notices, const char* name) {
  int channels = 2, rate = 44100;
  unsigned short bits = 16;
  bool ok = false;
  std::string error;
  IAudioCapture* capture = CreateAudioCapture(notices, 1, name, 0, 1, &channels, &rate, &bits, &ok, &error);
  EXPECT_TRUE(ok) << error;
  return capture;
}

TEST(RecordingLineNames, OnlyMonitorsAndInputsCalledStereoMixAreTheMix) {
  const std::vector<std::wstring> names = {L"Line In", L"Built-in Audio Analog Stereo", L"Stereo Mix (Realtek)"};
  EXPECT_EQ(2, ChooseRecordingInput(names, RecordingLine::kStereoMix));
  EXPECT_EQ(0, ChooseRecordingInput(names, RecordingLine::kMicrophone)) << "no name says microphone: the first";
  EXPECT_EQ(-1, ChooseRecordingInput({L"Monitor of Speakers"}, RecordingLine::kMicrophone));
}

class RecordingLineTest : public ::testing::Test {
 protected:
  void SetUp() override { baseline_ = dshow::LiveObjectCount(); }
  void TearDown() override {
    dshow::SetVirtualDevices({});
    EXPECT_EQ(baseline_, dshow::LiveObjectCount()) << "objects leaked";
  }
  long baseline_ = 0;
};

TEST_F(RecordingLineTest, ChineseNamedInputsSwitchBothWaysAndARunningCaptureKeepsRunning) {
  const wchar_t* kMic = L"麦克风 (Realtek High Definition Audio)";
  const wchar_t* kMix = L"立体声混音 (Realtek High Definition Audio)";
  dshow::SetVirtualDevices({Mic(kMic), Mic(kMix)});
  Notices notices;
  IAudioCapture* capture = Make(&notices, "麦克风 (Realtek High Definition Audio)");
  ASSERT_NE(nullptr, capture);
  ASSERT_TRUE(capture->Start());
  EXPECT_TRUE(capture->SelectStereoMix());
  EXPECT_EQ(0, dshow::PushVirtualTone(kMic, 20));
  EXPECT_GT(dshow::PushVirtualTone(kMix, 20), 0);
  EXPECT_EQ(1, notices.CountNotices()) << "a rebuild on an input found by its name gives the count notice";
  EXPECT_TRUE(capture->SelectMicrophone());
  EXPECT_GT(dshow::PushVirtualTone(kMic, 20), 0);
  EXPECT_EQ(0, dshow::PushVirtualTone(kMix, 20));
  EXPECT_EQ(1, notices.CountNotices()) << "back on the chosen input, whose count is known";
  capture->Release();
}

TEST_F(RecordingLineTest, AStoppedCaptureStaysStoppedAndAnMmicInputIsTheMicrophone) {
  dshow::SetVirtualDevices({Mic(L"Monitor of Speakers"), Mic(L"Line In"), Mic(L"USB MMIC Device")});
  Notices notices;
  IAudioCapture* capture = Make(&notices, "Monitor of Speakers");
  ASSERT_NE(nullptr, capture);
  EXPECT_TRUE(capture->SelectMicrophone());
  EXPECT_EQ(0, dshow::PushVirtualTone(L"USB MMIC Device", 20));
  ASSERT_TRUE(capture->Start());
  EXPECT_GT(dshow::PushVirtualTone(L"USB MMIC Device", 20), 0);
  EXPECT_EQ(0, dshow::PushVirtualTone(L"Line In", 20));
  // Already on the microphone: no rebuild (no notice), and still true, since
  // the current input is handed to the volume control.
  EXPECT_TRUE(capture->SelectMicrophone());
  EXPECT_EQ(1, notices.CountNotices());
  EXPECT_GT(dshow::PushVirtualTone(L"USB MMIC Device", 20), 0);
  capture->Release();
}

// With no input called microphone, turning the stereo mix off went to the
// first input listed instead of the one the host had chosen.
TEST_F(RecordingLineTest, TurningTheStereoMixOffReturnsToTheChosenMicrophone) {
  dshow::SetVirtualDevices({Mic(L"Built-in Audio"), Mic(L"USB Headset"), Mic(L"Monitor of Speakers")});
  Notices notices;
  IAudioCapture* capture = Make(&notices, "USB Headset");
  ASSERT_NE(nullptr, capture);
  ASSERT_TRUE(capture->Start());
  EXPECT_TRUE(capture->SelectStereoMix());
  EXPECT_GT(dshow::PushVirtualTone(L"Monitor of Speakers", 20), 0);
  EXPECT_TRUE(capture->SelectMicrophone());
  EXPECT_GT(dshow::PushVirtualTone(L"USB Headset", 20), 0);
  EXPECT_EQ(0, dshow::PushVirtualTone(L"Built-in Audio", 20));
  // Unplugged while the mix records: back to an input the names suggest.
  EXPECT_TRUE(capture->SelectStereoMix());
  dshow::SetVirtualDevices({Mic(L"Built-in Audio"), Mic(L"Monitor of Speakers")});
  EXPECT_TRUE(capture->SelectMicrophone());
  EXPECT_GT(dshow::PushVirtualTone(L"Built-in Audio", 20), 0);
  capture->Release();
}

TEST_F(RecordingLineTest, AnInputThatCannotBeOpenedLeavesThePreviousOneRecording) {
  auto unplugged = Mic(L"Monitor of Speakers");
  unplugged.failOpen = true;
  dshow::SetVirtualDevices({Mic(L"Built-in Microphone"), unplugged});
  Notices notices;
  IAudioCapture* capture = Make(&notices, "Built-in Microphone");
  ASSERT_NE(nullptr, capture);
  ASSERT_TRUE(capture->Start());
  EXPECT_FALSE(capture->SelectStereoMix());
  EXPECT_GT(dshow::PushVirtualTone(L"Built-in Microphone", 20), 0);
  capture->Release();
}

}  // namespace
