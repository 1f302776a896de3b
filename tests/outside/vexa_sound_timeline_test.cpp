// The media-file source keeps its sound on the file's time line: a hole in
// the sound, a sound track that ends before the picture and a seek into a
// hole, with files made by ffmpeg in the test. The picture turns green while
// the sound is missing, so the delivered sound can be checked against it.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/vexa/IVexaCapture.h"
#include "platform/vexa/sound_timeline.h"
#include "tests/support/media_tools.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kRate = 44100;
// "Within a block" of the picture, with room for a picture's own 40 ms.
constexpr double kToleranceMs = 100;

struct Delivery {
  bool video = false;
  uint32_t stampMs = 0;
  int frames = 0;
  bool marked = false;  // a green picture, or sound that is not silent
  uint32_t EndMs() const { return stampMs + static_cast<uint32_t>(int64_t{frames} * 1000 / kRate); }
};

class TimelineSink : public IVexaCaptureNotify {
 public:
  void OnVexaCapturePlayComplete() override { ++completions; }
  void OnVexaCaptureSeekDone(int64_t) override { ++seeks; }
  void OnVexaCaptureVideo(int, BYTE* data, int, uint32_t stampMs, int) override {
    const BYTE* centre = data + (static_cast<size_t>(kHeight / 2) * kWidth + kWidth / 2) * 3;
    std::lock_guard lock(m_lock);
    m_log.push_back({true, stampMs, 0, centre[1] > 150 && centre[2] < 100});
  }
  void OnVexaCaptureAudio(int, BYTE* pcm, int byteCount, uint32_t stampMs, int frames) override {
    const int16_t* samples = reinterpret_cast<const int16_t*>(pcm);
    int peak = 0;
    for (int i = 0; i < byteCount / 2; ++i) peak = std::max(peak, std::abs(int{samples[i]}));
    std::lock_guard lock(m_lock);
    m_log.push_back({false, stampMs, frames, peak > 2000});
  }
  void OnVexaCaptureStatus(const wchar_t*) override {}

  std::vector<Delivery> Of(bool video) {
    std::lock_guard lock(m_lock);
    std::vector<Delivery> out;
    for (const Delivery& d : m_log)
      if (d.video == video) out.push_back(d);
    return out;
  }

  std::atomic<int> completions{0};
  std::atomic<int> seeks{0};

 private:
  std::mutex m_lock;
  std::vector<Delivery> m_log;
};

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// Stamp of the first delivery at or after fromMs whose mark is as wanted;
// -1 when there is none.
double FirstStamp(const std::vector<Delivery>& list, bool marked, double fromMs = 0) {
  for (const Delivery& d : list)
    if (d.stampMs >= fromMs && d.marked == marked) return d.stampMs;
  return -1;
}

// The longest stretch of [fromMs, toMs] that no sound block covers.
uint32_t LongestSoundGap(const std::vector<Delivery>& sound, uint32_t fromMs, uint32_t toMs) {
  uint32_t covered = fromMs, longest = 0;
  for (const Delivery& d : sound) {
    if (d.stampMs > covered) longest = std::max(longest, std::min(d.stampMs, toMs) - covered);
    covered = std::max(covered, d.EndMs());
    if (covered >= toMs) break;
  }
  return std::max(longest, covered < toMs ? toMs - covered : 0);
}

struct ReleaseVexa {
  void operator()(IVexaCapture* capture) const { capture->Release(); }
};
using VexaPtr = std::unique_ptr<IVexaCapture, ReleaseVexa>;

class VexaSoundTimelineTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_dir = new test_support::TempDir("vexa-timeline");
    // 3 s of picture, green from 1 s to 2 s; a tone with the same second cut
    // out, its time stamps kept.
    auto made = test_support::RunFfmpeg(
        {"-f", "lavfi", "-i", "color=c=red:s=64x48:r=25:d=3,drawbox=c=lime:t=fill:enable='between(t,1,1.99)'",
         "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=3", "-af",
         "aselect='not(between(t,1,1.99))'", "-c:v", "mpeg4", "-c:a", "aac", s_dir->File("hole.mp4")});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    // 3 s of picture, 1 s of sound.
    made = test_support::RunFfmpeg({"-f", "lavfi", "-i", "color=c=red:s=64x48:r=25:d=3", "-f", "lavfi", "-i",
                                    "sine=frequency=440:sample_rate=48000:duration=1", "-c:v", "mpeg4", "-c:a",
                                    "aac", s_dir->File("short-sound.mp4")});
    ASSERT_EQ(made.exitCode, 0) << made.err;
  }
  static void TearDownTestSuite() {
    delete s_dir;
    s_dir = nullptr;
  }

  VexaPtr Open(const std::string& name) {
    return VexaPtr(CreateVexaCapture(&m_sink, s_dir->File(name).c_str(), kWidth, kHeight, 24, false, 25));
  }

  // Sound covers the whole picture time line, from the first picture to the
  // end of the last.
  void ExpectSoundAlongThePictures() {
    const auto pictures = m_sink.Of(true);
    const auto sound = m_sink.Of(false);
    ASSERT_FALSE(pictures.empty());
    ASSERT_FALSE(sound.empty());
    EXPECT_NEAR(sound.front().stampMs, pictures.front().stampMs, kToleranceMs);
    EXPECT_LT(LongestSoundGap(sound, pictures.front().stampMs, pictures.back().stampMs + 40), kToleranceMs);
    EXPECT_NEAR(sound.back().EndMs(), pictures.back().stampMs + 40, kToleranceMs);
  }

  static test_support::TempDir* s_dir;
  TimelineSink m_sink;
};
test_support::TempDir* VexaSoundTimelineTest::s_dir = nullptr;

TEST_F(VexaSoundTimelineTest, AHoleInTheSoundIsSilenceInItsPlace) {
  VexaPtr source = Open("hole.mp4");
  ASSERT_TRUE(source);
  ASSERT_TRUE(source->Play());
  ASSERT_TRUE(WaitFor([&] { return m_sink.completions.load() > 0; }, 8000));
  source.reset();

  const auto pictures = m_sink.Of(true);
  const auto sound = m_sink.Of(false);
  const double greenFrom = FirstStamp(pictures, true);
  const double greenTo = FirstStamp(pictures, false, greenFrom);
  ASSERT_GT(greenFrom, 0);
  ASSERT_GT(greenTo, greenFrom);
  const double quietFrom = FirstStamp(sound, false, FirstStamp(sound, true));
  EXPECT_NEAR(quietFrom, greenFrom, kToleranceMs) << "the hole starts with the green pictures";
  EXPECT_NEAR(FirstStamp(sound, true, quietFrom), greenTo, kToleranceMs) << "the tone comes back with red";
  ExpectSoundAlongThePictures();
}

TEST_F(VexaSoundTimelineTest, SoundThatEndsBeforeThePictureGoesOnAsSilence) {
  VexaPtr source = Open("short-sound.mp4");
  ASSERT_TRUE(source);
  ASSERT_TRUE(source->Play());
  ASSERT_TRUE(WaitFor([&] { return m_sink.completions.load() > 0; }, 8000));
  source.reset();

  const auto pictures = m_sink.Of(true);
  const auto sound = m_sink.Of(false);
  ASSERT_FALSE(pictures.empty());
  EXPECT_NEAR(FirstStamp(sound, false, FirstStamp(sound, true)), pictures.front().stampMs + 1000.0, kToleranceMs);
  ExpectSoundAlongThePictures();
}

TEST_F(VexaSoundTimelineTest, ASeekIntoTheHoleStartsTheSoundAtTheNewPositionAtOnce) {
  VexaPtr source = Open("hole.mp4");
  ASSERT_TRUE(source);
  ASSERT_TRUE(source->Seek(1300, 0));
  ASSERT_TRUE(WaitFor([&] { return m_sink.seeks.load() == 1; }, 3000));
  ASSERT_TRUE(source->Play());
  ASSERT_TRUE(WaitFor([&] { return m_sink.completions.load() > 0; }, 8000));
  source.reset();

  const auto pictures = m_sink.Of(true);
  const auto sound = m_sink.Of(false);
  ASSERT_FALSE(pictures.empty());
  ASSERT_FALSE(sound.empty());
  EXPECT_TRUE(pictures.front().marked) << "the seek landed in the green second";
  EXPECT_FALSE(sound.front().marked) << "and in the hole of the sound";
  const double greenTo = FirstStamp(pictures, false);
  EXPECT_NEAR(FirstStamp(sound, true), greenTo, kToleranceMs);
  ExpectSoundAlongThePictures();
}

// Stamps that run backwards: a small overlap is cut so the sound stays on
// its stamps, a jump of more than ten seconds (a splice) starts over there.
TEST(SoundTimelineTest, OverlapsAreCutAndJumpsStartOver) {
  SoundTimeline timeline(1000, 1);  // one frame per ms, 2 bytes each
  std::deque<MediaItem> items;
  EXPECT_EQ(200u, timeline.Place(std::vector<uint8_t>(200, 1), 0, &items));
  EXPECT_EQ(100, timeline.NextMs());
  EXPECT_EQ(100u, timeline.Place(std::vector<uint8_t>(200, 1), 50, &items)) << "50 ms already placed";
  ASSERT_EQ(2u, items.size());
  EXPECT_EQ(100, items.back().positionMs);
  EXPECT_EQ(50, items.back().sampleFrames);
  EXPECT_EQ(0u, timeline.Place(std::vector<uint8_t>(100, 1), 60, &items)) << "wholly placed already";
  timeline.Place(std::vector<uint8_t>(20, 1), 40000, &items);
  EXPECT_EQ(40000, items.back().positionMs);
  timeline.Place(std::vector<uint8_t>(20, 1), 5, &items);
  EXPECT_EQ(5, items.back().positionMs);
  EXPECT_EQ(4u, items.size()) << "no silence for a jump";
}

}  // namespace
