// Desktop sound mixed into the published sound: a private PulseAudio whose
// microphone is the monitor of one null sink (1 kHz) while the desktop, the
// default sink, plays 440 Hz at 48 kHz mono; what nginx received is decoded
// and searched for both tones. Then the errors of a missing desktop-sound
// library.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/outside/OutsideDoubles.h"
#include "strivon/StatusWords.h"
#include "tests/capture/audio_analysis.h"
#include "tests/record/publish_run.h"
#include "tests/support/media_tools.h"
#include "tests/support/nginx_rtmp.h"
#include "tests/support/pulse_server.h"
#include "tests/support/xvfb_server.h"

namespace {

using namespace std::chrono_literals;
using namespace strivon_status;

constexpr int kRate = 44100;
constexpr int kWindow = kRate / 2;  // 0.5 s: 440 and 1000 Hz fall on exact bins

// Level of one tone in a window of mono samples, dB below full scale.
double ToneDb(const std::vector<double>& x, double hz) {
  const double amplitude = 2.0 * std::sqrt(std::max(capture_test::GoertzelPower(x, hz, kRate), 0.0)) / x.size();
  return 20.0 * std::log10(std::max(amplitude, 1e-3) / 32768.0);
}

// The strongest frequency between 200 and 900 Hz: 440 when the desktop
// sound was converted right; 404 or 479 when its rate was taken for 44.1
// or 48 kHz the wrong way round.
double LowPitch(const std::vector<double>& x) {
  double best = 0, bestHz = 0;
  for (double hz = 200; hz <= 900; hz += 2) {
    const double p = capture_test::GoertzelPower(x, hz, kRate);
    if (p > best) best = p, bestHz = hz;
  }
  return bestHz;
}

test_support::CommandResult Pactl(const test_support::PulseServer& pulse, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"env"};
  for (const auto& e : pulse.ClientEnvironment()) argv.push_back(e);
  argv.push_back("pactl");
  argv.insert(argv.end(), args.begin(), args.end());
  return test_support::RunCommand(argv, 10000);
}

std::string WexmoorFolder() {
  const char* binary = std::getenv("STRIVON_BINARY_DIR");
  return std::string(binary ? binary : ".") + "/strivon";
}

// Half-second windows of the published sound, grouped into stretches by
// whether the desktop's 440 Hz is in them; windows that straddle a switch
// belong to neither.
struct Stretch {
  bool desktopHeard = false;
  int windows = 0;
  double sum440Db = 0, sum1000Db = 0, sumPitch = 0;
  double min1000Db = 0;
};

std::vector<Stretch> Stretches(const int16_t* samples, size_t count) {
  std::vector<Stretch> stretches;
  for (size_t first = 0; first + kWindow <= count; first += kWindow) {
    const std::vector<double> x(samples + first, samples + first + kWindow);
    const double db440 = ToneDb(x, 440), db1000 = ToneDb(x, 1000);
    if (db440 > -50 && db440 < -30) continue;
    const bool heard = db440 >= -30;
    if (stretches.empty() || stretches.back().desktopHeard != heard) {
      stretches.push_back(Stretch{heard});
      stretches.back().min1000Db = db1000;
    }
    Stretch& s = stretches.back();
    ++s.windows;
    s.sum440Db += db440;
    s.sum1000Db += db1000;
    s.min1000Db = std::min(s.min1000Db, db1000);
    s.sumPitch += heard ? LowPitch(x) : 0;
  }
  return stretches;
}

TEST(DesktopSound, MixedIntoTheMicrophoneAndSwitchedByThePlayerStatus) {
  test_support::XvfbServer xvfb;
  ASSERT_TRUE(xvfb.Start());
  xvfb.ExportDisplay();
  test_support::PulseServer pulse;
  ASSERT_TRUE(pulse.Start("strivon_mic", "StrivonMic"));
  pulse.ExportToClients();
  ASSERT_EQ(Pactl(pulse, {"load-module", "module-null-sink", "sink_name=strivon_desk", "rate=48000", "channels=1",
                          "sink_properties=device.description=StrivonDesk"}).exitCode, 0);
  ASSERT_EQ(Pactl(pulse, {"set-default-sink", "strivon_desk"}).exitCode, 0);
  // What the desktop-sound device will hear, and must convert to 44.1 kHz stereo.
  EXPECT_NE(Pactl(pulse, {"list", "short", "sources"}).out.find("strivon_desk.monitor\tmodule-null-sink.c\ts16le 1ch 48000Hz"),
            std::string::npos);
  test_support::TempDir dir("strivon-desktop");
  ASSERT_TRUE(test_support::WriteToneWav(dir.File("desk.wav"), 440, 60000, 48000, 1));
  test_support::ChildProcess desktopPlayer;
  std::vector<std::string> play = {"env"};
  for (const auto& e : pulse.ClientEnvironment()) play.push_back(e);
  play.insert(play.end(), {"paplay", "--device=strivon_desk", dir.File("desk.wav")});
  ASSERT_TRUE(desktopPlayer.Start(play));
  ASSERT_TRUE(pulse.PlayTone(1000, 60000));
  test_support::NginxRtmp nginx;
  ASSERT_TRUE(nginx.Start()) << nginx.error();

  // The real libWexmoor.so, from where the build puts it beside the library.
  OutsideFactoryTable table;
  table.loadWexmoor = [] { return LoadWexmoor(WexmoorFolder()); };
  SetOutsideFactories(table);
  record_test::WaitingNotify notify;
  record_test::ManagerPtr manager = record_test::MakePublishingManager(&notify, pulse.MonitorDescription());
  ASSERT_NE(manager, nullptr);
  auto* player = static_cast<RtmpPublishManager*>(manager.get());
  manager->SetPublishUrl(("rtmp://127.0.0.1:" + std::to_string(nginx.port())).c_str(), "live", "desk");
  ASSERT_TRUE(manager->StartPublish());
  ASSERT_TRUE(notify.WaitFor(kLevelError, kPublishStart, 1, 20000));
  const auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_until(start + 4s);
  manager->EnableHookPlayer(true);
  std::this_thread::sleep_until(start + 8s);
  player->OnHookStatus("stopmix");
  std::this_thread::sleep_until(start + 12s);
  player->OnHookStatus("beginplay");
  std::this_thread::sleep_until(start + 16s);
  EXPECT_TRUE(manager->StopPublish());
  manager.reset();
  ResetOutsideFactories();
  nginx.Stop();
  EXPECT_EQ(notify.Count(kLevelError, kLoadLibraryError), 0);
  EXPECT_EQ(notify.Count(kLevelError, kCreateDeskAudioError), 0);

  const std::string pcmPath = dir.File("published.pcm");
  const auto decoded = test_support::RunFfmpeg({"-v", "error", "-i", nginx.RecordingPath("desk"), "-vn", "-ac", "1",
                                                "-ar", std::to_string(kRate), "-f", "s16le", pcmPath});
  ASSERT_EQ(decoded.exitCode, 0) << decoded.err;
  const std::string pcm = test_support::ReadFileBytes(pcmPath);
  const auto* samples = reinterpret_cast<const int16_t*>(pcm.data());
  const size_t count = pcm.size() / 2;

  // The stream opens with silence until the microphone's first block (a
  // null sink's monitor starts up to about 1.6 s late).
  size_t heardFrom = 0;
  while (heardFrom + kWindow <= count &&
         ToneDb(std::vector<double>(samples + heardFrom, samples + heardFrom + kWindow), 1000) < -30)
    heardFrom += kWindow / 4;
  EXPECT_LT(heardFrom, static_cast<size_t>(kRate) * 5 / 2) << "the microphone came late";
  // Microphone alone, with the desktop, "stopmix", "beginplay": four
  // stretches.
  const std::vector<Stretch> stretches = Stretches(samples + heardFrom + kWindow / 4, count - heardFrom - kWindow / 4);
  const char* names[] = {"microphone only", "desktop on", "stopmix", "beginplay"};
  for (size_t i = 0; i < stretches.size(); ++i) {
    const Stretch& st = stretches[i];
    printf("%-16s %4.1f s: 1 kHz %.1f dBFS (min %.1f), 440 Hz %.1f dBFS, desktop pitch %.0f Hz\n",
           i < 4 ? names[i] : "?", st.windows * 0.5, st.sum1000Db / st.windows, st.min1000Db,
           st.sum440Db / st.windows, st.desktopHeard ? st.sumPitch / st.windows : 0.0);
    EXPECT_GT(st.min1000Db, -30) << "the microphone is missing in stretch " << i;
    if (st.desktopHeard) {
      EXPECT_NEAR(st.sumPitch / st.windows, 440, 3) << "stretch " << i;
    }
  }
  ASSERT_EQ(stretches.size(), 4u);
  EXPECT_FALSE(stretches[0].desktopHeard);
  EXPECT_TRUE(stretches[1].desktopHeard);
  EXPECT_FALSE(stretches[2].desktopHeard);
  EXPECT_TRUE(stretches[3].desktopHeard);
  // The desktop comes in once the device has started (a second or two on a
  // busy machine); "stopmix" acts at once, so its stretch is the 4 s the host
  // kept it, less the windows that straddle the switches.
  EXPECT_GE(stretches[1].windows * 0.5, 1.0);
  EXPECT_NEAR(stretches[2].windows * 0.5, 3.5, 1.0);
}

TEST(DesktopSound, MissingLibraryOrEntryPointIsReported) {
  OutsideDoubles doubles;
  doubles.SetWexmoor(WexmoorDouble::kMissing);
  test_support::PulseServer pulse;
  ASSERT_TRUE(pulse.Start());
  pulse.ExportToClients();
  test_support::NginxRtmp nginx;
  ASSERT_TRUE(nginx.Start()) << nginx.error();
  record_test::WaitingNotify notify;
  record_test::ManagerPtr manager = record_test::MakePublishingManager(&notify, pulse.MonitorDescription());
  ASSERT_NE(manager, nullptr);
  manager->SetPublishUrl(("rtmp://127.0.0.1:" + std::to_string(nginx.port())).c_str(), "live", "missing");
  ASSERT_TRUE(manager->StartPublish());
  ASSERT_TRUE(notify.WaitFor(kLevelError, kPublishStart, 1, 20000));

  manager->EnableHookPlayer(true);
  EXPECT_TRUE(notify.WaitFor(kLevelError, kLoadLibraryError, 1, 10000));
  manager->EnableHookPlayer(false);
  doubles.SetWexmoor(WexmoorDouble::kWithoutExport);
  manager->EnableHookPlayer(true);
  EXPECT_TRUE(notify.WaitFor(kLevelError, kCreateDeskAudioError, 1, 10000));
  EXPECT_EQ(notify.Count(kLevelError, kLoadLibraryError), 1);
  // Publishing goes on without the background sound: nginx keeps receiving
  // both kinds.
  Json::Value streams;
  const auto deadline = std::chrono::steady_clock::now() + 15s;
  while (streams.size() < 2 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(200ms);
    if (!test_support::ProbeStreams(nginx.RecordingPath("missing"), &streams)) streams.clear();
  }
  EXPECT_EQ(streams.size(), 2u) << streams.toStyledString();
  EXPECT_TRUE(manager->StopPublish());
}

}  // namespace
