// The worker's command queue: FIFO, with delayed entries that wait for their
// time without holding up the entries behind them. A delayed entry that is
// not due yet goes back to the tail, so the worker runs at most one command
// per pass and a 2 s retry never blocks a stop or a connect queued after it.
// Filled from any thread; taken only by the worker.
#pragma once
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "strivon/PublishCmd.h"

class CommandQueue {
 public:
  // Clock in ms (wrapping 32-bit tick); tests pass their own.
  explicit CommandQueue(std::function<uint32_t()> clock = {});

  void Push(int type);
  void PushDelayed(int type, int delayMs);
  // Takes the head when it may run now. A delayed head that is not due (or
  // has no positive delay) is moved to the tail and false is returned.
  bool TakeDue(PublishCmd* out);
  void Clear();
  size_t Size() const;
  // Waits at most ms for a command to be queued (or Wake) since the last
  // wait, so the worker sleeps between its passes instead of polling.
  void WaitForWork(uint32_t ms);
  void Wake();

 private:
  uint32_t Now() const;

  std::function<uint32_t()> m_clock;
  mutable std::mutex m_lock;
  std::condition_variable m_changed;
  std::deque<PublishCmd> m_queue;
  uint64_t m_pushes = 0;
  uint64_t m_seenPushes = 0;
};
