#include <algorithm>

#include "platform/outside/OutsideDoubles.h"

FakeScreenCapture::FakeScreenCapture(int screenWidth, int screenHeight)
    : m_screenWidth(screenWidth), m_screenHeight(screenHeight) {
  m_calls.rect = RECT{0, 0, screenWidth, screenHeight};
}

void FakeScreenCapture::ExpectedPixel(uint32_t frame, int x, int y, BYTE bgr[3]) {
  bgr[0] = static_cast<BYTE>(x + frame);
  bgr[1] = static_cast<BYTE>(y + 3 * frame);
  bgr[2] = static_cast<BYTE>((x >> 8) * 16 + (y >> 8) * 64 + frame * 7);
}

void FakeScreenCapture::Release() {
  std::lock_guard lock(m_lock);
  m_calls.released = true;
}

void FakeScreenCapture::SetFollowCursor(bool follow) {
  std::lock_guard lock(m_lock);
  m_calls.followCursor = follow;
}

bool FakeScreenCapture::SetBitDepth(int bitsPerPixel) {
  std::lock_guard lock(m_lock);
  m_calls.bitDepth = bitsPerPixel;
  return bitsPerPixel == 24;
}

bool FakeScreenCapture::SetCaptureRect(const RECT* rect) {
  if (!rect || rect->right <= rect->left || rect->bottom <= rect->top) return false;
  std::lock_guard lock(m_lock);
  m_calls.rect = *rect;
  return true;
}

bool FakeScreenCapture::GrabFrame(BITMAPINFOHEADER** info, BYTE** pixels, int* byteCount) {
  if (!info || !pixels || !byteCount) return false;
  std::lock_guard lock(m_lock);
  const RECT r = m_calls.rect;
  const int left = std::max(0, r.left), top = std::max(0, r.top);
  const int width = std::min(m_screenWidth, r.right) - left;
  const int height = std::min(m_screenHeight, r.bottom) - top;
  if (width <= 0 || height <= 0) return false;
  const uint32_t frame = static_cast<uint32_t>(m_calls.grabs++);
  m_pixels.resize(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      ExpectedPixel(frame, left + x, top + y, &m_pixels[(static_cast<size_t>(y) * width + x) * 3]);
    }
  }
  m_info = BITMAPINFOHEADER{};
  m_info.biSize = sizeof(BITMAPINFOHEADER);
  m_info.biWidth = width;
  m_info.biHeight = height;
  m_info.biPlanes = 1;
  m_info.biBitCount = 24;
  m_info.biSizeImage = static_cast<uint32_t>(m_pixels.size());
  *info = &m_info;
  *pixels = m_pixels.data();
  *byteCount = static_cast<int>(m_pixels.size());
  return true;
}

void FakeScreenCapture::ShowCaptureFrame(int show) {
  std::lock_guard lock(m_lock);
  m_calls.frameShown = show != 0;
}

bool FakeScreenCapture::IsCaptureFrameShown() {
  std::lock_guard lock(m_lock);
  return m_calls.frameShown;
}

void FakeScreenCapture::RaiseCaptureFrame() {
  std::lock_guard lock(m_lock);
  ++m_calls.raises;
}

void FakeScreenCapture::ClearCaptureWindow() {
  std::lock_guard lock(m_lock);
  ++m_calls.clearWindow;
  m_calls.window = 0;
}

void FakeScreenCapture::SetCaptureWindow(HWND window) {
  std::lock_guard lock(m_lock);
  m_calls.window = window;
}

FakeScreenCapture::Calls FakeScreenCapture::calls() {
  std::lock_guard lock(m_lock);
  return m_calls;
}
