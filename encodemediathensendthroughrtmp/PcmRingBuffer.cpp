#include "encodemediathensendthroughrtmp/PcmRingBuffer.h"

#include <algorithm>
#include <cstring>

void PcmRingBuffer::Init() {
  std::lock_guard<std::mutex> lock(m_lock);
  if (m_store.empty()) m_store.assign(kStoreBytes, 0);
  m_pendingWrites = 0;
  m_readPos = -1;
  m_writePos = 0;
}

void PcmRingBuffer::Uninit() {
  std::lock_guard<std::mutex> lock(m_lock);
  std::vector<char>().swap(m_store);
  m_pendingWrites = 0;
  m_readPos = -1;
  m_writePos = 0;
}

void PcmRingBuffer::SetFade(bool enabled, int gain, int direction) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_fadeEnabled = enabled;
  m_fadeGain = std::clamp(gain, 0, kFullGain);
  m_fadeDirection = direction == kFadeIn || direction == kFadeOut ? direction : kNoFade;
}

int PcmRingBuffer::Buffered() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return BufferedLocked();
}

int PcmRingBuffer::PendingWrites() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_pendingWrites;
}

int PcmRingBuffer::BufferedLocked() const {
  if (m_store.empty() || m_readPos < 0) return 0;
  if (m_writePos < 0) return kStoreBytes;
  if (m_writePos >= m_readPos) return m_writePos - m_readPos;
  return m_writePos - m_readPos + kStoreBytes;
}

int PcmRingBuffer::Write(const char* data, int length) {
  std::lock_guard<std::mutex> lock(m_lock);
  if (!data || m_store.empty()) return 0;
  if (m_writePos < 0) return m_pendingWrites;
  if (length < 0) length = 0;
  char* store = m_store.data();
  const int oldWrite = m_writePos;
  if (m_readPos < 0 || m_readPos < m_writePos) {
    const int first = std::min(length, kStoreBytes - oldWrite);
    std::memcpy(store + oldWrite, data, static_cast<size_t>(first));
    const int remaining = length - first;
    // Wrapping into the start may not reach the oldest byte (for an empty
    // ring that byte is about to be the old write position).
    const int limit = std::max(0, m_readPos < 0 ? oldWrite - 1 : m_readPos);
    const int second = std::min(remaining, limit);
    if (second > 0) {
      std::memcpy(store, data + first, static_cast<size_t>(second));
      m_writePos = second;
    } else {
      m_writePos = oldWrite + first == kStoreBytes ? 0 : oldWrite + first;
    }
    if (m_readPos < 0 && length > 0) m_readPos = oldWrite;
  } else {
    const int copied = std::min(length, m_readPos - oldWrite);
    std::memcpy(store + oldWrite, data, static_cast<size_t>(copied));
    m_writePos = oldWrite + copied;
  }
  if (m_writePos == m_readPos) m_writePos = -1;
  m_pendingWrites += 1;
  return m_pendingWrites;
}

int PcmRingBuffer::Read(short* dst, int length) {
  std::lock_guard<std::mutex> lock(m_lock);
  if (m_store.empty() || !dst || length <= 0) return 0;
  std::memset(dst, 0, static_cast<size_t>(length));
  if (m_readPos < 0 || BufferedLocked() < length) return 0;
  const int oldRead = m_readPos;
  const int first = std::min(length, kStoreBytes - oldRead);
  char* out = reinterpret_cast<char*>(dst);
  std::memcpy(out, m_store.data() + oldRead, static_cast<size_t>(first));
  if (length > first) std::memcpy(out + first, m_store.data(), static_cast<size_t>(length - first));
  const int newRead = (oldRead + length) % kStoreBytes;
  if (m_writePos < 0) m_writePos = oldRead;
  m_readPos = newRead == m_writePos ? -1 : newRead;
  if (m_pendingWrites > 0) m_pendingWrites -= 1;
  if (m_fadeEnabled) ApplyFade(dst, length / 2);
  return length;
}

void PcmRingBuffer::ApplyFade(short* samples, int count) {
  for (int i = 0; i < count && m_fadeDirection != kNoFade; ++i) {
    if (m_fadeDirection == kFadeIn) {
      samples[i] = static_cast<short>(samples[i] * m_fadeGain / kFullGain);
      m_fadeGain += 1;
      if (m_fadeGain > kFullGain - 1) {
        m_fadeDirection = kNoFade;
        m_fadeGain = kFullGain;
      }
    } else if (count * 2 > 1) {
      samples[i] = static_cast<short>(samples[i] * m_fadeGain / kFullGain);
      if (m_fadeGain > 0) m_fadeGain -= 1;
    }
  }
}
