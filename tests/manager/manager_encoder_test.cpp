// The manager's calls into the encoder of a running connection, and the guard
// that keeps them off an encoder that is being replaced or released.
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "fake_encoder.h"
#include "manager_test_support.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(ManagerEncoder, BitRateAndAutoControlReachThePresentEncoder) {
  ManagerPtr manager = MakeManager(nullptr);
  RtmpPublishManager* m = Concrete(manager);
  auto log = std::make_shared<FakeEncoderLog>();
  m->ReplaceEncoder(new FakeEncoder(log));

  manager->SetVideoBitrate(500000, 20);
  EXPECT_EQ(log->bitrateCalls, 1);
  EXPECT_EQ(log->lastBitrate, 500000u);
  EXPECT_EQ(log->lastVbrQuality, 20);
  EXPECT_EQ(m->Video().bitrate, 500000);
  EXPECT_EQ(m->Encoder().vbrQuality, 20);

  std::vector<char> buffer(kSendCmdReplyBufferSize);
  char* out = buffer.data();
  manager->SendCmd(R"({"cmd":"SetAutoCtrlBitrate","params":{"bAuto":true}})", &out);
  EXPECT_EQ(log->autoCtrlCalls, 1);
  EXPECT_TRUE(log->lastAuto);

  manager.reset();
  EXPECT_EQ(log->releases, 1) << "released with the manager";
}

TEST(ManagerEncoder, ReplacedEncoderIsReleasedOnceAndNoLongerCalled) {
  ManagerPtr manager = MakeManager(nullptr);
  RtmpPublishManager* m = Concrete(manager);
  auto first = std::make_shared<FakeEncoderLog>();
  auto second = std::make_shared<FakeEncoderLog>();
  m->ReplaceEncoder(new FakeEncoder(first));
  m->ReplaceEncoder(new FakeEncoder(second));
  EXPECT_EQ(first->releases, 1);
  manager->SetVideoBitrate(100000, 0);
  EXPECT_EQ(first->bitrateCalls, 0);
  EXPECT_EQ(second->bitrateCalls, 1);
  m->ReplaceEncoder(nullptr);
  EXPECT_EQ(second->releases, 1);
  manager->SetVideoBitrate(200000, 0);
  EXPECT_EQ(second->bitrateCalls, 1);
}

TEST(ManagerEncoder, ARecordingStartedLiveAsksForAKeyFrame) {
  ManagerPtr manager = MakeManager(nullptr);
  RtmpPublishManager* m = Concrete(manager);
  auto log = std::make_shared<FakeEncoderLog>();
  m->ReplaceEncoder(new FakeEncoder(log));
  test_support::TempDir dir("key-frame-request");
  const std::string path = dir.File("recording.flv");
  manager->SetRecordFilePath(path.c_str());
  manager->EnableRecordFile(true);
  EXPECT_EQ(log->keyFrameRequests, 1) << "the file would wait for the next key frame";
  manager->EnableRecordFile(false);
  EXPECT_EQ(log->keyFrameRequests, 1);
}

// The host keeps adjusting the bit rate while the connection replaces its
// encoder; with a sanitizer this catches any call into a released one.
TEST(ManagerEncoder, HostCallsRaceEncoderReplacementSafely) {
  ManagerPtr manager = MakeManager(nullptr);
  RtmpPublishManager* m = Concrete(manager);
  auto log = std::make_shared<FakeEncoderLog>();
  std::atomic<bool> stop{false};
  std::atomic<int> hostRounds{0};
  std::thread host([&] {
    std::vector<char> buffer(kSendCmdReplyBufferSize);
    char* out = buffer.data();
    while (!stop) {
      manager->SetVideoBitrate(300000, 1);
      manager->SendCmd(R"({"cmd":"SetAutoCtrlBitrate","params":{"bAuto":false}})", &out);
      m->Video();
      ++hostRounds;
    }
  });
  for (int i = 0; i < 2000 || hostRounds < 1000; ++i) m->ReplaceEncoder(i % 3 == 2 ? nullptr : new FakeEncoder(log));
  stop = true;
  host.join();
  m->ReplaceEncoder(nullptr);
  EXPECT_GT(log->releases, 0);
}

}  // namespace
