#include "encodemediathensendthroughrtmp/RawFramePool.h"

#include <new>

RawFrame* RawFramePool::Acquire(size_t bytes) {
  std::lock_guard<std::mutex> lock(m_lock);
  const size_t rounded = (bytes + 3) & ~static_cast<size_t>(3);
  try {
    if (m_frames.empty()) {
      m_frames.reserve(kCapacity);
      for (int i = 0; i < kCapacity; ++i) {
        auto frame = std::make_unique<RawFrame>();
        frame->bytes.resize(rounded);
        m_frames.push_back(std::move(frame));
        m_free.push_back(m_frames.back().get());
      }
    }
    if (m_free.empty()) return nullptr;
    // The buffer returned last is the one still in cache: while the encoder
    // keeps up, one buffer carries every picture from the conversion to
    // x264's read of it. Cycling through all eight made each of those passes
    // go out to memory.
    RawFrame* frame = m_free.back();
    if (frame->bytes.size() < rounded) frame->bytes.resize(rounded);
    m_free.pop_back();
    return frame;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void RawFramePool::Return(RawFrame* frame) {
  if (!frame) return;
  std::lock_guard<std::mutex> lock(m_lock);
  frame->inUse = false;
  m_free.push_back(frame);
}

int RawFramePool::FreeCount() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_frames.empty() ? kCapacity : static_cast<int>(m_free.size());
}

void RawFramePool::FreeAll() {
  std::lock_guard<std::mutex> lock(m_lock);
  m_free.clear();
  m_frames.clear();
}
