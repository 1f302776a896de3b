// The publish run's time line, shared by the sound path and the picture
// sources. Microphone blocks are stamped with their capture time plus an
// offset; screen and camera pictures take the newest sound stamp; media-file
// units are stamped with the file's own play clock on top of a base. A
// source switch rebases everything to the largest stamp queued so far, so
// the stream's time never goes back, whichever source follows which.
// Every operation takes the clock's own lock. Which unit started the live
// clock, and when, goes to the log under the manager's callback that
// delivered it.
#pragma once
#include <cstdint>
#include <functional>
#include <mutex>

class SoundClock {
 public:
  explicit SoundClock(std::function<uint32_t()> clock = {});

  // A microphone block of length bytes whose capture ended at endMs (the
  // device's position). Returns its stamp; the first block after a start is
  // taken as captured when it arrived.
  uint32_t StampMicrophoneBlock(int64_t endMs);
  // A screen or camera picture: starts the live clock on the first one;
  // stamped by the live clock on the sound's time line, always later than
  // the previous picture. The first form takes the picture as captured now,
  // the second at capturedAt (a tick count).
  uint32_t StampLivePicture();
  uint32_t StampLivePicture(uint32_t capturedAt);
  // A media-file unit with the file's own stamp.
  uint32_t StampFileUnit(uint32_t fileStampMs);
  // The new source's time line starts at base.
  void Rebase(uint32_t base);
  // Back to the state of a new run.
  void Reset();

  uint32_t Offset() const;
  // Counts the starts and rebases: when it changes, the microphone's
  // position starts again from 0.
  uint64_t TimeLine() const;

 private:
  uint32_t Now() const;
  uint32_t StampLivePictureLocked(uint32_t capturedAt);

  std::function<uint32_t()> m_clock;
  mutable std::mutex m_lock;
  uint32_t m_liveClockStart = 0;
  uint32_t m_offset = 0;
  uint32_t m_latestOther = 0;
  uint32_t m_current = 0;
  uint32_t m_lastPicture = 0;
  bool m_havePicture = false;
  bool m_soundStarted = false;  // a microphone block came since the start or rebase
  bool m_soundBefore = false;  // sound was stamped since the start
  int64_t m_soundShift = 0;    // lines the microphone's position up with the live clock
  uint64_t m_timeLine = 0;
};
