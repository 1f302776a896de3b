// Losing the server mid-run: nginx killed and brought back, a port where
// nothing listens, a host name that stops resolving, a server that stops
// reading. The run must notice, retry every two seconds, publish again as
// soon as the server is back, and stop promptly throughout.
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>

#include "platform/outside/OutsideDoubles.h"
#include "strivon/StatusWords.h"
#include "tests/publish/publish_support.h"
#include "tests/support/free_port.h"

using namespace publish_test;
using namespace strivon_status;

namespace {

double TimedStop(IRtmpPublishManager* manager) {
  const auto before = Clock::now();
  EXPECT_TRUE(manager->StopPublish());
  return MsSince(before);
}

TEST(PublishReconnect, KilledServerIsRejoinedEachTimeItComesBack) {
  PublishPeers peers;
  test_support::NginxRtmpOptions options;
  options.applicationDirectives = "record_unique on;";
  ASSERT_TRUE(peers.Start(options)) << peers.error;
  ASSERT_TRUE(peers.pulse.PlayTone(1000, 120000));
  StatusLog log;
  ManagerPtr manager(CreateRtmpPublishManagerWith(&log, DefaultManagerFactories()));
  ASSERT_TRUE(peers.Configure(manager.get(), "drop"));
  ASSERT_TRUE(manager->StartPublish());
  ASSERT_TRUE(log.WaitFor(kPublishStart, 1, 15000)) << log.Dump();
  ASSERT_TRUE(log.WaitForSound(5000));
  std::vector<double> rejoinMs;
  for (int drop = 1; drop <= 10; ++drop) {
    SCOPED_TRACE("drop " + std::to_string(drop));
    std::this_thread::sleep_for(std::chrono::milliseconds(800));  // a stretch of publishing
    peers.nginx.Kill();
    ASSERT_TRUE(log.WaitFor(kClosedUnexpectly, drop, 5000)) << log.Dump();
    ASSERT_TRUE(peers.nginx.Restart());
    const auto back = Clock::now();
    Clock::time_point published;
    ASSERT_TRUE(log.WaitFor(kPublishStart, drop + 1, 5000, &published)) << log.Dump();
    rejoinMs.push_back(MsSince(back, published));
    EXPECT_LE(rejoinMs.back(), 2500.0);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(800));  // the last recording gets its stretch too
  EXPECT_LT(TimedStop(manager.get()), 2000.0);
  peers.nginx.Stop();
  std::string figures;
  for (double ms : rejoinMs) figures += std::to_string(static_cast<int>(ms)) + " ";
  std::printf("figures: published again %sms after the server was back\n", figures.c_str());
  const auto files = Recordings(peers.nginx.folder() + "/rec");
  EXPECT_GE(files.size(), 11u);
  for (const auto& file : files) {
    EXPECT_GT(test_support::FileSize(file), 13) << file << ": nothing was published in its stretch";
    EXPECT_EQ(test_support::DecodeErrors(file), "") << file;
  }
}

// A run on the fake screen without a microphone: the connection logic alone.
class BareRun : public ::testing::Test {
 protected:
  ManagerPtr Start(const std::string& url) {
    ManagerPtr manager(CreateRtmpPublishManagerWith(&log, DefaultManagerFactories()));
    manager->SetPublishVideoPara(320, 180, 25, 300000, 0, 50);
    manager->SetPublishAudioPara(44100, 2, 16, 64000, 100, false);
    manager->SetPublishUrl(url.c_str(), "live", "bare");
    EXPECT_TRUE(manager->StartPublish());
    return manager;
  }
  OutsideDoubles doubles;
  StatusLog log;
};

TEST_F(BareRun, NothingListeningIsTriedEveryTwoSeconds) {
  test_support::RefusingPort refusing;
  ManagerPtr manager = Start("rtmp://127.0.0.1:" + std::to_string(refusing.port()));
  const auto started = Clock::now();
  ASSERT_TRUE(log.WaitFor(kClosedUnexpectly, 3, 6500)) << log.Dump();
  std::printf("figures: third failed attempt after %.0f ms\n", MsSince(started));
  EXPECT_LT(TimedStop(manager.get()), 2000.0);
}

// Re-runs this test inside a private network namespace, where no resolver
// can be reached and loopback is the only network. nginx there cannot open
// the system's log folder, so a private one is mounted over it.
bool InPrivateNetwork(const char* testName, ::testing::AssertionResult* outcome) {
  if (std::getenv("STRIVON_PRIVATE_NET")) return true;
  static test_support::TempDir logs("strivon-netns-logs");
  const std::string script =
      "mount --bind \"$1\" /var/log/nginx && ip link set lo up && STRIVON_PRIVATE_NET=1 exec \"$0\" "
      "--gtest_filter=" + std::string(testName);
  char self[4096] = {};
  if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) {
    *outcome = ::testing::AssertionFailure() << "no path of this test program";
    return false;
  }
  const auto run = test_support::RunCommand({"unshare", "-rnm", "sh", "-c", script, self, logs.path()}, 90000);
  const bool ran = run.out.find("[  PASSED  ] 1 test") != std::string::npos;
  *outcome = run.exitCode == 0 && ran ? ::testing::AssertionSuccess()
                               : ::testing::AssertionFailure() << run.out << run.err;
  return false;
}

TEST_F(BareRun, HostThatStopsResolvingIsRetriedUntilItResolvesAgain) {
  ::testing::AssertionResult outcome = ::testing::AssertionSuccess();
  if (!InPrivateNetwork("BareRun.HostThatStopsResolvingIsRetriedUntilItResolvesAgain", &outcome)) {
    EXPECT_TRUE(outcome);
    return;
  }
  test_support::NginxRtmp nginx;
  ASSERT_TRUE(nginx.Start()) << nginx.error();
  const std::string byAddress = "rtmp://127.0.0.1:" + std::to_string(nginx.port());
  ManagerPtr manager = Start(byAddress);
  ASSERT_TRUE(log.WaitFor(kPublishStart, 1, 10000)) << log.Dump();
  // Reconnections now go to a name nobody can resolve.
  manager->SetPublishUrl(("rtmp://strivon-peer.invalid:" + std::to_string(nginx.port())).c_str(), "live", "bare");
  nginx.Kill();
  ASSERT_TRUE(log.WaitFor(kClosedUnexpectly, 4, 10000)) << log.Dump();
  ASSERT_TRUE(nginx.Restart());
  manager->SetPublishUrl(byAddress.c_str(), "live", "bare");
  EXPECT_TRUE(log.WaitFor(kPublishStart, 2, 5000)) << log.Dump();
  EXPECT_LT(TimedStop(manager.get()), 2000.0);
}

// Needs the RTMP client's send time-out: without it the run blocks on a full
// socket for as long as the server sleeps.
TEST(PublishReconnect, ServerThatStopsReadingIsLeftAndRejoined) {
  test_support::XvfbServer xvfb;
  ASSERT_TRUE(xvfb.Start());
  xvfb.ExportDisplay();
  test_support::TempDir dir("strivon-stalled");
  const std::string noise = dir.File("noise.mkv");
  ASSERT_EQ(test_support::RunFfmpeg({"-v", "error", "-f", "lavfi", "-i", "nullsrc=s=640x360:r=25,geq=random(1)*255:128:128",
                                     "-f", "lavfi", "-i", "sine=f=1000:r=44100", "-t", "40", "-c:v", "mjpeg", "-q:v",
                                     "3", "-c:a", "pcm_s16le", noise})
                .exitCode,
            0);
  test_support::NginxRtmp nginx;
  ASSERT_TRUE(nginx.Start()) << nginx.error();
  StatusLog log;
  ManagerPtr manager(CreateRtmpPublishManagerWith(&log, DefaultManagerFactories()));
  manager->SetPublishVideoPara(640, 360, 25, 20000000, 0, 1);
  manager->SetPublishAudioPara(44100, 2, 16, 64000, 100, false);
  manager->SetPublishUrl(("rtmp://127.0.0.1:" + std::to_string(nginx.port())).c_str(), "live", "stalled");
  manager->SetVideoSource(2, 0, noise.c_str(), 25, 1);
  ASSERT_TRUE(manager->StartPublish());
  ASSERT_TRUE(log.WaitFor(kPublishStart, 1, 10000)) << log.Dump();
  ASSERT_TRUE(nginx.Signal(SIGSTOP));
  const auto stalled = Clock::now();
  const bool left = log.WaitFor(kClosedUnexpectly, 1, 20000);
  const double leftMs = MsSince(stalled);
  nginx.Signal(SIGCONT);
  ASSERT_TRUE(left) << "still sending to a server that stopped reading\n" << log.Dump();
  std::printf("figures: left the stalled server after %.0f ms\n", leftMs);
  EXPECT_TRUE(log.WaitFor(kPublishStart, 2, 10000)) << log.Dump();
  EXPECT_LT(TimedStop(manager.get()), 2000.0);
}

}  // namespace
