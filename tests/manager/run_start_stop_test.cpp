// A publish run on doubles, for what its start and stop must never leave
// behind: a start without its worker, a camera or a media file that never
// opens while the run connects anyway, desktop sound running after the stop,
// a manager without a notify object that stops reconnecting, and a size
// changed while live; and what such a run writes to the log.
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "fake_encoder.h"
#include "manager_test_support.h"
#include "common/Log.h"
#include "platform/outside/OutsideDoubles.h"
#include "tests/support/temp_dir.h"
#include "tests/support/waiting_notify.h"

namespace {

using namespace strivon_status;
using test_support::WaitingNotify;

bool WaitUntil(const std::function<bool()>& done, int ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// The encoders a run made and the notify each was given.
struct Encoders {
  std::mutex lock;
  std::vector<IEncoderMediaThenSendThroughRtmpNotify*> notifies;
  std::shared_ptr<FakeEncoderLog> log = std::make_shared<FakeEncoderLog>();
  int Made() {
    std::lock_guard<std::mutex> guard(lock);
    return static_cast<int>(notifies.size());
  }
  void Status(int index, const char* text) {
    IEncoderMediaThenSendThroughRtmpNotify* notify = nullptr;
    {
      std::lock_guard<std::mutex> guard(lock);
      notify = notifies.at(static_cast<size_t>(index));
    }
    MediaInfo info;
    info.text1 = text;
    notify->OnEncoderMediaThenSendThroughRtmpStatus(&info);
  }
};

struct CameraLog {
  std::atomic<int> made{0}, starts{0};
};

class FakeCamera final : public IVideoCapture {
 public:
  explicit FakeCamera(std::shared_ptr<CameraLog> log) : m_log(std::move(log)) { ++m_log->made; }
  bool Start() override { return ++m_log->starts > 0; }
  bool Stop() override { return true; }
  int GetId() override { return 0; }
  void SetAudioLevel(const short*, int) override {}
  void EnableLevelBar(const bool*) override {}
  void Release() override { delete this; }

 private:
  std::shared_ptr<CameraLog> m_log;
};

class RunStartStop : public ::testing::Test {
 protected:
  // A run with a camera in the list, no microphone, the fake screen, and
  // a direct route to an address nobody is asked about.
  ManagerPtr Make(IRtmpPublishManagerNotify* notify) {
    ManagerFactories factories;
    factories.createDeviceList = [](IDeviceListNotfiy*) -> IDeviceList* {
      return new FakeDeviceList({L"Camera"}, {}, {});
    };
    factories.createVideoCapture = [this](IVideoCaptureNotify*, int, const char*, int, int, int*, int*, int*,
                                          bool* ok, std::string*) -> IVideoCapture* {
      *ok = true;
      return new FakeCamera(cameras);
    };
    factories.createEncoder = [this](IEncoderMediaThenSendThroughRtmpNotify* n) -> IEncoderMediaThenSendThroughRtmp* {
      std::lock_guard<std::mutex> guard(encoders.lock);
      encoders.notifies.push_back(n);
      return new FakeEncoder(encoders.log);
    };
    ManagerPtr manager(CreateRtmpPublishManagerWith(notify, std::move(factories)));
    manager->SetPublishVideoPara(64, 36, 25, 100000, 0, 50);
    manager->SetPublishAudioPara(44100, 2, 16, 64000, 100, false);
    manager->SetPublishUrl("rtmp://127.0.0.1:1", "live", "run");
    return manager;
  }

  OutsideDoubles doubles;
  WaitingNotify notify;
  Encoders encoders;
  std::shared_ptr<CameraLog> cameras = std::make_shared<CameraLog>();
};

TEST_F(RunStartStop, AStartWhoseWorkerCannotRunIsRefusedAndUndone) {
  ManagerPtr manager = Make(&notify);
  CTVThread::SetThreadCreationFailsForTest(true);
  const bool started = manager->StartPublish();
  CTVThread::SetThreadCreationFailsForTest(false);
  EXPECT_FALSE(started);
  EXPECT_FALSE(manager->StopPublish()) << "a refused start left a run behind";
  EXPECT_TRUE(manager->StartPublish());
  EXPECT_TRUE(WaitUntil([&] { return encoders.Made() == 1; }, 5000));
  EXPECT_TRUE(manager->StopPublish());
}

TEST_F(RunStartStop, WithoutANotifyACloseReconnectsAndUnpublishStops) {
  ManagerPtr manager = Make(nullptr);
  ASSERT_TRUE(manager->StartPublish());
  ASSERT_TRUE(WaitUntil([&] { return encoders.Made() == 1; }, 5000));
  encoders.Status(0, kConnectClosed);
  ASSERT_TRUE(WaitUntil([&] { return encoders.Made() == 2; }, 4000)) << "no reconnection";
  encoders.Status(1, kPublishUnpublishNotify);
  // The stop releases the second encoder (the first went with the reconnection).
  EXPECT_TRUE(WaitUntil([&] { return encoders.log->releases == 2; }, 4000));
  EXPECT_TRUE(manager->StopPublish());
}

TEST_F(RunStartStop, ACameraChosenBeforeTheFirstStartIsOpenedByIt) {
  ManagerPtr manager = Make(&notify);
  manager->changeToCamera(0, 25, 50);
  ASSERT_EQ(cameras->starts, 1);
  manager->SetVideoSource(3, 0, nullptr, 25, 50);
  ASSERT_TRUE(manager->StartPublish());
  EXPECT_TRUE(notify.WaitFor(kLevelInformation, kStartVideoCaptureSuc, 2, 5000)) << "the run opened no camera";
  EXPECT_EQ(cameras->made, 2);
  EXPECT_TRUE(manager->StopPublish());
}

TEST_F(RunStartStop, AMediaFileThatCannotBeOpenedIsReportedAndNothingConnects) {
  doubles.vexaFails = true;
  ManagerPtr manager = Make(&notify);
  manager->SetVideoSource(2, 0, "broken.mp4", 25, 50);
  ASSERT_TRUE(manager->StartPublish());
  ASSERT_TRUE(notify.WaitFor(kLevelError, kVideoCaptureError, 1, 5000));
  EXPECT_EQ(notify.Count(kLevelError, "cannot open broken.mp4: refused by the test"), 1);
  EXPECT_TRUE(manager->StopPublish());
  EXPECT_EQ(notify.Count(kLevelInformation, kStartSchedule), 0);
  EXPECT_EQ(encoders.Made(), 0);
}

TEST_F(RunStartStop, ASwitchToAFileThatCannotBeOpenedKeepsTheScreen) {
  doubles.vexaFails = true;
  ManagerPtr manager = Make(&notify);
  ASSERT_TRUE(manager->StartPublish());
  const auto grabs = [&] { return doubles.screens().empty() ? 0 : doubles.screens().back()->calls().grabs; };
  ASSERT_TRUE(WaitUntil([&] { return grabs() > 0; }, 5000));
  manager->changeToVexaFile("broken.mp4", 25, 50);
  EXPECT_EQ(notify.Count(kLevelError, "cannot open broken.mp4: refused by the test"), 1);
  const int before = grabs();
  EXPECT_TRUE(WaitUntil([&] { return grabs() >= before + 3; }, 3000)) << "the screen stopped";
  EXPECT_TRUE(manager->StopPublish());
}

// The file source's pictures, with sound beside them so the send thread
// passes them on: ten pairs, 40 ms apart.
void PumpFile(FakeVexaCapture* file) {
  for (uint32_t t = 0; t < 400; t += 40) {
    EXPECT_TRUE(file->PumpPicture(t, 1, 2, 3));
    EXPECT_TRUE(file->PumpSound(t, 1764, 0));
  }
}

// A new size while live used to reach the sources' pictures but not the
// encoder, which dropped every one of them while the run stayed live.
TEST_F(RunStartStop, ASizeSetWhileLiveIsRefusedSoPicturesKeepTheEncodersSize) {
  ManagerPtr manager = Make(&notify);
  manager->SetVideoSource(2, 0, "clip.mp4", 25, 50);
  ASSERT_TRUE(manager->StartPublish());
  ASSERT_TRUE(WaitUntil([&] { return encoders.log->formatBytes > 0; }, 5000));
  EXPECT_EQ(manager->SetPublishVideoPara(32, 18, 25, 100000, 0, 50), 64 * 36 * 3) << "the run's size stays";
  PumpFile(doubles.fileSources().back());
  EXPECT_TRUE(WaitUntil([&] { return encoders.log->picturesOfFormat == 10; }, 5000));
  EXPECT_EQ(encoders.log->picturesOfOtherSizes, 0);
  EXPECT_TRUE(manager->StopPublish());
  EXPECT_EQ(manager->SetPublishVideoPara(32, 18, 25, 100000, 0, 50), 32 * 18 * 3) << "taken once stopped";
}

// Another sample rate while live reached the sound path's clock but not the
// capture, which went on at the old one: every stamp from then on was wrong.
TEST_F(RunStartStop, ASoundFormatSetWhileLiveIsRefusedTheOtherValuesTaken) {
  ManagerPtr manager = Make(&notify);
  auto* concrete = static_cast<RtmpPublishManager*>(manager.get());
  manager->SetPublishAudioPara(44100, 2, 16, 64000, 100, false);
  ASSERT_TRUE(manager->StartPublish());
  manager->SetPublishAudioPara(48000, 1, 16, 32000, 60, false);
  EXPECT_EQ(concrete->Audio().sampleRate, 44100);
  EXPECT_EQ(concrete->Audio().channels, 2);
  EXPECT_EQ(concrete->Audio().bitrate, 32000);
  EXPECT_EQ(concrete->Audio().volume, 60);
  EXPECT_TRUE(manager->StopPublish());
  manager->SetPublishAudioPara(48000, 1, 16, 32000, 60, false);
  EXPECT_EQ(concrete->Audio().sampleRate, 48000) << "taken once stopped";
  EXPECT_EQ(concrete->Audio().channels, 1);
}

TEST_F(RunStartStop, AFileRunLogsWhereItsTimeLineComesFrom) {
  test_support::TempDir dir("strivon-run-log");
  struct LogHere {
    explicit LogHere(const std::string& module) { log_testing::ResetLog(module); }
    ~LogHere() { log_testing::ResetLog(""); }
  } logHere(dir.File("libStrivon.so"));
  {
    ManagerPtr manager = Make(&notify);
    manager->SetVideoSource(2, 0, "clip.mp4", 25, 50);
    ASSERT_TRUE(manager->StartPublish());
    ASSERT_TRUE(WaitUntil([&] { return encoders.Made() == 1; }, 5000));
    PumpFile(doubles.fileSources().back());
    manager->changeToVexaFile("next.mp4", 25, 50);
    EXPECT_TRUE(manager->StopPublish());
  }
  const std::string log = test_support::ReadFileBytes(log_testing::CurrentLogPath());
  for (const char* line : {"changeToVexaFile:m_bNeedConverStamp:0", "changeToVexaFile:m_bNeedConverStamp:1",
                           "OnVexaCaptureVideo:m_dLastOtherTimeStmp:0", "m_uVideoFrameRate:25",
                           "OnVexaCaptureAudio:m_dLastOtherTimeStmp:0", "m_pMediaRender may release."})
    EXPECT_NE(log.find(line), std::string::npos) << line;
}

// A microphone that records what the run did with it, and the notify the
// run gave it, so the test can end its capture as a sound server that dies.
struct MicrophoneLog {
  std::atomic<int> made{0}, starts{0}, released{0};
  std::atomic<IAudioCaptureNotify*> notify{nullptr};
};

class LoggedMicrophone final : public IAudioCapture {
 public:
  explicit LoggedMicrophone(MicrophoneLog* log) : m_log(log) { ++m_log->made; }
  bool Start() override { return ++m_log->starts > 0; }
  bool Stop() override { return true; }
  int GetId() override { return 0; }
  void Release() override {
    ++m_log->released;
    delete this;
  }
  bool GetFormat(WAVEFORMATEX*) override { return false; }
  bool SelectStereoMix() override { return true; }
  bool SelectMicrophone() override { return true; }

 private:
  MicrophoneLog* m_log;
};

// The sound server dies while a file plays: the dead capture is let go, no
// microphone is made while the file brings the sound, and the switch back to
// the screen brings one back.
TEST_F(RunStartStop, AMicrophoneLostWhileAFilePlaysComesBackWithTheScreen) {
  MicrophoneLog mics;
  ManagerFactories factories;
  factories.createDeviceList = [](IDeviceListNotfiy*) -> IDeviceList* { return new FakeDeviceList({}, {L"Mic"}, {}); };
  factories.createAudioCapture = [&mics](IAudioCaptureNotify* n, int, const char*, int, int, int*, int*,
                                         unsigned short*, bool* ok, std::string*) -> IAudioCapture* {
    mics.notify = n;
    *ok = true;
    return new LoggedMicrophone(&mics);
  };
  factories.createEncoder = [this](IEncoderMediaThenSendThroughRtmpNotify* n) -> IEncoderMediaThenSendThroughRtmp* {
    std::lock_guard<std::mutex> guard(encoders.lock);
    encoders.notifies.push_back(n);
    return new FakeEncoder(encoders.log);
  };
  ManagerPtr manager(CreateRtmpPublishManagerWith(&notify, std::move(factories)));
  manager->SetPublishVideoPara(64, 36, 25, 100000, 0, 50);
  manager->SetPublishUrl("rtmp://127.0.0.1:1", "live", "run");
  manager->SetMic(0);
  ASSERT_TRUE(manager->StartPublish());
  ASSERT_TRUE(WaitUntil([&] { return encoders.Made() == 1; }, 5000));
  manager->changeToVexaFile("clip.mp4", 25, 50);
  ASSERT_EQ(doubles.fileSources().size(), 1u);
  ASSERT_EQ(mics.made, 1);

  mics.notify.load()->OnHDAudioCapNotify("user abort", 0);
  EXPECT_TRUE(notify.WaitFor(kAudioCaptureError, 1, 5000));
  ASSERT_TRUE(WaitUntil([&] { return mics.released == 1; }, 5000));
  // Taken under the same lock as the reopening: past it once this returns.
  manager->SetStereoMix(false);
  EXPECT_EQ(mics.made, 1) << "a microphone was made while the file brings the sound";

  manager->changeToScreen(25, 50);
  EXPECT_TRUE(WaitUntil([&] { return mics.made == 2 && mics.starts == 2; }, 5000));
  EXPECT_TRUE(manager->StopPublish());
}

// The desktop-sound device that the fake library makes, counted while it runs.
std::atomic<int> g_runningDesktopDevices{0};

class CountedDesktopDevice final : public ICaptureDevice {
 public:
  bool Start() override {
    if (!m_running.exchange(true)) ++g_runningDesktopDevices;
    return true;
  }
  bool Stop() override {
    if (m_running.exchange(false)) --g_runningDesktopDevices;
    return true;
  }
  void Release() override {
    Stop();
    delete this;
  }

 private:
  std::atomic<bool> m_running{false};
};

ICaptureDevice* CreateCountedDesktopDevice(ICaptureNotfy*) { return new CountedDesktopDevice; }

// A screen whose grab can be held, to hold the worker inside one pass.
class HeldScreen final : public IScreenCapture {
 public:
  void Release() override {}
  void SetFollowCursor(bool) override {}
  bool SetBitDepth(int) override { return true; }
  bool SetCaptureRect(const RECT*) override { return true; }
  bool GrabFrame(BITMAPINFOHEADER**, BYTE**, int*) override {
    ++grabs;
    if (hold.exchange(false)) {
      held.set_value();
      released.wait();
    }
    return false;
  }
  void ShowCaptureFrame(int) override {}
  bool IsCaptureFrameShown() override { return false; }
  void RaiseCaptureFrame() override {}
  void ClearCaptureWindow() override {}
  void SetCaptureWindow(HWND) override {}
  bool DisplayLost() override { return false; }

  std::atomic<int> grabs{0};
  std::atomic<bool> hold{false};
  std::promise<void> held, release;
  std::shared_future<void> released = release.get_future().share();
};

class CountedMicrophone final : public IAudioCapture {
 public:
  explicit CountedMicrophone(std::atomic<int>* stops) : m_stops(stops) {}
  bool Start() override { return true; }
  bool Stop() override { return ++*m_stops > 0; }
  int GetId() override { return 0; }
  void Release() override { delete this; }
  bool GetFormat(WAVEFORMATEX*) override { return false; }
  bool SelectStereoMix() override { return true; }
  bool SelectMicrophone() override { return true; }

 private:
  std::atomic<int>* m_stops;
};

// The worker takes the start of desktop sound in the pass in which the stop
// begins, after the stop has stopped the background sound.
TEST(RunStop, DesktopSoundStartedInTheWorkersLastPassEndsWithTheStop) {
  OutsideDoubles doubles;
  HeldScreen screen;
  OutsideFactoryTable table = OutsideFactories();
  table.createScreenCapture = [&screen]() -> IScreenCapture* { return &screen; };
  table.loadWexmoor = [] {
    WexmoorLoadResult result;
    result.create = &CreateCountedDesktopDevice;
    return result;
  };
  SetOutsideFactories(table);
  std::atomic<int> micStops{0};
  ManagerFactories factories;
  factories.createDeviceList = [](IDeviceListNotfiy*) -> IDeviceList* { return new FakeDeviceList({}, {L"Mic"}, {}); };
  factories.createAudioCapture = [&micStops](IAudioCaptureNotify*, int, const char*, int, int, int*, int*,
                                             unsigned short*, bool* ok, std::string*) -> IAudioCapture* {
    *ok = true;
    return new CountedMicrophone(&micStops);
  };
  ManagerPtr manager(CreateRtmpPublishManagerWith(nullptr, std::move(factories)));
  manager->SetPublishVideoPara(64, 36, 25, 100000, 0, 50);
  manager->SetMic(0);
  ASSERT_TRUE(manager->StartPublish());
  // Two grabs: the commands of the start have run, so the next one taken is
  // the desktop sound's.
  ASSERT_TRUE(WaitUntil([&] { return screen.grabs >= 2; }, 5000));

  screen.hold = true;
  ASSERT_EQ(screen.held.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
  manager->EnableHookPlayer(true);
  const int stopsBefore = micStops;
  std::thread stopper([&] { EXPECT_TRUE(manager->StopPublish()); });
  // The stop is past the background sound once it stops the sources.
  EXPECT_TRUE(WaitUntil([&] { return micStops > stopsBefore; }, 5000));
  screen.release.set_value();
  stopper.join();
  EXPECT_EQ(g_runningDesktopDevices, 0) << "desktop sound outlived the stop";
}

}  // namespace
