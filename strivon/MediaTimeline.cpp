#include "strivon/MediaTimeline.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <new>

#include "platform/base/tick.h"

namespace {

// How often a waiting send thread looks whether filler is due.
constexpr uint32_t kFillPollMs = 10;
// Silence goes in blocks of at most this much.
constexpr double kSilenceBlockMs = 100;

uint32_t StampOf(double ms) { return static_cast<uint32_t>(static_cast<int64_t>(std::llround(ms))); }

// Wrap-safe: how far a lies after b.
int32_t After(uint32_t a, uint32_t b) { return static_cast<int32_t>(a - b); }

}  // namespace

MediaTimeline::MediaTimeline(std::function<uint32_t()> tickMs) : m_tick(std::move(tickMs)) {}

uint32_t MediaTimeline::Tick() const { return m_tick ? m_tick() : platform::TickCount(); }

void MediaTimeline::NewRun(const Shape& shape) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_queues.Clear();
  m_pacer.Reset();
  m_compensatorStale = true;
  m_shape = shape;
  m_lineStarted = false;
  m_haveSound = false;
  m_soundEndMs = m_soundTakenMs = 0;
  m_soundRate = m_soundChannels = 0;
  m_filledSoundMs = 0;
  m_micMapped = false;
  m_fileMapped = false;
  m_havePicture = m_pictureTaken = false;
  m_lastPictureStamp = m_pictureTakenStamp = 0;
  m_lastPicture.reset();
  m_lastPictureBytes = 0;
  m_filledPictureMs = 0;
  m_woken = false;
}

void MediaTimeline::SetFrameRate(int frameRate) {
  std::lock_guard<std::mutex> lock(m_lock);
  if (frameRate >= 1) m_shape.frameRate = frameRate;
}

void MediaTimeline::NewSource() {
  std::lock_guard<std::mutex> lock(m_lock);
  m_queues.Clear();
  m_pacer.Reset();
  // What was dropped is not on the line: the next source follows what went out.
  if (m_haveSound) m_soundEndMs = m_soundTakenMs;
  if (m_havePicture) {
    if (m_pictureTaken) {
      m_lastPictureStamp = m_pictureTakenStamp;
    } else {
      m_havePicture = false;
    }
  }
  m_fileMapped = false;
  m_compensatorStale = true;
  m_pictureSourceNew = true;
}

void MediaTimeline::CompensateMicrophone(const int16_t* pcm, size_t frames, int sampleRate, int channels,
                                         int64_t startMs, int64_t stopMs, int64_t arrivalUs,
                                         std::vector<int16_t>* out) {
  // The reset and the new mapping of the microphone happen together, on the
  // thread that delivers its blocks, so no block is mapped by the old one.
  if (m_compensatorStale.exchange(false)) {
    m_compensator.Reset();
    std::lock_guard<std::mutex> lock(m_lock);
    m_micMapped = false;
  }
  m_compensator.Process(pcm, frames, sampleRate, channels, startMs, stopMs, arrivalUs, out);
}

int64_t MediaTimeline::PushMicrophoneSound(std::vector<int16_t>* block, int sampleRate, int channels) {
  const double compensatedEndMs = static_cast<double>(m_compensator.OutputEndMs());
  std::lock_guard<std::mutex> lock(m_lock);
  // The first block after a start ends when it arrived: a device delivers
  // its first sound late while its position counts from zero. From then on
  // its (compensated) position counts on from there.
  if (!m_micMapped) {
    m_micShiftMs = LineAtLocked(Tick()) - compensatedEndMs;
    m_micMapped = true;
  }
  return PushSoundLocked(block, sampleRate, channels, compensatedEndMs + m_micShiftMs, false);
}

uint32_t MediaTimeline::PushFileSound(std::vector<int16_t>* block, int sampleRate, int channels, uint32_t fileMs) {
  std::lock_guard<std::mutex> lock(m_lock);
  if (!m_fileMapped) {
    m_fileBaseMs = int64_t{LineAtLocked(Tick())} - fileMs;
    m_fileMapped = true;
  }
  if (sampleRate > 0 && channels > 0) {
    const double durationMs =
        static_cast<double>(block->size() / static_cast<size_t>(channels)) * 1000.0 / sampleRate;
    PushSoundLocked(block, sampleRate, channels, static_cast<double>(m_fileBaseMs + fileMs) + durationMs, true);
  }
  return static_cast<uint32_t>(m_fileBaseMs + fileMs);
}

bool MediaTimeline::SoundFull() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_queues.AudioFull();
}

uint32_t MediaTimeline::LineAtLocked(uint32_t tick) {
  if (!m_lineStarted) {
    m_lineStarted = true;
    m_lineStartTick = tick;
  }
  const int32_t since = After(tick, m_lineStartTick);
  return since > 0 ? static_cast<uint32_t>(since) : 0;
}

int64_t MediaTimeline::PushSoundLocked(std::vector<int16_t>* block, int sampleRate, int channels, double endMs,
                                       bool fromFile) {
  if (sampleRate <= 0 || channels <= 0 || m_queues.AudioFull()) return -1;
  size_t frames = block->size() / static_cast<size_t>(channels);
  if (frames == 0) return -1;
  double durationMs = static_cast<double>(frames) * 1000.0 / sampleRate;
  double startMs = endMs - durationMs;
  m_soundRate = sampleRate;
  m_soundChannels = channels;
  if (!m_haveSound) {
    m_haveSound = true;
    m_soundEndMs = m_soundTakenMs = std::max(0.0, startMs);
  }
  const double gapMs = startMs - m_soundEndMs;
  if (gapMs > kToleranceMs) {
    // A hole: silence up to where this block starts.
    PushSilenceLocked(startMs);
  } else if (gapMs < -static_cast<double>(kToleranceMs)) {
    if (fromFile) {
      // The file paused or fell behind and its time was filled: it moves on
      // to where the line stands, nothing of it lost.
      m_fileBaseMs += static_cast<int64_t>(std::llround(-gapMs));
    } else {
      // Sound for time already filled (a device that delivers what it held
      // back): that part is left out.
      const auto late = static_cast<size_t>(std::llround(-gapMs * sampleRate / 1000.0));
      if (late >= frames) return -1;
      block->erase(block->begin(), block->begin() + static_cast<long>(late * static_cast<size_t>(channels)));
      frames -= late;
      durationMs = static_cast<double>(frames) * 1000.0 / sampleRate;
    }
  }
  if (m_queues.AudioFull()) return -1;
  // On from where the sound ends, whatever the block's own stamp: the
  // encoder takes the samples as one stream.
  PublishCmd unit = PublishCmd::Unit(kCmdAudioUnit, block->data(),
                                     static_cast<int>(frames * static_cast<size_t>(channels) * 2),
                                     StampOf(m_soundEndMs + durationMs));
  if (!unit.data) return -1;
  m_soundEndMs += durationMs;
  const uint32_t stamp = unit.timestamp;
  m_queues.PushAudio(std::move(unit));
  m_lastRealSoundTick = Tick();
  m_changed.notify_all();
  return stamp;
}

void MediaTimeline::PushSilenceLocked(double untilMs) {
  const int rate = m_soundRate > 0 ? m_soundRate : m_shape.sampleRate;
  const int channels = m_soundChannels > 0 ? m_soundChannels : m_shape.channels;
  if (rate <= 0 || channels <= 0) return;
  while (m_soundEndMs + 0.5 < untilMs && !m_queues.AudioFull()) {
    const double blockMs = std::min(untilMs - m_soundEndMs, kSilenceBlockMs);
    const auto frames = std::max<long long>(1, std::llround(blockMs * rate / 1000.0));
    const std::vector<int16_t> silence(static_cast<size_t>(frames * channels), 0);
    const double durationMs = static_cast<double>(frames) * 1000.0 / rate;
    PublishCmd unit = PublishCmd::Unit(kCmdAudioUnit, silence.data(), static_cast<int>(silence.size() * 2),
                                       StampOf(m_soundEndMs + durationMs));
    if (!unit.data) return;
    m_soundEndMs += durationMs;
    m_filledSoundMs += static_cast<uint64_t>(std::llround(durationMs));
    m_queues.PushAudio(std::move(unit));
  }
}

uint32_t MediaTimeline::StampLivePicture(uint32_t capturedAt) {
  std::lock_guard<std::mutex> lock(m_lock);
  return LineAtLocked(capturedAt);
}

uint32_t MediaTimeline::StampFilePicture(uint32_t fileMs) {
  std::lock_guard<std::mutex> lock(m_lock);
  if (!m_fileMapped) {
    m_fileBaseMs = int64_t{LineAtLocked(Tick())} - fileMs;
    m_fileMapped = true;
  }
  auto stamp = static_cast<uint32_t>(m_fileBaseMs + fileMs);
  // The file paused or fell behind and the last picture stood in for it:
  // it moves on from there.
  if (m_havePicture && After(m_lastPictureStamp, stamp) > static_cast<int32_t>(kToleranceMs)) {
    m_fileBaseMs += After(m_lastPictureStamp, stamp) + 1;
    stamp = m_lastPictureStamp + 1;
  }
  return stamp;
}

bool MediaTimeline::PacePicture(uint32_t now, int frameRate, bool alwaysTake, uint32_t* firstDue) {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_pacer.Take(now, frameRate, alwaysTake, firstDue);
}

bool MediaTimeline::PictureRefused() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_queues.VideoRefused();
}

bool MediaTimeline::PushPicture(PublishCmd unit, size_t limit) {
  std::lock_guard<std::mutex> lock(m_lock);
  return PushPictureLocked(std::move(unit), limit, false);
}

bool MediaTimeline::PushPictureLocked(PublishCmd unit, size_t limit, bool filler) {
  if (!unit.data || unit.len <= 0) return false;
  if (m_havePicture && After(unit.timestamp, m_lastPictureStamp) <= 0) unit.timestamp = m_lastPictureStamp + 1;
  // The first real picture after the filler stood in, or of a new source:
  // the filler keeps the grace behind the line, and a new source takes its
  // time to start, so the time up to this picture is filled too.
  if (!filler && m_havePicture && m_lastPicture &&
      (m_pictureSourceNew || After(Tick(), m_lastRealPictureTick) > static_cast<int32_t>(kGraceMs))) {
    const uint32_t period = PeriodMs();
    while (After(unit.timestamp, m_lastPictureStamp + period) >= static_cast<int32_t>(period / 2) &&
           PushRepeatLocked(m_lastPictureStamp + period, limit)) {
    }
  }
  if (!filler) {
    m_lastPicture = unit.data;
    m_lastPictureBytes = unit.len;
    m_pictureSourceNew = false;
  }
  const uint32_t stamp = unit.timestamp;
  if (!m_queues.PushVideo(std::move(unit), limit)) return false;
  m_havePicture = true;
  m_lastPictureStamp = stamp;
  if (!filler) m_lastRealPictureTick = Tick();
  m_changed.notify_all();
  return true;
}

bool MediaTimeline::PushRepeatLocked(uint32_t stamp, size_t limit) {
  PublishCmd repeat;
  repeat.type = kCmdVideoUnit;
  repeat.data = m_lastPicture;
  repeat.len = m_lastPictureBytes;
  repeat.timestamp = stamp;
  if (!PushPictureLocked(std::move(repeat), limit, true)) return false;
  m_filledPictureMs += PeriodMs();
  return true;
}

uint32_t MediaTimeline::PeriodMs() const {
  return static_cast<uint32_t>(std::lround(1000.0 / std::clamp(m_shape.frameRate, 1, kMaxFrameRate)));
}

void MediaTimeline::FillLocked(uint32_t tick) {
  if (!m_lineStarted) return;
  const uint32_t line = LineAtLocked(tick);
  if (line < kGraceMs) return;
  const uint32_t until = line - kGraceMs;

  if (!m_haveSound || After(tick, m_lastRealSoundTick) > static_cast<int32_t>(kGraceMs)) {
    if (!m_haveSound) {
      // No sound on the line yet: silence from where the pictures went out
      // (the line's start, at first).
      m_haveSound = true;
      m_soundEndMs = m_soundTakenMs = m_pictureTaken ? m_pictureTakenStamp : 0;
    }
    if (m_soundEndMs < until) PushSilenceLocked(until);
  }

  if (!m_havePicture || After(tick, m_lastRealPictureTick) > static_cast<int32_t>(kGraceMs)) {
    const uint32_t period = PeriodMs();
    if (!m_lastPicture) {
      // Nothing to repeat yet: black.
      const int bytes = m_shape.pictureBytes;
      if (bytes <= 0) return;
      m_lastPicture.reset(new (std::nothrow) uint8_t[static_cast<size_t>(bytes)](), std::default_delete<uint8_t[]>());
      if (!m_lastPicture) return;
      m_lastPictureBytes = bytes;
    }
    uint32_t stamp = m_havePicture ? m_lastPictureStamp + period : StampOf(m_soundTakenMs);
    // One past the grace's end, so sound up to it never waits for a picture.
    while (After(stamp, until) < static_cast<int32_t>(period) && PushRepeatLocked(stamp, MediaQueues::kMaxVideoEntries))
      stamp = m_lastPictureStamp + period;
  }
}

uint32_t MediaTimeline::AgeMs(uint32_t stamp) const {
  std::lock_guard<std::mutex> lock(m_lock);
  if (!m_lineStarted) return 0;
  const int32_t line = After(Tick(), m_lineStartTick);
  const int32_t age = line > 0 ? After(static_cast<uint32_t>(line), stamp) : 0;
  return age > 0 ? static_cast<uint32_t>(age) : 0;
}

bool MediaTimeline::Next(PublishCmd* out, uint32_t maxWaitMs) {
  std::unique_lock<std::mutex> lock(m_lock);
  const uint32_t start = Tick();
  for (;;) {
    const uint32_t now = Tick();
    FillLocked(now);
    if (m_queues.TakeNext(out)) {
      if (out->type == kCmdAudioUnit) {
        m_soundTakenMs = out->timestamp;
      } else {
        m_pictureTakenStamp = out->timestamp;
        m_pictureTaken = true;
      }
      return true;
    }
    if (m_woken) {
      m_woken = false;
      return false;
    }
    const uint32_t waited = now - start;
    if (waited >= maxWaitMs) return false;
    m_changed.wait_for(lock, std::chrono::milliseconds(std::min(maxWaitMs - waited, kFillPollMs)));
  }
}

void MediaTimeline::Wake() {
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_woken = true;
  }
  m_changed.notify_all();
}

uint64_t MediaTimeline::FilledSoundMs() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_filledSoundMs;
}

uint64_t MediaTimeline::FilledPictureMs() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_filledPictureMs;
}
