#include "platform/dshow/colour_converter.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include <cstdlib>
#include <cstring>

#include "platform/dshow/graph_helpers.h"
#include "platform/dshow/transform_filter.h"

namespace dshow {
namespace {

struct Layout {
  const GUID* subtype;
  AVPixelFormat format;
  int bitCount;
  bool evenWidth, evenHeight;
};
const Layout kLayouts[] = {
    {&MEDIASUBTYPE_YUY2, AV_PIX_FMT_YUYV422, 16, true, false},
    {&MEDIASUBTYPE_YV12, AV_PIX_FMT_YUV420P, 12, true, true},
    {&MEDIASUBTYPE_I420, AV_PIX_FMT_YUV420P, 12, true, true},
    {&MEDIASUBTYPE_RGB24, AV_PIX_FMT_BGR24, 24, false, false},
    {&MEDIASUBTYPE_RGB32, AV_PIX_FMT_BGRA, 32, false, false},
};

const Layout* LayoutOf(const GUID& subtype) {
  for (const Layout& l : kLayouts)
    if (*l.subtype == subtype) return &l;
  return nullptr;
}


class CColourConverter : public CTransformFilter {
 public:
  CColourConverter() : CTransformFilter(L"Color Space Converter", nullptr, CLSID_Colour) {}
  ~CColourConverter() override { sws_freeContext(m_sws); }

  HRESULT CheckInputType(const CMediaType* mt) override {
    if (!mt) return E_POINTER;
    BITMAPINFOHEADER h;
    const Layout* layout = LayoutOf(mt->subtype);
    if (mt->majortype != MEDIATYPE_Video || !layout || !ReadVideoHeader(*mt, &h)) return E_INVALIDARG;
    const int height = std::abs(h.biHeight);
    // Subsampled layouts of odd size have no whole chroma sample to read.
    if (h.biWidth <= 0 || height == 0 || h.biWidth > 16384 || height > 16384 ||
        (layout->evenWidth && h.biWidth % 2) || (layout->evenHeight && height % 2))
      return E_INVALIDARG;
    return S_OK;
  }

  HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override {
    if (!in || !out) return E_POINTER;
    const HRESULT hr = CheckInputType(in);
    if (FAILED(hr)) return hr;
    BITMAPINFOHEADER hi, ho;
    if (out->majortype != MEDIATYPE_Video || out->subtype != MEDIASUBTYPE_RGB24 || !ReadVideoHeader(*in, &hi) ||
        !ReadVideoHeader(*out, &ho) || ho.biWidth != hi.biWidth || ho.biHeight != std::abs(hi.biHeight))
      return E_INVALIDARG;
    return S_OK;
  }

  HRESULT GetMediaType(int position, CMediaType* mt) override {
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    BITMAPINFOHEADER in;
    if (!ReadVideoHeader(InputPin()->CurrentMediaType(), &in)) return E_UNEXPECTED;
    mt->Clear();
    mt->majortype = MEDIATYPE_Video;
    mt->subtype = MEDIASUBTYPE_RGB24;
    mt->formattype = FORMAT_VideoInfo;
    mt->bFixedSizeSamples = 1;
    VIDEOINFOHEADER vih{};
    vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih.bmiHeader.biWidth = in.biWidth;
    vih.bmiHeader.biHeight = std::abs(in.biHeight);
    vih.bmiHeader.biPlanes = 1;
    vih.bmiHeader.biBitCount = 24;
    vih.bmiHeader.biSizeImage = static_cast<uint32_t>(in.biWidth) * vih.bmiHeader.biHeight * 3;
    mt->lSampleSize = vih.bmiHeader.biSizeImage;
    return SetFormatBlock(mt, &vih, sizeof(vih));
  }

  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES*) override {
    BITMAPINFOHEADER out;
    if (!ReadVideoHeader(OutputPin()->CurrentMediaType(), &out)) return E_UNEXPECTED;
    ALLOCATOR_PROPERTIES want{2, static_cast<int32_t>(out.biSizeImage), 1, 0}, got{};
    const HRESULT hr = allocator->SetProperties(&want, &got);
    if (FAILED(hr)) return hr;
    return got.cBuffers < want.cBuffers || got.cbBuffer < want.cbBuffer ? E_FAIL : S_OK;
  }

  HRESULT Transform(IMediaSample* in, IMediaSample* out) override {
    if (!in || !out) return E_POINTER;
    const CMediaType& mt = InputPin()->CurrentMediaType();
    const Layout* layout = LayoutOf(mt.subtype);
    BITMAPINFOHEADER h;
    if (!layout || !ReadVideoHeader(mt, &h)) return E_UNEXPECTED;
    const int width = h.biWidth, height = std::abs(h.biHeight);
    const long inBytes = static_cast<long>(width) * height * layout->bitCount / 8;
    const long outBytes = static_cast<long>(width) * height * 3;
    BYTE *src = nullptr, *dst = nullptr;
    if (FAILED(in->GetPointer(&src)) || FAILED(out->GetPointer(&dst)) || !src || !dst) return E_POINTER;
    // A short sample or buffer is dropped rather than read or written past its end.
    if (in->GetActualDataLength() < inBytes || out->GetSize() < outBytes) return S_FALSE;

    const uint8_t* planes[3] = {src, nullptr, nullptr};
    int strides[3] = {width * layout->bitCount / 8, 0, 0};
    if (layout->bitCount == 12) {
      strides[0] = width;
      strides[1] = strides[2] = width / 2;
      const uint8_t* second = src + static_cast<size_t>(width) * height;
      const uint8_t* third = second + static_cast<size_t>(width / 2) * (height / 2);
      const bool yv12 = mt.subtype == MEDIASUBTYPE_YV12;  // V before U
      planes[1] = yv12 ? third : second;
      planes[2] = yv12 ? second : third;
    } else if (layout->format != AV_PIX_FMT_YUYV422 && h.biHeight > 0) {
      // Bottom-up RGB: start at the top row and walk backwards.
      planes[0] = src + static_cast<size_t>(strides[0]) * (height - 1);
      strides[0] = -strides[0];
    }
    m_sws = sws_getCachedContext(m_sws, width, height, layout->format, width, height, AV_PIX_FMT_BGR24, SWS_BILINEAR,
                                 nullptr, nullptr, nullptr);
    if (!m_sws) return E_FAIL;
    // The output is bottom-up: the top row goes last.
    uint8_t* outPlanes[1] = {dst + static_cast<size_t>(width) * 3 * (height - 1)};
    const int outStrides[1] = {-width * 3};
    sws_scale(m_sws, planes, strides, 0, height, outPlanes, outStrides);

    REFERENCE_TIME start, stop;
    if (in->GetTime(&start, &stop) == S_OK) out->SetTime(&start, &stop);
    out->SetSyncPoint(in->IsSyncPoint() == S_OK);
    out->SetDiscontinuity(in->IsDiscontinuity() == S_OK);
    out->SetActualDataLength(outBytes);
    return S_OK;
  }

 private:
  SwsContext* m_sws = nullptr;  // streaming thread only
};

}  // namespace

IUnknown* NewColourConverter() {
  auto* c = new CColourConverter();
  c->AddRef();
  return static_cast<IBaseFilter*>(c);
}

}  // namespace dshow
