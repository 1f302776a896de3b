// The encoder object when the way out is slow: a server that stops reading
// must not hold up the manager's configuration calls nor grow the sound queue
// without bound, and slow pictures must not make sound fall behind.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <iostream>
#include <vector>

#include "tests/encoder/encoder_fixture.h"
#include "tests/encoder/live_feeder.h"

namespace {

using Ms = std::chrono::milliseconds;

std::vector<uint8_t> Tone(size_t bytes) {
  std::vector<uint8_t> pcm(bytes);
  for (size_t i = 0; i + 1 < bytes; i += 2) pcm[i + 1] = static_cast<uint8_t>((i / 64) & 1 ? 0x20 : 0xE0);
  return pcm;
}

int AudioSends(RecordingRtmpLib* fake) {
  int n = 0;
  for (const auto& s : fake->Sends()) n += s.audio ? 1 : 0;
  return n;
}

TEST(EncoderBackpressure, ConfigurationReturnsWhileASendIsStalled) {
  for (const bool soundStalls : {true, false}) {
    SCOPED_TRACE(soundStalls ? "sound send stalled" : "picture send stalled");
    EncoderUnderTest t;
    t.ConnectAndConfigure();
    RecordingRtmpLib* fake = t.transport.load();
    fake->stallSends = true;
    std::vector<uint8_t> pcm = Tone(8192);
    std::vector<uint8_t> picture(64 * 48 * 3, 90);
    for (int i = 0; i < 6; ++i) {
      if (soundStalls) {
        t.encoder->SendRawAudio(pcm.data(), pcm.size(), 46 * i);
      } else {
        t.encoder->SendRawVideo(picture.data(), picture.size(), 40 * i);
      }
    }
    ASSERT_TRUE(EncoderUnderTest::WaitFor([&] { return fake->stalledSends.load() > 0; }));

    const auto start = std::chrono::steady_clock::now();
    auto setters = std::async(std::launch::async, [&] {
      t.encoder->SetAudioBitrate(32000);
      t.encoder->SetVideoBitrate(300000, 0);
      t.encoder->SetLowAudioBitrate(true);
      t.encoder->ReopenVideoEncoder();
    });
    const bool returned = setters.wait_for(Ms(3000)) == std::future_status::ready;
    const auto took = std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now() - start).count();
    if (!returned) fake->Unstall();  // let the test end either way
    setters.wait();
    EXPECT_TRUE(returned) << "a setter waited for a send that only the server can end";
    std::cout << "setters returned after " << took << " ms with a stalled send\n";
    EXPECT_EQ(t.encoder->GetSnapshot().currentAudioBitrate, 16000u);
  }
}

TEST(EncoderBackpressure, SoundQueueIsBoundedAndKeepsTheOldestSound) {
  EncoderUnderTest t;
  t.ConnectAndConfigure();
  RecordingRtmpLib* fake = t.transport.load();
  fake->stallSends = true;
  std::vector<uint8_t> pcm = Tone(8192);
  uint32_t ts = 1000;
  for (int i = 0; i < 6 && fake->stalledSends.load() == 0; ++i, ts += 46) {
    ASSERT_TRUE(t.encoder->SendRawAudio(pcm.data(), pcm.size(), ts));
    EncoderUnderTest::WaitFor([&] { return fake->stalledSends.load() > 0; }, 200);
  }
  ASSERT_GT(fake->stalledSends.load(), 0);

  int accepted = 0;
  uint32_t lastAccepted = 0;
  bool refused = false;
  for (int i = 0; i < 1000 && !refused; ++i, ts += 46) {
    if (t.encoder->SendRawAudio(pcm.data(), pcm.size(), ts)) {
      accepted++;
      lastAccepted = ts;
    } else {
      refused = true;
    }
  }
  ASSERT_TRUE(refused) << "the sound queue grew without bound";
  const size_t queued = t.encoder->GetSnapshot().queuedAudioBytes;
  EXPECT_LE(queued, CEncoderMediaThenSendThroughRtmp::kMaxQueuedAudioBytes);
  EXPECT_GT(queued, CEncoderMediaThenSendThroughRtmp::kMaxQueuedAudioBytes - pcm.size());
  for (int i = 0; i < 5; ++i, ts += 46) EXPECT_FALSE(t.encoder->SendRawAudio(pcm.data(), pcm.size(), ts));

  // The server reads again: what was queued goes out, nothing newer.
  fake->stallSends = false;
  fake->Unstall();
  const uint32_t base = t.encoder->GetSnapshot().timeBase;
  ASSERT_TRUE(EncoderUnderTest::WaitFor([&] { return t.encoder->GetSnapshot().queuedAudioBytes == 0; }));
  ASSERT_TRUE(EncoderUnderTest::WaitFor([&] { return AudioSends(fake) >= accepted - 2; }));
  // Where the newest packet's frame ended: its stamp is the lead before.
  const uint32_t lead = t.encoder->GetSnapshot().packetLeadMs;
  uint32_t newest = 0;
  for (const auto& s : fake->Sends())
    if (s.audio) newest = std::max(newest, s.timestamp + base + lead);
  EXPECT_LE(newest, lastAccepted) << "refused sound reached the stream";
  EXPECT_GE(newest, lastAccepted - 46 * 2);
}

TEST(EncoderBackpressure, SoundKeepsUpWithSlowPictures) {
  EncoderUnderTest t;
  t.ConnectAndConfigure(64, 48, 25);
  RecordingRtmpLib* fake = t.transport.load();
  fake->videoSendMs = 150;  // every picture takes 150 ms, about 7 a second
  LiveFeedOptions feed;
  feed.width = 64;
  feed.height = 48;
  feed.durationMs = 3000;
  LiveFeedResult fed = FeedLive(t.encoder.get(), feed);
  const uint32_t lastFed = feed.firstTimestamp + feed.durationMs - 24;  // the last 1024-sample block
  const uint32_t base = t.encoder->GetSnapshot().timeBase;
  const uint32_t lead = t.encoder->GetSnapshot().packetLeadMs;
  uint32_t newestSent = 0;
  for (const auto& s : fake->Sends())
    if (s.audio) newestSent = std::max(newestSent, s.timestamp + base + lead);
  EXPECT_EQ(fed.blocksRefused, 0);
  const int lag = static_cast<int>(lastFed - newestSent);
  std::cout << "sound " << lag << " ms behind after " << feed.durationMs << " ms of 150 ms pictures\n";
  EXPECT_LT(lag, 600) << "sound was consumed slower than real time";
}

// Pictures that queued behind a slow send: those that waited past the limit
// while newer ones wait behind them are dropped unencoded, so the stream goes
// on from the newest instead of staying as far behind as the queue is long;
// a shorter wait (a burst) loses nothing.
TEST(EncoderBackpressure, PicturesThatWaitedBehindASlowSendGiveWayToTheNewest) {
  struct Case {
    uint32_t waitedMs;
    std::vector<uint32_t> sent;
  };
  const uint32_t limit = CEncoderMediaThenSendThroughRtmp::kMaxPictureWaitMs;
  for (const Case& c : {Case{limit - 50, {40, 80, 120, 160, 440, 480}}, Case{limit + 100, {440, 480}}}) {
    SCOPED_TRACE(c.waitedMs);
    EncoderUnderTest t;
    t.ConnectAndConfigure(64, 48, 25);
    RecordingRtmpLib* fake = t.transport.load();
    fake->stallSends = true;
    std::vector<uint8_t> picture(64 * 48 * 3, 90);
    ASSERT_TRUE(t.encoder->SendRawVideo(picture.data(), picture.size(), 0));
    ASSERT_TRUE(EncoderUnderTest::WaitFor([&] { return fake->stalledSends.load() > 0; }));
    for (uint32_t ts = 40; ts <= 160; ts += 40) ASSERT_TRUE(t.encoder->SendRawVideo(picture.data(), picture.size(), ts));
    t.now += c.waitedMs;
    for (uint32_t ts = 440; ts <= 480; ts += 40) ASSERT_TRUE(t.encoder->SendRawVideo(picture.data(), picture.size(), ts));
    fake->stallSends = false;
    fake->Unstall();
    ASSERT_TRUE(EncoderUnderTest::WaitFor([&] {
      const auto sends = fake->Sends();
      return !sends.empty() && sends.back().timestamp == 480;
    }));
    std::vector<uint32_t> sent;
    for (const auto& s : fake->Sends())
      if (!s.audio) sent.push_back(s.timestamp);
    EXPECT_EQ(sent, c.sent);
    EXPECT_EQ(t.encoder->GetSnapshot().latePicturesDropped, static_cast<int>(6 - c.sent.size()));
  }
}

}  // namespace
