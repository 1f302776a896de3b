// The API operations that store the publish parameters and target.
#include "common/Log.h"
#include "strivon/RtmpPublishManager.h"

void RtmpPublishManager::SetPublishAudioPara(int samplerate, int channels, int bitpersample, int bitrate, int volum,
                                             bool bMute) {
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::SetPublishAudioPara",
              "SetAudioPara:samplerate:%d, channels:%d, bitpersample:%d, bitrate:%d, volum:%d, bMute:%d", samplerate,
              channels, bitpersample, bitrate, volum, bMute ? 1 : 0);
  std::lock_guard<std::mutex> lock(m_paramsLock);
  if (m_started && (samplerate != m_audio.sampleRate || channels != m_audio.channels)) {
    // The run's capture, time line and encoder were opened in its format:
    // sound of another rate would be stamped by the wrong clock.
    STRIVON_LOG(kLogWarning, "RtmpPublishManager::SetPublishAudioPara",
                "sound format %d Hz, %d channels refused while publishing, %d Hz, %d channels kept", samplerate,
                channels, m_audio.sampleRate, m_audio.channels);
    samplerate = m_audio.sampleRate;
    channels = m_audio.channels;
  }
  ApplyAudioPara(&m_audio, samplerate, channels, bitpersample, bitrate, volum, bMute);
  m_publishVolume = m_audio.volume;
  m_publishMute = m_audio.mute;
}

int RtmpPublishManager::SetPublishVideoPara(int width, int height, int framerate, int bitrate, HWND display,
                                            int keyInterval) {
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::SetPublishVideoPara",
              "setvideopara:width:%d, height:%d, framerate:%d, bitrate:%d", width, height, framerate, bitrate);
  std::lock_guard<std::mutex> lock(m_paramsLock);
  const int newWidth = width >= 1 ? PublishablePictureSide(width, kMaxPictureWidth) : m_video.outputWidth;
  const int newHeight = height >= 1 ? PublishablePictureSide(height, kMaxPictureHeight) : m_video.outputHeight;
  if (m_started && (newWidth != m_video.outputWidth || newHeight != m_video.outputHeight)) {
    // A run's encoder, captures and preview were opened at its size; pictures
    // of another size would all be refused while the run stays live.
    STRIVON_LOG(kLogWarning, "RtmpPublishManager::SetPublishVideoPara",
                "size %dx%d refused while publishing, %dx%d kept", width, height, m_video.outputWidth,
                m_video.outputHeight);
    width = m_video.outputWidth;
    height = m_video.outputHeight;
  }
  return ApplyVideoPara(&m_video, width, height, framerate, bitrate, display, keyInterval);
}

void RtmpPublishManager::SetPublishUrl(const char* url, const char* app, const char* stream) {
  std::lock_guard<std::mutex> lock(m_paramsLock);
  ApplyPublishUrl(&m_target, url, app, stream);
}

void RtmpPublishManager::SetUserID(const char* id) {
  if (!id) return;
  std::lock_guard<std::mutex> lock(m_paramsLock);
  m_userId = id;
}

void RtmpPublishManager::SetRecordFilePath(const char* path) {
  if (!path) return;
  std::lock_guard<std::mutex> lock(m_paramsLock);
  m_recordPath = path;
}
