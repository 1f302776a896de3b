// A camera graph on the layer: a YUY2 test-pattern camera reaches an RGB24
// sink only through a transform filter that is already in the graph, the way
// the camera capture offers its converters to the builder.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

#include "platform/dshow/dshow.h"
#include "tests/capture/virtual_env.h"

namespace {

using dshow::VirtualKind;

bool VideoSize(const CMediaType& mt, int* w, int* h) {
  if (mt.formattype != FORMAT_VideoInfo || mt.cbFormat < sizeof(VIDEOINFOHEADER)) return false;
  VIDEOINFOHEADER vih;
  std::memcpy(&vih, mt.pbFormat, sizeof(vih));
  *w = vih.bmiHeader.biWidth;
  *h = vih.bmiHeader.biHeight;
  return true;
}

// YUY2 in, grey RGB24 out (Y only): enough to prove the data path.
class GreyTransform : public CTransformFilter {
 public:
  GreyTransform() : CTransformFilter(L"grey", nullptr, CLSID_VirtualPlaceholder) { AddRef(); }
  HRESULT CheckInputType(const CMediaType* mt) override {
    return mt->majortype == MEDIATYPE_Video && mt->subtype == MEDIASUBTYPE_YUY2 ? S_OK : E_INVALIDARG;
  }
  HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override {
    return CheckInputType(in) == S_OK && out->subtype == MEDIASUBTYPE_RGB24 ? S_OK : E_INVALIDARG;
  }
  HRESULT GetMediaType(int position, CMediaType* mt) override {
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    int w = 0, h = 0;
    if (!VideoSize(InputPin()->CurrentMediaType(), &w, &h)) return E_UNEXPECTED;
    mt->Clear();
    mt->majortype = MEDIATYPE_Video;
    mt->subtype = MEDIASUBTYPE_RGB24;
    mt->formattype = FORMAT_VideoInfo;
    VIDEOINFOHEADER vih{};
    vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih.bmiHeader.biWidth = w;
    vih.bmiHeader.biHeight = h;
    vih.bmiHeader.biBitCount = 24;
    vih.bmiHeader.biSizeImage = static_cast<uint32_t>(w * h * 3);
    m_outBytes = w * h * 3;
    return SetFormatBlock(mt, &vih, sizeof(vih));
  }
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES*) override {
    ALLOCATOR_PROPERTIES want{2, m_outBytes, 1, 0}, got{};
    return allocator->SetProperties(&want, &got);
  }
  HRESULT Transform(IMediaSample* in, IMediaSample* out) override {
    BYTE *src = nullptr, *dst = nullptr;
    in->GetPointer(&src);
    out->GetPointer(&dst);
    const long pixels = in->GetActualDataLength() / 2;
    if (pixels * 3 > out->GetSize()) return E_FAIL;
    for (long i = 0; i < pixels; ++i) dst[3 * i] = dst[3 * i + 1] = dst[3 * i + 2] = src[2 * i];
    out->SetActualDataLength(pixels * 3);
    REFERENCE_TIME s, e;
    if (in->GetTime(&s, &e) == S_OK) out->SetTime(&s, &e);
    return S_OK;
  }

 private:
  int m_outBytes = 0;
};

class RgbSink : public CBaseRenderer {
 public:
  RgbSink() : CBaseRenderer(CLSID_VirtualPlaceholder, L"sink", nullptr, nullptr) { AddRef(); }
  HRESULT CheckMediaType(const CMediaType* mt) override {
    return mt->majortype == MEDIATYPE_Video && mt->subtype == MEDIASUBTYPE_RGB24 ? S_OK : E_INVALIDARG;
  }
  HRESULT DoRenderSample(IMediaSample* sample) override {
    lastLength = sample->GetActualDataLength();
    ++frames;
    return S_OK;
  }
  std::atomic<int> frames{0};
  std::atomic<long> lastLength{0};
};

TEST(DshowTransform, CameraReachesTheSinkThroughAConverterInTheGraph) {
  const long baseline = dshow::LiveObjectCount();
  dshow::VirtualDevice cam;
  cam.kind = VirtualKind::VideoInput;
  cam.name = L"Pattern Cam";
  cam.width = 64;
  cam.height = 48;
  cam.yuy2 = true;
  dshow::SetVirtualDevices({cam});
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  {
    IGraphBuilder* graph = nullptr;
    ICaptureGraphBuilder2* builder = nullptr;
    ICreateDevEnum* devEnum = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                     reinterpret_cast<void**>(&graph)));
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_ICaptureGraphBuilder2, reinterpret_cast<void**>(&builder)));
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                     reinterpret_cast<void**>(&devEnum)));
    builder->SetFiltergraph(graph);
    IEnumMoniker* monikers = nullptr;
    ASSERT_EQ(S_OK, devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0));
    IMoniker* moniker = nullptr;
    ULONG n = 0;
    ASSERT_EQ(S_OK, monikers->Next(1, &moniker, &n));
    IBaseFilter* camera = nullptr;
    ASSERT_EQ(S_OK, moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&camera)));
    auto* grey = new GreyTransform();
    auto* sink = new RgbSink();
    ASSERT_EQ(S_OK, graph->AddFilter(camera, L"camera"));
    ASSERT_EQ(S_OK, graph->AddFilter(grey, L"grey"));
    ASSERT_EQ(S_OK, graph->AddFilter(sink, L"sink"));
    ASSERT_EQ(S_OK, builder->RenderStream(nullptr, nullptr, camera, nullptr, sink));

    IMediaControl* control = nullptr;
    graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control));
    ASSERT_EQ(S_OK, control->Run());
    EXPECT_EQ(3, dshow::PushVirtualFrames(L"Pattern Cam", 3));
    EXPECT_EQ(3, sink->frames.load());
    EXPECT_EQ(64 * 48 * 3, sink->lastLength.load());
    control->Stop();
    EXPECT_EQ(0, dshow::PushVirtualFrames(L"Pattern Cam", 1));

    control->Release();
    sink->Release();
    grey->Release();
    camera->Release();
    moniker->Release();
    monikers->Release();
    devEnum->Release();
    builder->Release();
    graph->Release();
  }
  CoUninitialize();
  dshow::SetVirtualDevices({});
  EXPECT_EQ(baseline, dshow::LiveObjectCount());
}

}  // namespace
