#include "strivon/NoiseSuppressor.h"

#include <algorithm>

#include "common/Log.h"

NoiseSuppressor::~NoiseSuppressor() {
  std::lock_guard<std::mutex> lock(m_lock);
  const auto& outside = OutsideFactories();
  if (m_handle && outside.hushgainDestroy) outside.hushgainDestroy(m_handle);
}

void NoiseSuppressor::SetFormat(int sampleRate, int channels) {
  std::lock_guard<std::mutex> lock(m_lock);
  if (sampleRate == m_sampleRate && channels == m_channels) return;
  m_sampleRate = sampleRate;
  m_channels = channels;
  if (m_ringReady) m_ring.Init();  // the buffered bytes are of the old format
  if (m_handle) InitLocked();
}

bool NoiseSuppressor::EnsureHandleLocked(int tries) {
  const auto& outside = OutsideFactories();
  for (int i = 0; i < tries && !m_handle; ++i) {
    if (outside.createHushgain) m_handle = outside.createHushgain();
  }
  return m_handle != 0;
}

int NoiseSuppressor::InitLocked() {
  const auto& outside = OutsideFactories();
  int result = -1;
  if (m_handle && outside.hushgainInit)
    result = outside.hushgainInit(m_handle, m_sampleRate, 16, m_level, m_mode, m_agcLevel, m_channels);
  if (result != 0) m_enabled = false;
  return result;
}

int NoiseSuppressor::Enable(bool on) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_enabled = on;
  if (!on) return 0;
  EnsureHandleLocked(2);
  return InitLocked();
}

int NoiseSuppressor::SetSuppression(int level, int mode) {
  std::lock_guard<std::mutex> lock(m_lock);
  EnsureHandleLocked(1);
  m_level = level;
  m_mode = mode;
  return InitLocked();
}

int NoiseSuppressor::SetAgcLevel(int level) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_agcLevel = level;
  EnsureHandleLocked(1);
  return InitLocked();
}

bool NoiseSuppressor::enabled() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_enabled;
}

int NoiseSuppressor::FrameBytes() const {
  // 30 ms of whole sample frames: 5292 bytes for 44100 Hz stereo.
  return m_sampleRate * 3 / 100 * m_channels * 2;
}

bool NoiseSuppressor::Process(const int16_t* block, size_t bytes, std::vector<int16_t>* out) {
  std::lock_guard<std::mutex> lock(m_lock);
  if (!m_ringReady) {
    m_ring.Init();
    m_ringReady = true;
  }
  out->clear();
  const int frameBytes = FrameBytes();
  if (frameBytes <= 0) return false;
  // Blocks larger than the ring's free room are fed in pieces, draining as
  // we go, so nothing is dropped.
  const char* in = reinterpret_cast<const char*>(block);
  size_t left = bytes;
  std::vector<int16_t> frame(static_cast<size_t>(frameBytes) / 2);
  const auto& outside = OutsideFactories();
  while (true) {
    const int room = PcmRingBuffer::kStoreBytes - m_ring.Buffered();
    const int piece = static_cast<int>(std::min<size_t>(left, static_cast<size_t>(room)));
    if (piece > 0) {
      m_ring.Write(in, piece);
      in += piece;
      left -= static_cast<size_t>(piece);
    }
    bool drained = false;
    while (m_ring.Read(frame.data(), frameBytes) == frameBytes) {
      if (m_handle && outside.hushgainPro) outside.hushgainPro(m_handle, frame.data(), frameBytes);
      out->insert(out->end(), frame.begin(), frame.end());
      drained = true;
    }
    if (left == 0 || (!drained && piece <= 0)) break;
  }
  return !out->empty();
}
