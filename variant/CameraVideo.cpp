#include "variant/CameraVideo.h"

#include <cstring>
#include <new>

#include "common/Log.h"

CCameraVideo::CCameraVideo(CreateCapture createCapture) : m_createCapture(std::move(createCapture)) {}

CCameraVideo::~CCameraVideo() { Stop(); }

void CCameraVideo::SizeFrame(int width, int height) {
  std::lock_guard<std::mutex> lock(m_frameLock);
  m_width = width;
  m_height = height;
  m_frameLength = 0;
  const int64_t bytes = int64_t{width} * height * 3;
  if (width <= 0 || height <= 0 || bytes > INT32_MAX) {
    m_frame.reset();
    m_capacity = 0;
    return;
  }
  if (bytes != m_capacity) {
    m_frame.reset(new (std::nothrow) BYTE[static_cast<size_t>(bytes)]);
    m_capacity = m_frame ? static_cast<int>(bytes) : 0;
  }
}

int CCameraVideo::init(const char* name, int nameIndex, int nameCount, int frameRate, int width, int height) {
  std::lock_guard<std::mutex> lock(m_captureLock);
  if (m_capture) m_capture->Release();
  m_capture = nullptr;
  // After the release no frame of the old camera can arrive any more.
  SizeFrame(width, height);
  if (!m_createCapture || !name) return -1;
  bool ok = false;
  std::string error;
  int w = width, h = height, rate = frameRate;
  m_capture = m_createCapture(this, 0, name, nameIndex, nameCount, &w, &h, &rate, &ok, &error);
  if (!m_capture) return -1;
  if (!m_capture->Start()) return -1;
  STRIVON_LOG(kLogInfo, "CCameraVideo::init", "Start.Video.Capture.Suc");
  return 0;
}

void CCameraVideo::Stop() {
  std::lock_guard<std::mutex> lock(m_captureLock);
  if (m_capture) m_capture->Release();
  m_capture = nullptr;
}

bool CCameraVideo::OnVideoData(int, BYTE* rgb, int len, int64_t, int64_t) {
  std::lock_guard<std::mutex> lock(m_frameLock);
  // Only a whole frame of the agreed size is kept; anything else would be
  // read as that size later.
  if (!rgb || !m_frame || len != m_capacity) return true;
  std::memcpy(m_frame.get(), rgb, static_cast<size_t>(len));
  m_frameLength = len;
  return true;
}

bool CCameraVideo::OnVideoRawData(int, BYTE*, int, int64_t, int64_t) { return true; }

bool CCameraVideo::OnHDVideoCapNotify(std::string, int) { return true; }

int CCameraVideo::GetFrame(BYTE* dst, int capacity, int* width, int* height) {
  std::lock_guard<std::mutex> lock(m_frameLock);
  if (width) *width = m_width;
  if (height) *height = m_height;
  if (!dst || m_frameLength <= 0 || m_frameLength > capacity) return 0;
  std::memcpy(dst, m_frame.get(), static_cast<size_t>(m_frameLength));
  return m_frameLength;
}
