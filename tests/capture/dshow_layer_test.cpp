// The capture layer on its own: apartment counting, graph building and state
// changes, synchronous stop, events, stream configuration and the running
// object table, with virtual devices and a collecting renderer.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/dshow/base_renderer.h"
#include "platform/base/tick.h"
#include "platform/dshow/dshow.h"
#include "platform/dshow/sample.h"

#include <cstring>
#include <cwchar>
#include "tests/capture/virtual_env.h"

namespace {

using capture_test::Mic;

class CollectingRenderer : public CBaseRenderer {
 public:
  CollectingRenderer() : CBaseRenderer(CLSID_VirtualPlaceholder, L"collector", nullptr, nullptr) { AddRef(); }
  HRESULT CheckMediaType(const CMediaType* mt) override {
    return mt->majortype == MEDIATYPE_Audio ? S_OK : E_INVALIDARG;
  }
  HRESULT DoRenderSample(IMediaSample* sample) override {
    bytes += sample->GetActualDataLength();
    ++samples;
    return S_OK;
  }
  std::atomic<long> bytes{0};
  std::atomic<int> samples{0};
};

struct ComScope {
  ComScope() { EXPECT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
  ~ComScope() { CoUninitialize(); }
};

IBaseFilter* BindFirst(const GUID& category) {
  ICreateDevEnum* devEnum = nullptr;
  EXPECT_EQ(S_OK, CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                   reinterpret_cast<void**>(&devEnum)));
  IEnumMoniker* e = nullptr;
  IBaseFilter* filter = nullptr;
  if (devEnum->CreateClassEnumerator(category, &e, 0) == S_OK) {
    IMoniker* m = nullptr;
    ULONG n = 0;
    if (e->Next(1, &m, &n) == S_OK) {
      m->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter));
      m->Release();
    }
    e->Release();
  }
  devEnum->Release();
  return filter;
}

// Graph: virtual microphone -> collecting renderer.
struct MicGraph {
  IGraphBuilder* graph = nullptr;
  ICaptureGraphBuilder2* builder = nullptr;
  IMediaControl* control = nullptr;
  IMediaEventEx* events = nullptr;
  CollectingRenderer* sink = nullptr;
  HRESULT built = E_FAIL;

  MicGraph() {
    CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                     reinterpret_cast<void**>(&graph));
    CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                     reinterpret_cast<void**>(&builder));
    builder->SetFiltergraph(graph);
    graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control));
    graph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(&events));
    IBaseFilter* mic = BindFirst(CLSID_AudioInputDeviceCategory);
    sink = new CollectingRenderer();
    graph->AddFilter(mic, L"mic");
    graph->AddFilter(sink, L"sink");
    built = builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, mic, nullptr, sink);
    mic->Release();
  }
  ~MicGraph() {
    sink->Release();
    events->Release();
    control->Release();
    builder->Release();
    graph->Release();
  }
};

class DshowLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    baseline_ = dshow::LiveObjectCount();
    dshow::SetVirtualDevices({Mic(L"Layer Mic")});
  }
  void TearDown() override {
    dshow::SetVirtualDevices({});
    EXPECT_EQ(baseline_, dshow::LiveObjectCount()) << "objects leaked";
  }
  long baseline_ = 0;
};

TEST(ComApartment, CountsPerThreadAndRefusesAModeChange) {
  std::thread([] {
    void* object = nullptr;
    EXPECT_EQ(CO_E_NOTINITIALIZED, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                                    IID_IGraphBuilder, &object));
    EXPECT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    EXPECT_EQ(RPC_E_CHANGED_MODE, CoInitialize(nullptr));
    EXPECT_EQ(1, CoInitializeDepth());
    CoUninitialize();
    EXPECT_EQ(S_OK, CoInitialize(nullptr));
    EXPECT_EQ(S_FALSE, CoInitialize(nullptr));
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(0, CoInitializeDepth());
    CoUninitialize();  // unbalanced: harmless
    EXPECT_EQ(0, CoInitializeDepth());
  }).join();
}

TEST_F(DshowLayerTest, CaptureGraphDeliversOnlyWhileRunningAndStopIsSynchronous) {
  ComScope com;
  {
    MicGraph g;
    ASSERT_EQ(S_OK, g.built);
    EXPECT_EQ(0, dshow::PushVirtualTone(L"Layer Mic", 100)) << "nothing flows before Run";
    ASSERT_EQ(S_OK, g.control->Run());
    EXPECT_EQ(17640, dshow::PushVirtualTone(L"Layer Mic", 100));
    EXPECT_EQ(17640, g.sink->bytes.load());

    // A pusher hammering the device while the graph stops: after Stop returns
    // nothing more reaches the renderer.
    std::atomic<bool> go{true};
    std::thread pusher([&] {
      while (go) dshow::PushVirtualTone(L"Layer Mic", 10);
    });
    platform::SleepMs(20);
    ASSERT_EQ(S_OK, g.control->Stop());
    const long afterStop = g.sink->bytes.load();
    platform::SleepMs(20);
    go = false;
    pusher.join();
    EXPECT_EQ(afterStop, g.sink->bytes.load());

    // Restart works on the same graph.
    ASSERT_EQ(S_OK, g.control->Run());
    EXPECT_GT(dshow::PushVirtualTone(L"Layer Mic", 20), 0);
    g.control->Stop();
  }
}

TEST_F(DshowLayerTest, FilterEventsReachTheEventQueueAndSignalTheHandle) {
  ComScope com;
  MicGraph g;
  ASSERT_EQ(S_OK, g.built);
  OAEVENT handle = 0;
  ASSERT_EQ(S_OK, g.events->GetEventHandle(&handle));
  EXPECT_FALSE(dshow::WaitEventHandle(handle, 0));
  EXPECT_EQ(1, dshow::InjectVirtualEvent(L"Layer Mic", EC_ERRORABORT));
  EXPECT_TRUE(dshow::WaitEventHandle(handle, 100));
  long code = 0;
  LONG_PTR p1 = 0, p2 = 0;
  ASSERT_EQ(S_OK, g.events->GetEvent(&code, &p1, &p2, 0));
  EXPECT_EQ(EC_ERRORABORT, code);
  EXPECT_FALSE(SUCCEEDED(g.events->GetEvent(&code, &p1, &p2, 0)));
  EXPECT_FALSE(dshow::WaitEventHandle(handle, 0));
}

TEST_F(DshowLayerTest, StreamConfigAcceptsPcmAndRefusesNonsenseAndChangesWhileConnected) {
  ComScope com;
  IBaseFilter* mic = BindFirst(CLSID_AudioInputDeviceCategory);
  ASSERT_NE(nullptr, mic);
  ICaptureGraphBuilder2* builder = nullptr;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_ICaptureGraphBuilder2, reinterpret_cast<void**>(&builder)));
  IAMStreamConfig* config = nullptr;
  ASSERT_EQ(S_OK, builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, mic, IID_IAMStreamConfig,
                                         reinterpret_cast<void**>(&config)));
  AM_MEDIA_TYPE* mt = nullptr;
  ASSERT_EQ(S_OK, config->GetFormat(&mt));
  WAVEFORMATEX wf{WAVE_FORMAT_PCM, 1, 22050, 44100, 2, 16, 0};
  BuildPcmMediaType(mt, wf);
  EXPECT_EQ(S_OK, config->SetFormat(mt));
  wf.nBlockAlign = 7;  // inconsistent with the rest
  BuildPcmMediaType(mt, wf);
  EXPECT_TRUE(FAILED(config->SetFormat(mt)));
  mt->cbFormat = 4;  // a format block too short to hold a WAVEFORMATEX
  EXPECT_TRUE(FAILED(config->SetFormat(mt)));
  mt->cbFormat = sizeof(WAVEFORMATEX);
  DeleteMediaType(mt);
  ASSERT_EQ(S_OK, config->GetFormat(&mt));
  WAVEFORMATEX now;
  std::memcpy(&now, mt->pbFormat, sizeof(now));
  EXPECT_EQ(22050u, now.nSamplesPerSec);
  EXPECT_EQ(1, now.nChannels);
  DeleteMediaType(mt);
  config->Release();
  builder->Release();
  mic->Release();
}

TEST_F(DshowLayerTest, RunningObjectTableHoldsWhatIsRegisteredUntilRevoked) {
  ComScope com;
  IGraphBuilder* graph = nullptr;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                   reinterpret_cast<void**>(&graph)));
  IRunningObjectTable* rot = nullptr;
  ASSERT_EQ(S_OK, GetRunningObjectTable(0, &rot));
  IMoniker* name = nullptr;
  ASSERT_EQ(S_OK, CreateItemMoniker(L"!", L"FilterGraph test", &name));
  const int before = dshow::RunningObjectCount();
  DWORD cookie = 0;
  ASSERT_EQ(S_OK, rot->Register(ROTFLAGS_REGISTRATIONKEEPSALIVE, graph, name, &cookie));
  EXPECT_EQ(before + 1, dshow::RunningObjectCount());
  EXPECT_EQ(S_OK, rot->IsRunning(name));
  graph->Release();  // the table keeps it alive
  EXPECT_EQ(S_OK, rot->Revoke(cookie));
  EXPECT_EQ(E_INVALIDARG, rot->Revoke(cookie));
  EXPECT_EQ(before, dshow::RunningObjectCount());
  name->Release();
  rot->Release();
}

TEST(DshowAllocator, DecommitWakesABlockedGetBuffer) {
  const long baseline = dshow::LiveObjectCount();
  {
    IMemAllocator* a = CMemAllocator::Create();
    ALLOCATOR_PROPERTIES want{1, 64, 1, 0}, got{};
    ASSERT_EQ(S_OK, a->SetProperties(&want, &got));
    ASSERT_EQ(S_OK, a->Commit());
    IMediaSample* held = nullptr;
    ASSERT_EQ(S_OK, a->GetBuffer(&held, nullptr, nullptr, 0));
    HRESULT blocked = S_OK;
    std::thread waiter([&] {
      IMediaSample* s = nullptr;
      blocked = a->GetBuffer(&s, nullptr, nullptr, 0);
      if (s) s->Release();
    });
    platform::SleepMs(30);
    a->Decommit();
    waiter.join();
    EXPECT_EQ(VFW_E_NOT_COMMITTED, blocked);
    EXPECT_EQ(VFW_E_BUFFER_OVERFLOW, held->SetActualDataLength(65));
    REFERENCE_TIME s = 0, e = 0;
    EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, held->GetTime(&s, &e));
    a->Release();     // the sample still holds the allocator
    held->Release();  // last reference: both go
  }
  EXPECT_EQ(baseline, dshow::LiveObjectCount());
}

TEST(DshowErrorText, KnownAndUnknownCodesAndTinyBuffers) {
  wchar_t text[1024];
  EXPECT_GT(AMGetErrorTextW(VFW_E_NOT_CONNECTED, text, 1024), 0u);
  EXPECT_NE(nullptr, std::wcsstr(text, L"not connected"));
  AMGetErrorTextW(static_cast<HRESULT>(0x80041234u), text, 1024);
  EXPECT_NE(nullptr, std::wcsstr(text, L"80041234"));
  wchar_t tiny[4];
  EXPECT_EQ(3u, AMGetErrorTextW(E_FAIL, tiny, 4));
  EXPECT_EQ(0, tiny[3]);
}

}  // namespace
