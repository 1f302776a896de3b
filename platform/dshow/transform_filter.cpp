#include "platform/dshow/transform_filter.h"

CTransformInputPin::CTransformInputPin(CTransformFilter* filter, std::recursive_mutex* lock)
    : CBaseInputPin(L"XForm In", filter, lock), m_pTransform(filter) {}

HRESULT CTransformInputPin::CheckMediaType(const CMediaType* mt) {
  HRESULT hr = m_pTransform->CheckInputType(mt);
  if (hr != S_OK) return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
  CTransformOutputPin* out = m_pTransform->OutputPin();
  if (out->IsConnected()) return m_pTransform->CheckTransform(mt, &out->CurrentMediaType());
  return S_OK;
}

HRESULT CTransformInputPin::SetMediaType(const CMediaType* mt) {
  const HRESULT hr = CBaseInputPin::SetMediaType(mt);
  return FAILED(hr) ? hr : m_pTransform->SetMediaType(PINDIR_INPUT, mt);
}

HRESULT CTransformInputPin::CompleteConnect(IPin* pin) {
  const HRESULT hr = m_pTransform->CompleteConnect(PINDIR_INPUT, pin);
  return FAILED(hr) ? hr : CBaseInputPin::CompleteConnect(pin);
}

HRESULT CTransformInputPin::BreakConnect() {
  m_pTransform->BreakConnect(PINDIR_INPUT);
  return CBaseInputPin::BreakConnect();
}

HRESULT CTransformInputPin::Receive(IMediaSample* sample) {
  const HRESULT hr = CBaseInputPin::Receive(sample);
  return hr == S_OK ? m_pTransform->Receive(sample) : hr;
}

HRESULT CTransformInputPin::EndOfStream() {
  return m_pTransform->OutputPin()->DeliverEndOfStream();
}

CTransformOutputPin::CTransformOutputPin(CTransformFilter* filter, std::recursive_mutex* lock)
    : CBaseOutputPin(L"XForm Out", filter, lock), m_pTransform(filter) {}

HRESULT CTransformOutputPin::CheckMediaType(const CMediaType* mt) {
  CTransformInputPin* in = m_pTransform->InputPin();
  if (!in->IsConnected()) return E_UNEXPECTED;
  return m_pTransform->CheckTransform(&in->CurrentMediaType(), mt);
}

HRESULT CTransformOutputPin::GetMediaType(int position, CMediaType* mt) {
  if (!m_pTransform->InputPin()->IsConnected()) return E_UNEXPECTED;
  return m_pTransform->GetMediaType(position, mt);
}

HRESULT CTransformOutputPin::SetMediaType(const CMediaType* mt) {
  const HRESULT hr = CBaseOutputPin::SetMediaType(mt);
  return FAILED(hr) ? hr : m_pTransform->SetMediaType(PINDIR_OUTPUT, mt);
}

HRESULT CTransformOutputPin::CheckConnect(IPin* pin) {
  if (!m_pTransform->InputPin()->IsConnected()) return E_UNEXPECTED;
  HRESULT hr = m_pTransform->CheckConnect(PINDIR_OUTPUT, pin);
  return FAILED(hr) ? hr : CBaseOutputPin::CheckConnect(pin);
}

HRESULT CTransformOutputPin::CompleteConnect(IPin* pin) {
  HRESULT hr = m_pTransform->CompleteConnect(PINDIR_OUTPUT, pin);
  return FAILED(hr) ? hr : CBaseOutputPin::CompleteConnect(pin);
}

HRESULT CTransformOutputPin::BreakConnect() {
  m_pTransform->BreakConnect(PINDIR_OUTPUT);
  return CBaseOutputPin::BreakConnect();
}

HRESULT CTransformOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  return m_pTransform->DecideBufferSize(allocator, request);
}

CTransformFilter::CTransformFilter(const wchar_t* name, IUnknown*, REFCLSID clsid)
    : CBaseFilter(name, &m_csFilter, clsid),
      m_pInput(std::make_unique<CTransformInputPin>(this, &m_csFilter)),
      m_pOutput(std::make_unique<CTransformOutputPin>(this, &m_csFilter)) {}

CTransformFilter::~CTransformFilter() = default;

CBasePin* CTransformFilter::GetPin(int n) {
  if (n == 0) return m_pInput.get();
  if (n == 1) return m_pOutput.get();
  return nullptr;
}

HRESULT CTransformFilter::Stop() {
  {
    std::lock_guard<std::mutex> lock(m_csReceive);
    m_State = State_Stopped;
  }
  return CBaseFilter::Stop();
}

HRESULT CTransformFilter::Receive(IMediaSample* sample) {
  std::lock_guard<std::mutex> lock(m_csReceive);
  if (m_State == State_Stopped) return VFW_E_WRONG_STATE;
  IMediaSample* out = nullptr;
  HRESULT hr = m_pOutput->GetDeliveryBuffer(&out, nullptr, nullptr, 0);
  if (FAILED(hr)) return hr;
  hr = Transform(sample, out);
  if (hr == S_OK) hr = m_pOutput->Deliver(out);
  else if (hr == S_FALSE) hr = S_OK;  // dropped on purpose
  out->Release();
  return hr;
}
