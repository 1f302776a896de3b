// Inputs that fail while live come back on their own. A microphone capture
// that ended (its sound server gone, its device removed) is made again every
// two seconds, by the same name and else from the first input the system
// lists; an X server that closed under the screen capture is looked for on
// the display every two seconds. Meanwhile the time line carries silence or
// the last picture, so the stream never stops. Each loss is told once (where
// it is noticed), each recovery goes to the log once. The worker runs it.
#include "common/Log.h"
#include "platform/base/tick.h"
#include "strivon/RtmpPublishManager.h"

IAudioCapture* RtmpPublishManager::MakeMicrophone(const std::string& name, int occurrence, int sameNameCount,
                                                  bool* ok, std::string* error) {
  const AudioParams audio = Audio();
  int channels = audio.channels;
  int sampleRate = audio.sampleRate;
  auto bits = static_cast<unsigned short>(audio.bitsPerSample);
  *ok = false;
  if (!m_factories.createAudioCapture) return nullptr;
  return m_factories.createAudioCapture(this, 0, name.c_str(), occurrence, sameNameCount, &channels, &sampleRate,
                                        &bits, ok, error);
}

bool RtmpPublishManager::SelectAndStartMicrophone() {
  if (StereoMixChoice() == 1) m_audioCapture->SelectStereoMix();
  if (StereoMixChoice() == -1) m_audioCapture->SelectMicrophone();
  // Read after the selection: another input may deliver another format.
  WAVEFORMATEX format{};
  m_captureChannels = m_audioCapture->GetFormat(&format) && format.nChannels ? format.nChannels : 2;
  return m_audioCapture->Start();
}

void RtmpPublishManager::RecoverInputs() {
  if (!m_runScheduled) return;
  const uint32_t now = platform::TickCount();
  if (m_soundLost && static_cast<int32_t>(now - m_soundRetryAt.load()) >= 0) {
    m_soundRetryAt = now + kReopenIntervalMs;
    ReopenMicrophone();
  }
  if (m_screenLost && static_cast<int32_t>(now - m_screenRetryAt) >= 0) {
    m_screenRetryAt = now + kReopenIntervalMs;
    ReopenScreen();
  }
}

void RtmpPublishManager::ReopenMicrophone() {
  std::lock_guard<std::recursive_mutex> lock(m_sourceLock);
  if (m_exit) return;
  if (m_audioCapture) {
    m_audioCapture->Stop();
    m_audioCapture->Release();
    m_audioCapture = nullptr;
  }
  // The file brings its own sound: the microphone is looked for again once
  // the screen or camera runs, not made and dropped at every retry meanwhile.
  if (m_currentMode == 2) return;
  const DeviceSelection mic = Selected(DeviceKind::kMicrophone);
  std::string name = WideToAnsiString(mic.name);
  bool ok = false;
  std::string error;
  m_audioCapture = MakeMicrophone(name, mic.occurrence, mic.sameNameCount, &ok, &error);
  if (!m_audioCapture || !ok) {
    if (m_audioCapture) m_audioCapture->Release();
    const std::string first = FirstMicrophoneNow();
    m_audioCapture = first.empty() || first == name ? nullptr : MakeMicrophone(first, 0, 1, &ok, &error);
    if (m_audioCapture) name = first;
  }
  if (!m_audioCapture || !ok) {
    if (m_audioCapture) m_audioCapture->Release();
    m_audioCapture = nullptr;
    if (!m_soundReopenFailureLogged)
      STRIVON_LOG(kLogInfo, "RtmpPublishManager::ReopenMicrophone", "microphone %s not back yet: %s",
                  LogExcerpt(name).c_str(), LogExcerpt(error).c_str());
    m_soundReopenFailureLogged = true;
    return;
  }
  m_soundReopenFailureLogged = false;
  m_timeline.RestartMicrophone();
  if (!SelectAndStartMicrophone()) {
    STRIVON_LOG(kLogInfo, "RtmpPublishManager::ReopenMicrophone", "microphone %s made but not started",
                LogExcerpt(name).c_str());
    return;
  }
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::ReopenMicrophone", "microphone %s reopened", LogExcerpt(name).c_str());
}

void RtmpPublishManager::ReopenScreen() {
  const auto& outside = OutsideFactories();
  IScreenCapture* fresh = outside.createScreenCapture ? outside.createScreenCapture() : nullptr;
  if (!fresh) return;  // no server answers on the display yet
  {
    std::lock_guard<std::mutex> capture(m_screenCaptureLock);
    if (m_screenCapture) m_screenCapture->Release();
    m_screenCapture = fresh;
  }
  // The capture area and settings as the run's start gave them.
  OpenScreenCapture();
  m_screenLost = false;
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::ReopenScreen", "screen capture reopened on the display");
}
