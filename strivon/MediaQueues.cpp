#include "strivon/MediaQueues.h"

bool MediaQueues::PushAudio(PublishCmd entry) {
  std::lock_guard<std::mutex> lock(m_lock);
  if (m_audio.size() > kMaxAudioEntries) return false;
  NoteTimestamp(entry.timestamp);
  m_audio.push_back(std::move(entry));
  m_changed.notify_all();
  return true;
}

bool MediaQueues::AudioFull() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_audio.size() > kMaxAudioEntries;
}

bool MediaQueues::PushVideo(PublishCmd entry, size_t limit) {
  std::lock_guard<std::mutex> lock(m_lock);
  if (VideoRefusedLocked(limit)) return false;
  if (m_video.size() >= limit) m_video.pop_front();
  NoteTimestamp(entry.timestamp);
  m_video.push_back(std::move(entry));
  m_changed.notify_all();
  return true;
}

bool MediaQueues::VideoRefused() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return VideoRefusedLocked(kMaxVideoEntries);
}

bool MediaQueues::VideoRefusedLocked(size_t limit) const { return m_video.size() >= limit && !m_audio.empty(); }

size_t MediaQueues::VideoSize() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_video.size();
}

size_t MediaQueues::AudioSize() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_audio.size();
}

bool MediaQueues::TakeNext(PublishCmd* out) {
  std::lock_guard<std::mutex> lock(m_lock);
  return TakeNextLocked(out);
}

bool MediaQueues::WaitNext(PublishCmd* out, uint32_t ms) {
  std::unique_lock<std::mutex> lock(m_lock);
  m_changed.wait_for(lock, std::chrono::milliseconds(ms),
                     [this] { return m_woken || (!m_audio.empty() && !m_video.empty()); });
  m_woken = false;
  return TakeNextLocked(out);
}

void MediaQueues::Wake() {
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_woken = true;
  }
  m_changed.notify_all();
}

bool MediaQueues::TakeNextLocked(PublishCmd* out) {
  if (m_audio.empty() || m_video.empty()) return false;
  std::deque<PublishCmd>& from = m_video.front().timestamp > m_audio.front().timestamp ? m_audio : m_video;
  *out = std::move(from.front());
  from.pop_front();
  return true;
}

void MediaQueues::Clear() {
  std::lock_guard<std::mutex> lock(m_lock);
  m_audio.clear();
  m_video.clear();
}

uint32_t MediaQueues::LargestTimestamp() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_largest;
}

void MediaQueues::NoteTimestamp(uint32_t timestamp) {
  if (timestamp > m_largest) m_largest = timestamp;
}
