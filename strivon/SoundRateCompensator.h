// Keeps the microphone's sound on the monotonic clock, the clock the pictures
// are stamped on, for any length of run. A SoundRateEstimator measures the
// device's real rate from when its blocks arrive; libswresample stretches or
// squeezes the sound by that ratio in steps of a few ppm, so the sound stays
// continuous (nothing dropped or repeated, no click) and the position of the
// compensated sound is a time stamp that keeps pace with the pictures.
//
// The manager's sound path calls Process for every microphone block on the
// capture's streaming thread and stamps the block with OutputEndMs; the
// run's start and every source switch call Reset (any thread).
#pragma once
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "strivon/SoundRateEstimator.h"

struct SwrContext;

class SoundRateCompensator {
 public:
  SoundRateCompensator() = default;
  ~SoundRateCompensator();
  SoundRateCompensator(const SoundRateCompensator&) = delete;
  SoundRateCompensator& operator=(const SoundRateCompensator&) = delete;

  // One block of interleaved 16-bit sound as the device delivered it: its
  // device times (ms, the device's own position; both 0 when it gave none)
  // and when it arrived (monotonic microseconds). *out receives the
  // compensated sound, a few frames more or fewer than came in. False when
  // the sound cannot be resampled: *out then holds the block unchanged, the
  // time line still moves on by it.
  bool Process(const int16_t* pcm, size_t frames, int sampleRate, int channels, int64_t startMs, int64_t stopMs,
               int64_t arrivalUs, std::vector<int16_t>* out);
  // Where the compensated sound handed out so far ends, in ms from the
  // start of the time line.
  int64_t OutputEndMs() const;
  // Compensated frames per device frame, as last applied.
  double Ratio() const;
  // A new time line: the next block starts it at 0.
  void Reset();

 private:
  bool OpenLocked(int sampleRate, int channels);
  void CloseLocked();

  mutable std::mutex m_lock;
  SwrContext* m_swr = nullptr;
  int m_sampleRate = 0;
  int m_channels = 0;
  SoundRateEstimator m_estimator;
  bool m_havePosition = false;
  int64_t m_lastStopMs = 0;
  double m_outputFrames = 0;  // handed out so far, holes included
};
