// When the worker pulls the next screen picture. Pulls are due on a fixed
// grid of the frame period counted from the first pull, not a period after
// the previous pull: a pull that comes late (the worker woke late, a command
// ran long) leaves the grid where it was, so lateness never adds up to fewer
// pictures than the frame rate promises. A pull missed by less than
// kMaxCatchUpMs is made up at once; after a longer stall the grid starts
// again from now. Each pull is stamped with the time of its slot, so the
// pictures keep their even spacing. Worker thread only.
#pragma once
#include <algorithm>
#include <cstdint>

#include "strivon/PublishParams.h"

class ScreenPullSchedule {
 public:
  static constexpr uint32_t kMaxCatchUpMs = 1000;

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
    if (!m_started || static_cast<int32_t>(now - SlotTime(m_slot)) >= static_cast<int32_t>(kMaxCatchUpMs)) {
      m_origin = now;
      m_slot = 0;
      m_started = true;
    }
    const uint32_t due = SlotTime(m_slot);
    if (static_cast<int32_t>(now - due) < 0) return false;
    *slotMs = due;
    ++m_slot;
    return true;
  }

  // Milliseconds until the next pull is due (0 when it is due now).
  uint32_t WaitMs(uint32_t now) const {
    if (!m_started) return 0;
    const int32_t ahead = static_cast<int32_t>(SlotTime(m_slot) - now);
    return ahead > 0 ? static_cast<uint32_t>(ahead) : 0;
  }

 private:
  // The exact grid: slot n at n * 1000 / rate ms, so rates that do not
  // divide 1000 keep their average (30 fps: 33, 66, 100, ...).
  uint32_t SlotTime(uint64_t slot) const { return m_origin + static_cast<uint32_t>(slot * 1000 / m_frameRate); }

  uint32_t m_frameRate = 10;
  bool m_started = false;
  uint32_t m_origin = 0;
  uint64_t m_slot = 0;
};
