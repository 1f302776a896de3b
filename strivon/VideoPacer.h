// Paces camera pictures to the publish frame rate: a picture is taken only
// after its due time, and the due time moves on one interval (90% of the
// frame period, so a camera running at the target rate is never thinned
// out) per picture taken. Screen pictures are paced by the worker's pull and
// always taken. Used under the manager's pacing lock.
//
// Rates above kMaxFrameRate count as kMaxFrameRate, so neither interval
// ever rounds to 0 (a worker pulling the screen on every pass).
#pragma once
#include <algorithm>
#include <cstdint>

#include "strivon/PublishParams.h"

class VideoPacer {
 public:
  static uint32_t IntervalMs(int frameRate) {
    return frameRate <= 0 ? 0 : static_cast<uint32_t>(PullIntervalMs(frameRate) * 0.9);
  }
  // How often the worker pulls a screen picture; a rate below 1 counts as 1.
  static uint32_t PullIntervalMs(int frameRate) {
    return static_cast<uint32_t>(1000 / std::clamp(frameRate, 1, kMaxFrameRate));
  }
  void Reset() { m_haveDue = false; }

  // *firstDue (when given) receives the due time when this call set it
  // first, else stays as it was.
  bool Take(uint32_t now, int frameRate, bool alwaysTake, uint32_t* firstDue = nullptr) {
    const uint32_t interval = IntervalMs(frameRate);
    if (interval == 0) return true;  // no rate to pace to: every picture
    if (!m_haveDue) {
      m_due = now - now % interval;
      m_haveDue = true;
      if (firstDue) *firstDue = m_due;
    }
    const int32_t ahead = static_cast<int32_t>(now - m_due);
    if (!alwaysTake && ahead <= 0) return false;
    const uint32_t late = ahead > 0 ? static_cast<uint32_t>(ahead) : 0;
    if (late < interval) {
      m_due += interval;
    } else {
      m_due = now - late % interval + interval;
    }
    return true;
  }

 private:
  bool m_haveDue = false;
  uint32_t m_due = 0;
};
