#include "capture/DShowApplication.h"

#include <unistd.h>

#include <cstdio>
#include <cwchar>

#include "platform/base/tick.h"
#include "platform/dshow/graph_helpers.h"

CDShowApplication::~CDShowApplication() { ReleaseGraph(); }

std::wstring CDShowApplication::FormatError(const wchar_t* what, HRESULT hr) {
  wchar_t text[1024] = {0};
  AMGetErrorTextW(hr, text, 1024);
  wchar_t line[1200];
  std::swprintf(line, 1200, L"%ls, return code %d, %ls", what ? what : L"", static_cast<int>(hr), text);
  return line;
}

bool CDShowApplication::CreateGraph(std::string* err) {
  auto fail = [&](const char* text) {
    err->append(text);
    return false;
  };
  if (FAILED(m_apartment.Enter())) return fail("Lumatrix VideoCapture Com初始化错误");
  if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                              reinterpret_cast<void**>(&m_graph))))
    return fail("Lumatrix VideoCapture Create FilterGraph error");
  if (FAILED(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                              reinterpret_cast<void**>(&m_builder))))
    return fail("Lumatrix VideoCapture Create CaptureGraphBuilder2  error");
  if (FAILED(m_builder->SetFiltergraph(m_graph))) return fail("Lumatrix VideoCapture SetFiltergraph error");
  if (FAILED(m_graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&m_control))))
    return fail("Lumatrix VideoCapture QueryInterface IMediaControl error");
  if (FAILED(m_graph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(&m_event))))
    return fail("Lumatrix VideoCapture QueryInterface IMediaEventEx error");
  if (FAILED(m_graph->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&m_seeking))))
    return fail("Lumatrix VideoCapture QueryInterface IMediaSeeking error");
  AddToRot();
  m_running = true;
  CTVThread::Start();
  return true;
}

bool CDShowApplication::StopGraph() {
  if (!m_control) return false;
  const HRESULT hr = m_control->Stop();
  LONGLONG duration = 0;
  if (m_seeking && SUCCEEDED(m_seeking->GetDuration(&duration))) {
    LONGLONG current = 0;
    m_seeking->SetPositions(&current, AM_SEEKING_AbsolutePositioning, &duration, AM_SEEKING_AbsolutePositioning);
  }
  if (FAILED(hr)) {
    OnError(2, 4, FormatError(L"Stop Error", hr).c_str());
    return false;
  }
  return true;
}

void CDShowApplication::ReleaseGraph() {
  m_running = false;
  // A report handler on the event thread may release its capture; that
  // thread cannot wait for itself, and ends on its own once the flag drops.
  if (!HasThread() || ThreadId() != static_cast<uint32_t>(gettid())) Join();
  RemoveFromRot();
  SafeRelease(&m_seeking);
  SafeRelease(&m_event);
  SafeRelease(&m_control);
  SafeRelease(&m_builder);
  SafeRelease(&m_graph);
  m_apartment.Leave();
}

void CDShowApplication::AddToRot() { m_rotCookie = RegisterGraphInRot(m_graph); }

void CDShowApplication::RemoveFromRot() { RevokeGraphFromRot(&m_rotCookie); }

void CDShowApplication::Run() {
  // After every report the owner may have released this capture from here.
  OAEVENT handle = 0;
  const HRESULT got = m_event ? m_event->GetEventHandle(&handle) : E_POINTER;
  if (FAILED(got)) OnError(2, 4, FormatError(L"DShowApplication GetEventHandle Error", got).c_str());
  if (ReleasedOnThisThread()) return;
  if (!SetCurrentThreadPriority(platform::ThreadPriority::TimeCritical, "CDShowApplication::Run"))
    OnError(1, 4, FormatError(L"DShowApplication SetThreadPriority Error", E_FAIL).c_str());
  if (ReleasedOnThisThread()) return;
  while (m_running) {
    if (SUCCEEDED(got) && dshow::WaitEventHandle(handle, 100)) {
      long code = 0;
      LONG_PTR p1 = 0, p2 = 0;
      while (m_running && SUCCEEDED(m_event->GetEvent(&code, &p1, &p2, 0))) {
        if (code == EC_COMPLETE) OnComplete();
        else if (code == EC_USERABORT || code == EC_ERRORABORT) OnError(2, 4, L"DShowApplication Error");
        if (ReleasedOnThisThread()) return;
        m_event->FreeEventParams(code, p1, p2);
      }
    } else if (FAILED(got)) {
      platform::SleepMs(100);
    }
    platform::SleepMs(1);
  }
}
