// A local recording during a publish run whose server crashes three times:
// what ffprobe, ffmpeg and flvmeta make of it, and of a recording started
// again to another file in the middle of the run.
#include <signal.h>

#include <chrono>
#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "strivon/StatusWords.h"
#include "tests/record/publish_run.h"
#include "tests/support/media_tools.h"
#include "tests/support/nginx_rtmp.h"
#include "tests/support/pulse_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/xvfb_server.h"

namespace {

using namespace std::chrono_literals;
using namespace strivon_status;
using Clock = std::chrono::steady_clock;

// Decoders and the FLV format's own rules find nothing wrong.
void ExpectDecodableStreams(const std::string& path) {
  record_test::ExpectStreamsWithCodecParameters(path);
  EXPECT_EQ(test_support::DecodeErrors(path), "") << path;
  EXPECT_EQ(test_support::FlvCheckErrors(path), "") << path;
}

struct StampReport {
  long long lastMs = -1;           // the largest stamp in the file
  int backwards = 0;               // decode stamps that went back, either kind
  bool firstVideoIsKey = false;
  long long firstVideoLagMs = -1;  // from the file's first packet to its first picture
  std::vector<long long> holes;    // sound stamp steps above one second
};

// The microphone never stops, so holes in the sound are the drops; the
// screen's pictures come in bursts when the picture does not change.
StampReport ReadStamps(const std::string& path) {
  StampReport report;
  std::vector<test_support::ProbedPacket> packets;
  if (!test_support::ProbePackets(path, &packets)) {
    report.backwards = -1;
    return report;
  }
  long long last[2] = {-1, -1};
  for (const auto& p : packets) {
    const int kind = p.codecType == "audio" ? 0 : 1;
    if (p.dtsMs < last[kind]) ++report.backwards;
    report.lastMs = std::max(report.lastMs, p.dtsMs);
    if (kind == 0 && last[0] >= 0 && p.dtsMs - last[0] > 1000) report.holes.push_back(p.dtsMs - last[0]);
    if (kind == 1 && last[1] < 0) {
      report.firstVideoIsKey = p.keyFrame;
      report.firstVideoLagMs = p.dtsMs - packets.front().dtsMs;
    }
    last[kind] = p.dtsMs;
  }
  return report;
}

TEST(RecordingAcrossDrops, DurationStampsAndHeadersSurviveServerCrashesAndARestartedRecording) {
  test_support::XvfbServer xvfb;
  ASSERT_TRUE(xvfb.Start());
  xvfb.ExportDisplay();
  test_support::PulseServer pulse;
  ASSERT_TRUE(pulse.Start());
  pulse.ExportToClients();
  ASSERT_TRUE(pulse.PlayTone(1000, 90000));
  test_support::NginxRtmp nginx;
  ASSERT_TRUE(nginx.Start()) << nginx.error();
  test_support::TempDir dir("strivon-record");
  const std::string first = dir.File("first.flv"), second = dir.File("second.flv");

  record_test::WaitingNotify notify;
  record_test::ManagerPtr manager = record_test::MakePublishingManager(&notify, pulse.MonitorDescription());
  ASSERT_NE(manager, nullptr);
  manager->SetPublishUrl(("rtmp://127.0.0.1:" + std::to_string(nginx.port())).c_str(), "live", "drops");
  ASSERT_TRUE(manager->StartPublish());
  ASSERT_TRUE(notify.WaitFor(kLevelError, kPublishStart, 1, 20000));

  // Recording starts well after the encoder sent its sequence headers.
  std::this_thread::sleep_for(5s);
  manager->SetRecordFilePath(first.c_str());
  const auto firstOn = Clock::now();
  manager->EnableRecordFile(true);
  std::vector<double> reconnectSeconds;
  for (int drop = 1; drop <= 3; ++drop) {
    std::this_thread::sleep_for(3s);  // recorded time between the drops
    const auto dropped = Clock::now();
    ASSERT_TRUE(nginx.KillAndRestart()) << nginx.error();
    ASSERT_TRUE(notify.WaitFor(kLevelError, kPublishStart, 1 + drop, 30000)) << "no reconnection after drop " << drop;
    reconnectSeconds.push_back(record_test::SecondsSince(dropped));
  }
  std::this_thread::sleep_for(2500ms);
  const double firstWall = record_test::SecondsSince(firstOn);
  manager->EnableRecordFile(false);

  // Recording again, to another file, in the same run.
  manager->SetRecordFilePath(second.c_str());
  const auto secondOn = Clock::now();
  manager->EnableRecordFile(true);
  std::this_thread::sleep_for(3500ms);
  const double secondWall = record_test::SecondsSince(secondOn);
  manager->EnableRecordFile(false);
  EXPECT_TRUE(manager->StopPublish());
  manager.reset();
  EXPECT_EQ(notify.Count(kLevelError, kRecordFileError), 0);

  const double firstDuration = record_test::FormatDuration(first), secondDuration = record_test::FormatDuration(second);
  const StampReport stamps = ReadStamps(first), restarted = ReadStamps(second);
  std::string holes;
  for (long long h : stamps.holes) holes += std::to_string(h) + " ms ";
  printf("reconnections took %.2f %.2f %.2f s; sound holes in the recording: %s\n", reconnectSeconds[0],
         reconnectSeconds[1], reconnectSeconds[2], holes.c_str());
  printf("first recording: header %.3f s, last stamp %lld ms, wall %.3f s; starts with a key frame: %d, %lld ms after "
         "the first packet\n",
         firstDuration, stamps.lastMs, firstWall, stamps.firstVideoIsKey, stamps.firstVideoLagMs);
  printf("second recording: header %.3f s, last stamp %lld ms, wall %.3f s; starts with a key frame: %d, %lld ms after "
         "the first packet\n",
         secondDuration, restarted.lastMs, secondWall, restarted.firstVideoIsKey, restarted.firstVideoLagMs);

  // The header gives the duration of what is in the file, which is about
  // as long as the recording was on.
  EXPECT_NEAR(firstDuration, stamps.lastMs / 1000.0, 0.0015);
  EXPECT_NEAR(secondDuration, restarted.lastMs / 1000.0, 0.0015);
  EXPECT_NEAR(firstDuration, firstWall, 1.0);
  EXPECT_NEAR(secondDuration, secondWall, 1.0);
  EXPECT_EQ(stamps.backwards, 0);
  EXPECT_EQ(restarted.backwards, 0);
  // Started mid-run or restarted, a recording opens with a key frame.
  EXPECT_TRUE(stamps.firstVideoIsKey);
  EXPECT_TRUE(restarted.firstVideoIsKey);
  // ...at once: the key frame is asked for, not waited for (one every 3 s).
  EXPECT_GE(stamps.firstVideoLagMs, 0);
  EXPECT_LE(stamps.firstVideoLagMs, 100);
  EXPECT_GE(restarted.firstVideoLagMs, 0);
  EXPECT_LE(restarted.firstVideoLagMs, 100);
  // Each drop leaves one hole, as long as the connection was really down,
  // and only the drops do.
  ASSERT_EQ(stamps.holes.size(), 3u) << holes;
  for (int drop = 0; drop < 3; ++drop) EXPECT_NEAR(stamps.holes[drop] / 1000.0, reconnectSeconds[drop], 0.6);
  ExpectDecodableStreams(first);
  ExpectDecodableStreams(second);
}

}  // namespace
