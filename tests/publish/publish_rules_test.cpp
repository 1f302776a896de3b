// The run's rules on doubles: which unit the send thread hands on first, the
// picture queue's limit, how connection events are reported and acted on,
// scheduling retries, and the run's start/stop refusals.
#include <algorithm>
#include <limits>
#include <cstdio>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "platform/outside/OutsideDoubles.h"
#include "strivon/StatusWords.h"
#include "tests/publish/publish_support.h"

using namespace publish_test;
using namespace strivon_status;

namespace {

class ScriptedSchedule final : public IServerSchedule {
 public:
  explicit ScriptedSchedule(std::shared_ptr<std::vector<Clock::time_point>> calls) : m_calls(std::move(calls)) {}
  bool StartSchedule(const std::string&, int, ScheduleResult*, std::string*) override {
    m_calls->push_back(Clock::now());  // only the worker calls it
    return false;
  }
  bool AsynStartSchedule(const std::string&, void*, int, std::string*) override { return false; }
  void Release() override { delete this; }

 private:
  std::shared_ptr<std::vector<Clock::time_point>> m_calls;
};

void Status(IEncoderMediaThenSendThroughRtmpNotify* notify, const char* text) {
  MediaInfo info;
  info.type = 0;
  info.text1 = text;
  notify->OnEncoderMediaThenSendThroughRtmpStatus(&info);
}

class PublishRules : public ::testing::Test {
 protected:
  void SetUp() override {
    ObserveEncoders(&factories, encoders, false);
    factories.createServerSchedule = [this](IServerScheduleNotify*) -> IServerSchedule* {
      ++schedulesMade;
      return new ScriptedSchedule(scheduleCalls);
    };
  }
  // A run on the fake screen (or a fake file source) without a microphone,
  // published straight to an address nobody is asked about.
  ManagerPtr Start(const char* url = "rtmp://127.0.0.1:1", bool file = false) {
    ManagerPtr manager(CreateRtmpPublishManagerWith(&log, factories));
    manager->SetPublishVideoPara(64, 36, 25, 100000, 0, 50);
    manager->SetPublishAudioPara(44100, 2, 16, 64000, 100, false);
    manager->SetPublishUrl(url, "live", "rules");
    if (file) manager->SetVideoSource(2, 0, "/nowhere/file.mp4", 25, 50);
    EXPECT_TRUE(manager->StartPublish());
    return manager;
  }
  FakeVexaCapture* FileSource() {
    for (int i = 0; i < 500 && doubles.fileSources().empty(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return doubles.fileSources().empty() ? nullptr : doubles.fileSources().back();
  }

  OutsideDoubles doubles;
  StatusLog log;
  std::shared_ptr<EncoderLog> encoders = std::make_shared<EncoderLog>();
  std::shared_ptr<std::vector<Clock::time_point>> scheduleCalls = std::make_shared<std::vector<Clock::time_point>>();
  std::atomic<int> schedulesMade{0};
  ManagerFactories factories;
};

TEST_F(PublishRules, EqualStampsSendThePictureFirstAndSoundAloneGoesOutAfterTheGrace) {
  ManagerPtr manager = Start("rtmp://127.0.0.1:1", true);
  // An encoder just made is not yet the run's: a picture taken before then
  // has nowhere to go. It is the run's once it is asked to connect.
  ASSERT_TRUE(encoders->WaitConnectCalls(1, 5000));
  encoders->LastNotify()->OnEncoderMediaThenSendThroughRtmpConnected();
  FakeVexaCapture* file = FileSource();
  ASSERT_NE(file, nullptr);
  // 10 ms of sound from 100 on the file's clock, and a picture where it ends.
  ASSERT_TRUE(file->PumpSound(100, 441, 1000));
  ASSERT_TRUE(file->PumpPicture(110, 1, 2, 3));
  ASSERT_TRUE(encoders->WaitUnits(2, 5000)) << encoders->Units().size() << "\n" << log.Dump();
  auto units = encoders->Units();
  EXPECT_TRUE(units[0].video);
  EXPECT_FALSE(units[1].video);
  EXPECT_EQ(units[0].timestamp, units[1].timestamp);
  // Then sound alone: it goes on, the last picture standing in beside it.
  const size_t before = units.size();
  ASSERT_TRUE(file->PumpSound(110, 4410, 1000));
  ASSERT_TRUE(encoders->WaitUnits(before + 3, 5000)) << log.Dump();
  units = encoders->Units();
  const auto sound = std::find_if(units.begin() + static_cast<long>(before), units.end(),
                                  [](const EncoderLog::Unit& u) { return !u.video; });
  ASSERT_NE(sound, units.end());
  EXPECT_TRUE(std::any_of(units.begin() + static_cast<long>(before), units.end(),
                          [](const EncoderLog::Unit& u) { return u.video; }));
  EXPECT_TRUE(manager->StopPublish());
}

// The refusal was ignored: the run stayed connected and reported live while
// x264 never opened for its pictures.
TEST_F(PublishRules, AFormatTheEncoderRefusesEndsTheConnectionWithAReport) {
  encoders->videoFormatResult = false;
  ManagerPtr manager = Start();
  ASSERT_TRUE(log.WaitFor(std::string(kEncoderFormatRefused) + "video 64x36", 1, 5000)) << log.Dump();
  EXPECT_TRUE(log.WaitFor(kVideoCaptureError, 1, 5000)) << log.Dump();
  EXPECT_TRUE(encoders->WaitReleased(1, 5000)) << "the connection is closed";
  EXPECT_EQ(log.Count(kClosedUnexpectly), 0) << "and not retried";
  EXPECT_TRUE(manager->StopPublish());
}

TEST_F(PublishRules, APictureTheEncoderHasNoRoomForYetIsNotLost) {
  encoders->busyPictures = 3;
  ManagerPtr manager = Start("rtmp://127.0.0.1:1", true);
  ASSERT_TRUE(encoders->WaitConnectCalls(1, 5000));
  encoders->LastNotify()->OnEncoderMediaThenSendThroughRtmpConnected();
  FakeVexaCapture* file = FileSource();
  ASSERT_NE(file, nullptr);
  ASSERT_TRUE(file->PumpPicture(100, 1, 2, 3));
  ASSERT_TRUE(file->PumpSound(140, 441, 1000));
  ASSERT_TRUE(file->PumpPicture(180, 1, 2, 3));
  ASSERT_TRUE(encoders->WaitUnits(5, 5000)) << log.Dump();
  EXPECT_TRUE(manager->StopPublish());
  std::lock_guard<std::mutex> lock(encoders->lock);
  ASSERT_FALSE(encoders->takenPictures.empty());
  const auto firstPicture = std::find_if(encoders->units.begin(), encoders->units.end(),
                                         [](const EncoderLog::Unit& u) { return u.video; });
  ASSERT_NE(firstPicture, encoders->units.end());
  EXPECT_EQ(encoders->takenPictures.front(), firstPicture->timestamp)
      << "the first picture was dropped while the encoder was busy";
}

// A way out slower than the stream: the pictures that queued meanwhile went
// on to the encoder seconds late, and the stream stayed that far behind.
TEST_F(PublishRules, PicturesThatFellBehindWhileTheEncoderWasBusyAreNotHandedOn) {
  ManagerPtr manager = Start("rtmp://127.0.0.1:1", true);
  ASSERT_TRUE(encoders->WaitConnectCalls(1, 5000));
  {
    // The encoder refuses every picture for the first three seconds.
    std::lock_guard<std::mutex> lock(encoders->lock);
    encoders->busyPictures = std::numeric_limits<int>::max();
  }
  encoders->LastNotify()->OnEncoderMediaThenSendThroughRtmpConnected();
  FakeVexaCapture* file = FileSource();
  ASSERT_NE(file, nullptr);
  // The test is the file: sound and a picture every 40 ms for five seconds.
  auto next = Clock::now();
  int refused = 0;
  for (uint32_t ms = 0; ms < 5000; ms += 40) {
    if (ms == 3000) {
      std::lock_guard<std::mutex> lock(encoders->lock);
      refused = std::numeric_limits<int>::max() - encoders->busyPictures;
      encoders->busyPictures = 0;
    }
    ASSERT_TRUE(file->PumpSound(ms, 1764, 1000));
    ASSERT_TRUE(file->PumpPicture(ms + 20, 1, 2, 3));
    next += std::chrono::milliseconds(40);
    std::this_thread::sleep_until(next);
  }
  EXPECT_TRUE(manager->StopPublish());
  std::lock_guard<std::mutex> lock(encoders->lock);
  ASSERT_GT(refused, 0) << "the encoder was never busy";
  // Each picture's wait when it was offered, counted from the first picture
  // offered (which waited only for its sound): its delay since then less
  // the time between the two stamps.
  const EncoderLog::Unit* first = nullptr;
  double longestWaitMs = 0;
  for (const EncoderLog::Unit& unit : encoders->units) {
    if (!unit.video) continue;
    if (!first) first = &unit;
    longestWaitMs = std::max(longestWaitMs, MsSince(first->at, unit.at) - (unit.timestamp - first->timestamp));
  }
  ASSERT_NE(first, nullptr);
  std::printf("figures: pictures offered at most %.0f ms late, %zu taken\n", longestWaitMs,
              encoders->takenPictures.size());
  EXPECT_LT(longestWaitMs, 700) << "a picture went on after waiting behind the busy encoder";
  EXPECT_GT(encoders->takenPictures.size(), 20u) << "the pictures after the busy stretch went out";
}

TEST_F(PublishRules, EightWaitingPicturesTurnAwayTheNinth) {
  ManagerPtr manager(CreateRtmpPublishManagerWith(&log, factories));
  manager->SetPublishVideoPara(64, 36, 25, 100000, 0, 50);
  auto* concrete = static_cast<RtmpPublishManager*>(manager.get());
  concrete->changeToCamera(0, 25, 50);  // no camera: pictures come from the test
  // Sound waits too, so a full queue means the send side is behind.
  std::vector<BYTE> sound(4096, 0);
  concrete->OnAudioData(0, sound.data(), static_cast<int>(sound.size()), 0, 23);
  std::vector<BYTE> picture(64 * 36 * 3, 0x40);
  int taken = 0, refusedAfterFull = 0;
  for (int i = 0; i < 14; ++i) {
    const bool queued = concrete->OnVideoData(0, picture.data(), static_cast<int>(picture.size()), 0, 0);
    taken += queued;
    refusedAfterFull += taken == 8 && !queued;
    std::this_thread::sleep_for(std::chrono::milliseconds(45));  // beyond the camera's pacing interval
  }
  EXPECT_EQ(taken, 8);
  EXPECT_GE(refusedAfterFull, 4);
}

TEST_F(PublishRules, ConnectionEventsReachTheHostAndOneCloseReconnectsOnce) {
  ManagerPtr manager = Start();
  ASSERT_TRUE(encoders->WaitConnectCalls(1, 5000));
  auto* notify = encoders->LastNotify();
  Status(notify, kConnectSuccess);
  EXPECT_EQ(log.Count(kConnectSuccess, kLevelError), 1);
  EXPECT_EQ(log.Count(kConnectSuccess, kLevelInformation), 1);

  Status(notify, kConnectClosed);
  Status(notify, kConnectClosed);
  Status(notify, kPluginCloseSocket);
  EXPECT_EQ(log.Count(kClosedUnexpectly), 1) << log.Dump();
  ASSERT_TRUE(encoders->WaitCreated(2, 4000));
  EXPECT_FALSE(encoders->WaitCreated(3, 500)) << "one close was acted on twice";
  // The direct route never asks a scheduler.
  EXPECT_EQ(schedulesMade.load(), 0);
  EXPECT_EQ(log.Count(kScheduleSuccess), 0);
  EXPECT_TRUE(manager->StopPublish());
}

// The setting went to the encoder of the moment only: after a reconnection
// the stream went on without the adaptation the host had asked for.
TEST_F(PublishRules, TheAdaptiveBitRateSettingReachesTheEncoderOfEveryReconnection) {
  ManagerPtr manager(CreateRtmpPublishManagerWith(&log, factories));
  std::vector<char> reply(kSendCmdReplyBufferSize);
  char* replyText = reply.data();
  ASSERT_TRUE(manager->SendCmd(R"({"cmd":"SetAutoCtrlBitrate","params":{"bAuto":true}})", &replyText));
  manager->SetPublishVideoPara(64, 36, 25, 100000, 0, 50);
  manager->SetPublishUrl("rtmp://127.0.0.1:1", "live", "rules");
  ASSERT_TRUE(manager->StartPublish());
  ASSERT_TRUE(encoders->WaitConnectCalls(1, 5000));
  Status(encoders->LastNotify(), kConnectClosed);
  ASSERT_TRUE(encoders->WaitCreated(2, 4000));
  ASSERT_TRUE(encoders->WaitConnectCalls(2, 4000));
  EXPECT_TRUE(manager->StopPublish());
  std::lock_guard<std::mutex> lock(encoders->lock);
  const std::vector<std::pair<int, bool>> expected = {{1, true}, {2, true}};
  EXPECT_EQ(encoders->autoBitrate, expected);
}

TEST_F(PublishRules, AFailedScheduleIsRetriedEveryTwoSeconds) {
  ManagerPtr manager = Start("httpRtmp://127.0.0.1:1/schedule");
  ASSERT_TRUE(log.WaitFor(kScheduleFailed, 3, 7000)) << log.Dump();
  EXPECT_TRUE(manager->StopPublish());
  ASSERT_GE(scheduleCalls->size(), 3u);
  for (size_t i = 1; i < scheduleCalls->size(); ++i)
    EXPECT_NEAR(MsSince((*scheduleCalls)[i - 1], (*scheduleCalls)[i]), 2000.0, 150.0);
  EXPECT_EQ(encoders->Created(), 0);
}

TEST_F(PublishRules, StopFromInsideACallbackIsRefused) {
  std::promise<bool> insideResult;
  std::atomic<bool> answered{false};
  IRtmpPublishManager* target = nullptr;
  log.onStatus = [&](int, const std::string& text) {
    if (text.find(kStartPublish) != std::string::npos && !answered.exchange(true))
      insideResult.set_value(target->StopPublish());
  };
  ManagerPtr manager(CreateRtmpPublishManagerWith(&log, factories));
  target = manager.get();
  manager->SetPublishVideoPara(64, 36, 25, 100000, 0, 50);
  manager->SetPublishUrl("rtmp://127.0.0.1:1", "live", "rules");
  ASSERT_TRUE(manager->StartPublish());
  std::future<bool> result = insideResult.get_future();
  ASSERT_EQ(result.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_FALSE(result.get());
  EXPECT_TRUE(manager->StopPublish());
}

TEST_F(PublishRules, AfterUnpublishNotifyStartIsRefusedUntilStop) {
  ManagerPtr manager = Start();
  ASSERT_TRUE(encoders->WaitConnectCalls(1, 5000));
  Status(encoders->LastNotify(), kPublishUnpublishNotify);
  ASSERT_TRUE(log.WaitFor(kStopPublishAsyn, 1, 5000)) << log.Dump();
  EXPECT_FALSE(manager->StartPublish());
  EXPECT_TRUE(manager->StopPublish());
  EXPECT_TRUE(manager->StartPublish());
  EXPECT_TRUE(encoders->WaitCreated(2, 5000));
  EXPECT_TRUE(manager->StopPublish());
}

}  // namespace
