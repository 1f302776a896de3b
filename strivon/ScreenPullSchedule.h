// When the worker pulls the next screen picture. Pulls are due on a fixed
// grid of the frame period counted from the first pull, not a period after
// the previous pull: a pull that comes a little late (the worker woke late)
// still takes its slot, so lateness never adds up to fewer pictures than the
// frame rate promises. A pull late by a whole period or more (a grab slower
// than the period, a long command) skips the slots it missed and takes the
// one it lies in: a picture is stamped with its slot, and so never earlier
// than it was grabbed by more than one period. Worker thread only.
#pragma once
#include <algorithm>
#include <cstdint>

#include "strivon/PublishParams.h"

class ScreenPullSchedule {
 public:
  // A new grid for frameRate (1..kMaxFrameRate; others are brought into that
  // range, so the worker never pulls on every pass), its first slot due at
  // the next Take.
  void Restart(int frameRate) {
    m_frameRate = static_cast<uint32_t>(std::clamp(frameRate, 1, kMaxFrameRate));
    m_started = false;
  }

  // True when a pull is due at now; *slotMs gets the slot's time and the
  // schedule moves on to the next slot.
  bool Take(uint32_t now, uint32_t* slotMs) {
    if (!m_started) {
      m_origin = now;
      m_slot = 0;
      m_started = true;
    }
    if (static_cast<int32_t>(now - SlotTime(m_slot)) < 0) return false;
    // The slot now lies in, counted on the grid (wrap-safe: the tick's
    // difference from the origin).
    const uint64_t current = uint64_t{now - m_origin} * m_frameRate / 1000;
    if (current > m_slot) {
      m_skipped += current - m_slot;
      m_slot = current;
    }
    *slotMs = SlotTime(m_slot);
    ++m_slot;
    return true;
  }

  // Milliseconds until the next pull is due (0 when it is due now).
  uint32_t WaitMs(uint32_t now) const {
    if (!m_started) return 0;
    const int32_t ahead = static_cast<int32_t>(SlotTime(m_slot) - now);
    return ahead > 0 ? static_cast<uint32_t>(ahead) : 0;
  }

  // Slots skipped because their pull came a period or more late.
  uint64_t Skipped() const { return m_skipped; }

 private:
  // The exact grid: slot n at n * 1000 / rate ms, so rates that do not
  // divide 1000 keep their average (30 fps: 33, 66, 100, ...).
  uint32_t SlotTime(uint64_t slot) const { return m_origin + static_cast<uint32_t>(slot * 1000 / m_frameRate); }

  uint32_t m_frameRate = 10;
  bool m_started = false;
  uint32_t m_origin = 0;
  uint64_t m_slot = 0;
  uint64_t m_skipped = 0;
};
