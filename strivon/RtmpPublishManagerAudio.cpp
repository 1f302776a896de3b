// The sound path: microphone blocks are held on the monotonic clock by the
// rate compensation; they and media-file blocks get the publish volume,
// noise suppression, the background mix and a time stamp, then wait in the
// audio queue; the send thread's silence check lowers the audio bit rate
// after five seconds of silence.
#include <chrono>
#include <cstring>
#include <new>

#include "common/Log.h"
#include "platform/base/tick.h"
#include "strivon/JsonReply.h"
#include "strivon/RtmpPublishManager.h"
#include "strivon/StatusWords.h"

using namespace strivon_status;

namespace {

int64_t MonotonicMicros() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

void RtmpPublishManager::OnAudioData(int /*captureId*/, const BYTE* pcm, int length, int64_t startMs,
                                     int64_t stopMs) {
  if (!pcm || length <= 0) {
    m_notifier.Status(kLevelError, kAudioDataNull);
    return;
  }
  if (m_soundLost && m_soundLost.exchange(false))
    STRIVON_LOG(kLogInfo, "RtmpPublishManager::OnAudioData", "microphone back: sound goes out again");
  if (m_timeline.SoundFull()) return;
  // The capture's buffer is reused once we return: work on a copy.
  std::vector<int16_t> block;
  try {
    const size_t count = static_cast<size_t>(length) / 2;
    block.resize(count);
    std::memcpy(block.data(), pcm, count * 2);
    // Mono publishing from a stereo capture: averaged in place.
    if (m_captureChannels == 2 && Audio().channels == 1) block.resize(DownmixStereoToMono(block.data(), count, block.data()));
  } catch (const std::bad_alloc&) {
    return;
  }
  if (block.empty()) return;
  // On the monotonic clock, as the pictures are: the device's own clock
  // drifts from it.
  const int channels = m_captureChannels == 2 && Audio().channels == 1 ? 1 : m_captureChannels.load();
  const size_t frames = block.size() / static_cast<size_t>(channels);
  const int sampleRate = Audio().sampleRate;
  std::vector<int16_t> compensated;
  m_timeline.CompensateMicrophone(block.data(), frames, sampleRate, channels, startMs, stopMs, MonotonicMicros(),
                                  &compensated);
  block.swap(compensated);
  if (block.empty()) return;
  ApplyVolume(block.data(), block.size(), m_publishVolume, m_publishMute);
  if (m_noise.enabled()) {
    std::vector<int16_t> frames;
    if (!m_noise.Process(block.data(), block.size() * 2, &frames)) return;
    block.swap(frames);
  }
  MixBackground(block.data(), block.size());
  m_timeline.PushMicrophoneSound(&block, sampleRate, channels);
}

void RtmpPublishManager::MixBackground(int16_t* block, size_t count) {
  if (!m_backgroundSound || !m_mixOn) return;
  // A muted or silent background adds nothing, not even the limiter's
  // rounding.
  const int volume = m_backgroundVolume;
  if (m_backgroundMute || volume <= 0) return;
  std::vector<int16_t> background;
  try {
    background.resize(count);
  } catch (const std::bad_alloc&) {
    return;
  }
  const int read = m_backgroundRing.Read(background.data(), static_cast<int>(count * 2));
  if (read <= 0) return;
  ApplyVolume(background.data(), static_cast<size_t>(read) / 2, volume, false);
  std::lock_guard<std::mutex> lock(m_mixLock);
  m_limiter.Mix(block, count, background.data(), static_cast<size_t>(read) / 2);
}

void RtmpPublishManager::OnHDAudioCapNotify(std::string text, int kind) {
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::OnHDAudioCapNotify", "%s", text.c_str());
  if (kind == 0) {
    // The capture ended: told once per loss; the worker reopens it, and the
    // time line carries silence meanwhile.
    m_soundRetryAt = platform::TickCount() + kReopenIntervalMs;
    if (m_soundLost.exchange(true)) return;
    STRIVON_LOG(kLogWarning, "RtmpPublishManager::OnHDAudioCapNotify",
                "microphone lost; silence goes out, reopened every %u ms", kReopenIntervalMs);
    m_notifier.Status(kLevelError, text.c_str());
    m_notifier.Status(kLevelError, kAudioCaptureError);
  } else if (kind == 1) {
    m_notifier.Status(kLevelDevice, text.c_str());
  }
}

void RtmpPublishManager::OnVexaCaptureAudio(int /*id*/, BYTE* pcm, int byteCount, uint32_t timestampMs,
                                            int /*sampleFrames*/) {
  if (!pcm || byteCount <= 0) {
    m_notifier.Status(kLevelError, kAudioDataNull);
    return;
  }
  std::vector<int16_t> block;
  try {
    block.resize(static_cast<size_t>(byteCount) / 2);
  } catch (const std::bad_alloc&) {
    return;
  }
  if (block.empty()) return;
  std::memcpy(block.data(), pcm, block.size() * 2);
  const int volume = m_publishVolume;
  const bool mute = m_publishMute;
  ApplyVolume(block.data(), block.size(), volume, mute);
  const bool measure = volume >= 1 && volume <= 99 && !mute;
  MixBackground(block.data(), block.size());
  const int percent = measure ? PeakPercent(PeakSample(block.data(), block.size())) : 0;
  Json::Value params(Json::objectValue);
  params["uPercent"] = percent;
  m_notifier.Message(WriteEvent(kEventAudioPercent, params).c_str());
  const AudioParams audio = Audio();
  const uint32_t stamp = m_timeline.PushFileSound(&block, audio.sampleRate, audio.channels, timestampMs);
  STRIVON_LOG(kLogDebug, "RtmpPublishManager::OnVexaCaptureAudio", "OnVexaCaptureAudio:m_dLastOtherTimeStmp:%d",
              static_cast<int>(stamp - timestampMs));
  STRIVON_LOG(kLogDebug, "RtmpPublishManager::OnVexaCaptureAudio", "lastTime:%d,time:%d", static_cast<int>(stamp),
              static_cast<int>(timestampMs));
}

void RtmpPublishManager::CheckMute(const int16_t* pcm, unsigned bytes) {
  const AudioParams audio = Audio();
  if (audio.bitsPerSample != 16) return;
  const SilenceDetector::Change change = m_silence.Check(pcm, bytes, audio.bytesPerSecond);
  if (change == SilenceDetector::Change::kNone) return;
  const bool silent = change == SilenceDetector::Change::kBecameSilent;
  {
    std::lock_guard<std::mutex> lock(m_encoderLock);
    if (m_encoder) m_encoder->SetLowAudioBitrate(silent);
  }
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::CheckMute", silent ? "Mute..." : "Have sound...");
}

void RtmpPublishManager::SetPublishVolume(int volum, bool bMute) {
  if (volum > 0) m_publishVolume = volum;
  m_publishMute = bMute;
}

void RtmpPublishManager::SetBackgroundVolume(int volum, bool bMute) {
  m_backgroundVolume = volum;
  m_backgroundMute = bMute;
}

void RtmpPublishManager::EnableNoiseSuppression(bool on) {
  if (m_noise.Enable(on) != 0 && on) m_notifier.Status(kLevelError, kHushgainInitError);
}

int RtmpPublishManager::SetNoiseSuppressionPara(int level, int mode) { return m_noise.SetSuppression(level, mode); }

int RtmpPublishManager::SetAgcLevel(int level) { return m_noise.SetAgcLevel(level); }
