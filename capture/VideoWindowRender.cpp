#include "capture/VideoWindowRender.h"

#include <cstdlib>
#include <new>

#include "capture/WindowBlitter.h"
#include "platform/dshow/guids.h"
#include "platform/grabora/x_connection_watch.h"
#include "platform/grabora/x_error_trap.h"

CVideoWindowRender::CVideoWindowRender(HRESULT* hr) : CVideoRenderRGB(CLSID_VideoMixingRenderer9, 24, hr) {
  m_display = XOpenDisplay(nullptr);
  if (!m_display) {
    if (hr) *hr = E_FAIL;
    return;
  }
  m_watch = std::make_unique<XConnectionWatch>(m_display);
  m_blitter = std::make_unique<WindowBlitter>(m_display, m_watch.get());
}

CVideoWindowRender::~CVideoWindowRender() {
  m_blitter.reset();
  if (m_display) XCloseDisplay(m_display);
  m_watch.reset();  // only after the close: a lost connection may report while closing
}

HRESULT CVideoWindowRender::DoRenderSample(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  BYTE* data = nullptr;
  const HRESULT hr = sample->GetPointer(&data);
  if (FAILED(hr)) return hr;
  // A short sample is dropped rather than read past its end.
  if (!data || sample->GetActualDataLength() < m_frameBytes) return S_OK;
  const Window window = m_owner;
  if (!window || !m_blitter || m_watch->Lost()) return S_OK;
  XWindowAttributes attrs{};
  {
    XErrorTrap trap(m_display);
    if (!XGetWindowAttributes(m_display, window, &attrs) || trap.Failed()) return S_OK;
  }
  // A hidden window shows nothing: its picture would be lost anyway.
  if (attrs.map_state != IsViewable) return S_OK;
  m_blitter->Draw(window, data, m_header.biWidth, std::abs(m_header.biHeight), m_header.biHeight > 0, attrs.width,
                  attrs.height);
  return S_OK;
}

CVideoWindowRender* CreateVideoWindowRender(HRESULT* hr) {
  if (dshow::CreateFailsForTest(CLSID_VideoMixingRenderer9)) {
    if (hr) *hr = E_FAIL;
    return nullptr;
  }
  HRESULT made = S_OK;
  auto* renderer = new (std::nothrow) CVideoWindowRender(&made);
  if (!renderer) {
    if (hr) *hr = E_OUTOFMEMORY;
    return nullptr;
  }
  renderer->AddRef();
  if (FAILED(made)) {
    renderer->Release();
    renderer = nullptr;
  }
  if (hr) *hr = made;
  return renderer;
}
