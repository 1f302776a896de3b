#include "platform/vexa/play_clock.h"

int64_t PlayClock::NowMs() const {
  if (!m_running) return m_accumulatedMs;
  return m_accumulatedMs +
         std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_resumedAt).count();
}

void PlayClock::Resume() {
  if (m_running) return;
  m_resumedAt = Clock::now();
  m_running = true;
}

void PlayClock::Pause() {
  if (!m_running) return;
  m_accumulatedMs = NowMs();
  m_running = false;
}
