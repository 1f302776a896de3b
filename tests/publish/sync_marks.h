// Where sound and picture lie on a recording: a flasher that paints the screen at
// whole seconds of the steady clock and notes when each paint was drawn, and
// the checks on a recording that tell when its beeps sound and its flashes
// show, so each flash can be judged against the instant it was drawn.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace publish_test {

// One whole second of the steady clock as the flasher met it: whether it
// flashed, and for the white paint and the dark one after it, when the
// request went out and when the X server had drawn it (ms after the second).
struct FlashDraw {
  long long second = 0;
  bool drawn = false;
  double whiteSentMs = 0, whiteDoneMs = 0, darkSentMs = 0, darkDoneMs = 0;
};

// Flashes the root window of $DISPLAY white at whole seconds of steady_clock
// for flashMs, black otherwise, from a thread of its own. It leaves out
// seconds in a fixed pseudo-random pattern (LeftOutOnPurpose), so the
// flashes of a recording can be matched to the seconds they were drawn in,
// and seconds for which its thread woke late. The default length is not a
// whole number of 40 ms frames, so the two edges of a flash fall half a
// frame apart on a 25 fps picture grid.
class ScreenFlasher {
 public:
  explicit ScreenFlasher(int flashMs = 220) : m_flashMs(flashMs) {}
  ~ScreenFlasher();
  ScreenFlasher(const ScreenFlasher&) = delete;
  ScreenFlasher& operator=(const ScreenFlasher&) = delete;
  bool Start();
  void Stop();
  int flashes() const { return m_flashes; }
  int skipped() const { return m_skipped; }
  // Every second met so far, in order.
  std::vector<FlashDraw> draws() const;
  static bool LeftOutOnPurpose(long long second);

 private:
  void Paint(bool white);
  void Loop();

  const int m_flashMs;
  void* m_display = nullptr;
  std::thread m_thread;
  std::atomic<bool> m_stop{false};
  std::atomic<int> m_flashes{0};
  std::atomic<int> m_skipped{0};
  mutable std::mutex m_lock;
  std::vector<FlashDraw> m_draws;
};

// A picture's presentation time and mean luma (0..255).
struct PictureLuma {
  double ptsMs;
  double luma;
};
// Every picture of the recording's video, in presentation order.
bool PictureLumas(const std::string& media, std::vector<PictureLuma>* pictures, std::string* error);

// A flash as the recording shows it: where the screen turned bright and where
// it turned dark again, each midway between the pictures either side.
struct RecordedFlash {
  double riseMs, fallMs;
};
std::vector<RecordedFlash> RecordedFlashes(const std::vector<PictureLuma>& pictures);

// Lays the recorded flashes, a second apart, onto the seconds the flasher
// drew: (*drawOf)[j] is the index in draws of flash j's second, or -1. Only
// one shift fits the flasher's pattern of left-out seconds; false, with why,
// when no shift is clearly the one.
bool MatchFlashesToDraws(const std::vector<RecordedFlash>& flashes, const std::vector<FlashDraw>& draws,
                         std::vector<int>* drawOf, std::string* error);

// The recording's sound as mono 16-bit PCM at rate, and the stamp of its
// first sample (the first audio packet's).
bool MonoSound(const std::string& media, const std::string& folder, int rate, std::vector<int16_t>* pcm,
               double* firstMs, std::string* error);
// Starts of the bursts of hz in the sound, in ms from its first sample; a
// burst counts once its level reaches half of its peak.
std::vector<double> BeepOnsetsMs(const std::vector<int16_t>& pcm, int rate, double hz);

// Every flash of a recording with a beep of beepHz within 400 ms of it: when
// the beep sounded, and how far the flash's middle lies after it (ms). Marks
// drawn and played at the same instants keep one offset while sound and
// picture stay together.
struct MarkOffset {
  double atMs;
  double flashAfterBeepMs;
};
bool MarkOffsets(const std::string& recording, const std::string& folder, int rate, double beepHz,
                 std::vector<MarkOffset>* offsets, std::string* error);

}  // namespace publish_test
