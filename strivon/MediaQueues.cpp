#include "strivon/MediaQueues.h"

bool MediaQueues::PushAudio(PublishCmd entry) {
  if (AudioFull()) return false;
  m_audio.push_back(std::move(entry));
  return true;
}

bool MediaQueues::PushVideo(PublishCmd entry, size_t limit) {
  if (VideoRefused(limit)) return false;
  if (m_video.size() >= limit) m_video.pop_front();
  m_video.push_back(std::move(entry));
  return true;
}

bool MediaQueues::TakeNext(PublishCmd* out) {
  if (m_audio.empty() || m_video.empty()) return false;
  const bool audioFirst = static_cast<int32_t>(m_video.front().timestamp - m_audio.front().timestamp) > 0;
  std::deque<PublishCmd>& from = audioFirst ? m_audio : m_video;
  *out = std::move(from.front());
  from.pop_front();
  return true;
}

void MediaQueues::Clear() {
  m_audio.clear();
  m_video.clear();
}
