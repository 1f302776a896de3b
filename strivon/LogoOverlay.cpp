#include "strivon/LogoOverlay.h"

#include "common/Log.h"

int LogoOverlay::Set(IADFilter* filter, const std::string& text, int width, int height) {
  std::lock_guard<std::mutex> lock(m_lock);
  if (m_filter) m_filter->Release();
  m_filter = filter;
  m_text = text;
  m_width = width;
  m_height = height;
  const int result = m_filter->Init(m_text.c_str(), width, height, 3);
  m_ready = result == 0;
  m_failing = false;
  return result;
}

void LogoOverlay::Clear() {
  std::lock_guard<std::mutex> lock(m_lock);
  if (m_filter) m_filter->Release();
  m_filter = nullptr;
  m_ready = false;
}

bool LogoOverlay::Draw(uint8_t* picture, int width, int height, int capacity, const std::function<void()>& emit) {
  std::lock_guard<std::mutex> lock(m_lock);
  if (!m_filter) return false;
  if (width != m_width || height != m_height) {
    m_width = width;
    m_height = height;
    m_ready = m_filter->Init(m_text.c_str(), width, height, 3) == 0;
    STRIVON_LOG(kLogInfo, "RtmpPublishManager::OnVideoData", "logo filter made for %dx%d pictures: %s", width, height,
                m_ready ? "ready" : "failed");
  }
  int drawn = 0;
  if (m_ready && m_filter->Push(picture, width * height * 3) >= 0) {
    int bytes = capacity;
    while (m_filter->Pull(picture, &bytes) >= 0) {
      emit();
      ++drawn;
      bytes = capacity;
    }
  }
  if (drawn > 0) {
    if (m_failing) STRIVON_LOG(kLogInfo, "RtmpPublishManager::OnVideoData", "logo drawn again");
    m_failing = false;
    return true;
  }
  if (!m_failing) {
    STRIVON_LOG(kLogWarning, "RtmpPublishManager::OnVideoData",
                "pushVideoData fail: %dx%d pictures go out without the logo", width, height);
    m_failing = true;
  }
  return false;
}
