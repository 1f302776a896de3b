#include <algorithm>
#include <cmath>

#include "platform/outside/OutsideDoubles.h"

int RecordingHushgain::Create() { return nextHandle; }

int RecordingHushgain::Init(int handle, int rate, int bits, int level, int mode, int agc, int channels) {
  std::lock_guard lock(m_lock);
  m_inits.push_back({handle, rate, bits, level, mode, agc, channels});
  return initResult;
}

int RecordingHushgain::Process(int handle, short* samples, int byteLength) {
  std::lock_guard lock(m_lock);
  m_lengths.push_back(byteLength);
  if (handle == 0 || !samples || byteLength <= 0) return 1;
  if (gain != 1.0) {
    for (int i = 0; i < byteLength / 2; ++i) {
      samples[i] = static_cast<short>(std::clamp(std::lround(samples[i] * gain), -32768L, 32767L));
    }
  }
  return 0;
}

int RecordingHushgain::Destroy(int handle) {
  std::lock_guard lock(m_lock);
  m_destroyed.push_back(handle);
  return 0;
}

std::vector<RecordingHushgain::InitCall> RecordingHushgain::inits() {
  std::lock_guard lock(m_lock);
  return m_inits;
}

std::vector<int> RecordingHushgain::processedLengths() {
  std::lock_guard lock(m_lock);
  return m_lengths;
}

std::vector<int> RecordingHushgain::destroyed() {
  std::lock_guard lock(m_lock);
  return m_destroyed;
}
