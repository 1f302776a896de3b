// A millisecond clock that only runs while the file plays, so time stamps
// taken from it rise across pauses without jumping. Not locked: the file
// source uses it under its own lock.
#pragma once
#include <chrono>
#include <cstdint>

class PlayClock {
 public:
  int64_t NowMs() const;
  void Resume();
  void Pause();
  bool Running() const { return m_running; }

 private:
  using Clock = std::chrono::steady_clock;
  bool m_running = false;
  int64_t m_accumulatedMs = 0;
  Clock::time_point m_resumedAt{};
};
