// Microphone capture on virtual devices: device choice by name, formats the
// device refuses or cannot be asked for, samples without times, graph aborts,
// line switching and clean start/stop/release cycles.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <thread>

#include "capture/AudioRender.h"
#include "capture/IAudioCapture.h"
#include "platform/base/tick.h"
#include "platform/dshow/interfaces.h"
#include "tests/capture/audio_analysis.h"
#include "tests/capture/thread_runner.h"
#include "tests/capture/virtual_env.h"

namespace {

using capture_test::Mic;

constexpr const char* kCountNotice =
    "AudioCapture find the sum of devices with same name is different from the sum passed in";

class Recorder : public IAudioCaptureNotify {
 public:
  void OnAudioData(int id, const BYTE* pcm, int length, int64_t startMs, int64_t stopMs) override {
    std::lock_guard<std::mutex> lock(mutex);
    lastId = id;
    data.insert(data.end(), pcm, pcm + length);
    starts.push_back(startMs);
    stops.push_back(stopMs);
    largest = std::max(largest, length);
  }
  void OnHDAudioCapNotify(std::string text, int kind) override {
    std::lock_guard<std::mutex> lock(mutex);
    reports.emplace_back(std::move(text), kind);
  }
  size_t Bytes() {
    std::lock_guard<std::mutex> lock(mutex);
    return data.size();
  }
  int Count(const std::string& text, int kind) {
    std::lock_guard<std::mutex> lock(mutex);
    int n = 0;
    for (auto& r : reports) n += r.first == text && r.second == kind;
    return n;
  }
  bool WaitReport(int kind, const std::string& suffix, int timeoutMs) {
    const uint32_t begin = platform::TickCount();
    for (bool first = true; first || platform::TickCount() - begin < static_cast<uint32_t>(timeoutMs); first = false) {
      {
        std::lock_guard<std::mutex> lock(mutex);
        for (auto& r : reports)
          if (r.second == kind && r.first.size() >= suffix.size() &&
              r.first.compare(r.first.size() - suffix.size(), suffix.size(), suffix) == 0)
            return true;
      }
      platform::SleepMs(5);
    }
    return false;
  }

  std::mutex mutex;
  int lastId = -1;
  std::vector<BYTE> data;
  std::vector<int64_t> starts, stops;
  std::vector<std::pair<std::string, int>> reports;
  int largest = 0;
};

struct Made {
  IAudioCapture* capture = nullptr;
  bool ok = false;
  std::string error;
};

Made Make(Recorder* rec, const char* name, int index, int count, int rate = 44100, unsigned short bits = 16) {
  Made m;
  int channels = 1;  // not read: the capture always records two channels
  m.capture = CreateAudioCapture(rec, 42, name, index, count, &channels, &rate, &bits, &m.ok, &m.error);
  return m;
}

class AudioCaptureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    baseline_ = dshow::LiveObjectCount();
    rotBaseline_ = dshow::RunningObjectCount();
  }
  void TearDown() override {
    dshow::SetVirtualDevices({});
    EXPECT_EQ(baseline_, dshow::LiveObjectCount()) << "objects leaked";
    EXPECT_EQ(rotBaseline_, dshow::RunningObjectCount()) << "running object table entries left";
  }
  long baseline_ = 0;
  int rotBaseline_ = 0;
};

TEST_F(AudioCaptureTest, NamesAreComparedOnFifteenCharactersButAnExactNameWins) {
  dshow::SetVirtualDevices({Mic(L"USB Microphone Alpha"), Mic(L"USB Microphone Beta")});
  {
    Recorder rec;
    Made m = Make(&rec, "USB Microphone Beta", 0, 1);
    ASSERT_TRUE(m.ok) << m.error;
    ASSERT_TRUE(m.capture->Start());
    EXPECT_EQ(0, dshow::PushVirtualTone(L"USB Microphone Alpha", 50));
    EXPECT_GT(dshow::PushVirtualTone(L"USB Microphone Beta", 50), 0);
    EXPECT_EQ(8820u, rec.Bytes());
    EXPECT_EQ(42, rec.lastId);
    EXPECT_EQ(0, rec.Count(kCountNotice, 1));
    m.capture->Release();
  }
  {
    // No exact match: both count as the same name; the caller expected one.
    Recorder rec;
    Made m = Make(&rec, "USB Microphone Gamma", 1, 1);
    ASSERT_TRUE(m.ok) << m.error;
    EXPECT_EQ(1, rec.Count(kCountNotice, 1));
    ASSERT_TRUE(m.capture->Start());
    EXPECT_GT(dshow::PushVirtualTone(L"USB Microphone Beta", 50), 0);
    m.capture->Release();
  }
  {
    // An index past the matches fails the creation.
    Recorder rec;
    Made m = Make(&rec, "USB Microphone Gamma", 2, 2);
    EXPECT_EQ(nullptr, m.capture);
    EXPECT_FALSE(m.ok);
    EXPECT_EQ("AudioCapture create audio capture device errAudioCapture create err", m.error);
    EXPECT_EQ(1, rec.Count(kCountNotice, 1));
  }
  {
    // An empty name matches every input; the index picks by position.
    Recorder rec;
    Made m = Make(&rec, "", 1, 2);
    ASSERT_TRUE(m.ok) << m.error;
    ASSERT_TRUE(m.capture->Start());
    EXPECT_EQ(0, dshow::PushVirtualTone(L"USB Microphone Alpha", 50));
    EXPECT_GT(dshow::PushVirtualTone(L"USB Microphone Beta", 50), 0);
    m.capture->Release();
  }
}

TEST_F(AudioCaptureTest, ADeviceRefusingTheFormatIsConvertedToTheTarget) {
  auto mic = Mic(L"Stubborn Mic", {WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0});
  mic.refuseFormat = true;
  dshow::SetVirtualDevices({mic});
  Recorder rec;
  Made m = Make(&rec, "Stubborn Mic", 0, 1);
  ASSERT_TRUE(m.ok) << m.error;
  WAVEFORMATEX wf{};
  ASSERT_TRUE(m.capture->GetFormat(&wf));
  EXPECT_EQ(44100u, wf.nSamplesPerSec);
  EXPECT_EQ(2, wf.nChannels);
  EXPECT_EQ(16, wf.wBitsPerSample);
  EXPECT_EQ(4, wf.nBlockAlign);
  ASSERT_TRUE(m.capture->Start());
  EXPECT_EQ(192000, dshow::PushVirtualTone(L"Stubborn Mic", 1000));
  m.capture->Stop();
  // One second at 44.1 kHz, less what the resampler still holds.
  EXPECT_NEAR(176400.0, static_cast<double>(rec.Bytes()), 2000.0);
  EXPECT_NEAR(1000.0, capture_test::DominantFrequency(rec.data, 44100, 2), 25.0);
  m.capture->Release();
}

TEST_F(AudioCaptureTest, ADeviceWithoutStreamConfigIsConvertedFrom22050Mono) {
  auto mic = Mic(L"Fixed Mic", {WAVE_FORMAT_PCM, 1, 22050, 44100, 2, 16, 0});
  mic.hasStreamConfig = false;
  dshow::SetVirtualDevices({mic});
  Recorder rec;
  Made m = Make(&rec, "Fixed Mic", 0, 1);
  ASSERT_TRUE(m.ok) << m.error;
  ASSERT_TRUE(m.capture->Start());
  EXPECT_EQ(44100, dshow::PushVirtualTone(L"Fixed Mic", 1000));
  m.capture->Stop();
  EXPECT_NEAR(176400.0, static_cast<double>(rec.Bytes()), 2000.0);
  EXPECT_NEAR(1000.0, capture_test::DominantFrequency(rec.data, 44100, 2), 25.0);
  // Both channels carry the mono source.
  const auto* s = reinterpret_cast<const int16_t*>(rec.data.data());
  for (size_t i = 2000; i < 2100; ++i) EXPECT_EQ(s[2 * i], s[2 * i + 1]);
  m.capture->Release();
}

TEST_F(AudioCaptureTest, LargeSamplesAreConvertedWholeInsteadOfDropped) {
  // 2 s per sample at 8 kHz mono 8-bit become 352800 bytes of publish format,
  // more than the usual conversion buffer.
  auto mic = Mic(L"Slow Mic", {WAVE_FORMAT_PCM, 1, 8000, 8000, 1, 8, 0});
  mic.hasStreamConfig = false;
  mic.hasBufferNegotiation = false;
  mic.bufferMs = 2000;
  dshow::SetVirtualDevices({mic});
  Recorder rec;
  Made m = Make(&rec, "Slow Mic", 0, 1);
  ASSERT_TRUE(m.ok) << m.error;
  ASSERT_TRUE(m.capture->Start());
  EXPECT_EQ(16000, dshow::PushVirtualTone(L"Slow Mic", 2000));
  m.capture->Stop();
  EXPECT_GT(rec.largest, 176400);
  EXPECT_NEAR(352800.0, static_cast<double>(rec.Bytes()), 2000.0);
  m.capture->Release();
}

TEST_F(AudioCaptureTest, SamplesWithoutTimesArriveAtZeroAfterOneNotice) {
  auto mic = Mic(L"Clockless Mic");
  mic.stampTimes = false;
  dshow::SetVirtualDevices({mic});
  Recorder rec;
  Made m = Make(&rec, "Clockless Mic", 0, 1);
  ASSERT_TRUE(m.ok) << m.error;
  ASSERT_TRUE(m.capture->Start());
  for (int i = 0; i < 5; ++i) dshow::PushVirtualTone(L"Clockless Mic", 100);
  m.capture->Stop();
  EXPECT_EQ(25u, rec.starts.size()) << "100 ms in buffers of 4096 bytes: 5 samples per push";
  for (size_t i = 0; i < rec.starts.size(); ++i) {
    EXPECT_EQ(0, rec.starts[i]);
    EXPECT_EQ(0, rec.stops[i]);
  }
  int notices = 0;
  for (auto& r : rec.reports)
    notices += r.first.find("AudioCapture Get TimeStamp Err") != std::string::npos && r.second == 1;
  EXPECT_EQ(1, notices);
  m.capture->Release();
}

TEST_F(AudioCaptureTest, TimesAreMillisecondsOfTheDeviceClockAndRise) {
  dshow::SetVirtualDevices({Mic(L"Clock Mic")});
  Recorder rec;
  Made m = Make(&rec, "Clock Mic", 0, 1);
  ASSERT_TRUE(m.ok) << m.error;
  ASSERT_TRUE(m.capture->Start());
  dshow::PushVirtualTone(L"Clock Mic", 1000);
  m.capture->Stop();
  // 4096-byte buffers (the suggestion) of 44.1 kHz stereo: 1024 frames each.
  ASSERT_GE(rec.starts.size(), 40u);
  EXPECT_EQ(0, rec.starts[0]);
  EXPECT_EQ(23, rec.stops[0]);  // 1024 / 44100 s = 23.2 ms, truncated
  for (size_t i = 1; i < rec.starts.size(); ++i) {
    EXPECT_GE(rec.starts[i], rec.starts[i - 1]);
    EXPECT_GE(rec.stops[i], rec.starts[i]);
  }
  m.capture->Release();
}

TEST_F(AudioCaptureTest, AGraphAbortReachesTheOwnerAsAnError) {
  dshow::SetVirtualDevices({Mic(L"Flaky Mic")});
  Recorder rec;
  Made m = Make(&rec, "Flaky Mic", 0, 1);
  ASSERT_TRUE(m.ok) << m.error;
  ASSERT_TRUE(m.capture->Start());
  EXPECT_EQ(1, dshow::InjectVirtualEvent(L"Flaky Mic", EC_ERRORABORT));
  EXPECT_TRUE(rec.WaitReport(0, "user abort", 2000));
  m.capture->Release();
}

// The report handler runs on the capture's event thread and may end the
// capture right there, as an owner that gives up on a failed device does.
class ReleasingRecorder : public Recorder {
 public:
  void OnHDAudioCapNotify(std::string text, int kind) override {
    if (kind == 0) {
      if (IAudioCapture* capture = toRelease.exchange(nullptr)) {
        capture->Release();
        released = true;
      }
    }
    Recorder::OnHDAudioCapNotify(std::move(text), kind);
  }
  std::atomic<IAudioCapture*> toRelease{nullptr};
  std::atomic<bool> released{false};
};

TEST_F(AudioCaptureTest, AReportHandlerMayReleaseTheCaptureOnItsEventThread) {
  dshow::SetVirtualDevices({Mic(L"Dying Mic")});
  ReleasingRecorder rec;
  Made m = Make(&rec, "Dying Mic", 0, 1);
  ASSERT_TRUE(m.ok) << m.error;
  ASSERT_TRUE(m.capture->Start());
  rec.toRelease = m.capture;
  EXPECT_EQ(1, dshow::InjectVirtualEvent(L"Dying Mic", EC_ERRORABORT));
  ASSERT_TRUE(rec.WaitReport(0, "user abort", 2000));
  EXPECT_TRUE(rec.released);
  EXPECT_EQ(0, dshow::PushVirtualTone(L"Dying Mic", 20)) << "the released capture's graph is gone";
}

TEST_F(AudioCaptureTest, StartStopCyclesThenReleaseLeaveNothingBehind) {
  dshow::SetVirtualDevices({Mic(L"Cycle Mic")});
  Recorder rec;
  Made m = Make(&rec, "Cycle Mic", 0, 1);
  ASSERT_TRUE(m.ok) << m.error;
  std::atomic<bool> go{true};
  // A device streaming all the while, as a real one would.
  std::thread pusher([&] {
    while (go) {
      dshow::PushVirtualTone(L"Cycle Mic", 5);
      platform::SleepMs(1);
    }
  });
  for (int i = 0; i < 10; ++i) {
    ASSERT_TRUE(m.capture->Start());
    EXPECT_EQ(1, dshow::RunningObjectCount() - rotBaseline_) << "one registration per capture";
    platform::SleepMs(5);
    ASSERT_TRUE(m.capture->Stop());
    const size_t after = rec.Bytes();
    platform::SleepMs(5);
    EXPECT_EQ(after, rec.Bytes()) << "no data after Stop returned";
  }
  ASSERT_TRUE(m.capture->Start());
  m.capture->Release();
  go = false;
  pusher.join();
  EXPECT_GT(rec.Bytes(), 0u);
}

TEST_F(AudioCaptureTest, SelectingTheStereoMixRebuildsOnTheMonitorAndKeepsRunning) {
  dshow::SetVirtualDevices({Mic(L"Built-in Microphone"), Mic(L"Monitor of Speakers")});
  Recorder rec;
  Made m = Make(&rec, "Built-in Microphone", 0, 1);
  ASSERT_TRUE(m.ok) << m.error;
  ASSERT_TRUE(m.capture->Start());
  ASSERT_TRUE(m.capture->SelectStereoMix());
  EXPECT_EQ(0, dshow::PushVirtualTone(L"Built-in Microphone", 50));
  EXPECT_GT(dshow::PushVirtualTone(L"Monitor of Speakers", 50), 0);
  ASSERT_TRUE(m.capture->SelectMicrophone());
  EXPECT_GT(dshow::PushVirtualTone(L"Built-in Microphone", 50), 0);
  m.capture->Release();
}

TEST_F(AudioCaptureTest, AFailedStartIsReportedAndALaterRebuildStillWorks) {
  auto broken = Mic(L"Broken Mic");
  broken.failStart = true;
  dshow::SetVirtualDevices({broken, Mic(L"Monitor of Speakers")});
  Recorder rec;
  Made m = Make(&rec, "Broken Mic", 0, 1);
  ASSERT_TRUE(m.ok) << m.error;
  EXPECT_FALSE(m.capture->Start());
  EXPECT_TRUE(rec.WaitReport(0, "AudioCapture Run 错误", 0));
  // The event thread of the failed start is stopped before the graph it
  // watches is replaced.
  ASSERT_TRUE(m.capture->SelectStereoMix());
  ASSERT_TRUE(m.capture->Start());
  EXPECT_GT(dshow::PushVirtualTone(L"Monitor of Speakers", 50), 0);
  EXPECT_GT(rec.Bytes(), 0u);
  m.capture->Release();
}

TEST_F(AudioCaptureTest, NoInputsAtAllFailsCreationWithTheNotice) {
  dshow::SetVirtualDevices({});
  Recorder rec;
  Made m = Make(&rec, "Anything", 0, 1);
  EXPECT_EQ(nullptr, m.capture);
  EXPECT_EQ("AudioCapture create audio capture device errAudioCapture create err", m.error);
  EXPECT_EQ(1, rec.Count(kCountNotice, 1));
}

TEST_F(AudioCaptureTest, EveryFailedBuildStepReleasesWhatItMadeAndBalancesTheApartment) {
  dshow::SetVirtualDevices({Mic(L"Plain Mic")});
  const struct {
    const CLSID* failing;
    const char* error;
  } steps[] = {
      {&CLSID_FilterGraph, "AudioCapture FilterGraph build errAudioCapture create err"},
      {&CLSID_CaptureGraphBuilder2, "AudioCapture find ICaptureGraphBuilder2 interface errAudioCapture create err"},
      {&CLSID_SystemDeviceEnum, "AudioCapture create audio capture device errAudioCapture create err"},
  };
  // A thread of its own, so the apartment count seen is the capture's alone.
  std::thread([&] {
    for (const auto& step : steps) {
      SCOPED_TRACE(step.error);
      dshow::SetCreateFailsForTest(*step.failing, true);
      Recorder rec;
      Made m = Make(&rec, "Plain Mic", 0, 1);
      dshow::SetCreateFailsForTest(*step.failing, false);
      EXPECT_EQ(nullptr, m.capture);
      EXPECT_FALSE(m.ok);
      EXPECT_EQ(step.error, m.error);
      EXPECT_EQ(0, CoInitializeDepth());
      EXPECT_EQ(baseline_, dshow::LiveObjectCount());
    }
    Recorder rec;
    Made m = Make(&rec, "Plain Mic", 0, 1);
    ASSERT_TRUE(m.ok) << m.error;
    EXPECT_EQ(1, CoInitializeDepth()) << "the capture's device list keeps the thread initialised";
    m.capture->Release();
    EXPECT_EQ(0, CoInitializeDepth());
  }).join();
}

// The manager makes the capture on its worker thread and switches lines and
// releases it from the host's thread: the switch works there, and neither
// thread's apartment count nor the live objects are left behind, round after
// round; a later capture works on either thread.
TEST_F(AudioCaptureTest, MadeOnOneThreadSwitchedAndReleasedOnAnotherLeavesNothingBehind) {
  dshow::SetVirtualDevices({Mic(L"Built-in Microphone"), Mic(L"Monitor of Speakers")});
  capture_test::ThreadRunner worker, host;
  Recorder rec;
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    Made m;
    worker.Run([&] {
      m = Make(&rec, "Built-in Microphone", 0, 1);
      if (m.capture) {
        EXPECT_TRUE(m.capture->Start());
      }
    });
    ASSERT_TRUE(m.ok) << m.error;
    host.Run([&] {
      EXPECT_TRUE(m.capture->SelectStereoMix());
      EXPECT_GT(dshow::PushVirtualTone(L"Monitor of Speakers", 20), 0);
      m.capture->Release();
      EXPECT_EQ(0, CoInitializeDepth());
    });
    worker.Run([] { EXPECT_EQ(0, CoInitializeDepth()); });
    EXPECT_EQ(baseline_, dshow::LiveObjectCount());
  }
  for (capture_test::ThreadRunner* runner : {&worker, &host}) {
    runner->Run([&] {
      Made m = Make(&rec, "Built-in Microphone", 0, 1);
      ASSERT_TRUE(m.ok) << m.error;
      EXPECT_EQ(1, CoInitializeDepth());
      m.capture->Release();
      EXPECT_EQ(0, CoInitializeDepth());
    });
  }
}

TEST_F(AudioCaptureTest, TheGrabberTakesOnlyPcmAndRefusesFormatBlocksTooShortToRead) {
  WAVEFORMATEX connected{};
  HRESULT hr = E_FAIL;
  CAudioRender* render = CAudioRender::Create(nullptr, &connected, &hr);
  ASSERT_NE(nullptr, render);
  EXPECT_EQ(S_OK, hr);
  void* out = nullptr;
  EXPECT_EQ(E_POINTER, render->QueryInterface(IID_IBaseFilter, nullptr));
  EXPECT_EQ(S_OK, render->QueryInterface(IID_IBaseFilter, &out));
  static_cast<IBaseFilter*>(out)->Release();
  CLSID clsid{};
  render->GetClassID(&clsid);
  EXPECT_EQ(CLSID_AudioRenderGrabber, clsid);

  CMediaType mt;
  BuildPcmMediaType(&mt, WAVEFORMATEX{WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0});
  EXPECT_EQ(S_OK, render->CheckMediaType(&mt));
  mt.subtype = MEDIASUBTYPE_WAVE;
  EXPECT_EQ(S_OK, render->CheckMediaType(&mt));
  mt.subtype = MEDIASUBTYPE_IEEE_FLOAT;
  EXPECT_EQ(E_INVALIDARG, render->CheckMediaType(&mt));
  mt.subtype = MEDIASUBTYPE_PCM;
  mt.majortype = MEDIATYPE_Video;
  EXPECT_EQ(E_INVALIDARG, render->CheckMediaType(&mt));
  EXPECT_EQ(E_POINTER, render->CheckMediaType(nullptr));

  mt.majortype = MEDIATYPE_Audio;
  EXPECT_EQ(S_OK, render->SetMediaType(&mt));
  EXPECT_EQ(8000u, connected.nSamplesPerSec);
  const WAVEFORMATEX before = connected;
  CMediaType shortBlock;
  shortBlock.majortype = MEDIATYPE_Audio;
  shortBlock.subtype = MEDIASUBTYPE_PCM;
  const BYTE eight[8] = {1, 0, 2, 0, 0x44, 0xAC, 0, 0};
  SetFormatBlock(&shortBlock, eight, sizeof(eight));
  EXPECT_EQ(E_INVALIDARG, render->SetMediaType(&shortBlock));
  EXPECT_EQ(0, std::memcmp(&before, &connected, sizeof(before)));
  render->Release();
}

}  // namespace
