#include "platform/dshow/base_filter.h"

#include <cwchar>

#include "platform/dshow/enumerators.h"

CBaseFilter::CBaseFilter(const wchar_t* name, std::recursive_mutex* lock, REFCLSID clsid)
    : m_pLock(lock), m_name(name ? name : L""), m_clsid(clsid) {}

CBaseFilter::~CBaseFilter() = default;

HRESULT CBaseFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IUnknown || riid == IID_IBaseFilter || riid == IID_IMediaFilter || riid == IID_IPersist)
    return GetInterface(static_cast<IBaseFilter*>(this), ppv);
  return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CBaseFilter::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = m_clsid;
  return S_OK;
}

HRESULT CBaseFilter::Stop() {
  std::lock_guard<std::recursive_mutex> lock(*m_pLock);
  HRESULT result = S_OK;
  // Inactive is harmless on a stopped pin; derived filters may already have
  // marked themselves stopped before calling here.
  m_State = State_Stopped;
  for (int i = 0; i < GetPinCount(); ++i) {
    CBasePin* pin = GetPin(i);
    if (pin && pin->IsConnected()) {
      const HRESULT hr = pin->Inactive();
      if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
  }
  return result;
}

HRESULT CBaseFilter::Pause() {
  std::lock_guard<std::recursive_mutex> lock(*m_pLock);
  if (m_State == State_Stopped) {
    for (int i = 0; i < GetPinCount(); ++i) {
      CBasePin* pin = GetPin(i);
      if (pin && pin->IsConnected()) {
        const HRESULT hr = pin->Active();
        if (FAILED(hr)) return hr;
      }
    }
  }
  m_State = State_Paused;
  return S_OK;
}

HRESULT CBaseFilter::Run(REFERENCE_TIME start) {
  std::lock_guard<std::recursive_mutex> lock(*m_pLock);
  m_tStart = start;
  if (m_State == State_Stopped) {
    const HRESULT hr = Pause();
    if (FAILED(hr)) return hr;
  }
  if (m_State != State_Running) {
    for (int i = 0; i < GetPinCount(); ++i) {
      CBasePin* pin = GetPin(i);
      if (pin && pin->IsConnected()) {
        const HRESULT hr = pin->Run(start);
        if (FAILED(hr)) return hr;
      }
    }
  }
  m_State = State_Running;
  return S_OK;
}

HRESULT CBaseFilter::GetState(DWORD, FILTER_STATE* state) {
  if (!state) return E_POINTER;
  *state = m_State;
  return S_OK;
}

HRESULT CBaseFilter::SetSyncSource(IReferenceClock*) { return S_OK; }

HRESULT CBaseFilter::GetSyncSource(IReferenceClock** clock) {
  if (!clock) return E_POINTER;
  *clock = nullptr;
  return S_OK;
}

HRESULT CBaseFilter::EnumPins(IEnumPins** pins) {
  if (!pins) return E_POINTER;
  auto* e = new CEnumPins(this);
  return GetInterface(static_cast<IEnumPins*>(e), reinterpret_cast<void**>(pins));
}

HRESULT CBaseFilter::FindPin(const wchar_t* id, IPin** pin) {
  if (!id || !pin) return E_POINTER;
  *pin = nullptr;
  for (int i = 0; i < GetPinCount(); ++i) {
    CBasePin* p = GetPin(i);
    if (p && p->Name() == id) {
      p->AddRef();
      *pin = p;
      return S_OK;
    }
  }
  return VFW_E_NOT_FOUND;
}

HRESULT CBaseFilter::QueryFilterInfo(FILTER_INFO* info) {
  if (!info) return E_POINTER;
  std::wcsncpy(info->achName, m_name.c_str(), 127);
  info->achName[127] = 0;
  info->pGraph = m_pGraph;
  if (m_pGraph) m_pGraph->AddRef();
  return S_OK;
}

HRESULT CBaseFilter::JoinFilterGraph(IFilterGraph* graph, const wchar_t* name) {
  std::lock_guard<std::recursive_mutex> lock(*m_pLock);
  m_pGraph = graph;
  m_pSink = nullptr;
  if (graph) {
    IMediaEventSink* sink = nullptr;
    if (SUCCEEDED(graph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&sink)))) {
      // Held weakly like the graph itself; a reference would keep the graph alive forever.
      m_pSink = sink;
      sink->Release();
    }
    if (name) m_name = name;
  }
  return S_OK;
}

HRESULT CBaseFilter::NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2) {
  IMediaEventSink* sink = m_pSink;
  return sink ? sink->Notify(code, param1, param2) : E_NOTIMPL;
}

// ---------------------------------------------------------------------------

CBasePin::CBasePin(const wchar_t* name, CBaseFilter* filter, std::recursive_mutex* lock, PIN_DIRECTION dir)
    : m_name(name ? name : L""), m_pFilter(filter), m_pLock(lock), m_dir(dir) {}

CBasePin::~CBasePin() {
  if (m_Connected) m_Connected->Release();
}

HRESULT CBasePin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IPin) return GetInterface(static_cast<IPin*>(this), ppv);
  *ppv = nullptr;
  return E_NOINTERFACE;
}

HRESULT CBasePin::GetMediaType(int, CMediaType*) { return VFW_S_NO_MORE_ITEMS; }

HRESULT CBasePin::SetMediaType(const CMediaType* mt) {
  m_mt = *mt;
  return S_OK;
}

HRESULT CBasePin::CheckConnect(IPin* pin) {
  PIN_DIRECTION dir;
  if (FAILED(pin->QueryDirection(&dir))) return E_FAIL;
  return dir == m_dir ? VFW_E_CANNOT_CONNECT : S_OK;
}

HRESULT CBasePin::CompleteConnect(IPin*) { return S_OK; }
HRESULT CBasePin::BreakConnect() { return S_OK; }

namespace {
bool PartialMatch(const AM_MEDIA_TYPE* partial, const AM_MEDIA_TYPE& mt) {
  if (!partial) return true;
  if (partial->majortype != GUID_NULL && partial->majortype != mt.majortype) return false;
  if (partial->subtype != GUID_NULL && partial->subtype != mt.subtype) return false;
  if (partial->formattype != GUID_NULL && partial->formattype != mt.formattype) return false;
  return true;
}
}  // namespace

HRESULT CBasePin::AttemptConnection(IPin* receivePin, const CMediaType* mt) {
  HRESULT hr = CheckConnect(receivePin);
  if (FAILED(hr)) {
    BreakConnect();
    return hr;
  }
  hr = CheckMediaType(mt);
  if (hr != S_OK) {
    BreakConnect();
    return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
  }
  m_Connected = receivePin;
  m_Connected->AddRef();
  hr = SetMediaType(mt);
  if (SUCCEEDED(hr)) hr = receivePin->ReceiveConnection(this, mt);
  if (SUCCEEDED(hr)) {
    hr = CompleteConnect(receivePin);
    if (SUCCEEDED(hr)) return S_OK;
    receivePin->Disconnect();
  }
  BreakConnect();
  m_Connected->Release();
  m_Connected = nullptr;
  m_mt.Clear();
  return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CBasePin::TryMediaTypes(IPin* receivePin, const AM_MEDIA_TYPE* partial, IEnumMediaTypes* types) {
  if (!types) return VFW_E_NOT_FOUND;
  AM_MEDIA_TYPE* mt = nullptr;
  ULONG fetched = 0;
  while (types->Next(1, &mt, &fetched) == S_OK && fetched == 1) {
    CMediaType candidate(*mt);
    DeleteMediaType(mt);
    if (PartialMatch(partial, candidate) && SUCCEEDED(AttemptConnection(receivePin, &candidate))) return S_OK;
  }
  return VFW_E_NOT_FOUND;
}

HRESULT CBasePin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* mt) {
  if (!receivePin) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(*m_pLock);
  if (m_Connected) return VFW_E_ALREADY_CONNECTED;
  if (!m_pFilter->IsStopped()) return VFW_E_NOT_STOPPED;
  if (mt && mt->majortype != GUID_NULL && mt->subtype != GUID_NULL && mt->formattype != GUID_NULL) {
    CMediaType full(*mt);
    return AttemptConnection(receivePin, &full);
  }
  // Our own types first, then the ones the peer proposes.
  IEnumMediaTypes* own = nullptr;
  if (SUCCEEDED(EnumMediaTypes(&own))) {
    const HRESULT hr = TryMediaTypes(receivePin, mt, own);
    own->Release();
    if (SUCCEEDED(hr)) return hr;
  }
  IEnumMediaTypes* theirs = nullptr;
  if (SUCCEEDED(receivePin->EnumMediaTypes(&theirs))) {
    const HRESULT hr = TryMediaTypes(receivePin, mt, theirs);
    theirs->Release();
    if (SUCCEEDED(hr)) return hr;
  }
  return VFW_E_CANNOT_CONNECT;
}

HRESULT CBasePin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) {
  if (!connector || !mt) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(*m_pLock);
  if (m_Connected) return VFW_E_ALREADY_CONNECTED;
  if (!m_pFilter->IsStopped()) return VFW_E_NOT_STOPPED;
  HRESULT hr = CheckConnect(connector);
  if (FAILED(hr)) {
    BreakConnect();
    return hr;
  }
  CMediaType type(*mt);
  hr = CheckMediaType(&type);
  if (hr != S_OK) {
    BreakConnect();
    return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
  }
  m_Connected = connector;
  m_Connected->AddRef();
  hr = SetMediaType(&type);
  if (SUCCEEDED(hr)) hr = CompleteConnect(connector);
  if (FAILED(hr)) {
    BreakConnect();
    m_Connected->Release();
    m_Connected = nullptr;
    m_mt.Clear();
    return hr;
  }
  return S_OK;
}

HRESULT CBasePin::Disconnect() {
  std::lock_guard<std::recursive_mutex> lock(*m_pLock);
  if (!m_pFilter->IsStopped()) return VFW_E_NOT_STOPPED;
  if (!m_Connected) return S_FALSE;
  BreakConnect();
  IPin* peer = m_Connected;
  m_Connected = nullptr;
  m_mt.Clear();
  peer->Release();
  return S_OK;
}

HRESULT CBasePin::ConnectedTo(IPin** pin) {
  if (!pin) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(*m_pLock);
  *pin = m_Connected;
  if (!m_Connected) return VFW_E_NOT_CONNECTED;
  m_Connected->AddRef();
  return S_OK;
}

HRESULT CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* mt) {
  if (!mt) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(*m_pLock);
  if (!m_Connected) {
    *mt = AM_MEDIA_TYPE{};
    return VFW_E_NOT_CONNECTED;
  }
  return CopyMediaType(mt, &m_mt);
}

HRESULT CBasePin::QueryPinInfo(PIN_INFO* info) {
  if (!info) return E_POINTER;
  info->pFilter = m_pFilter;
  m_pFilter->AddRef();
  info->dir = m_dir;
  std::wcsncpy(info->achName, m_name.c_str(), 127);
  info->achName[127] = 0;
  return S_OK;
}

HRESULT CBasePin::QueryDirection(PIN_DIRECTION* dir) {
  if (!dir) return E_POINTER;
  *dir = m_dir;
  return S_OK;
}

HRESULT CBasePin::QueryAccept(const AM_MEDIA_TYPE* mt) {
  if (!mt) return E_POINTER;
  CMediaType type(*mt);
  const HRESULT hr = CheckMediaType(&type);
  return hr == S_OK ? S_OK : S_FALSE;
}

HRESULT CBasePin::EnumMediaTypes(IEnumMediaTypes** types) {
  if (!types) return E_POINTER;
  auto* e = new CEnumMediaTypes(this);
  return GetInterface(static_cast<IEnumMediaTypes*>(e), reinterpret_cast<void**>(types));
}
