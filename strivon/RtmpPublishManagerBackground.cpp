// Background sound (desktop sound through the Wexmoor library, or a hooked
// player's sound) converted into the publish format and mixed into the
// published sound, and the local FLV recording of the run.
#include <cstdio>
#include <new>
#include <system_error>

#include "capture/TextConvert.h"
#include "common/Log.h"
#include "strivon/RtmpPublishManager.h"
#include "strivon/StatusWords.h"

using namespace strivon_status;

void RtmpPublishManager::EnableHookPlayer(bool on) {
  m_backgroundSound = on;
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::EnableHookPlayer", on ? "启动了背景混音" : "停止了背景混音");
  m_cmdQueue.Push(on ? kCmdStartCapturePlayer : kCmdStopCapturePlayer);
}

void RtmpPublishManager::SetHookVolume(int) {}
void RtmpPublishManager::SetHookFlag(bool) {}
void RtmpPublishManager::ClearHookBuffer() { m_cmdQueue.Push(kCmdClearHookBuffer); }

bool RtmpPublishManager::SelectPlayerName(const char* name) {
  if (!name || !*name) {
    STRIVON_LOG(kLogInfo, "RtmpPublishManager::SelectPlayerName", "Set Third_Part player name empty.");
    return false;
  }
  // The installed-player list stays empty: no player can be hooked here.
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::SelectPlayerName",
              "Set Third_Part player: name not matched with playlist vector. vector sum:%d", 0);
  return false;
}

void RtmpPublishManager::StartCapturePlayer() {
  std::lock_guard<std::mutex> lock(m_desktopLock);
  if (!m_createDesktopDevice) {
    const auto& outside = OutsideFactories();
    const WexmoorLoadResult loaded = outside.loadWexmoor ? outside.loadWexmoor() : WexmoorLoadResult{};
    if (!loaded.create) {
      if (loaded.error == WexmoorLoadError::kFactoryMissing) {
        STRIVON_LOG(kLogWarning, "RtmpPublishManager::StartCapturePlayer", "createDeskAudio error,errid:%s",
                    loaded.detail.c_str());
        m_notifier.Status(kLevelError, kCreateDeskAudioError);
      } else {
        STRIVON_LOG(kLogWarning, "RtmpPublishManager::StartCapturePlayer", "LoadLibraryA error:filename:%s:errid:%s",
                    loaded.path.c_str(), loaded.detail.c_str());
        m_notifier.Status(kLevelError, kLoadLibraryError);
      }
      return;
    }
    m_createDesktopDevice = loaded.create;
  }
  if (!m_desktopDevice) m_desktopDevice = m_createDesktopDevice(this);
  if (m_desktopDevice && !m_desktopDevice->Start())
    STRIVON_LOG(kLogWarning, "RtmpPublishManager::StartCapturePlayer", "desktop sound could not be started");
}

void RtmpPublishManager::StopCapturePlayer() {
  std::lock_guard<std::mutex> lock(m_desktopLock);
  if (!m_desktopDevice) return;
  m_desktopDevice->Stop();
  m_desktopDevice->Release();
  m_desktopDevice = nullptr;
}

void RtmpPublishManager::StopBackgroundSound() {
  if (!m_backgroundSound.exchange(false)) return;
  StopCapturePlayer();
}

void RtmpPublishManager::PrintText(const char* text) {
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::PrintText", "%s", text ? text : "");
}

void RtmpPublishManager::OnCaptureAudio(const WAVEFORMATEX* format, BYTE* data, int* byteCount,
                                        uint32_t /*timestampMs*/) {
  if (byteCount) WriteBackground(format, data, *byteCount);
}

int RtmpPublishManager::OnGetAudioFormat(WAVEFORMATEX*) {
  STRIVON_LOG(kLogDebug, "RtmpPublishManager::OnGetAudioFormat", "OnGetAudioFormat");
  return 0;
}

void RtmpPublishManager::OnStop() { STRIVON_LOG(kLogDebug, "RtmpPublishManager::OnStop", "OnStop"); }

void RtmpPublishManager::OnHookAudioData(const WAVEFORMATEX* format, BYTE* data, int byteCount) {
  WriteBackground(format, data, byteCount);
}

void RtmpPublishManager::OnHookStatus(std::string text) {
  std::lock_guard<std::mutex> lock(m_mixLock);
  if (text == "clearhookbuf") {
    // Emptied and ready again at once: the next block is mixed as usual.
    m_backgroundRing.Uninit();
    m_backgroundRing.Init();
  } else if (text == "beginplay") {
    m_mixOn = true;
  } else if (text == "stopmix") {
    m_mixOn = false;
  }
}

void RtmpPublishManager::WriteBackground(const WAVEFORMATEX* format, const BYTE* data, int byteCount) {
  // The device's own format description is checked like any input: a rate
  // it cannot have would size the conversion buffer from nonsense.
  if (!format || !data || byteCount <= 0 || format->nAvgBytesPerSec < 1000 || format->nBlockAlign == 0 ||
      byteCount % format->nBlockAlign != 0)
    return;
  const AudioParams audio = Audio();
  WAVEFORMATEX target{};
  target.wFormatTag = 1;
  target.nChannels = static_cast<uint16_t>(audio.channels);
  target.nSamplesPerSec = static_cast<uint32_t>(audio.sampleRate);
  target.wBitsPerSample = static_cast<uint16_t>(audio.bitsPerSample);
  target.nBlockAlign = static_cast<uint16_t>(audio.channels * audio.bitsPerSample / 8);
  target.nAvgBytesPerSec = target.nSamplesPerSec * target.nBlockAlign;
  target.cbSize = 0;
  std::lock_guard<std::mutex> lock(m_converterLock);
  const bool same = format->wFormatTag == 1 && format->nChannels == target.nChannels &&
                    format->nSamplesPerSec == target.nSamplesPerSec && format->wBitsPerSample == target.wBitsPerSample;
  if (same) {
    std::lock_guard<std::mutex> mix(m_mixLock);
    m_backgroundRing.Write(reinterpret_cast<const char*>(data), byteCount);
    return;
  }
  // Room for what the block becomes in the target format, with slack for
  // the resampler's rounding.
  const uint64_t estimate =
      static_cast<uint64_t>(byteCount) * target.nAvgBytesPerSec / format->nAvgBytesPerSec + 4 * target.nBlockAlign + 4096;
  if (m_converted.size() < estimate) {
    try {
      m_converted.resize(estimate);
    } catch (const std::bad_alloc&) {
      return;
    }
  }
  int produced = 0;
  if (!m_converter.Convert(format, data, byteCount, &target, m_converted.data(), static_cast<int>(m_converted.size()),
                           &produced)) {
    // Foreign-format bytes would be heard as noise: the block is dropped.
    return;
  }
  std::lock_guard<std::mutex> mix(m_mixLock);
  m_backgroundRing.Write(reinterpret_cast<const char*>(m_converted.data()), produced);
}

void RtmpPublishManager::EnableRecordFile(bool on) {
  OpenOrCloseRecordFile(on);
  if (!on) return;
  // A recording keeps no picture until a key frame comes: asked for now,
  // the file opens with a picture instead of seconds of sound alone. Outside
  // the recording lock, which the encoder's sends take.
  std::lock_guard<std::mutex> lock(m_encoderLock);
  if (m_encoder) m_encoder->RequestKeyFrame();
}

void RtmpPublishManager::OpenOrCloseRecordFile(bool on) {
  const std::string path = RecordFilePath();
  // The size the run's connections give the encoder.
  const VideoParams video = Video();
  std::lock_guard<std::mutex> lock(m_recordLock);
  m_record.SetVideoSize(video.outputWidth, video.outputHeight);
  m_recordAudioHeaderPending = true;
  m_recordVideoHeaderPending = true;
  m_recordWaitsForKeyFrame = true;
  m_recording = on;
  m_recordFailing = false;
  if (!on) {
    CloseRecordFileLocked("RtmpPublishManager::EnableRecordFile");
    return;
  }
  if (path.empty()) {
    STRIVON_LOG(kLogWarning, "RtmpPublishManager::EnableRecordFile", "RtmpRecord SetRecordedFilePath name empty.");
    return;
  }
  if (!m_record.SetRecordedFilePath(path.c_str())) {
    STRIVON_LOG(kLogWarning, "RtmpPublishManager::EnableRecordFile", "RtmpRecord SetRecordedFilePath err.");
    m_notifier.Status(kLevelError, kRecordFileError);
  }
}

void RtmpPublishManager::CloseRecording() {
  std::lock_guard<std::mutex> lock(m_recordLock);
  m_recording = false;
  CloseRecordFileLocked("RtmpPublishManager::CloseRecording");
}

void RtmpPublishManager::CloseRecordFileLocked(const char* function) {
  if (m_record.Close()) return;
  // The file's end was not written: the host hears it as it hears a failed tag.
  STRIVON_LOG(kLogWarning, function, "RtmpRecord Close err.");
  m_notifier.Status(kLevelError, kRecordFileError);
}

void RtmpPublishManager::StartRecordingTimeLine() {
  std::lock_guard<std::mutex> lock(m_recordLock);
  m_record.StartNewTimeLine();
  // A new connection's stamps start again from its own time base.
  m_recordOpensAtMs = 0;
}

void RtmpPublishManager::WriteRecording(const char* body, int size, double timestampMs, int kind) {
  std::lock_guard<std::mutex> lock(m_recordLock);
  if (!m_recording) return;
  const bool audio = kind == 1;
  bool& pending = audio ? m_recordAudioHeaderPending : m_recordVideoHeaderPending;
  const bool isConfig = size >= 2 && body[1] == 0;
  if (!isConfig && m_recordWaitsForKeyFrame) {
    // Pictures before the first key frame cannot be decoded: a recording
    // started in the middle of a run opens with one, and with the sound of
    // that moment. Sound is stamped with when it was heard, which the
    // encoder's delay puts a fifth of a second before the pictures sent
    // beside it: what comes earlier than the opening picture is left out.
    const bool keyFrame = !audio && (static_cast<unsigned char>(body[0]) >> 4) == 1;
    if (!keyFrame) return;
    m_recordWaitsForKeyFrame = false;
    m_recordOpensAtMs = timestampMs;
  }
  if (audio && !isConfig && timestampMs < m_recordOpensAtMs) return;
  if (pending && !isConfig) {
    std::vector<char> header;
    {
      std::lock_guard<std::mutex> headers(m_headerLock);
      header = audio ? m_audioHeader : m_videoHeader;
    }
    if (!header.empty()) {
      STRIVON_LOG(kLogDebug, "RtmpPublishManager::WriteRecording", "RtmpRecord SetMediaData");
      m_record.SetMediaData(reinterpret_cast<const unsigned char*>(header.data()), static_cast<int>(header.size()),
                            audio, timestampMs);
    }
  }
  pending = false;
  if (m_record.SetMediaData(reinterpret_cast<const unsigned char*>(body), size, audio, timestampMs)) {
    m_recordFailing = false;
    return;
  }
  if (m_recordFailing) return;  // said once per failing stretch, not for every tag
  m_recordFailing = true;
  if (const int error = m_record.WriteError()) {
    // The recorder has ended the file at its last whole tag: the recording
    // is over, and the host hears so once.
    m_recording = false;
    STRIVON_LOG(kLogWarning, "RtmpPublishManager::WriteRecording",
                "RtmpRecord SetMediaData err. %s; the recording stopped, its file kept up to the last whole tag "
                "(%lld bytes)",
                std::generic_category().message(error).c_str(), m_record.CompleteSize());
  } else {
    STRIVON_LOG(kLogWarning, "RtmpPublishManager::WriteRecording", "RtmpRecord SetMediaData err.");
  }
  m_notifier.Status(kLevelError, kRecordFileError);
}
