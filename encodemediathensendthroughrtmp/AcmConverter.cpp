#include "encodemediathensendthroughrtmp/AcmConverter.h"

#include <cstring>

MMRESULT AcmConverter::Close() {
  if (!m_stream) return MMSYSERR_NOERROR;
  const MMRESULT result = acmStreamClose(m_stream, 0);
  m_stream = nullptr;
  return result;
}

bool AcmConverter::Convert(const WAVEFORMATEX* src, const uint8_t* srcData, int srcLength, const WAVEFORMATEX* dst,
                           uint8_t* dstBuffer, int dstCapacity, int* dstLength) {
  if (!src || !dst || !dstLength || srcLength < 1 || !dstBuffer || !srcData || dstCapacity < 1) return false;
  const bool same = m_stream && std::memcmp(src, &m_source, sizeof(WAVEFORMATEX)) == 0 &&
                    std::memcmp(dst, &m_destination, sizeof(WAVEFORMATEX)) == 0;
  if (!same) {
    Close();
    if (acmStreamOpen(&m_stream, nullptr, src, dst, nullptr, 0, 0, 0) != MMSYSERR_NOERROR) m_stream = nullptr;
  }
  std::memcpy(&m_source, src, sizeof(WAVEFORMATEX));
  std::memcpy(&m_destination, dst, sizeof(WAVEFORMATEX));
  if (!m_stream) return false;

  uint32_t needed = 0;
  if (acmStreamSize(m_stream, static_cast<uint32_t>(srcLength), &needed, ACM_STREAMSIZEF_SOURCE) != MMSYSERR_NOERROR)
    return false;
  if (static_cast<uint32_t>(dstCapacity) < needed) return false;

  ACMSTREAMHEADER header{};
  header.cbStruct = sizeof(header);
  header.pbSrc = const_cast<uint8_t*>(srcData);
  header.cbSrcLength = static_cast<uint32_t>(srcLength);
  header.pbDst = dstBuffer;
  header.cbDstLength = needed;
  if (acmStreamPrepareHeader(m_stream, &header, 0) != MMSYSERR_NOERROR) return false;
  const bool converted = acmStreamConvert(m_stream, &header, ACM_STREAMCONVERTF_BLOCKALIGN) == MMSYSERR_NOERROR;
  acmStreamUnprepareHeader(m_stream, &header, 0);
  if (converted) *dstLength = static_cast<int>(header.cbDstLengthUsed);
  return converted;
}
