// A link slower than the stream: 1280x720 at 25 fps and 1.5 Mbit/s published
// for a minute over a loopback that carries 1 Mbit/s (a token bucket with a
// 400 ms queue, MTU 1500, in the test's own network namespace) to a private
// nginx-rtmp. With the adaptive bit rate on, the round trip must rise soon
// enough for the rates to come down before the stream falls behind: after
// the first 10 s the server is never more than 2 s behind real time, and no
// picture is held on screen for over a second. The same run with the
// adaptation off: there the link simply cannot carry the stream, and what
// counts is that the delay stays bounded (within 3 s).
#include <algorithm>
#include <cstdio>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "strivon/StatusWords.h"
#include "tests/publish/publish_support.h"
#include "tests/support/flv_arrivals.h"
#include "tests/support/shaped_loopback.h"
#include "tests/support/stream_health.h"

using namespace publish_test;
using namespace strivon_status;

namespace {

constexpr int kWidth = 1280, kHeight = 720, kFps = 25;
constexpr unsigned kVideoBps = 1500000;
constexpr int kRunMs = 60000;
constexpr double kSettleMs = 10000;
constexpr char kLowered[] = "Auto set audio bitrate 16000, video bitrate 64000";

// The send statistics' round trip (the last pong's), with when it came.
class RoundTripLog : public StatusLog {
 public:
  bool OnSendStatistics(const PublishSendStatistics* statistics) override {
    if (statistics) {
      std::lock_guard<std::mutex> lock(m_lock);
      m_samples.emplace_back(MsSince(origin), statistics->pingRoundTripMs);
    }
    return StatusLog::OnSendStatistics(statistics);
  }
  std::vector<std::pair<double, uint32_t>> Samples() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_samples;
  }
  Clock::time_point origin = Clock::now();

 private:
  std::mutex m_lock;
  std::vector<std::pair<double, uint32_t>> m_samples;
};

// How far behind real time the server is, from when each picture reached it.
//
// A picture's stamp is its capture time on the library's time line, which
// runs with the wall clock from an origin the test does not know; its
// arrival is when nginx wrote it to the recording. Arrival minus stamp is
// therefore the picture's delay plus one unknown constant. The smallest of
// these over the run is taken as the delay of a picture that met no queue
// (the first pictures go out over an idle link), so each value above it is
// time spent queued on the way. At any moment the server is behind by the
// time since the newest picture it holds was captured: just before each
// arrival that is the time since the previous picture, so a stall or a hole
// counts as much as a queue. The figure errs low by what the least delayed
// picture itself spent on the link, a few tens of milliseconds.
struct Behind {
  int pictures = 0;
  double maxBehindMs = 0;   // from settleMs to the stop
  double maxBehindAtMs = 0;
  double earlyMaxBehindMs = 0;  // before settleMs
  long long largestGapMs = 0;   // between the stamps of two pictures in a row
  long long largestGapAtMs = 0;
  long long lastStampMs = -1;
};

Behind JudgeArrivals(const std::vector<test_support::FlvTagArrival>& tags, double settleMs, double stopMs) {
  std::vector<const test_support::FlvTagArrival*> pictures;
  for (const auto& tag : tags)
    if (tag.type == 9 && !tag.codecConfig && tag.arrivedMs <= stopMs) pictures.push_back(&tag);
  Behind b;
  b.pictures = static_cast<int>(pictures.size());
  if (pictures.empty()) return b;
  double baseline = pictures.front()->arrivedMs - pictures.front()->stampMs;
  for (const auto* p : pictures) baseline = std::min(baseline, p->arrivedMs - p->stampMs);
  const auto note = [&](double atMs, long long newestStampMs) {
    const double behind = atMs - baseline - newestStampMs;
    if (atMs < settleMs) {
      b.earlyMaxBehindMs = std::max(b.earlyMaxBehindMs, behind);
    } else if (behind > b.maxBehindMs) {
      b.maxBehindMs = behind;
      b.maxBehindAtMs = atMs;
    }
  };
  long long newest = pictures.front()->stampMs;
  for (size_t i = 1; i < pictures.size(); ++i) {
    note(pictures[i]->arrivedMs, newest);
    if (pictures[i]->stampMs - newest > b.largestGapMs) {
      b.largestGapMs = pictures[i]->stampMs - newest;
      b.largestGapAtMs = newest;
    }
    newest = std::max(newest, pictures[i]->stampMs);
  }
  note(stopMs, newest);
  b.lastStampMs = newest;
  return b;
}

class SlowLink : public ::testing::Test {
 protected:
  void SetUp() override {
    test_support::LinkShape shape;  // 1 Mbit/s, MTU 1500
    std::string error;
    ASSERT_TRUE(test_support::ShapeLoopback(shape, &error)) << error;
    ASSERT_TRUE(peers.Start()) << peers.error;
    clip = MakeBusyClip();
    ASSERT_FALSE(clip.empty());
  }

  // Pictures that cost x264 all the rate it may spend (noise over a moving
  // pattern), with a tone: 8 s made once and repeated without re-encoding,
  // longer than the run with its start.
  std::string MakeBusyClip() {
    const std::string piece = clips.File("piece.mp4"), whole = clips.File("clip.mp4");
    const auto made = test_support::RunFfmpeg(
        {"-v", "error", "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=8", "-f", "lavfi", "-i",
         "testsrc2=size=1280x720:rate=25:duration=8,noise=alls=12:allf=t+u", "-pix_fmt", "yuv420p", "-c:v",
         "libx264", "-preset", "ultrafast", "-b:v", "3M", "-c:a", "aac", "-shortest", piece});
    if (made.exitCode != 0) {
      ADD_FAILURE() << made.err;
      return "";
    }
    const auto looped = test_support::RunFfmpeg({"-v", "error", "-stream_loop", "11", "-i", piece, "-c", "copy", whole});
    if (looped.exitCode != 0) {
      ADD_FAILURE() << looped.err;
      return "";
    }
    return whole;
  }

  struct Run {
    Behind behind;
    test_support::StreamHealth health;
    uint32_t largestRoundTripMs = 0;
    double firstSlowRoundTripAtMs = -1;  // the first over 500 ms, from the start of publishing
    double loweredAtMs = -1;
    int reconnections = 0;
  };

  void Publish(bool adaptive, Run* run) {
    RoundTripLog log;
    ManagerPtr manager(CreateRtmpPublishManagerWith(&log, DefaultManagerFactories()));
    ASSERT_TRUE(peers.Configure(manager.get(), "slow", 44100, 2, kWidth, kHeight, kFps));
    manager->SetPublishVideoPara(kWidth, kHeight, kFps, kVideoBps, 0, 2 * kFps);
    std::vector<char> reply(kSendCmdReplyBufferSize);
    char* replyText = reply.data();
    ASSERT_TRUE(manager->SendCmd(adaptive ? R"({"cmd":"SetAutoCtrlBitrate","params":{"bAuto":true}})"
                                          : R"({"cmd":"SetAutoCtrlBitrate","params":{"bAuto":false}})",
                                 &replyText));
    manager->SetVideoSource(2, 0, clip.c_str(), kFps, 2 * kFps);

    test_support::FlvArrivalWatcher watcher;
    ASSERT_TRUE(manager->StartPublish());
    Clock::time_point publishedAt;
    ASSERT_TRUE(log.WaitFor(kPublishStart, 1, 15000, &publishedAt)) << log.Dump();
    ASSERT_TRUE(watcher.Start(peers.nginx.RecordingPath("slow"), publishedAt));
    // The minute is what is measured: nothing ends it earlier.
    std::this_thread::sleep_until(publishedAt + std::chrono::milliseconds(kRunMs));
    const double stopMs = MsSince(publishedAt);
    EXPECT_TRUE(manager->StopPublish());
    manager.reset();
    watcher.Stop();
    peers.nginx.Stop();
    ASSERT_EQ(watcher.Error(), "");

    run->behind = JudgeArrivals(watcher.Tags(), kSettleMs, stopMs);
    const double origin = MsSince(log.origin, publishedAt);
    for (const auto& [atMs, roundTrip] : log.Samples()) {
      run->largestRoundTripMs = std::max(run->largestRoundTripMs, roundTrip);
      if (roundTrip > 500 && run->firstSlowRoundTripAtMs < 0) run->firstSlowRoundTripAtMs = atMs - origin;
    }
    Clock::time_point loweredAt;
    if (log.WaitFor(kLowered, 1, 0, &loweredAt)) run->loweredAtMs = MsSince(publishedAt, loweredAt);
    run->reconnections = log.Count(kClosedUnexpectly);
    std::string error;
    ASSERT_TRUE(test_support::MeasureStreamHealth(peers.nginx.RecordingPath("slow"), 2000, &run->health, &error))
        << error;

    const Behind& b = run->behind;
    std::printf(
        "figures: adaptation %s: %d pictures; behind real time at most %.0f ms after %.0f s (at %.1f s), %.0f ms "
        "before; largest picture gap %lld ms (at %.1f s); largest round trip %u ms, first over 500 ms at %.1f s; "
        "lowered at %.1f s; %d reconnections\n",
        adaptive ? "on" : "off", b.pictures, b.maxBehindMs, kSettleMs / 1000, b.maxBehindAtMs / 1000,
        b.earlyMaxBehindMs, b.largestGapMs, b.largestGapAtMs / 1000.0, run->largestRoundTripMs,
        run->firstSlowRoundTripAtMs / 1000, run->loweredAtMs / 1000, run->reconnections);
    std::printf("figures: adaptation %s: recording: %s\n", adaptive ? "on" : "off",
                test_support::DescribeStreamHealth(run->health).c_str());
  }

  PublishPeers peers;
  test_support::TempDir clips{"strivon-slow-link"};
  std::string clip;
};

TEST_F(SlowLink, WithTheAdaptiveBitRateTheStreamKeepsUpWithRealTime) {
  Run run;
  ASSERT_NO_FATAL_FAILURE(Publish(true, &run));
  EXPECT_GT(run.loweredAtMs, 0) << "the rates never came down";
  EXPECT_LE(run.behind.maxBehindMs, 2000) << "at " << run.behind.maxBehindAtMs << " ms";
  EXPECT_LE(run.behind.largestGapMs, 1000) << "from " << run.behind.largestGapAtMs << " ms";
  // Pictures to the end, and a stream that a player decodes.
  EXPECT_GT(run.behind.lastStampMs, kRunMs - 3000);
  EXPECT_EQ(run.reconnections, 0);
  EXPECT_EQ(run.health.decodeErrors, 0) << run.health.decodeErrorText;
}

// Without the adaptation the pictures cannot all get through, but the bounded
// send buffer and the dropping of pictures that waited keep what is queued
// short: behind real time by the link's queue (0.4 s), the socket's half
// second and the encoder's 0.3 s wait, with room for a loaded machine (about
// 1.3 s measured; 9 s with the system's own send buffer).
TEST_F(SlowLink, WithoutTheAdaptiveBitRateTheFiguresAreReported) {
  Run run;
  ASSERT_NO_FATAL_FAILURE(Publish(false, &run));
  EXPECT_LT(run.loweredAtMs, 0) << "lowered although the adaptation was off";
  EXPECT_GT(run.behind.pictures, kRunMs / 1000 * 5);
  EXPECT_LE(run.behind.maxBehindMs, 3000) << "at " << run.behind.maxBehindAtMs << " ms";
}

}  // namespace
