// A microphone whose clock runs 0.3% fast or slow, published with the screen
// for two minutes to nginx-rtmp: the recording must keep its picture rate,
// keep sound and picture together, and carry the microphone's tone without a
// click. The live virtual microphone beeps at every whole second of the
// monotonic clock while the test flashes the Xvfb screen white at the same
// instants, so the recording shows where sound and picture went apart.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>

#include "platform/dshow/backend_virtual.h"
#include "strivon/StatusWords.h"
#include "tests/publish/sync_marks.h"
#include "tests/publish/publish_support.h"
#include "tests/support/tone_purity.h"

using namespace publish_test;
using namespace strivon_status;

namespace {

const bool kVirtualDevicesOnly = (setenv("STRIVON_DSHOW_DEVICES", "virtual", 1), true);

constexpr int kPublishSeconds = 120;
constexpr int kFps = 25;
constexpr int kRate = 44100;
constexpr int kBeepMs = 30;
constexpr double kBeepHz = 2500;
constexpr double kDrawnWithinMs = 4;

void PublishWithDriftingMicrophone(double clockRate, const std::string& stream) {
  ASSERT_TRUE(kVirtualDevicesOnly);
  dshow::VirtualDevice mic;
  mic.kind = dshow::VirtualKind::AudioInput;
  mic.name = L"Drifting Mic";
  mic.live = true;
  mic.clockRate = clockRate;
  mic.toneLevel = 0.25;
  mic.beepMs = kBeepMs;
  mic.beepHz = kBeepHz;
  dshow::SetVirtualDevices({mic});

  test_support::XvfbServer xvfb;
  test_support::NginxRtmp nginx;
  ASSERT_TRUE(xvfb.Start("320x240x24"));
  xvfb.ExportDisplay();
  ASSERT_TRUE(nginx.Start()) << nginx.error();
  ScreenFlasher flasher;
  ASSERT_TRUE(flasher.Start());

  StatusLog log;
  {
    ManagerPtr manager(CreateRtmpPublishManagerWith(&log, DefaultManagerFactories()));
    ASSERT_EQ(manager->SetMic(0), 0);
    manager->SetPublishAudioPara(kRate, 2, 16, 64000, 100, false);
    manager->SetPublishVideoPara(320, 240, kFps, 300000, 0, 2 * kFps);
    manager->SetPublishUrl(("rtmp://127.0.0.1:" + std::to_string(nginx.port())).c_str(), "live", stream.c_str());
    std::vector<char> reply(kSendCmdReplyBufferSize);
    char* replyText = reply.data();
    ASSERT_TRUE(manager->SendCmd(
        R"({"cmd":"ScreenCaptureSettings","params":{"isFollowCursor":false,"isFullScreen":true}})", &replyText));
    ASSERT_TRUE(manager->StartPublish());
    ASSERT_TRUE(log.WaitFor(kPublishStart, 1, 15000)) << log.Dump();
    std::this_thread::sleep_for(std::chrono::seconds(kPublishSeconds));
    ASSERT_TRUE(manager->StopPublish());
  }
  flasher.Stop();
  nginx.Stop();
  dshow::SetVirtualDevices({});
  const std::string recording = nginx.RecordingPath(stream);

  // The picture rate over the last 30 s.
  std::vector<PictureLuma> pictures;
  std::string error;
  ASSERT_TRUE(PictureLumas(recording, &pictures, &error)) << error;
  const double lastMs = pictures.back().ptsMs;
  const long recent = std::count_if(pictures.begin(), pictures.end(),
                                    [&](const PictureLuma& p) { return p.ptsMs > lastMs - 30000; });
  const double fps = recent / 30.0;
  EXPECT_NEAR(fps, kFps, kFps * 0.05) << "pictures per second over the last 30 s";

  // Every flash with its beep. Each flash is judged against the instants the
  // test drew it (the server draws late on a busy machine, and that is not the
  // library's doing): its middle, taken from both edges, which fall half a
  // frame apart on the picture grid so their rounding mostly cancels, less
  // the middle of its two paints, against the beep of its second.
  std::vector<int16_t> pcm;
  double soundStartMs = 0;
  ASSERT_TRUE(MonoSound(recording, nginx.folder(), kRate, &pcm, &soundStartMs, &error)) << error;
  std::vector<double> beeps = BeepOnsetsMs(pcm, kRate, kBeepHz);
  for (double& beep : beeps) beep += soundStartMs;
  const std::vector<RecordedFlash> flashes = RecordedFlashes(pictures);
  const std::vector<FlashDraw> draws = flasher.draws();
  std::vector<int> drawOf;
  ASSERT_GE(beeps.size(), kPublishSeconds - 5u);
  ASSERT_TRUE(MatchFlashesToDraws(flashes, draws, &drawOf, &error)) << error;
  // nginx records the stream from its first message on and cuts the stamps
  // of anything that arrives later but is stamped earlier to 0: the
  // recording's first second says little about when things happened. At
  // the stop, the sound of the last moments is still in the encoder.
  const double soundEndMs = soundStartMs + pcm.size() * 1000.0 / kRate;
  double worst = 0, sum = 0;
  int paired = 0, drawnSlowly = 0;
  for (size_t j = 0; j < flashes.size(); ++j) {
    const RecordedFlash& flash = flashes[j];
    if (flash.riseMs < 1000 || flash.fallMs > soundEndMs - kBeepMs - 100) continue;
    ASSERT_GE(drawOf[j], 0) << "the flash at " << flash.riseMs << " ms was never drawn";
    const FlashDraw& draw = draws[static_cast<size_t>(drawOf[j])];
    // Where the server took longer than a few ms to draw, when the flash
    // showed is not known well enough to judge it.
    if (draw.whiteDoneMs - draw.whiteSentMs > kDrawnWithinMs || draw.darkDoneMs - draw.darkSentMs > kDrawnWithinMs) {
      ++drawnSlowly;
      continue;
    }
    ++paired;
    const double drawnMs = (draw.whiteSentMs + draw.whiteDoneMs + draw.darkSentMs + draw.darkDoneMs) / 4;
    const double shownMs = (flash.riseMs + flash.fallMs) / 2 - drawnMs;
    const double beep = *std::min_element(beeps.begin(), beeps.end(), [&](double a, double b) {
      return std::abs(a - shownMs) < std::abs(b - shownMs);
    });
    EXPECT_NEAR(beep, shownMs, 40.0) << "the beep of the flash at " << flash.riseMs << " ms";
    worst = std::max(worst, std::abs(beep - shownMs));
    sum += beep - shownMs;
  }
  // About three quarters of the seconds flash; most of them are drawn at once.
  EXPECT_GE(paired, kPublishSeconds / 3) << drawnSlowly << " flashes were drawn slowly";

  // The sound's stamps rise and leave no hole.
  std::vector<test_support::ProbedPacket> packets;
  ASSERT_TRUE(test_support::ProbePackets(recording, &packets, &error)) << error;
  EXPECT_EQ(BackwardStamps(packets), "");
  long long lastSoundMs = -1, widestStepMs = 0;
  for (const auto& p : packets) {
    if (p.codecType != "audio") continue;
    if (lastSoundMs >= 0 && p.ptsMs > 1000) widestStepMs = std::max(widestStepMs, p.ptsMs - lastSoundMs);
    lastSoundMs = p.ptsMs;
  }
  EXPECT_LE(widestStepMs, 47 + 50) << "a hole in the sound";

  // The tone between the beeps: no click, nothing dropped or repeated. The
  // codec smears a beep over up to a frame (46 ms) each side.
  std::vector<std::pair<double, double>> beepSpans;
  for (double beep : beeps)
    beepSpans.emplace_back(beep - soundStartMs - 100, beep - soundStartMs + kBeepMs + 100);
  double strayAtMs = 0, strayHz = 0;
  const double stray = test_support::LoudestStrayDb(pcm, kRate, 2000, beepSpans, &strayAtMs, &strayHz);
  EXPECT_LT(stray, -60.0) << strayHz << " Hz at " << strayAtMs + soundStartMs << " ms of the recording";

  std::printf("figures: clock %.4f: %.2f pictures/s over the last 30 s; %zu flashes recorded, %d judged (%d drawn "
              "slowly, %d skipped by a late wake), %zu beeps; beep - flash mean %.1f ms, largest %.1f ms; loudest "
              "stray line %.1f dB (%.0f Hz at %.0f ms)\n",
              clockRate, fps, flashes.size(), paired, drawnSlowly, flasher.skipped(), beeps.size(),
              sum / std::max(paired, 1), worst, stray, strayHz, strayAtMs + soundStartMs);
}

TEST(PublishDrift, MicrophoneClockFast) { PublishWithDriftingMicrophone(1.003, "drift_fast"); }

TEST(PublishDrift, MicrophoneClockSlow) { PublishWithDriftingMicrophone(0.997, "drift_slow"); }

}  // namespace
