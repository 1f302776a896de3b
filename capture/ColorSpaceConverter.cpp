#include "capture/ColorSpaceConverter.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "capture/YuvToRgb.h"
#include "platform/dshow/graph_helpers.h"

namespace {


// Copies one flag of a sample; false when the source gives no clear answer.
bool CopyFlag(HRESULT got, int32_t* flag) {
  if (got == S_OK) *flag = 1;
  else if (got == S_FALSE) *flag = 0;
  else return false;
  return true;
}

}  // namespace

CColorSpaceConverter_YUV2RGB::CColorSpaceConverter_YUV2RGB(int bitDepth)
    : CTransformFilter(nullptr, nullptr, CLSID_ColorSpaceConverter_YUV2RGB), m_outputKind(bitDepth == 32 ? 1 : 2) {}

HRESULT CColorSpaceConverter_YUV2RGB::CheckInputType(const CMediaType* mt) {
  if (!mt) return E_POINTER;
  m_lastInput = *mt;
  if (mt->majortype != MEDIATYPE_Video) return E_INVALIDARG;
  int kind = 0;
  if (mt->subtype == MEDIASUBTYPE_YV12) kind = 1;
  else if (mt->subtype == MEDIASUBTYPE_YUY2) kind = 2;
  else return E_INVALIDARG;
  // Pixel pairs and 2x2 chroma blocks: an odd size would be read past the
  // end of its planes.
  BITMAPINFOHEADER h;
  if (!ReadVideoHeader(*mt, &h)) return E_INVALIDARG;
  const int height = std::abs(h.biHeight);
  if (h.biWidth <= 1 || height == 0 || h.biWidth > 8192 || height > 8192 || h.biWidth % 2 ||
      (kind == 1 && height % 2))
    return E_INVALIDARG;
  m_inputKind = kind;
  return S_OK;
}

HRESULT CColorSpaceConverter_YUV2RGB::CheckTransform(const CMediaType* in, const CMediaType* out) {
  if (!in || !out) return E_POINTER;
  const HRESULT hr = CheckInputType(in);
  return FAILED(hr) ? hr : S_OK;
}

HRESULT CColorSpaceConverter_YUV2RGB::GetMediaType(int position, CMediaType* mt) {
  if (!m_pInput->IsConnected()) return E_UNEXPECTED;
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  BITMAPINFOHEADER in;
  if (!ReadVideoHeader(m_pInput->CurrentMediaType(), &in)) return E_UNEXPECTED;
  m_width = in.biWidth;
  m_height = std::abs(in.biHeight);
  const int bytes = BytesPerPixel();
  VIDEOINFOHEADER vih{};
  vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  vih.bmiHeader.biWidth = m_width;
  vih.bmiHeader.biHeight = m_height;  // positive: the rows are written bottom-up
  vih.bmiHeader.biPlanes = 1;
  vih.bmiHeader.biBitCount = static_cast<uint16_t>(bytes * 8);
  vih.bmiHeader.biSizeImage = static_cast<uint32_t>(m_width) * m_height * bytes;
  mt->Clear();
  mt->majortype = MEDIATYPE_Video;
  mt->subtype = bytes == 4 ? MEDIASUBTYPE_RGB32 : MEDIASUBTYPE_RGB24;
  mt->formattype = FORMAT_VideoInfo;
  mt->bTemporalCompression = 1;
  mt->bFixedSizeSamples = 1;
  mt->lSampleSize = vih.bmiHeader.biSizeImage;
  const HRESULT hr = SetFormatBlock(mt, &vih, sizeof(vih));
  if (SUCCEEDED(hr)) m_offeredOutput = *mt;
  return hr;
}

HRESULT CColorSpaceConverter_YUV2RGB::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES*) {
  if (!m_pInput->IsConnected()) return E_UNEXPECTED;
  if (!allocator) return E_POINTER;
  ALLOCATOR_PROPERTIES want{2, static_cast<int32_t>(m_offeredOutput.lSampleSize), 1, 0}, got{};
  const HRESULT hr = allocator->SetProperties(&want, &got);
  if (FAILED(hr)) return hr;
  return got.cBuffers < want.cBuffers || got.cbBuffer < want.cbBuffer ? E_FAIL : S_OK;
}

HRESULT CColorSpaceConverter_YUV2RGB::Transform(IMediaSample* in, IMediaSample* out) {
  if (!in || !out) return E_POINTER;
  BYTE *src = nullptr, *dst = nullptr;
  if (FAILED(in->GetPointer(&src)) || FAILED(out->GetPointer(&dst)) || !src || !dst) return E_POINTER;
  const long pixels = static_cast<long>(m_width) * m_height;
  const long inBytes = m_inputKind == 1 ? pixels * 3 / 2 : pixels * 2;
  const long outBytes = pixels * BytesPerPixel();
  // A sample shorter than its frame, or a buffer smaller than the picture,
  // is dropped: neither end may be read or written past.
  if (pixels <= 0 || in->GetActualDataLength() < inBytes || out->GetSize() < outBytes) return S_FALSE;
  if (m_inputKind == 1)
    Yv12ToRgb(src, m_width, m_height, BytesPerPixel(), dst);
  else
    Yuy2ToRgb(src, m_width, m_height, BytesPerPixel(), dst);

  REFERENCE_TIME start, stop;
  if (in->GetTime(&start, &stop) == S_OK) out->SetTime(&start, &stop);
  LONGLONG mediaStart, mediaStop;
  if (in->GetMediaTime(&mediaStart, &mediaStop) == S_OK) out->SetMediaTime(&mediaStart, &mediaStop);
  int32_t flag = 0;
  if (!CopyFlag(in->IsSyncPoint(), &flag)) return E_UNEXPECTED;
  out->SetSyncPoint(flag);
  if (!CopyFlag(in->IsPreroll(), &flag)) return E_UNEXPECTED;
  out->SetPreroll(flag);
  if (!CopyFlag(in->IsDiscontinuity(), &flag)) return E_UNEXPECTED;
  out->SetDiscontinuity(flag);
  out->SetActualDataLength(outBytes);
  return S_OK;
}

IBaseFilter* CreateColorSpaceConverter_YUV2RGB(HRESULT* hr, int bitDepth) {
  if (dshow::CreateFailsForTest(CLSID_ColorSpaceConverter_YUV2RGB)) {
    if (hr) *hr = E_FAIL;
    return nullptr;
  }
  auto* filter = new (std::nothrow) CColorSpaceConverter_YUV2RGB(bitDepth);
  if (hr) *hr = filter ? S_OK : E_OUTOFMEMORY;
  if (!filter) return nullptr;
  filter->AddRef();
  return filter;
}
