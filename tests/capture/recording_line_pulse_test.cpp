// Recording-line selection against a private PulseAudio server: the chosen
// input ends up unmuted at full volume, the other input and the default input
// are left alone, and an "Analog Stereo" input is not taken for the mix.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <regex>
#include <set>

#include "capture/IAudioCapture.h"
#include "tests/support/pulse_server.h"

namespace {

constexpr const char* kMicSource = "strivon_mic";
constexpr const char* kMonitorSource = "strivon_null.monitor";

class Counter : public IAudioCaptureNotify {
 public:
  void OnAudioData(int, const BYTE*, int length, int64_t, int64_t) override {
    std::lock_guard<std::mutex> lock(mutex);
    bytes += static_cast<size_t>(length);
    arrived.notify_all();
  }
  void OnHDAudioCapNotify(std::string, int) override {}
  bool WaitMore(std::chrono::seconds timeout) {
    std::unique_lock<std::mutex> lock(mutex);
    const size_t before = bytes;
    return arrived.wait_for(lock, timeout, [&] { return bytes > before; });
  }
  std::mutex mutex;
  std::condition_variable arrived;
  size_t bytes = 0;
};

class RecordingLinePulseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("STRIVON_DSHOW_DEVICES");
    ASSERT_TRUE(server_.Start("strivon_null", "Strivon Null")) << "pulseaudio did not start";
    server_.ExportToClients();
    const auto loaded = server_.Pactl({"load-module", "module-null-source", std::string("source_name=") + kMicSource,
                                       "description='Built-in Audio Analog Stereo'"});
    ASSERT_EQ(0, loaded.exitCode) << loaded.err;
    ASSERT_EQ(0, server_.Pactl({"set-default-source", kMicSource}).exitCode);
    for (const char* source : {kMicSource, kMonitorSource}) {
      ASSERT_EQ(0, server_.Pactl({"set-source-mute", source, "1"}).exitCode);
      ASSERT_EQ(0, server_.Pactl({"set-source-volume", source, "30%"}).exitCode);
    }
  }

  // "yes 30%" for a muted source at 30 % on every channel.
  std::string State(const char* source) {
    const std::string mute = server_.Pactl({"get-source-mute", source}).out;
    const std::string volume = server_.Pactl({"get-source-volume", source}).out;
    std::set<std::string> levels;
    const std::regex percent("([0-9]+)%");
    for (std::sregex_iterator it(volume.begin(), volume.end(), percent), end; it != end; ++it) levels.insert(it->str());
    std::string text = mute.find("yes") != std::string::npos ? "yes" : "no";
    for (const auto& l : levels) text += " " + l;
    return text;
  }
  std::string DefaultSource() { return server_.Pactl({"get-default-source"}).out; }

  test_support::PulseServer server_;
};

TEST_F(RecordingLinePulseTest, TheSelectedInputIsUnmutedAtFullVolumeAndTheDefaultInputStays) {
  ASSERT_EQ("yes 30%", State(kMonitorSource));
  const std::string defaultBefore = DefaultSource();
  Counter counter;
  int channels = 2, rate = 44100;
  unsigned short bits = 16;
  bool ok = false;
  std::string error;
  IAudioCapture* capture =
      CreateAudioCapture(&counter, 1, "Built-in Audio Analog Stereo", 0, 1, &channels, &rate, &bits, &ok, &error);
  ASSERT_TRUE(ok) << error;
  ASSERT_TRUE(capture->Start());

  EXPECT_TRUE(capture->SelectStereoMix());
  EXPECT_EQ("no 100%", State(kMonitorSource));
  EXPECT_EQ("yes 30%", State(kMicSource)) << "the microphone was taken for the stereo mix";
  EXPECT_EQ(defaultBefore, DefaultSource());
  EXPECT_TRUE(counter.WaitMore(std::chrono::seconds(5))) << "not recording after the switch";

  EXPECT_TRUE(capture->SelectMicrophone());
  EXPECT_EQ("no 100%", State(kMicSource));
  EXPECT_EQ(defaultBefore, DefaultSource());
  EXPECT_TRUE(counter.WaitMore(std::chrono::seconds(5)));
  capture->Release();
}

}  // namespace
