// Manual-reset event: once Set, every waiter passes until Reset. Used for the
// worker threads' "done" signal and for timed waits in worker loops.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace platform {

class ManualResetEvent {
 public:
  static constexpr uint32_t kInfinite = 0xFFFFFFFFu;

  explicit ManualResetEvent(bool signalled = false) : signalled_(signalled) {}
  ManualResetEvent(const ManualResetEvent&) = delete;
  ManualResetEvent& operator=(const ManualResetEvent&) = delete;

  void Set();
  void Reset();
  bool IsSet() const;
  // True when the event was (or became) signalled within timeoutMs.
  bool Wait(uint32_t timeoutMs = kInfinite);

 private:
  mutable std::mutex mutex_;
  std::condition_variable cond_;
  bool signalled_;
};

}  // namespace platform
