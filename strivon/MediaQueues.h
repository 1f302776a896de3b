// The audio and video queues between the sources and the send thread: a part
// of MediaTimeline, used under its lock. The send side takes the earlier
// head only while both queues hold an entry, so sound and picture reach the
// encoder interleaved by time stamp (the time line fills a kind that is
// missing, so neither waits for the other for long).
#pragma once
#include <cstdint>
#include <deque>

#include "strivon/PublishCmd.h"

class MediaQueues {
 public:
  static constexpr size_t kMaxAudioEntries = 100;
  static constexpr size_t kMaxVideoEntries = 8;

  // False (entry dropped) when more than kMaxAudioEntries wait.
  bool PushAudio(PublishCmd entry);
  bool AudioFull() const { return m_audio.size() > kMaxAudioEntries; }
  // With limit or more waiting the entry is dropped (false), except while no
  // sound waits: then the sound has not started yet (a device delivers its
  // first block late) and the oldest picture makes room, so the stream opens
  // with the newest pictures instead of a hole as long as the delay.
  bool PushVideo(PublishCmd entry, size_t limit = kMaxVideoEntries);
  // True when PushVideo would drop a new picture.
  bool VideoRefused(size_t limit = kMaxVideoEntries) const { return m_video.size() >= limit && !m_audio.empty(); }
  size_t VideoSize() const { return m_video.size(); }
  size_t AudioSize() const { return m_audio.size(); }

  // Takes the video head unless the audio head is strictly earlier (by
  // wrap-safe difference); false when either queue is empty.
  bool TakeNext(PublishCmd* out);
  void Clear();

 private:
  std::deque<PublishCmd> m_audio;
  std::deque<PublishCmd> m_video;
};
