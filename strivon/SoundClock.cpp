#include "strivon/SoundClock.h"

#include <algorithm>

#include "common/Log.h"
#include "platform/base/tick.h"

SoundClock::SoundClock(std::function<uint32_t()> clock) : m_clock(std::move(clock)) {}

uint32_t SoundClock::Now() const {
  // 0 means "not started", so a start never takes that value.
  const uint32_t now = m_clock ? m_clock() : platform::TickCount();
  return now ? now : 1;
}

uint32_t SoundClock::StampMicrophoneBlock(int64_t endMs) {
  std::lock_guard<std::mutex> lock(m_lock);
  const uint32_t now = Now();
  if (m_liveClockStart == 0) {
    m_liveClockStart = now;
    STRIVON_LOG(kLogDebug, "RtmpPublishManager::OnAudioData", "OnAudioData:%d\n", static_cast<int>(now));
  }
  // The first block is stamped with when it arrived on the live clock, and
  // the device's position counts on from there. A sound device delivers its
  // first block late (up to a sink period, two seconds for PulseAudio) while
  // its position counts from zero: left alone, that delay would put every
  // sound stamp behind the pictures taken at the same moment, and the send
  // thread, which interleaves by stamp, would hold the pictures back by as
  // much and drop what overflows. Never over sound already queued, though:
  // after a source switch the new sound follows the old.
  if (!m_soundStarted) {
    m_soundStarted = true;
    const int64_t live = static_cast<int64_t>(now - m_liveClockStart);
    m_soundShift = live - endMs;
    if (m_soundBefore) m_soundShift = std::max<int64_t>(m_soundShift, int64_t{m_current} - m_offset);
  }
  m_soundBefore = true;
  const uint32_t stamp = static_cast<uint32_t>(endMs + m_offset + m_soundShift);
  m_current = stamp;
  return stamp;
}

uint32_t SoundClock::StampLivePicture() {
  std::lock_guard<std::mutex> lock(m_lock);
  return StampLivePictureLocked(Now());
}

uint32_t SoundClock::StampLivePicture(uint32_t capturedAt) {
  std::lock_guard<std::mutex> lock(m_lock);
  return StampLivePictureLocked(capturedAt ? capturedAt : 1);
}

uint32_t SoundClock::StampLivePictureLocked(uint32_t now) {
  if (m_liveClockStart == 0) {
    m_liveClockStart = now;
    STRIVON_LOG(kLogDebug, "RtmpPublishManager::OnVideoData", "OnVideoData:%d,TimeEnd:%d\n", static_cast<int>(now),
                static_cast<int>(now));
  }
  // The live clock runs with the microphone's stream clock (both start with
  // the first unit), and unlike the sound stamps, which move in whole blocks
  // longer than a picture's period, it keeps the pictures' own spacing.
  // A picture's slot may lie just before a start that a sound block made.
  const int32_t sinceStart = static_cast<int32_t>(now - m_liveClockStart);
  uint32_t stamp = m_offset + static_cast<uint32_t>(sinceStart > 0 ? sinceStart : 0);
  if (m_havePicture && static_cast<int32_t>(stamp - m_lastPicture) <= 0) stamp = m_lastPicture + 1;
  m_lastPicture = stamp;
  m_havePicture = true;
  return stamp;
}

uint32_t SoundClock::StampFileUnit(uint32_t fileStampMs) {
  std::lock_guard<std::mutex> lock(m_lock);
  // A file runs on its own clock: the live clock starts again after it.
  m_liveClockStart = 0;
  const uint32_t stamp = m_latestOther + fileStampMs;
  m_soundBefore = true;
  m_offset = std::max(m_offset, stamp);
  m_current = std::max(m_current, stamp);
  return stamp;
}

void SoundClock::Rebase(uint32_t base) {
  std::lock_guard<std::mutex> lock(m_lock);
  base = std::max(base, m_current);
  m_offset = base;
  m_latestOther = base;
  m_current = base;
  m_liveClockStart = 0;
  m_soundStarted = false;
  m_soundShift = 0;
  ++m_timeLine;
}

void SoundClock::Reset() {
  std::lock_guard<std::mutex> lock(m_lock);
  m_liveClockStart = 0;
  m_offset = m_latestOther = m_current = 0;
  m_lastPicture = 0;
  m_havePicture = false;
  m_soundStarted = false;
  m_soundBefore = false;
  m_soundShift = 0;
  ++m_timeLine;
}

uint32_t SoundClock::Offset() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_offset;
}

uint64_t SoundClock::TimeLine() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_timeLine;
}
