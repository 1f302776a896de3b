#include "platform/dshow/enumerators.h"

CEnumPins::CEnumPins(CBaseFilter* filter) : m_filter(filter) {
  m_filter->AddRef();
  const int n = filter->GetPinCount();
  for (int i = 0; i < n; ++i)
    if (CBasePin* pin = filter->GetPin(i)) m_pins.push_back(pin);
}

CEnumPins::~CEnumPins() { m_filter->Release(); }

HRESULT CEnumPins::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IUnknown || riid == IID_IEnumPins) return GetInterface(static_cast<IEnumPins*>(this), ppv);
  return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CEnumPins::Next(ULONG count, IPin** pins, ULONG* fetched) {
  if (!pins) return E_POINTER;
  ULONG n = 0;
  while (n < count && m_pos < m_pins.size()) {
    pins[n] = m_pins[m_pos++];
    pins[n]->AddRef();
    ++n;
  }
  if (fetched) *fetched = n;
  return n == count ? S_OK : S_FALSE;
}

HRESULT CEnumPins::Skip(ULONG count) {
  m_pos += count;
  if (m_pos > m_pins.size()) {
    m_pos = m_pins.size();
    return S_FALSE;
  }
  return S_OK;
}

HRESULT CEnumPins::Reset() {
  m_pos = 0;
  return S_OK;
}

CEnumMediaTypes::CEnumMediaTypes(CBasePin* pin) {
  // A pin offers a short list; the bound keeps a broken GetMediaType from looping.
  for (int i = 0; i < 256; ++i) {
    CMediaType mt;
    if (pin->GetMediaType(i, &mt) != S_OK) break;
    m_types.push_back(mt);
  }
}

HRESULT CEnumMediaTypes::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IUnknown || riid == IID_IEnumMediaTypes)
    return GetInterface(static_cast<IEnumMediaTypes*>(this), ppv);
  return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CEnumMediaTypes::Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) {
  if (!types) return E_POINTER;
  ULONG n = 0;
  while (n < count && m_pos < m_types.size()) {
    types[n] = CreateMediaType(&m_types[m_pos++]);
    if (!types[n]) break;
    ++n;
  }
  if (fetched) *fetched = n;
  return n == count ? S_OK : S_FALSE;
}

HRESULT CEnumMediaTypes::Skip(ULONG count) {
  m_pos += count;
  if (m_pos > m_types.size()) {
    m_pos = m_types.size();
    return S_FALSE;
  }
  return S_OK;
}

HRESULT CEnumMediaTypes::Reset() {
  m_pos = 0;
  return S_OK;
}
