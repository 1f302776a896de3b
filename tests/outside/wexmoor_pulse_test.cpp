// The real libWexmoor.so recording the monitor of a null sink of a private
// PulseAudio server while a tone is played into that sink.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <mutex>
#include <thread>

#include "platform/wexmoor/WexmoorLoader.h"
#include "tests/support/pulse_server.h"
#include "tests/support/temp_dir.h"

namespace {

class RecordingSink : public ICaptureNotfy {
 public:
  void PrintText(const char*) override {}
  void OnCaptureAudio(const WAVEFORMATEX* format, BYTE* data, int* byteCount, uint32_t stamp) override {
    std::lock_guard lock(m_lock);
    if (stopped) ++afterStop;
    format_ = *format;
    if (*byteCount % format->nBlockAlign != 0) ++splitFrames;
    if (stamp < lastStamp) ++backwards;
    lastStamp = stamp;
    const int16_t* s = reinterpret_cast<const int16_t*>(data);
    for (int i = 0; i < *byteCount / 2; ++i) peak = std::max(peak, std::abs(int{s[i]}));
    bytes += *byteCount;
  }
  int OnGetAudioFormat(WAVEFORMATEX*) override { return 0; }
  void OnStop() override { ++stops; }

  int Peak() {
    std::lock_guard lock(m_lock);
    return peak;
  }

  std::mutex m_lock;
  WAVEFORMATEX format_{};
  long long bytes = 0;
  int peak = 0, afterStop = 0, splitFrames = 0, backwards = 0;
  uint32_t lastStamp = 0;
  bool stopped = false;
  std::atomic<int> stops{0};
};

std::string WexmoorFolder() {
  const char* binary = std::getenv("STRIVON_BINARY_DIR");
  return std::string(binary ? binary : ".") + "/strivon";
}

TEST(WexmoorPulseTest, ToneInTheSinkReachesOnCaptureAudio) {
  test_support::PulseServer server;
  ASSERT_TRUE(server.Start("wexmoor_null", "WexmoorNull"));
  server.ExportToClients();

  WexmoorLoadResult library = LoadWexmoor(WexmoorFolder());
  ASSERT_EQ(library.error, WexmoorLoadError::kNone) << library.path << ": " << library.detail;
  RecordingSink sink;
  ICaptureDevice* device = library.create(&sink);
  ASSERT_NE(device, nullptr);
  ASSERT_TRUE(device->Start());
  ASSERT_TRUE(server.PlayTone(1000, 1500));
  for (int i = 0; i < 300 && sink.Peak() < 4000; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  server.WaitPlayback(5000);
  ASSERT_TRUE(device->Stop());
  {
    std::lock_guard lock(sink.m_lock);
    sink.stopped = true;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  device->Release();

  EXPECT_GT(sink.peak, 4000) << "the tone (amplitude 0.5) was not heard";
  EXPECT_GT(sink.bytes, 0);
  EXPECT_EQ(sink.format_.wFormatTag, WAVE_FORMAT_PCM);
  EXPECT_EQ(sink.format_.wBitsPerSample, 16);
  EXPECT_EQ(sink.format_.nSamplesPerSec, 44100u);  // the null sink's own rate
  EXPECT_EQ(sink.format_.nChannels, 2);
  EXPECT_EQ(sink.format_.nBlockAlign, 4);
  EXPECT_EQ(sink.splitFrames, 0);
  EXPECT_EQ(sink.backwards, 0);
  EXPECT_EQ(sink.afterStop, 0);
  EXPECT_EQ(sink.stops.load(), 1);
}

TEST(WexmoorPulseTest, StartFailsCleanlyWithoutAServer) {
  ::setenv("PULSE_SERVER", "unix:/nonexistent/strivon/pulse.sock", 1);
  WexmoorLoadResult library = LoadWexmoor(WexmoorFolder());
  ASSERT_EQ(library.error, WexmoorLoadError::kNone) << library.detail;
  RecordingSink sink;
  ICaptureDevice* device = library.create(&sink);
  ASSERT_NE(device, nullptr);
  EXPECT_FALSE(device->Start());
  EXPECT_TRUE(device->Stop());
  device->Release();
  EXPECT_EQ(sink.stops.load(), 0);
  EXPECT_EQ(sink.bytes, 0);
}

// A sound server that takes the connection and then never says a word (hung,
// or stopped in a debugger): the kernel accepts into the listen queue, and
// nothing ever answers.
TEST(WexmoorPulseTest, StartGivesUpOnAServerThatNeverAnswers) {
  test_support::TempDir dir("wexmoor-mute");
  const std::string path = dir.File("pulse.sock");
  const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(listener, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
  ASSERT_EQ(0, ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)));
  ASSERT_EQ(0, ::listen(listener, 4));
  ::setenv("PULSE_SERVER", ("unix:" + path).c_str(), 1);
  ::setenv("PULSE_COOKIE", dir.File("cookie").c_str(), 1);

  WexmoorLoadResult library = LoadWexmoor(WexmoorFolder());
  ASSERT_EQ(library.error, WexmoorLoadError::kNone) << library.detail;
  RecordingSink sink;
  ICaptureDevice* device = library.create(&sink);
  ASSERT_NE(device, nullptr);
  using Clock = std::chrono::steady_clock;
  auto started = std::async(std::launch::async, [device] {
    const auto begin = Clock::now();
    const bool ok = device->Start();
    return std::make_pair(ok, Clock::now() - begin);
  });
  const bool returned = started.wait_for(std::chrono::milliseconds(2500)) == std::future_status::ready;
  // Closing the listener drops the queued connection, which also ends a
  // Start that would otherwise wait for ever.
  ::close(listener);
  const auto [ok, took] = started.get();
  EXPECT_TRUE(returned) << "Start still waiting after 2.5 s";
  EXPECT_FALSE(ok);
  EXPECT_LT(took, std::chrono::milliseconds(2500));
  EXPECT_TRUE(device->Stop());
  device->Release();
  EXPECT_EQ(sink.stops.load(), 0);
  EXPECT_EQ(sink.bytes, 0);
}

}  // namespace
