#include "platform/dshow/filter_graph.h"

#include <algorithm>
#include <map>

namespace {
std::vector<IPin*> PinsOf(IBaseFilter* filter, PIN_DIRECTION wanted) {
  std::vector<IPin*> pins;
  IEnumPins* e = nullptr;
  if (FAILED(filter->EnumPins(&e))) return pins;
  IPin* pin = nullptr;
  ULONG n = 0;
  while (e->Next(1, &pin, &n) == S_OK && n == 1) {
    PIN_DIRECTION dir;
    if (SUCCEEDED(pin->QueryDirection(&dir)) && dir == wanted)
      pins.push_back(pin);
    else
      pin->Release();
  }
  e->Release();
  return pins;
}

void ReleaseAll(std::vector<IPin*>& pins) {
  for (IPin* p : pins) p->Release();
  pins.clear();
}

bool SameObject(IUnknown* a, IUnknown* b) {
  IUnknown* ua = nullptr;
  IUnknown* ub = nullptr;
  a->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&ua));
  b->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&ub));
  const bool same = ua && ua == ub;
  if (ua) ua->Release();
  if (ub) ub->Release();
  return same;
}

class CEnumFilters : public IEnumFilters, public CUnknown {
 public:
  explicit CEnumFilters(std::vector<IBaseFilter*> filters) : m_filters(std::move(filters)) {
    for (auto* f : m_filters) f->AddRef();
  }
  ~CEnumFilters() override {
    for (auto* f : m_filters) f->Release();
  }
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IEnumFilters) return GetInterface(static_cast<IEnumFilters*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }
  HRESULT Next(ULONG count, IBaseFilter** filters, ULONG* fetched) override {
    if (!filters) return E_POINTER;
    ULONG n = 0;
    while (n < count && m_pos < m_filters.size()) {
      filters[n] = m_filters[m_pos++];
      filters[n++]->AddRef();
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT Reset() override {
    m_pos = 0;
    return S_OK;
  }

 private:
  std::vector<IBaseFilter*> m_filters;
  size_t m_pos = 0;
};
}  // namespace

CFilterGraph::CFilterGraph() = default;

CFilterGraph::~CFilterGraph() {
  Stop();
  std::lock_guard<std::recursive_mutex> lock(m_lock);
  for (auto& e : m_filters) DisconnectAll(e.filter);
  for (auto& e : m_filters) {
    e.filter->JoinFilterGraph(nullptr, nullptr);
    e.filter->Release();
  }
  m_filters.clear();
}

HRESULT CFilterGraph::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IUnknown || riid == IID_IGraphBuilder || riid == IID_IFilterGraph)
    return GetInterface(static_cast<IGraphBuilder*>(this), ppv);
  if (riid == IID_IMediaControl) return GetInterface(static_cast<IMediaControl*>(this), ppv);
  if (riid == IID_IMediaEventEx || riid == IID_IMediaEvent) return GetInterface(static_cast<IMediaEventEx*>(this), ppv);
  if (riid == IID_IMediaSeeking) return GetInterface(static_cast<IMediaSeeking*>(this), ppv);
  if (riid == IID_IMediaEventSink) return GetInterface(static_cast<IMediaEventSink*>(this), ppv);
  return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CFilterGraph::AddFilter(IBaseFilter* filter, const wchar_t* name) {
  if (!filter) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(m_lock);
  if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
  for (auto& e : m_filters)
    if (e.filter == filter) return E_INVALIDARG;
  std::wstring unique = name ? name : L"";
  for (int n = 1;; ++n) {
    bool taken = false;
    for (auto& e : m_filters) taken = taken || e.name == unique;
    if (!taken) break;
    unique = std::wstring(name ? name : L"") + L" " + std::to_wstring(n);
  }
  const HRESULT hr = filter->JoinFilterGraph(this, unique.c_str());
  if (FAILED(hr)) return hr;
  filter->AddRef();
  m_filters.push_back({filter, unique});
  return S_OK;
}

HRESULT CFilterGraph::RemoveFilter(IBaseFilter* filter) {
  std::lock_guard<std::recursive_mutex> lock(m_lock);
  for (auto it = m_filters.begin(); it != m_filters.end(); ++it) {
    if (it->filter != filter) continue;
    filter->Stop();
    DisconnectAll(filter);
    filter->JoinFilterGraph(nullptr, nullptr);
    m_filters.erase(it);
    filter->Release();
    return S_OK;
  }
  return VFW_E_NOT_FOUND;
}

HRESULT CFilterGraph::EnumFilters(IEnumFilters** filters) {
  if (!filters) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(m_lock);
  std::vector<IBaseFilter*> list;
  for (auto& e : m_filters) list.push_back(e.filter);
  return GetInterface(static_cast<IEnumFilters*>(new CEnumFilters(list)), reinterpret_cast<void**>(filters));
}

HRESULT CFilterGraph::FindFilterByName(const wchar_t* name, IBaseFilter** filter) {
  if (!name || !filter) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(m_lock);
  *filter = nullptr;
  for (auto& e : m_filters) {
    if (e.name == name) {
      *filter = e.filter;
      e.filter->AddRef();
      return S_OK;
    }
  }
  return VFW_E_NOT_FOUND;
}

void CFilterGraph::DisconnectAll(IBaseFilter* filter) {
  for (PIN_DIRECTION dir : {PINDIR_INPUT, PINDIR_OUTPUT}) {
    auto pins = PinsOf(filter, dir);
    for (IPin* pin : pins) {
      IPin* peer = nullptr;
      if (SUCCEEDED(pin->ConnectedTo(&peer)) && peer) {
        peer->Disconnect();
        peer->Release();
      }
      pin->Disconnect();
    }
    ReleaseAll(pins);
  }
}

HRESULT CFilterGraph::ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE* mt) {
  if (!out || !in) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(m_lock);
  if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
  return out->Connect(in, mt);
}

HRESULT CFilterGraph::Disconnect(IPin* pin) {
  if (!pin) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(m_lock);
  return pin->Disconnect();
}

HRESULT CFilterGraph::ConnectVia(IPin* out, IPin* in, int depth) {
  if (SUCCEEDED(out->Connect(in, nullptr))) return S_OK;
  if (depth <= 0) return VFW_E_CANNOT_CONNECT;
  PIN_INFO outInfo{}, inInfo{};
  out->QueryPinInfo(&outInfo);
  in->QueryPinInfo(&inInfo);
  HRESULT result = VFW_E_CANNOT_CONNECT;
  std::vector<IBaseFilter*> candidates;
  for (auto& e : m_filters) candidates.push_back(e.filter);
  for (IBaseFilter* f : candidates) {
    if (SameObject(f, outInfo.pFilter) || SameObject(f, inInfo.pFilter)) continue;
    auto ins = PinsOf(f, PINDIR_INPUT);
    auto outs = PinsOf(f, PINDIR_OUTPUT);
    for (IPin* fin : ins) {
      IPin* peer = nullptr;
      if (SUCCEEDED(fin->ConnectedTo(&peer))) {
        peer->Release();
        continue;
      }
      if (FAILED(out->Connect(fin, nullptr))) continue;
      for (IPin* fout : outs) {
        IPin* p2 = nullptr;
        if (SUCCEEDED(fout->ConnectedTo(&p2))) {
          p2->Release();
          continue;
        }
        if (SUCCEEDED(ConnectVia(fout, in, depth - 1))) {
          result = S_OK;
          break;
        }
      }
      if (SUCCEEDED(result)) break;
      fin->Disconnect();
      out->Disconnect();
    }
    ReleaseAll(ins);
    ReleaseAll(outs);
    if (SUCCEEDED(result)) break;
  }
  if (outInfo.pFilter) outInfo.pFilter->Release();
  if (inInfo.pFilter) inInfo.pFilter->Release();
  return result;
}

HRESULT CFilterGraph::Connect(IPin* out, IPin* in) {
  if (!out || !in) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(m_lock);
  if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
  return ConnectVia(out, in, 2);
}

std::vector<IBaseFilter*> CFilterGraph::UpstreamFirst() {
  // Depth of a filter = longest chain of connected filters feeding it.
  std::map<IBaseFilter*, int> depth;
  for (auto& e : m_filters) depth[e.filter] = 0;
  for (size_t round = 0; round < m_filters.size(); ++round) {
    bool changed = false;
    for (auto& e : m_filters) {
      auto ins = PinsOf(e.filter, PINDIR_INPUT);
      for (IPin* pin : ins) {
        IPin* peer = nullptr;
        if (FAILED(pin->ConnectedTo(&peer)) || !peer) continue;
        PIN_INFO info{};
        if (SUCCEEDED(peer->QueryPinInfo(&info)) && info.pFilter) {
          for (auto& up : m_filters) {
            if (SameObject(up.filter, info.pFilter) && depth[up.filter] + 1 > depth[e.filter]) {
              depth[e.filter] = depth[up.filter] + 1;
              changed = true;
            }
          }
          info.pFilter->Release();
        }
        peer->Release();
      }
      ReleaseAll(ins);
    }
    if (!changed) break;
  }
  std::vector<IBaseFilter*> order;
  for (auto& e : m_filters) order.push_back(e.filter);
  std::stable_sort(order.begin(), order.end(), [&](IBaseFilter* a, IBaseFilter* b) { return depth[a] < depth[b]; });
  return order;
}

HRESULT CFilterGraph::Pause() {
  std::lock_guard<std::recursive_mutex> lock(m_lock);
  auto order = UpstreamFirst();
  // Downstream filters get ready before their sources start.
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    const HRESULT hr = (*it)->Pause();
    if (FAILED(hr)) {
      Stop();
      return hr;
    }
  }
  m_state = State_Paused;
  return S_OK;
}

HRESULT CFilterGraph::Run() {
  std::lock_guard<std::recursive_mutex> lock(m_lock);
  if (m_state == State_Running) return S_OK;
  if (m_state == State_Stopped) {
    const HRESULT hr = Pause();
    if (FAILED(hr)) return hr;
  }
  auto order = UpstreamFirst();
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    const HRESULT hr = (*it)->Run(0);
    if (FAILED(hr)) {
      Stop();
      return hr;
    }
  }
  m_state = State_Running;
  return S_OK;
}

HRESULT CFilterGraph::Stop() {
  std::lock_guard<std::recursive_mutex> lock(m_lock);
  HRESULT result = S_OK;
  for (IBaseFilter* f : UpstreamFirst()) {
    const HRESULT hr = f->Stop();
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  }
  m_state = State_Stopped;
  return result;
}

HRESULT CFilterGraph::GetState(LONG, FILTER_STATE* state) {
  if (!state) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(m_lock);
  *state = m_state;
  return S_OK;
}

HRESULT CFilterGraph::GetEventHandle(OAEVENT* handle) {
  if (!handle) return E_POINTER;
  *handle = reinterpret_cast<OAEVENT>(&m_eventSignal);
  return S_OK;
}

HRESULT CFilterGraph::GetEvent(long* code, LONG_PTR* param1, LONG_PTR* param2, long timeoutMs) {
  if (!code || !param1 || !param2) return E_POINTER;
  if (timeoutMs != 0) m_eventSignal.Wait(timeoutMs < 0 ? platform::ManualResetEvent::kInfinite : timeoutMs);
  std::lock_guard<std::mutex> lock(m_eventLock);
  if (m_events.empty()) return E_FAIL;  // the platform's "timed out"
  const Event e = m_events.front();
  m_events.pop_front();
  if (m_events.empty()) m_eventSignal.Reset();
  *code = e.code;
  *param1 = e.param1;
  *param2 = e.param2;
  return S_OK;
}

HRESULT CFilterGraph::FreeEventParams(long, LONG_PTR, LONG_PTR) { return S_OK; }
HRESULT CFilterGraph::SetNotifyFlags(long flags) {
  m_notifyFlags = flags;
  return S_OK;
}
HRESULT CFilterGraph::GetNotifyFlags(long* flags) {
  if (!flags) return E_POINTER;
  *flags = m_notifyFlags;
  return S_OK;
}

HRESULT CFilterGraph::GetDuration(LONGLONG*) { return E_NOTIMPL; }
HRESULT CFilterGraph::GetCurrentPosition(LONGLONG*) { return E_NOTIMPL; }
HRESULT CFilterGraph::SetPositions(LONGLONG*, DWORD, LONGLONG*, DWORD) { return E_NOTIMPL; }

HRESULT CFilterGraph::Notify(long code, LONG_PTR param1, LONG_PTR param2) {
  std::lock_guard<std::mutex> lock(m_eventLock);
  // A device stuck in a failure loop must not grow the queue without bound.
  if (m_events.size() >= 1024) m_events.pop_front();
  m_events.push_back({code, param1, param2});
  m_eventSignal.Set();
  return S_OK;
}

namespace dshow {
bool WaitEventHandle(OAEVENT handle, uint32_t timeoutMs) {
  if (!handle) return false;
  return reinterpret_cast<platform::ManualResetEvent*>(handle)->Wait(timeoutMs);
}
}  // namespace dshow
