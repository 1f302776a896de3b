// Picture sources switched while live, the logo overlay and the publish
// volume, checked in what the encoder was handed and what nginx recorded.
#include <thread>

#include <gtest/gtest.h>

#include "strivon/StatusWords.h"
#include "tests/publish/publish_support.h"

using namespace publish_test;
using namespace strivon_status;

namespace {

constexpr int kWidth = 320, kHeight = 180;

class PublishSources : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(peers.Start()) << peers.error;
    ASSERT_TRUE(peers.pulse.PlayTone(1000, 120000));
    ObserveEncoders(&factories, encoders, true);
    manager.reset(CreateRtmpPublishManagerWith(&log, factories));
    ASSERT_TRUE(peers.Configure(manager.get(), "sources", 44100, 2, kWidth, kHeight, 25));
  }
  void Hold(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
  void StopAndCloseServer() {
    const auto before = Clock::now();
    EXPECT_TRUE(manager->StopPublish());
    EXPECT_LT(MsSince(before), 2000.0);
    peers.nginx.Stop();
  }

  PublishPeers peers;
  test_support::TempDir dir{"strivon-sources"};
  StatusLog log;
  std::shared_ptr<EncoderLog> encoders = std::make_shared<EncoderLog>();
  ManagerFactories factories = DefaultManagerFactories();
  ManagerPtr manager;
};

TEST_F(PublishSources, SwitchingSourcesNeverTurnsTimeBack) {
  const std::string media = dir.File("clip.mp4");
  ASSERT_EQ(test_support::RunFfmpeg({"-v", "error", "-f", "lavfi", "-i", "testsrc=s=320x180:r=25", "-f", "lavfi",
                                     "-i", "sine=f=440:r=44100", "-t", "4", "-c:v", "libx264", "-c:a", "aac",
                                     "-pix_fmt", "yuv420p", media})
                .exitCode,
            0);
  ASSERT_TRUE(manager->StartPublish());
  ASSERT_TRUE(log.WaitFor(kPublishStart, 1, 15000)) << log.Dump();
  Hold(1500);
  manager->changeToVexaFile(media.c_str(), 25, 50);
  Hold(1500);
  manager->changeToScreen(25, 50);
  Hold(1500);
  manager->changeToVexaFile(media.c_str(), 25, 50);
  Hold(1500);
  manager->changeToVexaFile(media.c_str(), 25, 50);
  Hold(1500);
  StopAndCloseServer();

  unsigned last[2] = {0, 0};
  size_t count[2] = {0, 0};
  for (const auto& unit : encoders->Units()) {
    EXPECT_GE(unit.timestamp, last[unit.video]) << (unit.video ? "picture" : "sound") << " stamp went back";
    last[unit.video] = unit.timestamp;
    ++count[unit.video];
  }
  EXPECT_GT(count[0], 100u);
  EXPECT_GT(count[1], 50u);
  const std::string recording = peers.nginx.RecordingPath("sources");
  std::vector<test_support::ProbedPacket> packets;
  ASSERT_TRUE(test_support::ProbePackets(recording, &packets));
  EXPECT_EQ(BackwardStamps(packets), "");
  EXPECT_EQ(test_support::DecodeErrors(recording), "");
}

TEST_F(PublishSources, LogoSitsUprightAtItsCornerAndVolumeScalesTheSound) {
  ScreenPattern blue(0, 0);
  ASSERT_TRUE(blue.painted());
  // Yellow over white, so a flipped logo shows.
  const std::string logo = dir.File("logo.png");
  ASSERT_EQ(test_support::RunFfmpeg({"-v", "error", "-f", "lavfi", "-i", "color=c=yellow:s=32x32", "-vf",
                                     "drawbox=x=0:y=16:w=32:h=16:c=white:t=fill", "-frames:v", "1", logo})
                .exitCode,
            0);
  ASSERT_EQ(manager->SetLogo(logo.c_str(), 0, 20, 40, 0), 0);
  ASSERT_TRUE(manager->StartPublish());
  ASSERT_TRUE(log.WaitFor(kPublishStart, 1, 15000)) << log.Dump();
  // Four seconds each at full volume, half volume and muted.
  Hold(4000);
  manager->SetPublishVolume(50, false);
  Hold(4000);
  manager->SetPublishVolume(50, true);
  Hold(4000);
  StopAndCloseServer();

  const std::string recording = peers.nginx.RecordingPath("sources");
  std::vector<uint8_t> picture;
  ASSERT_TRUE(DecodePicture(recording, dir, 2000, kWidth, kHeight, &picture));
  const Rgb top = MeanColour(picture, kWidth, 44, 24, 24, 8);
  const Rgb bottom = MeanColour(picture, kWidth, 44, 40, 24, 8);
  const Rgb above = MeanColour(picture, kWidth, 44, 4, 24, 8);
  const Rgb left = MeanColour(picture, kWidth, 10, 24, 20, 20);
  EXPECT_TRUE(top.r > 200 && top.g > 200 && top.b < 80) << top.r << "," << top.g << "," << top.b;
  EXPECT_TRUE(bottom.r > 200 && bottom.g > 200 && bottom.b > 200) << bottom.r << "," << bottom.g << "," << bottom.b;
  EXPECT_TRUE(above.b > 200 && above.r < 80) << above.r << "," << above.g << "," << above.b;
  EXPECT_TRUE(left.b > 200 && left.r < 80) << left.r << "," << left.g << "," << left.b;

  std::vector<uint8_t> pcm;
  ASSERT_TRUE(DecodeSound(recording, dir, 44100, 2, 0, &pcm));
  // The sound starts a little after Publish.Start, so the later windows are
  // placed from the recording's end.
  const size_t second = 44100 * 4, endMs = pcm.size() * 1000 / second;
  const auto window = [&](size_t fromMs) {
    const size_t begin = fromMs * 441 / 10 * 4;  // whole stereo frames
    if (fromMs > endMs || pcm.size() < begin + second) return std::vector<uint8_t>();
    return std::vector<uint8_t>(pcm.begin() + begin, pcm.begin() + begin + second);
  };
  const long long audibleMs = AudibleFromMs(pcm, 44100, 2);
  ASSERT_GE(audibleMs, 0);
  const auto full = window(static_cast<size_t>(audibleMs) + 200), half = window(endMs - 7000),
             muted = window(endMs - 3000);
  std::string levels;
  for (size_t ms = 0; ms + 1000 <= endMs; ms += 500) levels += std::to_string(static_cast<int>(RmsDb(window(ms), 2))) + " ";
  ASSERT_FALSE(full.empty() || half.empty()) << endMs << " ms of sound";
  std::printf("figures: level every 0.5 s: %s\n", levels.c_str());
  ASSERT_FALSE(muted.empty()) << pcm.size() / 4 << " frames";
  const double fullDb = RmsDb(full, 2), halfDb = RmsDb(half, 2), mutedDb = RmsDb(muted, 2);
  std::printf("figures: full %.2f dBFS, half %.2f dBFS (%.2f dB), muted %.2f dBFS\n", fullDb, halfDb,
              halfDb - fullDb, mutedDb);
  EXPECT_NEAR(halfDb - fullDb, -6.02, 1.0);
  EXPECT_LT(mutedDb, -60.0);
  EXPECT_NEAR(DominantHz(half, 44100, 2), 1000.0, 20.0);
}

}  // namespace
