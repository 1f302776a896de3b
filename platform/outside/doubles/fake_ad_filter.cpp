#include <cstring>

#include "platform/outside/OutsideDoubles.h"

int FakeADFilter::Init(const char* filterText, int width, int height, int bytesPerPixel) {
  std::lock_guard lock(m_lock);
  m_calls.text = filterText ? filterText : "";
  m_calls.width = width;
  m_calls.height = height;
  if (m_initResult != 0 || bytesPerPixel != 3 || width <= 0 || height <= 0) return m_initResult ? m_initResult : -1;
  return 0;
}

int FakeADFilter::Push(BYTE* rgb, int byteCount) {
  std::lock_guard lock(m_lock);
  ++m_calls.pushes;
  if (!rgb || m_calls.width <= 0 || byteCount != m_calls.width * m_calls.height * 3) return -1;
  m_held.assign(rgb, rgb + byteCount);
  m_holding = true;
  return 0;
}

int FakeADFilter::Pull(BYTE* rgb, int* byteCount) {
  std::lock_guard lock(m_lock);
  ++m_calls.pulls;
  if (!rgb || !byteCount || !m_holding) return -1;
  if (*byteCount < static_cast<int>(m_held.size())) return -2;
  m_held[0] = 1;
  m_held[1] = 2;
  m_held[2] = 3;
  std::memcpy(rgb, m_held.data(), m_held.size());
  *byteCount = static_cast<int>(m_held.size());
  m_holding = false;
  return *byteCount;
}

void FakeADFilter::Release() {
  std::lock_guard lock(m_lock);
  m_calls.released = true;
}

FakeADFilter::Calls FakeADFilter::calls() {
  std::lock_guard lock(m_lock);
  return m_calls;
}
