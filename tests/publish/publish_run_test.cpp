// A whole publish run on the real components: the Xvfb screen and a
// PulseAudio tone go out through the manager, and what nginx-rtmp (or
// ffmpeg's listen mode) received is probed and decoded.
#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "strivon/StatusWords.h"
#include "tests/publish/publish_support.h"
#include "tests/support/free_port.h"

using namespace publish_test;
using namespace strivon_status;
using test_support::ProbedPacket;

namespace {

constexpr int kWidth = 640, kHeight = 360, kFps = 25;

// The listen socket of a server that takes a single client (ffmpeg's listen
// mode), seen without connecting to it.
bool WaitListening(int port, int timeoutMs) {
  char wanted[8];
  std::snprintf(wanted, sizeof wanted, ":%04X", port);
  const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < until) {
    std::ifstream tcp("/proc/net/tcp");
    std::string line;
    while (std::getline(tcp, line)) {
      std::istringstream fields(line);
      std::string slot, local, remote, state;
      fields >> slot >> local >> remote >> state;
      if (state == "0A" && local.size() > 5 && local.substr(local.size() - 5) == wanted) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

struct PublishTimes {
  double publishedMs = 0;  // from NetStream.Publish.Start to the StopPublish call
  double stopMs = 0;       // how long StopPublish took
};

// Starts the run, publishes for holdMs after the server's Publish.Start, stops.
// With encoders observed, the run counts from its first sound: the tests'
// microphone, a null sink's monitor, starts delivering up to about 1.6 s
// after its capture starts, and nothing is sent before the first sound.
::testing::AssertionResult PublishFor(IRtmpPublishManager* manager, StatusLog* log, int holdMs,
                                      PublishTimes* times, EncoderLog* encoders = nullptr) {
  if (!manager->StartPublish()) return ::testing::AssertionFailure() << "StartPublish refused";
  Clock::time_point started;
  if (!log->WaitFor(kPublishStart, log->Count(kPublishStart) + 1, 15000, &started))
    return ::testing::AssertionFailure() << "no " << kPublishStart << "\n" << log->Dump();
  if (encoders && !encoders->WaitFirstSound(5000, &started))
    return ::testing::AssertionFailure() << "no sound went out";
  std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
  const auto stopCall = Clock::now();
  const bool stopped = manager->StopPublish();
  times->stopMs = MsSince(stopCall);
  times->publishedMs = MsSince(started, stopCall);
  if (!stopped) return ::testing::AssertionFailure() << "StopPublish refused";
  return ::testing::AssertionSuccess();
}

const Json::Value* StreamOf(const Json::Value& streams, const std::string& type) {
  for (const auto& s : streams)
    if (s["codec_type"].asString() == type) return &s;
  return nullptr;
}

// Codecs, size, rate, length and stamps of a recording; the pitch of its sound.
void CheckRecording(const std::string& path, const test_support::TempDir& dir, int rate, int channels,
                    double publishedMs) {
  SCOPED_TRACE(path);
  ASSERT_EQ(test_support::DecodeErrors(path), "");
  Json::Value streams;
  ASSERT_TRUE(test_support::ProbeStreams(path, &streams));
  const Json::Value* video = StreamOf(streams, "video");
  const Json::Value* audio = StreamOf(streams, "audio");
  ASSERT_TRUE(video && audio) << streams.toStyledString();
  EXPECT_EQ((*video)["codec_name"].asString(), "h264");
  EXPECT_EQ((*video)["width"].asInt(), kWidth);
  EXPECT_EQ((*video)["height"].asInt(), kHeight);
  EXPECT_EQ((*audio)["codec_name"].asString(), "aac");
  if (channels == 2) {
    EXPECT_EQ((*audio)["profile"].asString(), "HE-AACv2");
  }
  EXPECT_EQ((*audio)["sample_rate"].asString(), std::to_string(rate));
  // ffmpeg reports one-channel HE-AAC as two (it allows for parametric
  // stereo).
  EXPECT_EQ((*audio)["channels"].asInt(), 2);

  std::vector<ProbedPacket> packets;
  ASSERT_TRUE(test_support::ProbePackets(path, &packets));
  EXPECT_EQ(BackwardStamps(packets), "");
  long long first = -1, last = -1, begin = -1, end = -1;
  int pictures = 0;
  for (const auto& p : packets) {
    begin = begin < 0 ? p.ptsMs : std::min(begin, p.ptsMs);
    end = std::max(end, p.ptsMs);
    if (p.codecType != "video") continue;
    ++pictures;
    first = first < 0 ? p.ptsMs : std::min(first, p.ptsMs);
    last = std::max(last, p.ptsMs);
  }
  ASSERT_GT(pictures, 10);
  // Fails while screen pictures are stamped on the wall clock from the first
  // picture and sound on the capture's clock from its first block: the
  // capture starts about 1.3 s late, pictures stay that far ahead, and the
  // eight-picture queue lets only eight through per lag (about 7 fps, and
  // the recording starts late, so its length falls short too).
  const double fps = (pictures - 1) * 1000.0 / static_cast<double>(last - first);
  EXPECT_NEAR(fps, kFps, kFps * 0.05) << pictures << " pictures in " << (last - first) << " ms";
  if (publishedMs > 0) {
    EXPECT_NEAR(static_cast<double>(end - begin), publishedMs, 500.0);
  }

  std::vector<uint8_t> pcm;
  ASSERT_TRUE(DecodeSound(path, dir, rate, channels, 0, &pcm));
  // From half a second after the microphone's first sound.
  const long long audibleMs = AudibleFromMs(pcm, rate, channels);
  ASSERT_GE(audibleMs, 0) << "no sound in " << path;
  const size_t skip = static_cast<size_t>(audibleMs + 500) * static_cast<size_t>(rate) / 1000 * 2 * channels;
  ASSERT_LT(skip, pcm.size());
  pcm.erase(pcm.begin(), pcm.begin() + static_cast<long>(skip));
  EXPECT_NEAR(DominantHz(pcm, rate, channels), 1000.0, 20.0);
  if (channels == 2) {
    // The tone plays on both channels and reaches the encoder on both; the
    // right one must come out of the encoder too.
    const std::vector<uint8_t> right(pcm.begin() + 2, pcm.end());
    EXPECT_NEAR(RmsDb(right, 2), RmsDb(pcm, 2), 1.0) << "right channel lost";
  }
  std::printf("figures %s: %.2f fps, recorded %lld ms of %.0f ms published, %.0f Hz\n", path.c_str(), fps,
              end - begin, publishedMs, DominantHz(pcm, rate, channels));
}

class PublishRun : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(peers.Start()) << peers.error;
    ASSERT_TRUE(peers.pulse.PlayTone(1000, 120000));
  }
  ManagerPtr MakeManager() {
    ManagerFactories factories = DefaultManagerFactories();
    ObserveEncoders(&factories, encoders, true);
    return ManagerPtr(CreateRtmpPublishManagerWith(&log, factories));
  }

  PublishPeers peers;
  test_support::TempDir dir{"strivon-publish-run"};
  StatusLog log;
  std::shared_ptr<EncoderLog> encoders = std::make_shared<EncoderLog>();
};

TEST_F(PublishRun, ScreenAndToneArriveUprightAndOnTimeAtTwoServers) {
  ScreenPattern pattern(kWidth, kHeight);
  ASSERT_TRUE(pattern.painted());
  ManagerPtr manager = MakeManager();
  ASSERT_TRUE(peers.Configure(manager.get(), "run", 44100, 2, kWidth, kHeight, kFps));
  PublishTimes times;
  ASSERT_TRUE(PublishFor(manager.get(), &log, 6000, &times, encoders.get()));
  EXPECT_LT(times.stopMs, 2000.0);
  peers.nginx.Stop();
  const std::string recording = peers.nginx.RecordingPath("run");
  CheckRecording(recording, dir, 44100, 2, times.publishedMs);

  std::vector<uint8_t> picture;
  ASSERT_TRUE(DecodePicture(recording, dir, 3000, kWidth, kHeight, &picture));
  const Rgb topLeft = MeanColour(picture, kWidth, 20, 20, 100, 60);
  const Rgb bottomRight = MeanColour(picture, kWidth, kWidth - 120, kHeight - 80, 100, 60);
  const Rgb bottomLeft = MeanColour(picture, kWidth, 20, kHeight - 80, 100, 60);
  EXPECT_GT(topLeft.r, 200);
  EXPECT_LT(topLeft.b, 60);
  EXPECT_GT(bottomRight.g, 200);
  EXPECT_LT(bottomRight.r, 60);
  EXPECT_GT(bottomLeft.b, 200);

  // ffmpeg as a second, independent server.
  const int port = test_support::FindFreeLoopbackPort();
  const std::string copy = dir.File("listen.flv");
  test_support::ChildProcess listener;
  ASSERT_TRUE(listener.Start({"ffmpeg", "-hide_banner", "-nostdin", "-y", "-v", "error", "-listen", "1", "-i",
                              "rtmp://127.0.0.1:" + std::to_string(port) + "/live/s", "-c", "copy", copy},
                             dir.File("listen.log")));
  ASSERT_TRUE(WaitListening(port, 10000));
  manager->SetPublishUrl(("rtmp://127.0.0.1:" + std::to_string(port)).c_str(), "live", "s");
  ASSERT_TRUE(PublishFor(manager.get(), &log, 4000, &times));
  for (int waited = 0; waited < 100 && listener.Running(); ++waited)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  listener.Stop(SIGINT, 5000);
  CheckRecording(copy, dir, 44100, 2, 0);
}

TEST_F(PublishRun, EverySoundFormatCarriesTheToneAtItsPitch) {
  const std::pair<int, int> formats[] = {{44100, 2}, {48000, 1}, {32000, 2}};
  for (const auto& [rate, channels] : formats) {
    SCOPED_TRACE(std::to_string(rate) + " Hz x" + std::to_string(channels));
    const std::string stream = "tone" + std::to_string(rate) + "x" + std::to_string(channels);
    ManagerPtr manager = MakeManager();
    ASSERT_TRUE(peers.Configure(manager.get(), stream, rate, channels, kWidth, kHeight, kFps));
    PublishTimes times;
    ASSERT_TRUE(PublishFor(manager.get(), &log, 3000, &times));
  }
  peers.nginx.Stop();
  for (const auto& [rate, channels] : formats)
    CheckRecording(peers.nginx.RecordingPath("tone" + std::to_string(rate) + "x" + std::to_string(channels)), dir,
                   rate, channels, 0);
}

TEST_F(PublishRun, TwoBFramesKeepPresentationOrder) {
  ManagerPtr manager = MakeManager();
  ASSERT_TRUE(peers.Configure(manager.get(), "bframes", 44100, 2, kWidth, kHeight, kFps));
  std::vector<char> buffer(kSendCmdReplyBufferSize);
  char* reply = buffer.data();
  ASSERT_TRUE(manager->SendCmd(R"({"cmd":"SetBframeCount","params":{"BframeCount":2}})", &reply));
  Json::Value answer;
  ASSERT_TRUE(test_support::ParseJson(reply, &answer));
  ASSERT_EQ(answer["code"].asInt(), 0) << reply;
  PublishTimes times;
  ASSERT_TRUE(PublishFor(manager.get(), &log, 4000, &times));
  peers.nginx.Stop();
  const std::string recording = peers.nginx.RecordingPath("bframes");
  ASSERT_EQ(test_support::DecodeErrors(recording), "");
  std::vector<ProbedPacket> packets;
  ASSERT_TRUE(test_support::ProbePackets(recording, &packets));
  std::vector<long long> dts, pts;
  int reordered = 0;
  for (const auto& p : packets) {
    if (p.codecType != "video") continue;
    EXPECT_GE(p.ptsMs, p.dtsMs);
    if (!dts.empty()) {
      EXPECT_GT(p.dtsMs, dts.back());
    }
    reordered += !pts.empty() && p.ptsMs < pts.back();
    dts.push_back(p.dtsMs);
    pts.push_back(p.ptsMs);
  }
  ASSERT_GT(pts.size(), 20u);
  EXPECT_GT(reordered, 0) << "no picture is shown before one decoded earlier: no B-frames";
  std::sort(pts.begin(), pts.end());
  EXPECT_EQ(std::adjacent_find(pts.begin(), pts.end()), pts.end()) << "two pictures share a presentation time";
}

}  // namespace
