#include <vector>

#include "platform/outside/OutsideDoubles.h"

FakeVexaCapture::FakeVexaCapture(IVexaCaptureNotify* sink, std::string path, int width, int height,
                                 int framerate, int sampleRate, int channels)
    : m_sink(sink),
      m_path(std::move(path)),
      m_width(width),
      m_height(height),
      m_framerate(framerate),
      m_sampleRate(sampleRate),
      m_channels(channels) {}

bool FakeVexaCapture::Play() {
  std::lock_guard lock(m_lock);
  ++m_calls.plays;
  return true;
}
bool FakeVexaCapture::Stop() {
  std::lock_guard lock(m_lock);
  ++m_calls.stops;
  return true;
}
bool FakeVexaCapture::Pause() {
  std::lock_guard lock(m_lock);
  ++m_calls.pauses;
  return true;
}
bool FakeVexaCapture::Seek(int positionMs, int mode) {
  std::lock_guard lock(m_lock);
  m_calls.seeks.emplace_back(positionMs, mode);
  return mode == 0 || mode == 1;
}
bool FakeVexaCapture::SetPara(int para, int value) {
  std::lock_guard lock(m_lock);
  m_calls.paras.emplace_back(para, value);
  return para == kVexaParaFrameRate && value >= 1 && value <= 60;
}
int64_t FakeVexaCapture::GetPosition() { return m_position.load(); }
void FakeVexaCapture::SetVolume(int volumePercent) {
  std::lock_guard lock(m_lock);
  m_calls.volume = volumePercent;
}
void FakeVexaCapture::Release() {
  std::lock_guard lock(m_lock);
  m_calls.released = true;
}

FakeVexaCapture::Calls FakeVexaCapture::calls() {
  std::lock_guard lock(m_lock);
  return m_calls;
}

// The lock is held through each callback, as the real source never
// delivers at the same time as Release returns.
bool FakeVexaCapture::PumpPicture(uint32_t timestampMs, BYTE b, BYTE g, BYTE r) {
  std::lock_guard lock(m_lock);
  if (m_calls.released) return false;
  std::vector<BYTE> picture(static_cast<size_t>(m_width) * m_height * 3);
  for (size_t i = 0; i < picture.size(); i += 3) {
    picture[i] = b;
    picture[i + 1] = g;
    picture[i + 2] = r;
  }
  m_sink->OnVexaCaptureVideo(0, picture.data(), static_cast<int>(picture.size()), timestampMs,
                             m_frameIndex++);
  return true;
}

bool FakeVexaCapture::PumpSound(uint32_t timestampMs, int sampleFrames, int16_t value) {
  std::lock_guard lock(m_lock);
  if (m_calls.released || sampleFrames <= 0) return false;
  std::vector<int16_t> pcm(static_cast<size_t>(sampleFrames) * m_channels, value);
  m_sink->OnVexaCaptureAudio(0, reinterpret_cast<BYTE*>(pcm.data()), static_cast<int>(pcm.size() * 2),
                             timestampMs, sampleFrames);
  return true;
}

bool FakeVexaCapture::PumpPlayComplete() {
  std::lock_guard lock(m_lock);
  if (m_calls.released) return false;
  m_sink->OnVexaCapturePlayComplete();
  return true;
}

bool FakeVexaCapture::PumpStatus(const wchar_t* text) {
  std::lock_guard lock(m_lock);
  if (m_calls.released) return false;
  m_sink->OnVexaCaptureStatus(text);
  return true;
}
