#include "platform/dshow/media_type.h"

#include <cstring>

#include "platform/dshow/guids.h"

void FreeMediaType(AM_MEDIA_TYPE& mt) {
  if (mt.pbFormat) CoTaskMemFree(mt.pbFormat);
  mt.pbFormat = nullptr;
  mt.cbFormat = 0;
  if (mt.pUnk) mt.pUnk->Release();
  mt.pUnk = nullptr;
}

void DeleteMediaType(AM_MEDIA_TYPE* mt) {
  if (!mt) return;
  FreeMediaType(*mt);
  CoTaskMemFree(mt);
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* dst, const AM_MEDIA_TYPE* src) {
  if (!dst || !src) return E_POINTER;
  *dst = *src;
  dst->pbFormat = nullptr;
  dst->cbFormat = 0;
  if (dst->pUnk) dst->pUnk->AddRef();
  if (src->cbFormat && src->pbFormat) {
    dst->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(src->cbFormat));
    if (!dst->pbFormat) return E_OUTOFMEMORY;
    std::memcpy(dst->pbFormat, src->pbFormat, src->cbFormat);
    dst->cbFormat = src->cbFormat;
  }
  return S_OK;
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* src) {
  auto* mt = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  if (!mt) return nullptr;
  std::memset(mt, 0, sizeof(*mt));
  if (src && FAILED(CopyMediaType(mt, src))) {
    DeleteMediaType(mt);
    return nullptr;
  }
  return mt;
}

HRESULT SetFormatBlock(AM_MEDIA_TYPE* mt, const void* data, uint32_t size) {
  if (!mt) return E_POINTER;
  if (mt->pbFormat) CoTaskMemFree(mt->pbFormat);
  mt->pbFormat = nullptr;
  mt->cbFormat = 0;
  if (size == 0) return S_OK;
  mt->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(size));
  if (!mt->pbFormat) return E_OUTOFMEMORY;
  if (data)
    std::memcpy(mt->pbFormat, data, size);
  else
    std::memset(mt->pbFormat, 0, size);
  mt->cbFormat = size;
  return S_OK;
}

bool MediaTypesEqual(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b) {
  if (a.majortype != b.majortype || a.subtype != b.subtype || a.formattype != b.formattype) return false;
  if (a.cbFormat != b.cbFormat) return false;
  return a.cbFormat == 0 || std::memcmp(a.pbFormat, b.pbFormat, a.cbFormat) == 0;
}

HRESULT BuildPcmMediaType(AM_MEDIA_TYPE* mt, const WAVEFORMATEX& wf) {
  if (!mt) return E_POINTER;
  FreeMediaType(*mt);
  std::memset(mt, 0, sizeof(*mt));
  mt->majortype = MEDIATYPE_Audio;
  mt->subtype = MEDIASUBTYPE_PCM;
  mt->bFixedSizeSamples = 1;
  mt->lSampleSize = wf.nBlockAlign;
  mt->formattype = FORMAT_WaveFormatEx;
  return SetFormatBlock(mt, &wf, sizeof(WAVEFORMATEX));
}

CMediaType::CMediaType() : AM_MEDIA_TYPE{} {}
CMediaType::CMediaType(const CMediaType& other) : AM_MEDIA_TYPE{} { CopyMediaType(this, &other); }
CMediaType::CMediaType(const AM_MEDIA_TYPE& other) : AM_MEDIA_TYPE{} { CopyMediaType(this, &other); }
CMediaType& CMediaType::operator=(const CMediaType& other) {
  return *this = static_cast<const AM_MEDIA_TYPE&>(other);
}
CMediaType& CMediaType::operator=(const AM_MEDIA_TYPE& other) {
  if (&other != this) {
    Clear();
    CopyMediaType(this, &other);
  }
  return *this;
}
CMediaType::~CMediaType() { FreeMediaType(*this); }
void CMediaType::Clear() {
  FreeMediaType(*this);
  std::memset(static_cast<AM_MEDIA_TYPE*>(this), 0, sizeof(AM_MEDIA_TYPE));
}
