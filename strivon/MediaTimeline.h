// The publish run's one time line. Every unit of sound and picture gets its
// stamp here, whichever source delivers it; holes are filled here; the send
// thread takes what is due from here. What it promises:
//   - the line runs with the monotonic clock from the run's first unit on;
//     live units are stamped with when they were captured, a media file's
//     with its own clock on top of where the line stood when it started;
//   - each kind's stamps rise strictly, and the sound is one unbroken stream
//     of samples: a block is stamped with its end, and the next one starts
//     there;
//   - a source that stops, stalls or loses data leaves a hole that is filled
//     (silence; the last picture, black before the first) or skipped (what
//     arrives for time already filled is left out, a file moves on), never
//     a slow catch-up;
//   - the send thread never waits longer than kGraceMs for one kind: after
//     that the filler stands in for it, so the other kind keeps going, and
//     once both flow they interleave by stamp again.
// The microphone's sound is held on the monotonic clock by its rate
// compensator, a part of the line like the queues and the camera pacer.
// Sources push from their own threads and the send thread takes, all under
// one lock; the compensator's resampling runs outside it.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "strivon/MediaQueues.h"
#include "strivon/PublishCmd.h"
#include "strivon/SoundRateCompensator.h"
#include "strivon/VideoPacer.h"

class MediaTimeline {
 public:
  // How long one kind may be missing before the filler stands in for it.
  static constexpr uint32_t kGraceMs = 200;
  // A unit this close to where its kind's line ends is taken as following on.
  static constexpr uint32_t kToleranceMs = 40;

  // What filler is made of: the sound's format until real sound has come,
  // the bytes of one picture as the encoder takes it (black is that many
  // zeros) and the picture rate.
  struct Shape {
    int sampleRate = 44100;
    int channels = 2;
    int pictureBytes = 0;
    int frameRate = 25;
  };

  // tickMs: the monotonic clock in ms (the platform's tick count by default).
  explicit MediaTimeline(std::function<uint32_t()> tickMs = {});
  MediaTimeline(const MediaTimeline&) = delete;
  MediaTimeline& operator=(const MediaTimeline&) = delete;

  // A new run: nothing of the last one (stamps, queues, the microphone's
  // measured rate) is kept.
  void NewRun(const Shape& shape);
  // The picture rate a source switch set.
  void SetFrameRate(int frameRate);
  // A source switch: what waits is dropped and the line ends where the send
  // thread took its last unit of each kind; the next source continues
  // there, the microphone restarting its mapping with its next block.
  void NewSource();

  // The microphone: a device block onto the monotonic clock (the capture's
  // streaming thread); see SoundRateCompensator::Process.
  void CompensateMicrophone(const int16_t* pcm, size_t frames, int sampleRate, int channels, int64_t startMs,
                            int64_t stopMs, int64_t arrivalUs, std::vector<int16_t>* out);
  // The microphone capture was made anew: its position starts again, its
  // rate is learnt again, its next block is stamped when it arrives.
  void RestartMicrophone() { m_compensatorStale = true; }
  // The compensated block, after volume, noise suppression and mixing; the
  // stamp (its end) it was queued with, or -1 when it was left out.
  int64_t PushMicrophoneSound(std::vector<int16_t>* block, int sampleRate, int channels);
  // A media file's sound block that starts at fileMs on the file's clock;
  // where it starts on the line.
  uint32_t PushFileSound(std::vector<int16_t>* block, int sampleRate, int channels, uint32_t fileMs);
  // True while the sound queue takes no more.
  bool SoundFull() const;

  // The stamp of a screen or camera picture captured at capturedAt (a tick).
  uint32_t StampLivePicture(uint32_t capturedAt);
  // The stamp of a media file's picture at fileMs on the file's clock.
  uint32_t StampFilePicture(uint32_t fileMs);
  // Camera pacing (VideoPacer::Take).
  bool PacePicture(uint32_t now, int frameRate, bool alwaysTake, uint32_t* firstDue = nullptr);
  // True when a new live picture would be dropped.
  bool PictureRefused() const;
  // Queues a picture stamped above; false when dropped. A file's pictures
  // may wait in larger numbers (limit).
  bool PushPicture(PublishCmd unit, size_t limit = MediaQueues::kMaxVideoEntries);

  // How far behind where the line stands now a stamp lies (0 when it is not
  // behind, or before the line started): how long that unit has waited.
  uint32_t AgeMs(uint32_t stamp) const;

  // The send thread: the next unit by stamp, waiting at most maxWaitMs;
  // false when none became due (or Wake was called).
  bool Next(PublishCmd* out, uint32_t maxWaitMs);
  void Wake();

  // What the filler put in so far in this run, in ms of each kind.
  uint64_t FilledSoundMs() const;
  uint64_t FilledPictureMs() const;

 private:
  uint32_t Tick() const;
  // The line's stamp for a tick; the first call of a run starts the line.
  uint32_t LineAtLocked(uint32_t tick);
  int64_t PushSoundLocked(std::vector<int16_t>* block, int sampleRate, int channels, double endMs, bool fromFile);
  void PushSilenceLocked(double untilMs);
  bool PushPictureLocked(PublishCmd unit, size_t limit, bool filler);
  void FillLocked(uint32_t tick);
  uint32_t PeriodMs() const;
  // The newest picture again, at stamp; false when the queue refused it.
  bool PushRepeatLocked(uint32_t stamp, size_t limit);

  std::function<uint32_t()> m_tick;
  mutable std::mutex m_lock;
  std::condition_variable m_changed;
  bool m_woken = false;
  MediaQueues m_queues;
  VideoPacer m_pacer;
  SoundRateCompensator m_compensator;
  std::atomic<bool> m_compensatorStale{false};  // a new run or source: reset before the next block
  Shape m_shape;

  bool m_lineStarted = false;
  uint32_t m_lineStartTick = 0;

  // Sound: where the line's sound ends (queued), and where the send thread
  // took it to; the format of the last real block.
  bool m_haveSound = false;
  double m_soundEndMs = 0;
  double m_soundTakenMs = 0;
  uint32_t m_lastRealSoundTick = 0;
  int m_soundRate = 0;
  int m_soundChannels = 0;
  uint64_t m_filledSoundMs = 0;
  // The microphone's compensated position mapped onto the line.
  bool m_micMapped = false;
  double m_micShiftMs = 0;
  // A media file's clock mapped onto the line.
  bool m_fileMapped = false;
  int64_t m_fileBaseMs = 0;

  // Pictures: the newest stamp queued and the one the send thread took; the
  // newest picture, repeated while none comes.
  bool m_havePicture = false;
  uint32_t m_lastPictureStamp = 0;
  uint32_t m_pictureTakenStamp = 0;
  bool m_pictureTaken = false;
  uint32_t m_lastRealPictureTick = 0;
  bool m_pictureSourceNew = false;  // no picture yet since NewSource
  std::shared_ptr<uint8_t[]> m_lastPicture;
  int m_lastPictureBytes = 0;
  uint64_t m_filledPictureMs = 0;
};
