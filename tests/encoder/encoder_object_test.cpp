// The encoder object against a recording RTMP client: input checks, the
// shared time base, the frame pool, settings clamps and the event path.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "encodemediathensendthroughrtmp/RgbToI420.h"
#include "encodemediathensendthroughrtmp/VideoEncoder.h"
#include "tests/encoder/encoder_fixture.h"

namespace {

std::vector<uint8_t> Picture(int width, int height, uint8_t value = 90) {
  return std::vector<uint8_t>(static_cast<size_t>(width) * height * 3, value);
}

// 2048 stereo samples of a loud square wave: one AAC frame per block.
std::vector<uint8_t> PcmBlock(size_t bytes = 8192) {
  std::vector<uint8_t> pcm(bytes);
  for (size_t i = 0; i + 1 < bytes; i += 2) {
    const int16_t s = ((i / 64) & 1) ? 8000 : -8000;
    pcm[i] = static_cast<uint8_t>(s & 0xFF);
    pcm[i + 1] = static_cast<uint8_t>((s >> 8) & 0xFF);
  }
  return pcm;
}

TEST(EncoderObject, RawInputIsRefusedUnlessConnectedPresentAndSmallEnough) {
  EncoderUnderTest t;
  std::vector<uint8_t> pcm(192001);
  EXPECT_FALSE(t.encoder->SendRawAudio(pcm.data(), 1000, 0)) << "not connected yet";
  EXPECT_FALSE(t.encoder->SendRawVideo(pcm.data(), 1000, 0)) << "not connected yet";
  t.ConnectAndConfigure();
  EXPECT_FALSE(t.encoder->SendRawAudio(pcm.data(), 192001, 0));
  EXPECT_TRUE(t.encoder->SendRawAudio(pcm.data(), 192000, 0));
  EXPECT_FALSE(t.encoder->SendRawAudio(nullptr, 10, 0));
  EXPECT_FALSE(t.encoder->SendRawVideo(nullptr, 10, 0));
  EXPECT_FALSE(t.encoder->SendRawVideo(pcm.data(), 24883200, 0));
  t.encoder->Disconnect();
  EXPECT_FALSE(t.encoder->SendRawAudio(pcm.data(), 100, 0)) << "refused again after Disconnect";
  EXPECT_EQ(t.transport.load()->closes.load(), 1);
}

TEST(EncoderObject, NinthFrameIsRefusedWhileEightAreQueued) {
  EncoderUnderTest t;
  // Connected but without a video format: x264 never opens, so the thread
  // leaves the queue alone and the pool stays taken.
  t.encoder->Connect("rtmp://127.0.0.1/live/test");
  t.encoder->OnRtmpConnected();
  std::vector<uint8_t> frame = Picture(64, 48);
  for (int i = 0; i < 8; ++i) EXPECT_TRUE(t.encoder->SendRawVideo(frame.data(), frame.size(), i)) << i;
  EXPECT_FALSE(t.encoder->SendRawVideo(frame.data(), frame.size(), 8));
}

TEST(EncoderObject, PicturesQueuedBeforeTheFormatAreEncodedOnceItIsSetAndOtherSizesDropped) {
  EncoderUnderTest t;
  t.encoder->Connect("rtmp://127.0.0.1/live/test");
  t.encoder->OnRtmpConnected();
  const std::vector<uint8_t> frame = Picture(64, 48);
  const std::vector<uint8_t> otherSize = Picture(48, 48);
  auto videoStamps = [&] {
    std::vector<unsigned> stamps;
    for (const RecordedSend& s : t.transport.load()->Sends()) {
      if (!s.audio) stamps.push_back(s.timestamp);
    }
    return stamps;
  };
  // Before the format: kept as they came, converted by the encoder thread.
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(t.encoder->SendRawVideo(frame.data(), frame.size(), 40 * i));
  ASSERT_TRUE(t.encoder->SendRawVideo(otherSize.data(), otherSize.size(), 120));
  t.encoder->SetBframeCount(0);
  t.encoder->SetVideoFormat(64, 48, 4106, 25, 500000, 0);
  // After it: converted on arrival.
  for (int i = 4; i < 7; ++i) ASSERT_TRUE(t.encoder->SendRawVideo(frame.data(), frame.size(), 40 * i));
  ASSERT_TRUE(t.encoder->SendRawVideo(otherSize.data(), otherSize.size(), 280));
  // The pool holds eight: the ninth waits for a sent one.
  ASSERT_TRUE(EncoderUnderTest::WaitFor([&] { return !videoStamps().empty(); }));
  ASSERT_TRUE(t.encoder->SendRawVideo(frame.data(), frame.size(), 320));
  ASSERT_TRUE(EncoderUnderTest::WaitFor([&] { return videoStamps().size() >= 7; }));
  EXPECT_EQ(videoStamps(), (std::vector<unsigned>{0, 40, 80, 160, 200, 240, 320}));
}

TEST(EncoderObject, AudioFormatNeedsEveryValueUsable) {
  EncoderUnderTest t;
  t.encoder->Connect("rtmp://127.0.0.1/live/test");
  EXPECT_FALSE(t.encoder->SetAudioFormat(3, 22050, 8));
  EXPECT_FALSE(t.encoder->SetAudioFormat(1, 22050, 8)) << "one usable value is not enough";
  EXPECT_FALSE(t.encoder->SetAudioFormat(2, 44100, 8));
  EXPECT_FALSE(t.encoder->SetAudioFormat(2, 22050, 16));
  EXPECT_TRUE(t.encoder->SetAudioFormat(1, 48000, 16));
  EXPECT_EQ(t.transport.load()->AudioParams(), std::make_pair(1, 48000));
  EXPECT_EQ(t.encoder->GetSnapshot().frameBytes, 4096);
  t.transport.load()->refuseAudioParams = true;
  EXPECT_FALSE(t.encoder->SetAudioFormat(2, 44100, 16));
  EXPECT_EQ(t.encoder->GetSnapshot().channels, 1) << "a refused format changes nothing";
}

TEST(EncoderObject, AudioBitrateIsClampedAndTheWrapperClampsFurther) {
  EncoderUnderTest t;
  t.encoder->SetAudioBitrate(8000);
  auto s = t.encoder->GetSnapshot();
  EXPECT_EQ(s.configuredAudioBitrate, 16000u);
  EXPECT_TRUE(s.aacOpen);
  t.encoder->SetAudioBitrate(96000);
  s = t.encoder->GetSnapshot();
  EXPECT_EQ(s.configuredAudioBitrate, 64000u);
  EXPECT_EQ(s.aacBitRate, 44000) << "44.1 kHz tops out at 44000 bps";
  t.encoder->SetLowAudioBitrate(true);
  EXPECT_EQ(t.encoder->GetSnapshot().currentAudioBitrate, 16000u);
  t.encoder->SetLowAudioBitrate(false);
  EXPECT_EQ(t.encoder->GetSnapshot().currentAudioBitrate, 64000u);
}

TEST(EncoderObject, FrameRateDefaultsAndStaticScreenModeComesBack) {
  EncoderUnderTest t;
  t.encoder->SetFrameRateAndGop(0, 0);
  auto s = t.encoder->GetSnapshot();
  EXPECT_EQ(s.frameRate, 10);
  EXPECT_EQ(s.keyInterval, 30);
  t.encoder->SetFrameRateAndGop(25, 0);
  s = t.encoder->GetSnapshot();
  EXPECT_EQ(s.frameRate, 25);
  EXPECT_EQ(s.keyInterval, 75);
  t.encoder->SetStaticScreenMode(true);
  s = t.encoder->GetSnapshot();
  EXPECT_EQ(s.frameRate, 1);
  EXPECT_EQ(s.keyInterval, 3);
  t.encoder->SetStaticScreenMode(false);
  s = t.encoder->GetSnapshot();
  EXPECT_EQ(s.frameRate, 25);
  EXPECT_EQ(s.keyInterval, 75);
}

TEST(EncoderObject, VideoFormatRefusesOddSizesAndChangesWhileLive) {
  EncoderUnderTest t;
  t.encoder->Connect("rtmp://127.0.0.1/live/test");
  EXPECT_FALSE(t.encoder->SetVideoFormat(63, 48, 4106, 25, 500000, 0));
  EXPECT_FALSE(t.encoder->SetVideoFormat(64, 47, 4106, 25, 500000, 0));
  EXPECT_FALSE(t.encoder->SetVideoFormat(0, 48, 4106, 25, 500000, 0));
  EXPECT_TRUE(t.encoder->SetVideoFormat(64, 48, 4106, 25, 500000, 0));
  t.encoder->OnRtmpConnected();
  EXPECT_FALSE(t.encoder->SetVideoFormat(128, 96, 4106, 25, 500000, 0));
  auto s = t.encoder->GetSnapshot();
  EXPECT_EQ(s.width, 64);
  EXPECT_EQ(s.height, 48);
  EXPECT_TRUE(s.videoOpen);
  EXPECT_EQ(s.videoKbps, 500);
}

TEST(EncoderObject, OnlyRtmpSchemesConnectInAnyLetterCase) {
  EncoderUnderTest t;
  EXPECT_FALSE(t.encoder->Connect("rtmpudp://127.0.0.1/live/a"));
  EXPECT_FALSE(t.encoder->Connect("http://127.0.0.1/live/a"));
  EXPECT_FALSE(t.encoder->Connect(nullptr));
  EXPECT_EQ(t.transport.load(), nullptr);
  EXPECT_TRUE(t.encoder->Connect("RtMp://127.0.0.1/live/a"));
  ASSERT_NE(t.transport.load(), nullptr);
  EXPECT_EQ(t.transport.load()->Urls().size(), 1u);
}

TEST(EncoderObject, EarlierAudioThanTheVideoTimeBaseIsDroppedAndNothingEmptyIsSent) {
  EncoderUnderTest t;
  t.ConnectAndConfigure();
  RecordingRtmpLib* fake = t.transport.load();
  std::vector<uint8_t> frame = Picture(64, 48);
  ASSERT_TRUE(t.encoder->SendRawVideo(frame.data(), frame.size(), 5000));
  ASSERT_TRUE(EncoderUnderTest::WaitFor([&] { return !fake->Sends().empty(); }));
  EXPECT_EQ(t.encoder->GetSnapshot().timeBase, 5000u);

  std::vector<uint8_t> pcm = PcmBlock();
  for (int i = 0; i < 6; ++i) ASSERT_TRUE(t.encoder->SendRawAudio(pcm.data(), pcm.size(), 4990));
  for (int i = 0; i < 12; ++i) ASSERT_TRUE(t.encoder->SendRawAudio(pcm.data(), pcm.size(), 5100 + 46 * i));
  ASSERT_TRUE(t.encoder->SendRawVideo(frame.data(), frame.size(), 5040));
  auto audioSends = [&] {
    int audio = 0;
    for (const auto& s : fake->Sends()) audio += s.audio ? 1 : 0;
    return audio;
  };
  auto secondVideoSent = [&] {
    for (const auto& s : fake->Sends())
      if (!s.audio && s.timestamp == 40) return true;
    return false;
  };
  ASSERT_TRUE(EncoderUnderTest::WaitFor([&] { return audioSends() >= 4 && secondVideoSent(); }));
  const auto sends = fake->Sends();
  EXPECT_EQ(sends.front().timestamp, 0u);
  EXPECT_FALSE(sends.front().audio);
  // A packet is stamped with the start of the sound it decodes into, the
  // lead before the end of its frame: only frames of the blocks from 5100
  // on can begin after the time base.
  const uint32_t lead = t.encoder->GetSnapshot().packetLeadMs;
  EXPECT_EQ(lead, 208u) << "HE-AAC v2 at 44.1 kHz: a frame of 2048 and a delay of 7106 samples";
  for (const auto& s : sends) {
    EXPECT_FALSE(s.bytes.empty()) << "an empty encoded frame was sent";
    if (s.audio) {
      EXPECT_GE(s.timestamp + lead, 100u) << "audio stamped before the time base got through";
      EXPECT_LE(s.timestamp + lead, 100u + 46 * 11);
    }
  }
}

TEST(EncoderObject, FramesOfOneLongBlockGetRisingStamps) {
  EncoderUnderTest t;
  t.ConnectAndConfigure();
  RecordingRtmpLib* fake = t.transport.load();
  std::vector<uint8_t> frame = Picture(64, 48);
  ASSERT_TRUE(t.encoder->SendRawVideo(frame.data(), frame.size(), 1000));
  ASSERT_TRUE(EncoderUnderTest::WaitFor([&] { return !fake->Sends().empty(); }));
  // Ten frames' worth of sound in one block that ended at 2000.
  std::vector<uint8_t> pcm = PcmBlock(8192 * 10);
  ASSERT_TRUE(t.encoder->SendRawAudio(pcm.data(), pcm.size(), 2000));
  auto audioStamps = [&] {
    std::vector<unsigned> stamps;
    for (const auto& s : fake->Sends())
      if (s.audio) stamps.push_back(s.timestamp);
    return stamps;
  };
  // The encoder primes for a frame or two, so fewer than ten come out.
  const uint32_t lead = t.encoder->GetSnapshot().packetLeadMs;
  ASSERT_TRUE(EncoderUnderTest::WaitFor([&] {
    const std::vector<unsigned> stamps = audioStamps();
    return stamps.size() >= 7 && stamps.back() + lead >= 1000u - 2 * 47;
  }));
  const std::vector<unsigned> stamps = audioStamps();
  for (size_t i = 1; i < stamps.size(); ++i) EXPECT_NEAR(stamps[i] - stamps[i - 1], 46.0, 1.0) << i;
  // The last frame sent ends with the block, less the frames the encoder
  // still holds; its packet is stamped the lead before that.
  EXPECT_LE(stamps.back() + lead, 1000u);
  EXPECT_GE(stamps.back() + lead, 1000u - 2 * 47);
}

// Fifty days into one run the 32-bit stamps roll over: compared with plain
// < every packet then fell below the time base and was dropped.
TEST(EncoderObject, StampsGoOutAcrossTheWrapOf32Bits) {
  EncoderUnderTest t;
  t.ConnectAndConfigure();
  RecordingRtmpLib* fake = t.transport.load();
  const uint32_t base = 0xFFFFFE00u;  // half a second before the wrap
  std::vector<uint8_t> frame = Picture(64, 48);
  ASSERT_TRUE(t.encoder->SendRawVideo(frame.data(), frame.size(), base));
  ASSERT_TRUE(EncoderUnderTest::WaitFor([&] { return !fake->Sends().empty(); }));
  std::vector<uint8_t> pcm = PcmBlock();
  for (uint32_t ms = 46; ms <= 2000; ms += 46) {
    ASSERT_TRUE(t.encoder->SendRawAudio(pcm.data(), pcm.size(), base + 300 + ms));
    if (ms % 92 == 0) EncoderUnderTest::WaitFor([&] { return t.encoder->SendRawVideo(frame.data(), frame.size(), base + ms); });
  }
  auto latest = [&](bool audio) {
    unsigned last = 0;
    for (const auto& s : fake->Sends())
      if (s.audio == audio) last = std::max(last, s.timestamp);
    return last;
  };
  ASSERT_TRUE(EncoderUnderTest::WaitFor([&] { return latest(true) > 1000 && latest(false) > 1000; }))
      << "sound to " << latest(true) << " ms, pictures to " << latest(false) << " ms";
  EXPECT_EQ(t.encoder->GetSnapshot().timeBase, base);
}

TEST(EncoderObject, PictureOlderThanTheTimeBaseDoesNotCostTheKeyFrame) {
  EncoderUnderTest t;
  t.ConnectAndConfigure();
  RecordingRtmpLib* fake = t.transport.load();
  std::vector<uint8_t> pcm = PcmBlock();
  ASSERT_TRUE(t.encoder->SendRawAudio(pcm.data(), pcm.size(), 1023));
  ASSERT_TRUE(EncoderUnderTest::WaitFor(
      [&] { return t.encoder->GetSnapshot().timeBase != CEncoderMediaThenSendThroughRtmp::kNoTimeBase; }));
  const uint32_t base = t.encoder->GetSnapshot().timeBase;
  EXPECT_EQ(base, 1023u - t.encoder->GetSnapshot().packetLeadMs) << "the time base is where the first sound begins";
  std::vector<uint8_t> frame = Picture(64, 48);
  ASSERT_TRUE(t.encoder->SendRawVideo(frame.data(), frame.size(), base - 23));
  ASSERT_TRUE(t.encoder->SendRawVideo(frame.data(), frame.size(), base + 17));
  auto firstVideo = [&]() -> std::vector<uint8_t> {
    for (const auto& s : fake->Sends())
      if (!s.audio) return s.bytes;
    return {};
  };
  ASSERT_TRUE(EncoderUnderTest::WaitFor([&] { return !firstVideo().empty(); }));
  const std::vector<uint8_t> unit = firstVideo();
  bool idr = false;
  for (size_t i = 0; i + 3 < unit.size(); ++i)
    idr = idr || (unit[i] == 0 && unit[i + 1] == 0 && unit[i + 2] == 1 && (unit[i + 3] & 0x1F) == 5);
  EXPECT_TRUE(idr) << "the stream's first picture must be a key frame, or nothing decodes until the next one";
}

TEST(EncoderObject, FrameOfTheWrongSizeIsDroppedNotConverted) {
  EncoderUnderTest t;
  t.ConnectAndConfigure(64, 48);
  RecordingRtmpLib* fake = t.transport.load();
  std::vector<uint8_t> small = Picture(64, 46);
  std::vector<uint8_t> right = Picture(64, 48);
  ASSERT_TRUE(t.encoder->SendRawVideo(small.data(), small.size(), 1000));
  ASSERT_TRUE(t.encoder->SendRawVideo(right.data(), right.size(), 1040));
  ASSERT_TRUE(EncoderUnderTest::WaitFor([&] { return !fake->Sends().empty(); }));
  EXPECT_EQ(t.encoder->GetSnapshot().timeBase, 1040u) << "only the matching frame was encoded";
}

TEST(EncoderObject, ClientEventsTravelUpAndClearTheConnection) {
  EncoderUnderTest t;
  t.ConnectAndConfigure();
  EXPECT_EQ(t.notify.connected.load(), 1);
  MediaInfo status;
  status.type = MediaInfo::kStatusText;
  status.text1 = "NetStream.Publish.Start";
  t.encoder->OnRtmpStatus(&status);
  EXPECT_EQ(t.notify.Statuses().back(), "NetStream.Publish.Start");
  MediaInfo statistics;
  t.encoder->GetStatistics(&statistics);
  EXPECT_EQ(statistics.value1, 4242);
  t.encoder->QueuePing();
  EXPECT_TRUE(EncoderUnderTest::WaitFor([&] { return t.transport.load()->pings.load() == 1; }));
  t.encoder->OnRtmpDead();
  EXPECT_EQ(t.notify.dead.load(), 1);
  EXPECT_FALSE(t.encoder->IsConnected());
  EXPECT_EQ(t.encoder->GetSnapshot().timeBase, CEncoderMediaThenSendThroughRtmp::kNoTimeBase);
  t.encoder->OnRtmpConnected();
  t.encoder->OnRtmpPublishFaild();
  EXPECT_EQ(t.notify.failed.load(), 1);
  EXPECT_FALSE(t.encoder->IsConnected());
}

TEST(EncoderObject, ReleaseWhileFramesAreQueuedJoinsEverything) {
  for (int round = 0; round < 3; ++round) {
    EncoderUnderTest t;
    t.ConnectAndConfigure();
    std::vector<uint8_t> frame = Picture(64, 48);
    std::vector<uint8_t> pcm = PcmBlock();
    for (int i = 0; i < 8; ++i) {
      EXPECT_TRUE(t.encoder->SendRawVideo(frame.data(), frame.size(), 40 * i)) << i;
      t.encoder->SendRawAudio(pcm.data(), pcm.size(), 46 * i);
    }
    std::atomic<bool> released{false};
    std::thread releaser([&] {
      t.encoder.reset();
      released = true;
    });
    EXPECT_TRUE(EncoderUnderTest::WaitFor([&] { return released.load(); })) << "round " << round;
    releaser.join();
  }
}

TEST(EncoderObject, APictureOnItsWayToTheServerHoldsNoPoolBuffer) {
  EncoderUnderTest t;
  t.ConnectAndConfigure();
  RecordingRtmpLib* transport = t.transport.load();
  transport->stallSends = true;
  std::vector<uint8_t> frame = Picture(64, 48);
  ASSERT_TRUE(t.encoder->SendRawVideo(frame.data(), frame.size(), 0));
  ASSERT_TRUE(EncoderUnderTest::WaitFor([&] { return transport->stalledSends.load() > 0; }));
  // The encoder thread sits in the stalled send: whatever is queued now stays
  // queued, and all eight buffers are the capture's to fill.
  for (int i = 1; i <= 8; ++i) EXPECT_TRUE(t.encoder->SendRawVideo(frame.data(), frame.size(), 40 * i)) << i;
  EXPECT_FALSE(t.encoder->SendRawVideo(frame.data(), frame.size(), 360));
  transport->Unstall();
}

TEST(EncoderObject, ReleaseReturnsWhileASendIsStalledByTheServer) {
  auto t = std::make_unique<EncoderUnderTest>();
  t->ConnectAndConfigure();
  RecordingRtmpLib* transport = t->transport.load();
  transport->stallSends = true;
  std::vector<uint8_t> frame = Picture(64, 48);
  for (int i = 0; i < 4; ++i) t->encoder->SendRawVideo(frame.data(), frame.size(), 40 * i);
  ASSERT_TRUE(EncoderUnderTest::WaitFor([&] { return transport->stalledSends.load() > 0; }));

  std::atomic<bool> released{false};
  std::thread releaser([&] {
    t->encoder.reset();
    released = true;
  });
  const bool returned = EncoderUnderTest::WaitFor([&] { return released.load(); }, 5000);
  if (!returned) transport->Unstall();  // let the test end either way
  releaser.join();
  EXPECT_TRUE(returned) << "Release waited for a send that only closing the connection can end";
}

TEST(EncoderObject, SettersAndRoundTripsDuringEncodingNeitherRaceNorDeadlock) {
  EncoderUnderTest t;
  t.ConnectAndConfigure();
  t.encoder->SetAutoCtrlBitrate(true);
  std::atomic<bool> stop{false};
  std::thread feeder([&] {
    std::vector<uint8_t> frame = Picture(64, 48);
    std::vector<uint8_t> pcm = PcmBlock();
    for (uint32_t i = 0; !stop; ++i) {
      t.encoder->SendRawVideo(frame.data(), frame.size(), 40 * i);
      t.encoder->SendRawAudio(pcm.data(), pcm.size(), 40 * i);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  std::thread pinger([&] {  // the RTMP receive thread's role
    for (int i = 0; !stop; ++i) {
      t.now += 700;
      t.encoder->OnPingRoundTrip(i % 3 ? 900 : 20);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  for (int i = 0; i < 40; ++i) {
    t.encoder->SetAudioBitrate(i % 2 ? 32000 : 64000);
    t.encoder->SetVideoBitrate(i % 2 ? 300000 : 600000, 0);
    t.encoder->SetLowAudioBitrate(i % 3 == 0);
    t.encoder->SetStaticScreenMode(i % 4 == 0);
    t.encoder->ReopenVideoEncoder();
    t.encoder->QueuePing();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  stop = true;
  feeder.join();
  pinger.join();
  EXPECT_FALSE(t.transport.load()->Sends().empty());
}

TEST(EncoderObject, FormatsSetBeforeConnectReachTheClientAndSoundGoesOut) {
  EncoderUnderTest t;
  t.encoder->SetAudioBitrate(64000);
  EXPECT_TRUE(t.encoder->SetAudioFormat(1, 48000, 16));
  t.encoder->SetVideoFormat(64, 48, 4106, 25, 500000, 0);
  ASSERT_TRUE(t.encoder->Connect("rtmp://127.0.0.1/live/test"));
  t.encoder->OnRtmpConnected();
  RecordingRtmpLib* fake = t.transport.load();
  EXPECT_EQ(fake->AudioParams(), std::make_pair(1, 48000));
  std::vector<uint8_t> pcm = PcmBlock(4096);  // 2048 mono samples: one AAC frame
  for (int i = 0; i < 8; ++i) ASSERT_TRUE(t.encoder->SendRawAudio(pcm.data(), pcm.size(), 1000 + 43 * i));
  EXPECT_TRUE(EncoderUnderTest::WaitFor([&] {
    for (const auto& s : fake->Sends())
      if (s.audio) return true;
    return false;
  })) << "sound accepted but never sent";
}

TEST(EncoderObject, SoundIsRefusedWithoutAFormatAndItsFormatIsKeptOnceSent) {
  EncoderUnderTest t;
  t.encoder->Connect("rtmp://127.0.0.1/live/test");
  t.encoder->OnRtmpConnected();
  std::vector<uint8_t> pcm = PcmBlock();
  EXPECT_FALSE(t.encoder->SendRawAudio(pcm.data(), pcm.size(), 0)) << "nothing could encode it";

  t.encoder->SetAudioBitrate(64000);
  ASSERT_TRUE(t.encoder->SetAudioFormat(2, 44100, 16));
  const int opens = t.encoder->GetSnapshot().aacOpens;
  ASSERT_TRUE(t.encoder->SetAudioFormat(2, 32000, 16));
  EXPECT_EQ(t.encoder->GetSnapshot().aacOpens, opens + 1) << "the open encoder must take the new format";
  RecordingRtmpLib* fake = t.transport.load();
  for (int i = 0; i < 8; ++i) ASSERT_TRUE(t.encoder->SendRawAudio(pcm.data(), pcm.size(), 46 * i));
  ASSERT_TRUE(EncoderUnderTest::WaitFor([&] {
    for (const auto& s : fake->Sends())
      if (s.audio) return true;
    return false;
  }));
  // The client announced 32 kHz stereo with the first frame.
  EXPECT_FALSE(t.encoder->SetAudioFormat(1, 48000, 16));
  EXPECT_EQ(fake->AudioParams(), std::make_pair(2, 32000));
  EXPECT_TRUE(t.encoder->SetAudioFormat(2, 32000, 16));
}

// What reaches the client is x264's access unit byte for byte, also once a
// larger picture size has grown the encoder's output buffer mid-life.
TEST(EncoderObject, SentPicturesAreTheEncodersOwnAccessUnitsAcrossASizeChange) {
  EncoderUnderTest t;
  t.ConnectAndConfigure(64, 48, 25);
  RecordingRtmpLib* fake = t.transport.load();
  std::vector<std::vector<uint8_t>> expected;
  uint32_t ts = 1000;
  auto videoSends = [&] {
    std::vector<std::vector<uint8_t>> out;
    for (const auto& s : fake->Sends())
      if (!s.audio) out.push_back(s.bytes);
    return out;
  };
  auto feedAndEncodeAlongside = [&](int width, int height) {
    // The same settings the object's record holds after ConnectAndConfigure.
    VideoEncoderSettings reference;
    reference.width = width;
    reference.height = height;
    reference.frameRate = 25;
    reference.keyInterval = 75;
    reference.bframeCount = 0;
    reference.bitrateKbps = 500;
    reference.vbrQuality = 0;
    std::vector<uint8_t> out(static_cast<size_t>(width) * height * 4);
    reference.output = out.data();
    reference.outputCapacity = static_cast<int>(out.size());
    ASSERT_EQ(OpenVideoEncoder(&reference), 0);
    std::vector<uint8_t> i420(I420Size(width, height));
    for (int n = 0; n < 6; ++n, ts += 40) {
      std::vector<uint8_t> picture(static_cast<size_t>(width) * height * 3);
      for (size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<uint8_t>(i * 7 / 3 + n * 11);
      ASSERT_TRUE(t.encoder->SendRawVideo(picture.data(), static_cast<unsigned>(picture.size()), ts));
      FlipAndConvertRgbToI420(i420.data(), picture.data(), width, height);
      reference.input = i420.data();
      reference.inputLength = static_cast<int>(i420.size());
      reference.inputTimestamp = ts;
      ASSERT_EQ(EncodeVideoFrame(&reference), 0);
      ASSERT_GT(reference.outputLength, 0);
      expected.emplace_back(out.begin(), out.begin() + reference.outputLength);
    }
    ASSERT_TRUE(EncoderUnderTest::WaitFor([&] { return videoSends().size() == expected.size(); }));
  };

  feedAndEncodeAlongside(64, 48);
  t.encoder->Disconnect();
  ASSERT_TRUE(t.encoder->SetVideoFormat(640, 480, 4106, 25, 500000, 0));
  t.encoder->OnRtmpConnected();
  feedAndEncodeAlongside(640, 480);

  const auto sent = videoSends();
  ASSERT_EQ(sent.size(), expected.size());
  for (size_t i = 0; i < sent.size(); ++i) EXPECT_TRUE(sent[i] == expected[i]) << "access unit " << i;
}

TEST(EncoderObject, FactoryObjectReleasesThroughItsInterface) {
  EncoderMediaThenSendThroughRtmpPtr encoder(CreateEncoderMediaThenSendThroughRtmp(nullptr));
  ASSERT_NE(encoder, nullptr);
  EXPECT_EQ(encoder->GetServerIP(), nullptr);
  EXPECT_FALSE(encoder->SetParam(1));
}

}  // namespace
