// Automatic bit-rate control driven by ping round trips on a fake clock.
#include <gtest/gtest.h>

#include "tests/encoder/encoder_fixture.h"

namespace {

const char kLowered[] = "Auto set audio bitrate 16000, video bitrate 64000";
const char kRestored[] = "Auto set audio bitrate 48000, video bitrate 800000";

struct AdaptiveRig {
  EncoderUnderTest t;
  AdaptiveRig() {
    t.encoder->Connect("rtmp://127.0.0.1/live/test");
    t.encoder->SetAudioBitrate(48000);
    t.encoder->SetVideoBitrate(800000, 0);
    t.encoder->SetAutoCtrlBitrate(true);
  }
  // One window: `slow` trips of 600 ms and the rest fast, then the trip
  // that closes it just over 5000 ms after the window opened.
  void Window(int slow) {
    for (int i = 0; i < 5; ++i) {
      t.encoder->OnPingRoundTrip(i < slow ? 600 : 40);
      t.now += 1000;
    }
    t.now += 1;
    t.encoder->OnPingRoundTrip(40);
  }
  int Count(const std::string& text) {
    int n = 0;
    for (const auto& s : t.notify.Statuses()) n += s == text ? 1 : 0;
    return n;
  }
};

TEST(AdaptiveBitrate, FiveSlowTripsLowerOnceAndAFurtherBadWindowChangesNothing) {
  AdaptiveRig r;
  r.t.encoder->OnPingRoundTrip(40);  // opens the first window
  r.Window(5);
  auto s = r.t.encoder->GetSnapshot();
  EXPECT_EQ(s.currentAudioBitrate, 16000u);
  EXPECT_EQ(s.videoKbps, 64);
  EXPECT_EQ(s.configuredAudioBitrate, 48000u) << "the configured rate is kept for the restore";
  EXPECT_EQ(s.configuredVideoBitrate, 800000u);
  EXPECT_EQ(r.Count(kLowered), 1);
  EXPECT_EQ(r.t.transport.load()->videoParamsBps, 64000) << "the client's send buffer sized for the lowered rate";
  const int aacOpens = s.aacOpens;
  const int videoOpens = s.videoOpens;
  r.Window(5);
  s = r.t.encoder->GetSnapshot();
  EXPECT_EQ(r.Count(kLowered), 1);
  EXPECT_EQ(s.aacOpens, aacOpens) << "already at the floor: no reopen";
  EXPECT_EQ(s.videoOpens, videoOpens);
}

TEST(AdaptiveBitrate, ThirteenGoodWindowsAfterALoweringRestore) {
  AdaptiveRig r;
  r.t.encoder->OnPingRoundTrip(40);
  r.Window(5);
  for (int i = 0; i < 12; ++i) r.Window(4);  // four slow trips still make a good window
  EXPECT_EQ(r.t.encoder->GetSnapshot().currentAudioBitrate, 16000u);
  EXPECT_EQ(r.Count(kRestored), 0);
  r.Window(0);
  auto s = r.t.encoder->GetSnapshot();
  EXPECT_EQ(s.currentAudioBitrate, 48000u);
  EXPECT_EQ(s.videoKbps, 800);
  EXPECT_EQ(r.Count(kRestored), 1);
  EXPECT_EQ(r.t.transport.load()->videoParamsBps, 800000);
}

TEST(AdaptiveBitrate, HealthyLinkNeverReopensAndWindowsNeedAClosingTrip) {
  AdaptiveRig r;
  const int videoOpens = r.t.encoder->GetSnapshot().videoOpens;
  r.t.encoder->OnPingRoundTrip(40);
  for (int i = 0; i < 30; ++i) r.Window(0);
  EXPECT_EQ(r.t.encoder->GetSnapshot().videoOpens, videoOpens);
  EXPECT_TRUE(r.t.notify.Statuses().empty());
  // Slow trips, then silence for a minute: without a trip nothing closes.
  for (int i = 0; i < 6; ++i) r.t.encoder->OnPingRoundTrip(900);
  r.t.now += 60000;
  EXPECT_EQ(r.t.encoder->GetSnapshot().currentAudioBitrate, 48000u);
  r.t.encoder->OnPingRoundTrip(40);
  EXPECT_EQ(r.t.encoder->GetSnapshot().currentAudioBitrate, 16000u);
}

TEST(AdaptiveBitrate, SwitchingOffRestoresAtOnceAndIgnoresLaterTrips) {
  AdaptiveRig r;
  r.t.encoder->OnPingRoundTrip(40);
  r.Window(6);
  ASSERT_EQ(r.t.encoder->GetSnapshot().currentAudioBitrate, 16000u);
  r.t.encoder->SetAutoCtrlBitrate(false);
  auto s = r.t.encoder->GetSnapshot();
  EXPECT_EQ(s.currentAudioBitrate, 48000u);
  EXPECT_EQ(s.videoKbps, 800);
  EXPECT_EQ(r.Count(kRestored), 1);
  r.Window(6);
  EXPECT_EQ(r.t.encoder->GetSnapshot().currentAudioBitrate, 48000u);
}

TEST(AdaptiveBitrate, RatesRaisedFromOutsideAfterALoweringAreLoweredAgain) {
  AdaptiveRig r;
  r.t.encoder->OnPingRoundTrip(40);
  r.Window(5);
  ASSERT_EQ(r.t.encoder->GetSnapshot().currentAudioBitrate, 16000u);
  r.t.encoder->SetLowAudioBitrate(false);  // the manager un-mutes
  ASSERT_EQ(r.t.encoder->GetSnapshot().currentAudioBitrate, 48000u);
  const int videoOpens = r.t.encoder->GetSnapshot().videoOpens;
  r.Window(5);
  EXPECT_EQ(r.t.encoder->GetSnapshot().currentAudioBitrate, 16000u) << "the link is still slow";
  EXPECT_EQ(r.t.encoder->GetSnapshot().videoOpens, videoOpens) << "video was at its floor: no key frame spent";
  r.t.encoder->SetVideoBitrate(800000, 0);  // the host's rate, e.g. after a source switch
  r.Window(5);
  auto s = r.t.encoder->GetSnapshot();
  EXPECT_EQ(s.videoKbps, 64);
  EXPECT_EQ(s.currentAudioBitrate, 16000u);
  EXPECT_EQ(r.Count(kLowered), 1) << "still going down: nothing new to report";
}

TEST(AdaptiveBitrate, SwitchingOffWhileABadWindowClosesKeepsTheConfiguredRates) {
  AdaptiveRig r;
  r.t.encoder->OnPingRoundTrip(40);
  for (int i = 0; i < 5; ++i) {
    r.t.encoder->OnPingRoundTrip(600);
    r.t.now += 1000;
  }
  r.t.now += 1;
  // The manager switches the control off while the trip that closes the bad
  // window is being handled.
  bool switched = false;
  r.t.onClockRead = [&] {
    if (switched) return;
    switched = true;
    r.t.encoder->SetAutoCtrlBitrate(false);
  };
  r.t.encoder->OnPingRoundTrip(600);
  ASSERT_TRUE(switched);
  auto s = r.t.encoder->GetSnapshot();
  EXPECT_EQ(s.currentAudioBitrate, 48000u) << "a lowering landed after the control was off";
  EXPECT_EQ(s.videoKbps, 800);
  EXPECT_EQ(r.Count(kLowered), 0);
  EXPECT_EQ(r.Count(kRestored), 1);
}

}  // namespace
