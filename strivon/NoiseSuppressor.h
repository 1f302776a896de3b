// Noise suppression and gain control of the microphone path, through the
// outside Hushgain library of the factory table. Blocks of any length go in;
// what comes out are whole 30 ms frames, as many as the buffered sound makes,
// so long blocks never pile up in the ring and add delay. Settings may change
// from the host's thread while the capture thread processes.
#pragma once
#include <cstdint>
#include <mutex>
#include <vector>

#include "encodemediathensendthroughrtmp/PcmRingBuffer.h"
#include "platform/outside/OutsideFactories.h"

class NoiseSuppressor {
 public:
  NoiseSuppressor() = default;
  ~NoiseSuppressor();
  NoiseSuppressor(const NoiseSuppressor&) = delete;
  NoiseSuppressor& operator=(const NoiseSuppressor&) = delete;

  // The sound format of the blocks that follow (16-bit PCM).
  void SetFormat(int sampleRate, int channels);
  // The results are those of the library's init (0 = ready); a failure
  // switches suppression off.
  int Enable(bool on);
  int SetSuppression(int level, int mode);
  int SetAgcLevel(int level);
  bool enabled() const;

  // Appends block to the ring and moves every whole frame into *out
  // (processed when a handle exists). Returns false when no frame was ready.
  bool Process(const int16_t* block, size_t bytes, std::vector<int16_t>* out);
  // Frame length in bytes for the current format (30 ms).
  int FrameBytes() const;

 private:
  bool EnsureHandleLocked(int tries);
  int InitLocked();

  mutable std::mutex m_lock;
  bool m_enabled = false;
  int m_level = 20;
  int m_mode = 3;
  int m_agcLevel = 0;
  int m_handle = 0;
  int m_sampleRate = 44100;
  int m_channels = 2;
  PcmRingBuffer m_ring;
  bool m_ringReady = false;
};
