// The audio and video queues between the sources and the send thread, under
// one lock. The send thread takes the earlier head only while both queues
// hold an entry, so sound and picture reach the encoder interleaved by
// capture time. The queues also remember the largest time stamp they have
// taken in, which a source switch uses as the base of the new source's time
// line so the stream's time never goes back.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

#include "strivon/PublishCmd.h"

class MediaQueues {
 public:
  static constexpr size_t kMaxAudioEntries = 100;
  static constexpr size_t kMaxVideoEntries = 8;

  // False (entry dropped) when more than kMaxAudioEntries wait.
  bool PushAudio(PublishCmd entry);
  bool AudioFull() const;
  // With limit or more waiting the entry is dropped (false), except while no
  // sound waits: then the sound has not started yet (a device delivers its
  // first block late) and the oldest picture makes room, so the stream opens
  // with the newest pictures instead of a hole as long as the delay.
  bool PushVideo(PublishCmd entry, size_t limit = kMaxVideoEntries);
  // True when PushVideo would drop a new picture.
  bool VideoRefused() const;
  size_t VideoSize() const;
  size_t AudioSize() const;

  // Takes the video head unless the audio head is strictly earlier; false
  // when either queue is empty.
  bool TakeNext(PublishCmd* out);
  // TakeNext, waiting at most ms for both queues to hold an entry.
  bool WaitNext(PublishCmd* out, uint32_t ms);
  // Ends a WaitNext early (the send thread is to stop).
  void Wake();
  void Clear();
  // Largest time stamp ever queued (0 before the first entry).
  uint32_t LargestTimestamp() const;

 private:
  void NoteTimestamp(uint32_t timestamp);

  bool TakeNextLocked(PublishCmd* out);
  bool VideoRefusedLocked(size_t limit) const;

  mutable std::mutex m_lock;
  std::condition_variable m_changed;
  bool m_woken = false;
  std::deque<PublishCmd> m_audio;
  std::deque<PublishCmd> m_video;
  uint32_t m_largest = 0;
};
