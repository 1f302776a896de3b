// Converts one block of PCM from one WAVEFORMATEX to another, keeping one
// conversion stream open for as long as both formats stay the same, so a
// steady capture pays one size query and one conversion per block. Used by
// the microphone capture (device format to publish format) and by the
// manager's background sound. One thread at a time.
#pragma once
#include <cstdint>

#include "platform/acm/acm.h"

class AcmConverter {
 public:
  AcmConverter() = default;
  ~AcmConverter() { Close(); }
  AcmConverter(const AcmConverter&) = delete;
  AcmConverter& operator=(const AcmConverter&) = delete;

  // True with *dstLength set when the whole block was converted into
  // dstBuffer; false (nothing written, *dstLength unchanged) on bad
  // arguments, an unsupported pair of formats or a buffer smaller than the
  // stream's estimate for srcLength bytes.
  bool Convert(const WAVEFORMATEX* src, const uint8_t* srcData, int srcLength, const WAVEFORMATEX* dst,
               uint8_t* dstBuffer, int dstCapacity, int* dstLength);
  // Closes the open stream; 0 when none was open.
  MMRESULT Close();

 private:
  HACMSTREAM m_stream = nullptr;
  WAVEFORMATEX m_source{};
  WAVEFORMATEX m_destination{};
};
