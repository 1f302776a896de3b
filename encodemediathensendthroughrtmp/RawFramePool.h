// The eight reusable picture buffers between SendRawVideo (manager's send
// thread) and the encoder thread: I420 converted on arrival, or RGB24 when
// the picture size was not known yet. At most eight frames are queued or being
// encoded at once; steady-state video allocates nothing. The pool owns every
// buffer; the video queue only borrows them.
#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "encodemediathensendthroughrtmp/UninitializedBytes.h"

struct RawFrame {
  bool inUse = false;
  uint32_t length = 0;     // bytes of picture in `bytes`
  uint32_t timestamp = 0;  // capture time in ms
  uint32_t queuedAt = 0;   // tick at which it was queued for the encoder
  // Nonzero when `bytes` already holds the picture as I420 of this size;
  // zero when it holds the caller's RGB24 as it came.
  int i420Width = 0;
  int i420Height = 0;
  UninitializedBytes bytes;  // only the first `length` bytes are meaningful
};

class RawFramePool {
 public:
  static constexpr int kCapacity = 8;

  RawFramePool() = default;
  RawFramePool(const RawFramePool&) = delete;
  RawFramePool& operator=(const RawFramePool&) = delete;

  // The most recently returned free buffer, grown to at least `bytes`; null
  // when all are taken or memory ran out.
  RawFrame* Acquire(size_t bytes);
  // Hands a buffer from Acquire back (to the end of the free list).
  void Return(RawFrame* frame);
  int FreeCount() const;
  void FreeAll();

 private:
  mutable std::mutex m_lock;
  std::vector<std::unique_ptr<RawFrame>> m_frames;
  std::deque<RawFrame*> m_free;
};
