// Converts blocks of interleaved PCM from the format a recording device
// delivers to the format the capture's owner asked for (rate, channels, sample
// width), keeping the resampler's state across blocks while the two formats
// stay the same. Used on the capture's streaming thread only.
#pragma once
#include "platform/dshow/com_types.h"
#include "platform/dshow/wave_format.h"

struct SwrContext;

class PcmConverter {
 public:
  PcmConverter() = default;
  ~PcmConverter();
  PcmConverter(const PcmConverter&) = delete;
  PcmConverter& operator=(const PcmConverter&) = delete;

  // Bytes of output that converting srcLength bytes can produce at most
  // (including what the resampler still holds); 0 for formats it cannot take.
  int OutputBound(const WAVEFORMATEX& src, int srcLength, const WAVEFORMATEX& dst);
  // False for unusable formats, a null or empty input, or an output buffer
  // below OutputBound; *dstLength is then unchanged.
  bool Convert(const WAVEFORMATEX& src, const BYTE* srcData, int srcLength, const WAVEFORMATEX& dst,
               BYTE* dstBuffer, int dstCapacity, int* dstLength);
  void Close();

 private:
  bool Open(const WAVEFORMATEX& src, const WAVEFORMATEX& dst);

  SwrContext* m_swr = nullptr;
  WAVEFORMATEX m_src{};
  WAVEFORMATEX m_dst{};
  bool m_failed = false;  // the cached pair cannot be converted
};
