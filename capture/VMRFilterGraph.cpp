#include "capture/VMRFilterGraph.h"

#include "capture/PlayFilter.h"
#include "capture/TextConvert.h"
#include "capture/VideoWindowRender.h"
#include "common/Log.h"

CVMRFilterGraph::~CVMRFilterGraph() {
  Stop();
  SafeRelease(&m_seeking);
  SafeRelease(&m_event);
  SafeRelease(&m_control);
  SafeRelease(&m_builder);
  // The graph lets go of its filters (and they of each other) first.
  SafeRelease(&m_graph);
  SafeRelease(&m_playFilter);
  SafeRelease(&m_renderer);
  m_apartment.Leave();
}

bool CVMRFilterGraph::Create(int maxFrameLength, const BITMAPINFOHEADER& format, HWND window, std::wstring* err) {
  auto fail = [&](const wchar_t* text) {
    if (err) *err = text;
    STRIVON_LOG(kLogWarning, "CVMRFilterGraph::Create", "%s", WideToAnsi(text).c_str());
    return false;
  };
  if (FAILED(m_apartment.Enter())) return fail(L"Com初始化错误");
  if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                              reinterpret_cast<void**>(&m_graph))))
    return fail(L"Create FilterGraph error");
  if (FAILED(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                              reinterpret_cast<void**>(&m_builder))))
    return fail(L"Create CaptureGraphBuilder2 error");
  if (FAILED(m_builder->SetFiltergraph(m_graph))) return fail(L"SetFiltergraph error");
  if (FAILED(m_graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&m_control))))
    return fail(L"QueryInterface IMediaControl error");
  if (FAILED(m_graph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(&m_event))))
    return fail(L"QueryInterface IMediaEventEx error");
  if (FAILED(m_graph->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&m_seeking))))
    return fail(L"QueryInterface IMediaSeeking error");

  m_playFilter = CreatePlayFilter(maxFrameLength, format);
  if (!m_playFilter) return fail(L"VMRFilterGraph 内存不足");
  if (FAILED(m_graph->AddFilter(m_playFilter, L"PlayFilter")))
    return fail(L"VMRFilterGraph Add PlayFilter Filter error");

  IBaseFilter* converter = nullptr;
  if (FAILED(CoCreateInstance(CLSID_Colour, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                              reinterpret_cast<void**>(&converter))))
    return fail(L"VMRFilterGraph Create ColorSpaceConverter Filter Error");
  // Offered to the graph for a picture layout the renderer does not take;
  // the graph holds it from here on.
  const HRESULT added = m_graph->AddFilter(converter, L"ColorSpaceConverter");
  converter->Release();
  if (FAILED(added)) return fail(L"VMRFilterGraph Add ColorSpaceConverter error");

  HRESULT hr = S_OK;
  m_renderer = CreateVideoWindowRender(&hr);
  if (!m_renderer) return fail(L"VMRFilterGraph Create VMR Filter Error");
  if (FAILED(m_graph->AddFilter(m_renderer, L"VMRFilter"))) return fail(L"VMRFilterGraph Add VMRFilter error");
  if (FAILED(m_builder->RenderStream(nullptr, &MEDIATYPE_Video, static_cast<IBaseFilter*>(m_playFilter), nullptr,
                                     m_renderer)))
    return fail(L"VMRFilterGraph PlayFilter VMRFilter Connect error");
  m_renderer->SetOwner(window);
  return true;
}

HRESULT CVMRFilterGraph::Run() { return m_control ? m_control->Run() : E_UNEXPECTED; }

void CVMRFilterGraph::Stop() {
  if (m_control) m_control->Stop();
}

bool CVMRFilterGraph::PushFrame(const BYTE* rgb, int len) {
  if (!m_playFilter || len > m_playFilter->MaxFrameLength()) return false;
  return m_playFilter->PushFrame(rgb, len);
}
