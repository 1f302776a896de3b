// Output and input pins: allocator agreement on connection and sample flow.
#include "platform/dshow/base_filter.h"
#include "platform/dshow/sample.h"

CBaseOutputPin::CBaseOutputPin(const wchar_t* name, CBaseFilter* filter, std::recursive_mutex* lock)
    : CBasePin(name, filter, lock, PINDIR_OUTPUT) {}

CBaseOutputPin::~CBaseOutputPin() {
  SafeRelease(&m_pAllocator);
  SafeRelease(&m_pInputPin);
}

HRESULT CBaseOutputPin::CheckConnect(IPin* pin) {
  HRESULT hr = CBasePin::CheckConnect(pin);
  if (FAILED(hr)) return hr;
  SafeRelease(&m_pInputPin);
  hr = pin->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&m_pInputPin));
  return FAILED(hr) ? VFW_E_CANNOT_CONNECT : S_OK;
}

HRESULT CBaseOutputPin::DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) {
  *allocator = nullptr;
  ALLOCATOR_PROPERTIES props{};
  pin->GetAllocatorRequirements(&props);
  HRESULT hr = pin->GetAllocator(allocator);
  if (FAILED(hr) || !*allocator) *allocator = CMemAllocator::Create();
  hr = DecideBufferSize(*allocator, &props);
  if (SUCCEEDED(hr)) hr = pin->NotifyAllocator(*allocator, 0);
  if (FAILED(hr)) SafeRelease(allocator);
  return hr;
}

HRESULT CBaseOutputPin::CompleteConnect(IPin*) {
  if (!m_pInputPin) return VFW_E_NO_ALLOCATOR;
  SafeRelease(&m_pAllocator);
  return DecideAllocator(m_pInputPin, &m_pAllocator);
}

HRESULT CBaseOutputPin::BreakConnect() {
  if (m_pAllocator) m_pAllocator->Decommit();
  SafeRelease(&m_pAllocator);
  SafeRelease(&m_pInputPin);
  return S_OK;
}

HRESULT CBaseOutputPin::Active() {
  return m_pAllocator ? m_pAllocator->Commit() : VFW_E_NO_ALLOCATOR;
}

HRESULT CBaseOutputPin::Inactive() {
  return m_pAllocator ? m_pAllocator->Decommit() : VFW_E_NO_ALLOCATOR;
}

HRESULT CBaseOutputPin::GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                          DWORD flags) {
  if (!m_pAllocator) return VFW_E_NO_ALLOCATOR;
  return m_pAllocator->GetBuffer(sample, start, stop, flags);
}

HRESULT CBaseOutputPin::Deliver(IMediaSample* sample) {
  if (!m_pInputPin) return VFW_E_NOT_CONNECTED;
  return m_pInputPin->Receive(sample);
}

HRESULT CBaseOutputPin::DeliverEndOfStream() {
  if (!m_Connected) return VFW_E_NOT_CONNECTED;
  return m_Connected->EndOfStream();
}

// ---------------------------------------------------------------------------

CBaseInputPin::CBaseInputPin(const wchar_t* name, CBaseFilter* filter, std::recursive_mutex* lock)
    : CBasePin(name, filter, lock, PINDIR_INPUT) {}

CBaseInputPin::~CBaseInputPin() { SafeRelease(&m_pAllocator); }

HRESULT CBaseInputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IMemInputPin) return GetInterface(static_cast<IMemInputPin*>(this), ppv);
  return CBasePin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CBaseInputPin::GetAllocator(IMemAllocator** allocator) {
  if (!allocator) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(*m_pLock);
  if (!m_pAllocator) m_pAllocator = CMemAllocator::Create();
  m_pAllocator->AddRef();
  *allocator = m_pAllocator;
  return S_OK;
}

HRESULT CBaseInputPin::NotifyAllocator(IMemAllocator* allocator, int32_t) {
  if (!allocator) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(*m_pLock);
  allocator->AddRef();
  SafeRelease(&m_pAllocator);
  m_pAllocator = allocator;
  return S_OK;
}

HRESULT CBaseInputPin::Receive(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  if (m_pFilter->IsStopped()) return VFW_E_WRONG_STATE;
  if (m_bFlushing) return S_FALSE;
  return S_OK;
}

HRESULT CBaseInputPin::BeginFlush() {
  m_bFlushing = true;
  return S_OK;
}

HRESULT CBaseInputPin::EndFlush() {
  m_bFlushing = false;
  return S_OK;
}

HRESULT CBaseInputPin::BreakConnect() {
  SafeRelease(&m_pAllocator);
  return S_OK;
}

HRESULT CBaseInputPin::Inactive() {
  m_bFlushing = false;
  return S_OK;
}
