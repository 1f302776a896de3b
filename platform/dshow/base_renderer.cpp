#include "platform/dshow/base_renderer.h"

CRendererInputPin::CRendererInputPin(CBaseRenderer* renderer, std::recursive_mutex* lock, const wchar_t* name)
    : CBaseInputPin(name, renderer, lock), m_pRenderer(renderer) {}

HRESULT CRendererInputPin::CheckMediaType(const CMediaType* mt) { return m_pRenderer->CheckMediaType(mt); }

HRESULT CRendererInputPin::SetMediaType(const CMediaType* mt) {
  const HRESULT hr = CBaseInputPin::SetMediaType(mt);
  return FAILED(hr) ? hr : m_pRenderer->SetMediaType(mt);
}

HRESULT CRendererInputPin::BreakConnect() {
  m_pRenderer->BreakConnect();
  return CBaseInputPin::BreakConnect();
}

HRESULT CRendererInputPin::Receive(IMediaSample* sample) {
  const HRESULT hr = CBaseInputPin::Receive(sample);
  if (hr != S_OK) return hr;
  return m_pRenderer->Receive(sample);
}

HRESULT CRendererInputPin::EndOfStream() { return m_pRenderer->EndOfStream(); }

CBaseRenderer::CBaseRenderer(REFCLSID clsid, const wchar_t* name, IUnknown*, HRESULT* hr)
    : CBaseFilter(name, &m_InterfaceLock, clsid),
      m_pInputPin(std::make_unique<CRendererInputPin>(this, &m_InterfaceLock, L"In")) {
  if (hr) *hr = S_OK;
}

CBaseRenderer::~CBaseRenderer() = default;

CBasePin* CBaseRenderer::GetPin(int n) { return n == 0 ? m_pInputPin.get() : nullptr; }

HRESULT CBaseRenderer::Stop() {
  // Wait for a sample being rendered; later ones see the stopped state.
  {
    std::lock_guard<std::mutex> lock(m_RendererLock);
    m_State = State_Stopped;
  }
  return CBaseFilter::Stop();
}

HRESULT CBaseRenderer::Receive(IMediaSample* sample) {
  std::lock_guard<std::mutex> lock(m_RendererLock);
  if (m_State == State_Stopped) return VFW_E_WRONG_STATE;
  return DoRenderSample(sample);
}

HRESULT CBaseRenderer::EndOfStream() {
  NotifyEvent(EC_COMPLETE, S_OK, 0);
  return S_OK;
}
