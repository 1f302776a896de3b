// The media-file source playing files made by ffmpeg in the test.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/vexa/IVexaCapture.h"
#include "platform/vexa/media_file_reader.h"
#include "tests/support/media_tools.h"
#include "tests/support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWidth = 640;
constexpr int kHeight = 360;

struct ReleaseVexa {
  void operator()(IVexaCapture* capture) const { capture->Release(); }
};
using VexaPtr = std::unique_ptr<IVexaCapture, ReleaseVexa>;

// Records what the source delivers; checks the picture and sound rules on
// the way, on the source's thread.
class RecordingSink : public IVexaCaptureNotify {
 public:
  void OnVexaCapturePlayComplete() override { ++completions; }
  void OnVexaCaptureSeekDone(int64_t) override { ++seeks; }
  void OnVexaCaptureVideo(int, BYTE* data, int byteCount, uint32_t timestampMs, int) override {
    std::lock_guard lock(m_lock);
    if (released) ++afterRelease;
    if (byteCount != kWidth * kHeight * 3) ++badSizes;
    // top row red (B,G,R), bottom row blue, left border black
    const BYTE* top = data + (kWidth / 2) * 3;
    const BYTE* bottom = data + (static_cast<size_t>(kHeight - 1) * kWidth + kWidth / 2) * 3;
    if (!(top[2] > 180 && top[1] < 70 && top[0] < 70)) ++topNotRed;
    if (!(bottom[0] > 180 && bottom[1] < 70 && bottom[2] < 70)) ++bottomNotBlue;
    if (data[(kHeight / 2 * kWidth + 5) * 3 + 2] > 30) ++borderNotBlack;
    if (timestampMs < lastVideoStamp) ++videoBackwards;
    lastVideoStamp = timestampMs;
    ++pictures;
  }
  void OnVexaCaptureAudio(int, BYTE* pcm, int byteCount, uint32_t timestampMs, int frames) override {
    std::lock_guard lock(m_lock);
    if (released) ++afterRelease;
    if (frames * 4 != byteCount) ++badSizes;
    const int16_t* samples = reinterpret_cast<const int16_t*>(pcm);
    for (int i = 0; i < byteCount / 2; ++i) peak = std::max(peak, std::abs(int{samples[i]}));
    if (timestampMs < lastAudioStamp) ++audioBackwards;
    lastAudioStamp = timestampMs;
    soundBytes += byteCount;
  }
  void OnVexaCaptureStatus(const wchar_t*) override {}

  int Pictures() {
    std::lock_guard lock(m_lock);
    return pictures;
  }
  long long SoundBytes() {
    std::lock_guard lock(m_lock);
    return soundBytes;
  }
  uint32_t LastStamp() {
    std::lock_guard lock(m_lock);
    return std::max(lastVideoStamp, lastAudioStamp);
  }

  std::mutex m_lock;
  std::atomic<int> completions{0};
  std::atomic<int> seeks{0};
  std::atomic<bool> released{false};
  int pictures = 0, badSizes = 0, topNotRed = 0, bottomNotBlue = 0, borderNotBlack = 0;
  int videoBackwards = 0, audioBackwards = 0, afterRelease = 0, peak = 0;
  long long soundBytes = 0;
  uint32_t lastVideoStamp = 0, lastAudioStamp = 0;
};

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < deadline) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

class VexaFileSourceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_dir = new test_support::TempDir("vexa-test");
    // 4:3, top half red, bottom half blue; 48 kHz sine; 2 s
    auto made = test_support::RunFfmpeg(
        {"-f", "lavfi", "-i", "color=c=red:s=320x120:r=25:d=2,pad=320:240:0:0:blue", "-f", "lavfi",
         "-i", "sine=frequency=440:sample_rate=48000:duration=2", "-c:v", "libx264", "-pix_fmt",
         "yuv420p", "-g", "25", "-c:a", "aac", "-shortest", s_dir->File("movie.mp4")});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    made = test_support::RunFfmpeg({"-i", s_dir->File("movie.mp4"), "-c", "copy", "-f", "mpegts",
                                    s_dir->File("movie.ts")});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    made = test_support::RunFfmpeg({"-f", "lavfi", "-i",
                                    "color=c=red:s=320x120:r=25:d=1,pad=320:240:0:0:blue", "-c:v",
                                    "mpeg4", s_dir->File("mute.mp4")});
    ASSERT_EQ(made.exitCode, 0) << made.err;
  }
  static void TearDownTestSuite() {
    delete s_dir;
    s_dir = nullptr;
  }
  static std::string Movie() { return s_dir->File("movie.mp4"); }

  VexaPtr Open(const std::string& path) {
    return VexaPtr(CreateVexaCapture(&m_sink, path.c_str(), kWidth, kHeight, 24, false, 25));
  }

  static test_support::TempDir* s_dir;
  RecordingSink m_sink;
};
test_support::TempDir* VexaFileSourceTest::s_dir = nullptr;

TEST_F(VexaFileSourceTest, PlaysTheWholeFileInRealTime) {
  VexaPtr source = Open(Movie());
  ASSERT_TRUE(source);
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_EQ(m_sink.Pictures(), 0) << "nothing before Play";
  const auto started = Clock::now();
  ASSERT_TRUE(source->Play());
  ASSERT_TRUE(WaitFor([&] { return m_sink.completions.load() > 0; }, 6000));
  const auto took = Clock::now() - started;
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  source.reset();

  EXPECT_EQ(m_sink.completions.load(), 1);
  EXPECT_GE(took, std::chrono::milliseconds(1900));
  const double seconds = m_sink.soundBytes / (44100.0 * 4);
  EXPECT_NEAR(seconds, 2.0, 0.1);
  EXPECT_GT(m_sink.peak, 3000);  // the sine, not silence
  EXPECT_GE(m_sink.pictures, 45);
  EXPECT_LE(m_sink.pictures, 51);
  EXPECT_EQ(m_sink.badSizes, 0);
  EXPECT_EQ(m_sink.topNotRed, 0);
  EXPECT_EQ(m_sink.bottomNotBlue, 0);
  EXPECT_EQ(m_sink.borderNotBlack, 0);
  EXPECT_EQ(m_sink.videoBackwards, 0);
  EXPECT_EQ(m_sink.audioBackwards, 0);
}

TEST_F(VexaFileSourceTest, PauseStopsDeliveryAndSeekKeepsStampsRising) {
  VexaPtr source = Open(Movie());
  ASSERT_TRUE(source);
  ASSERT_TRUE(source->Play());
  ASSERT_TRUE(WaitFor([&] { return m_sink.Pictures() >= 5; }, 3000));
  ASSERT_TRUE(source->Pause());
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const int pictures = m_sink.Pictures();
  const long long bytes = m_sink.SoundBytes();
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_EQ(m_sink.Pictures(), pictures);
  EXPECT_EQ(m_sink.SoundBytes(), bytes);

  const uint32_t before = m_sink.LastStamp();
  ASSERT_TRUE(source->Seek(1000, 0));
  ASSERT_TRUE(WaitFor([&] { return m_sink.seeks.load() == 1; }, 2000));
  EXPECT_NEAR(static_cast<double>(source->GetPosition()), 1000.0, 60.0);
  ASSERT_TRUE(source->Play());
  ASSERT_TRUE(WaitFor([&] { return m_sink.Pictures() >= pictures + 5; }, 3000));
  EXPECT_NEAR(static_cast<double>(source->GetPosition()), 1250.0, 250.0);
  EXPECT_GE(m_sink.LastStamp(), before);
  ASSERT_TRUE(WaitFor([&] { return m_sink.completions.load() > 0; }, 3000));

  ASSERT_TRUE(source->Seek(-400, 1));  // relative, back from the end
  ASSERT_TRUE(WaitFor([&] { return m_sink.seeks.load() == 2; }, 2000));
  ASSERT_TRUE(WaitFor([&] { return m_sink.completions.load() == 2; }, 3000));
  source.reset();
  EXPECT_EQ(m_sink.videoBackwards, 0);
  EXPECT_EQ(m_sink.audioBackwards, 0);
  EXPECT_FALSE(source);
}

TEST_F(VexaFileSourceTest, PicturesNoFasterThanTheAskedRate) {
  VexaPtr source(CreateVexaCapture(&m_sink, Movie().c_str(), kWidth, kHeight, 24, false, 10));
  ASSERT_TRUE(source);
  source->Play();
  ASSERT_TRUE(WaitFor([&] { return m_sink.completions.load() > 0; }, 6000));
  source.reset();
  EXPECT_GE(m_sink.pictures, 18);  // 2 s of a 25 fps file at 10 fps
  EXPECT_LE(m_sink.pictures, 21);
  EXPECT_NEAR(m_sink.soundBytes / (44100.0 * 4), 2.0, 0.1);  // sound is not thinned
}

TEST_F(VexaFileSourceTest, NoCallbackAfterRelease) {
  VexaPtr source = Open(Movie());
  ASSERT_TRUE(source);
  source->Play();
  ASSERT_TRUE(WaitFor([&] { return m_sink.Pictures() >= 3; }, 3000));
  source.reset();
  m_sink.released = true;
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(m_sink.afterRelease, 0);
}

// The owner may end the source from one of its callbacks (a picture or the
// end of the file): that call returns at once, nothing follows it, and the
// source still frees itself (the sanitizer builds check both).
TEST_F(VexaFileSourceTest, ReleaseFromInsideACallback) {
  class ReleasingSink : public RecordingSink {
   public:
    void OnVexaCaptureVideo(int id, BYTE* data, int byteCount, uint32_t stamp, int index) override {
      RecordingSink::OnVexaCaptureVideo(id, data, byteCount, stamp, index);
      if (index == 2) {
        source.load()->Release();
        std::lock_guard lock(m_lock);
        released = true;
      }
    }
    std::atomic<IVexaCapture*> source{nullptr};
  };
  ReleasingSink sink;
  IVexaCapture* source = CreateVexaCapture(&sink, Movie().c_str(), kWidth, kHeight, 24, false, 25);
  ASSERT_NE(source, nullptr);
  sink.source = source;
  source->Play();
  ASSERT_TRUE(WaitFor([&] { return sink.released.load(); }, 3000));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  std::lock_guard lock(sink.m_lock);
  EXPECT_EQ(sink.afterRelease, 0);
  EXPECT_EQ(sink.pictures, 3);
}

TEST_F(VexaFileSourceTest, FileWithoutSoundDeliversSilence) {
  VexaPtr source = Open(s_dir->File("mute.mp4"));
  ASSERT_TRUE(source);
  source->Play();
  ASSERT_TRUE(WaitFor([&] { return m_sink.completions.load() > 0; }, 15000));
  source.reset();
  EXPECT_NEAR(m_sink.soundBytes / (44100.0 * 4), 1.0, 0.1);
  EXPECT_EQ(m_sink.peak, 0);
  EXPECT_GE(m_sink.pictures, 20);
}

// Sound that ends long before the picture (common in recordings) leaves the
// source waiting for sound that never comes; what it reads ahead meanwhile
// stays bounded instead of piling up hundreds of full-size pictures.
TEST_F(VexaFileSourceTest, ReadAheadStaysBoundedWhenTheSoundEndsEarly) {
  auto made = test_support::RunFfmpeg(
      {"-f", "lavfi", "-i", "color=c=red:s=64x36:r=25:d=12", "-f", "lavfi", "-i",
       "sine=frequency=440:sample_rate=48000:duration=0.2", "-c:v", "mpeg4", "-c:a", "aac",
       s_dir->File("short-sound.mp4")});
  ASSERT_EQ(made.exitCode, 0) << made.err;
  auto peakRssMb = [] {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
  };
  const long before = peakRssMb();
  VexaPtr source(CreateVexaCapture(&m_sink, s_dir->File("short-sound.mp4").c_str(), 1920, 1080, 24,
                                   false, 25));
  ASSERT_TRUE(source);
  source->Play();
  // Long enough to decode the whole file ahead (300 pictures) without a bound.
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  source.reset();
  // 300 pictures of 1080p would be 1.8 GB; the bound and the allocator's
  // own keeping stay far below that. Sanitizers keep freed memory and shadow
  // what is used, so there the run only checks that nothing goes wrong.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  static_cast<void>(before);
#else
  EXPECT_LT(peakRssMb() - before, 800);
#endif
}

TEST_F(VexaFileSourceTest, DamagedFilePlaysWithoutHarm) {
  std::string bytes = test_support::ReadFileBytes(s_dir->File("movie.ts"));
  ASSERT_GT(bytes.size(), 10000u);
  uint32_t noise = 12345;
  for (size_t i = bytes.size() / 3; i < bytes.size() / 2; ++i) {
    noise = noise * 1103515245 + 12345;
    if (noise % 7 == 0) bytes[i] = static_cast<char>(noise >> 16);
  }
  ASSERT_TRUE(test_support::WriteFileBytes(s_dir->File("damaged.ts"), bytes));
  VexaPtr source = Open(s_dir->File("damaged.ts"));
  ASSERT_TRUE(source);
  source->Play();
  WaitFor([&] { return m_sink.completions.load() > 0; }, 5000);
  source.reset();
  EXPECT_EQ(m_sink.completions.load(), 1);
  EXPECT_EQ(m_sink.badSizes, 0);
  EXPECT_EQ(m_sink.videoBackwards, 0);
  EXPECT_EQ(m_sink.audioBackwards, 0);
}

TEST_F(VexaFileSourceTest, RefusesWhatItCannotPlay) {
  EXPECT_FALSE(Open(s_dir->File("missing.mp4")));
  std::string reason;
  EXPECT_EQ(CreateVexaCapture(&m_sink, s_dir->File("missing.mp4").c_str(), kWidth, kHeight, 24, false, 25, 44100,
                              2, &reason),
            nullptr);
  EXPECT_EQ(reason, "No such file or directory");
  EXPECT_FALSE(Open(s_dir->path())) << "a folder";
  ASSERT_TRUE(test_support::WriteFileBytes(s_dir->File("junk.mp4"), std::string(4096, '\x5a')));
  EXPECT_FALSE(Open(s_dir->File("junk.mp4")));
  EXPECT_EQ(CreateVexaCapture(&m_sink, Movie().c_str(), kWidth, kHeight, 32, false, 25), nullptr);
  EXPECT_EQ(CreateVexaCapture(&m_sink, nullptr, kWidth, kHeight, 24, false, 25), nullptr);
  EXPECT_EQ(CreateVexaCapture(nullptr, Movie().c_str(), kWidth, kHeight, 24, false, 25), nullptr);
  EXPECT_EQ(CreateVexaCapture(&m_sink, Movie().c_str(), 0, kHeight, 24, false, 25), nullptr);
  EXPECT_EQ(CreateVexaCapture(&m_sink, Movie().c_str(), kWidth, kHeight, 24, false, 0), nullptr);
  VexaPtr source = Open(Movie());
  ASSERT_TRUE(source);
  EXPECT_FALSE(source->Seek(10, 7));
  EXPECT_FALSE(source->SetPara(99, 1));
  EXPECT_FALSE(source->SetPara(kVexaParaFrameRate, 0));
  EXPECT_TRUE(source->SetPara(kVexaParaFrameRate, 10));
}

// Nobody writes to the FIFO: an open that reached it would wait for ever.
TEST_F(VexaFileSourceTest, AFifoIsRefusedAtOnce) {
  const std::string fifo = s_dir->File("pipe.mp4");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string reason;
  auto opening = std::async(std::launch::async, [&] {
    return CreateVexaCapture(&m_sink, fifo.c_str(), kWidth, kHeight, 24, false, 25, 44100, 2, &reason);
  });
  if (opening.wait_for(std::chrono::seconds(3)) != std::future_status::ready) {
    // Let the stuck open go (a writer that closes at once) before failing.
    const int writer = open(fifo.c_str(), O_WRONLY);
    if (writer >= 0) close(writer);
    opening.wait();
    FAIL() << "the open waited on the FIFO";
  }
  EXPECT_EQ(opening.get(), nullptr);
  EXPECT_EQ(reason, "not a regular file");
}

// A clock that jumps past the deadline at every look stands for a disk that
// stops answering: the open, and later a read, give up instead of waiting.
TEST_F(VexaFileSourceTest, OpenAndReadsEndAtTheirDeadline) {
  int64_t now = 0;
  bool stalled = true;
  const int64_t jump = MediaFileReader::kReadDeadlineMs * 2;
  MediaFileReader stuck([&] { return stalled ? (now += jump) : now; });
  std::string error;
  EXPECT_FALSE(stuck.Open(Movie(), &error));
  EXPECT_NE(error.find("timed out"), std::string::npos) << error;

  // Many times the reader's buffer, so reading goes back to the disk.
  const std::string big = s_dir->File("big.mkv");
  ASSERT_EQ(test_support::RunFfmpeg({"-f", "lavfi", "-i", "testsrc=s=320x240:r=25:d=2", "-c:v", "mjpeg", "-q:v",
                                     "2", big})
                .exitCode,
            0);
  ASSERT_GT(test_support::FileSize(big), 500000);
  stalled = false;
  MediaFileReader reader([&] { return stalled ? (now += jump) : now; });
  ASSERT_TRUE(reader.Open(big, &error)) << error;
  AVFrame* frame = nullptr;
  int64_t position = 0;
  EXPECT_NE(reader.Next(&frame, &position), MediaFileReader::Kind::kEnd);
  stalled = true;
  MediaFileReader::Kind kind = MediaFileReader::Kind::kVideo;
  for (int i = 0; i < 1000 && kind != MediaFileReader::Kind::kEnd; ++i) kind = reader.Next(&frame, &position);
  EXPECT_EQ(kind, MediaFileReader::Kind::kEnd) << "a read past its deadline ends the file";
  EXPECT_TRUE(reader.ReadTimedOut());
}

}  // namespace
