#include "capture/VideoRenderRGB.h"

#include <cstdlib>
#include <cstring>

#include "capture/RgbVideoMediaType.h"

namespace {

// E_UNEXPECTED when the block is missing, E_INVALIDARG when it is another kind.
HRESULT ReadHeader(const AM_MEDIA_TYPE& mt, BITMAPINFOHEADER* h) {
  size_t offset = 0, size = 0;
  if (mt.formattype == FORMAT_VideoInfo) {
    offset = offsetof(VIDEOINFOHEADER, bmiHeader);
    size = sizeof(VIDEOINFOHEADER);
  } else if (mt.formattype == FORMAT_VideoInfo2) {
    offset = offsetof(VIDEOINFOHEADER2, bmiHeader);
    size = sizeof(VIDEOINFOHEADER2);
  } else {
    return E_INVALIDARG;
  }
  if (!mt.pbFormat || mt.cbFormat < size) return E_UNEXPECTED;
  std::memcpy(h, mt.pbFormat + offset, sizeof(*h));
  return S_OK;
}

}  // namespace

CVideoRenderRGB::CVideoRenderRGB(REFCLSID clsid, int bitDepth, HRESULT* hr)
    : CBaseRenderer(clsid, nullptr, nullptr, hr), m_bitDepth(bitDepth) {}

HRESULT CVideoRenderRGB::CheckMediaType(const CMediaType* mt) {
  if (!mt) return E_POINTER;
  if (mt->majortype != MEDIATYPE_Video || mt->subtype != RgbSubtypeFor(m_bitDepth)) return E_INVALIDARG;
  BITMAPINFOHEADER h;
  const HRESULT hr = ReadHeader(*mt, &h);
  if (FAILED(hr)) return hr;
  // Both row orders are taken; the sink turns either into the same picture.
  if (h.biWidth <= 0 || h.biHeight == 0 || h.biWidth > 8192 || std::abs(h.biHeight) > 8192 ||
      h.biBitCount != m_bitDepth)
    return E_INVALIDARG;
  return S_OK;
}

HRESULT CVideoRenderRGB::SetMediaType(const CMediaType* mt) {
  if (!mt) return E_POINTER;
  BITMAPINFOHEADER h;
  if (FAILED(ReadHeader(*mt, &h))) return E_FAIL;
  m_header = h;
  m_frameBytes = static_cast<long>(m_bitDepth) * std::abs(h.biHeight) * h.biWidth / 8;
  return S_OK;
}
