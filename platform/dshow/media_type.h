// AM_MEDIA_TYPE, the description of a pin's data (major type, subtype and a
// format block such as WAVEFORMATEX or VIDEOINFOHEADER), with the helpers that
// copy and free it. Format blocks live in task memory.
#pragma once
#include <cstdint>

#include "platform/dshow/com.h"
#include "platform/dshow/wave_format.h"

struct AM_MEDIA_TYPE {
  GUID majortype;
  GUID subtype;
  int32_t bFixedSizeSamples;
  int32_t bTemporalCompression;
  uint32_t lSampleSize;
  GUID formattype;
  IUnknown* pUnk;
  uint32_t cbFormat;
  BYTE* pbFormat;
};

// Frees the format block (and the unused pUnk) but not the record.
void FreeMediaType(AM_MEDIA_TYPE& mt);
// Frees a record from CreateMediaType (or a pin's GetFormat/enumerator).
void DeleteMediaType(AM_MEDIA_TYPE* mt);
// Deep copy into dst (dst's old block is not freed); E_OUTOFMEMORY on failure.
HRESULT CopyMediaType(AM_MEDIA_TYPE* dst, const AM_MEDIA_TYPE* src);
// A task-memory copy of src, or null.
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* src);
// Replaces the format block by a copy of size bytes of data.
HRESULT SetFormatBlock(AM_MEDIA_TYPE* mt, const void* data, uint32_t size);
// True when major type, subtype, format type and format bytes agree.
bool MediaTypesEqual(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b);

// Builds an audio PCM type for wf (format block FORMAT_WaveFormatEx, 18 bytes).
HRESULT BuildPcmMediaType(AM_MEDIA_TYPE* mt, const WAVEFORMATEX& wf);

// Owning wrapper for code that keeps a type as a member.
class CMediaType : public AM_MEDIA_TYPE {
 public:
  CMediaType();
  CMediaType(const CMediaType& other);
  explicit CMediaType(const AM_MEDIA_TYPE& other);
  CMediaType& operator=(const CMediaType& other);
  CMediaType& operator=(const AM_MEDIA_TYPE& other);
  ~CMediaType();
  void Clear();
  bool IsValid() const { return majortype != GUID_NULL; }
};
