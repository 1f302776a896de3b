#include "encodemediathensendthroughrtmp/AdaptiveBitrate.h"

AdaptiveBitrateControl::Decision AdaptiveBitrateControl::OnRoundTrip(int ms, uint32_t now, bool atFloor) {
  Decision decision;
  if (!m_hasWindow) {
    m_hasWindow = true;
    m_slowCount = 0;
    m_goodWindows = 0;
    m_windowStart = now;
  }
  if (ms > kSlowRoundTripMs) m_slowCount += 1;
  if (now - m_windowStart <= kWindowMs) return decision;

  if (m_slowCount < kSlowSamplesForBadWindow) {
    m_goodWindows += 1;
    if (m_goodWindows >= kGoodWindowsToRestore) {
      m_goodWindows = 0;
      // A healthy link that was never lowered has nothing to restore;
      // reopening the codecs there would only cost a key frame.
      if (m_lowered) {
        m_lowered = false;
        decision.action = Action::Restore;
        if (m_direction != "up") {
          m_direction = "up";
          decision.report = true;
        }
      }
    }
  } else {
    m_goodWindows = 0;
    // Already at the floor: reopening again would gain nothing.
    if (!atFloor) {
      m_lowered = true;
      decision.action = Action::Lower;
      if (m_direction != "down") {
        m_direction = "down";
        decision.report = true;
      }
    }
  }
  m_slowCount = 0;
  m_windowStart = now;
  return decision;
}

void AdaptiveBitrateControl::Reset() {
  m_hasWindow = false;
  m_slowCount = 0;
  m_goodWindows = 0;
  m_lowered = false;
  m_direction.clear();
}
