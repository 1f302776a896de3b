// The capture graph builder: finds a device's capture pin and the interfaces on
// it, and connects it to a sink through the graph it was given.
#include <vector>

#include "platform/dshow/interfaces.h"

namespace {

bool PinHasType(IPin* pin, const GUID* type) {
  if (!type) return true;
  IEnumMediaTypes* e = nullptr;
  if (FAILED(pin->EnumMediaTypes(&e))) return false;
  bool found = false;
  AM_MEDIA_TYPE* mt = nullptr;
  ULONG n = 0;
  while (!found && e->Next(1, &mt, &n) == S_OK && n == 1) {
    found = mt->majortype == *type;
    DeleteMediaType(mt);
  }
  e->Release();
  return found;
}

bool PinHasCategory(IPin* pin, const GUID* category) {
  if (!category) return true;
  IPinCategory* pc = nullptr;
  if (FAILED(pin->QueryInterface(IID_IPinCategory, reinterpret_cast<void**>(&pc)))) return false;
  GUID got = GUID_NULL;
  pc->GetPinCategory(&got);
  pc->Release();
  return got == *category;
}

class CCaptureGraphBuilder : public ICaptureGraphBuilder2, public CUnknown {
 public:
  ~CCaptureGraphBuilder() override { SafeRelease(&m_graph); }
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_ICaptureGraphBuilder2)
      return GetInterface(static_cast<ICaptureGraphBuilder2*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }

  HRESULT SetFiltergraph(IGraphBuilder* graph) override {
    if (!graph) return E_POINTER;
    if (m_graph) return E_UNEXPECTED;
    m_graph = graph;
    m_graph->AddRef();
    return S_OK;
  }

  HRESULT GetFiltergraph(IGraphBuilder** graph) override {
    if (!graph) return E_POINTER;
    *graph = m_graph;
    if (!m_graph) return E_UNEXPECTED;
    m_graph->AddRef();
    return S_OK;
  }

  HRESULT FindPin(IUnknown* source, PIN_DIRECTION dir, const GUID* category, const GUID* type,
                  int32_t unconnected, int index, IPin** pin) override {
    if (!source || !pin) return E_POINTER;
    *pin = nullptr;
    IBaseFilter* filter = nullptr;
    if (FAILED(source->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&filter)))) {
      // A pin was given: it is its own answer when it fits.
      IPin* p = nullptr;
      if (FAILED(source->QueryInterface(IID_IPin, reinterpret_cast<void**>(&p)))) return E_INVALIDARG;
      if (index == 0 && PinHasCategory(p, category) && PinHasType(p, type)) {
        *pin = p;
        return S_OK;
      }
      p->Release();
      return E_FAIL;
    }
    IEnumPins* e = nullptr;
    HRESULT hr = filter->EnumPins(&e);
    filter->Release();
    if (FAILED(hr)) return hr;
    IPin* p = nullptr;
    ULONG n = 0;
    int seen = 0;
    while (e->Next(1, &p, &n) == S_OK && n == 1) {
      PIN_DIRECTION d;
      bool fits = SUCCEEDED(p->QueryDirection(&d)) && d == dir && PinHasCategory(p, category) && PinHasType(p, type);
      if (fits && unconnected) {
        IPin* peer = nullptr;
        if (SUCCEEDED(p->ConnectedTo(&peer))) {
          peer->Release();
          fits = false;
        }
      }
      if (fits && seen++ == index) {
        *pin = p;
        e->Release();
        return S_OK;
      }
      p->Release();
    }
    e->Release();
    return E_FAIL;
  }

  HRESULT FindInterface(const GUID* category, const GUID* type, IBaseFilter* filter, REFIID riid,
                        void** ppv) override {
    if (!filter || !ppv) return E_POINTER;
    *ppv = nullptr;
    if (!category && !type && SUCCEEDED(filter->QueryInterface(riid, ppv))) return S_OK;
    for (int i = 0;; ++i) {
      IPin* pin = nullptr;
      if (FAILED(FindPin(filter, PINDIR_OUTPUT, category, type, 0, i, &pin))) break;
      const HRESULT hr = pin->QueryInterface(riid, ppv);
      pin->Release();
      if (SUCCEEDED(hr)) return S_OK;
    }
    return E_NOINTERFACE;
  }

  HRESULT RenderStream(const GUID* category, const GUID* type, IUnknown* source, IBaseFilter* intermediate,
                       IBaseFilter* sink) override {
    if (!source) return E_POINTER;
    if (!m_graph) return E_UNEXPECTED;
    IPin* out = nullptr;
    HRESULT hr = FindPin(source, PINDIR_OUTPUT, category, type, 1, 0, &out);
    if (FAILED(hr)) return VFW_E_NOT_FOUND;
    if (intermediate) {
      hr = ConnectTo(out, intermediate);
      out->Release();
      out = nullptr;
      if (FAILED(hr)) return hr;
      if (!sink) return S_OK;
      hr = FindPin(intermediate, PINDIR_OUTPUT, nullptr, nullptr, 1, 0, &out);
      if (FAILED(hr)) return VFW_E_NOT_FOUND;
    }
    hr = sink ? ConnectTo(out, sink) : E_INVALIDARG;
    out->Release();
    return hr;
  }

 private:
  HRESULT ConnectTo(IPin* out, IBaseFilter* to) {
    for (int i = 0;; ++i) {
      IPin* in = nullptr;
      if (FAILED(FindPin(to, PINDIR_INPUT, nullptr, nullptr, 1, i, &in))) return VFW_E_CANNOT_CONNECT;
      const HRESULT hr = m_graph->Connect(out, in);
      in->Release();
      if (SUCCEEDED(hr)) return hr;
    }
  }

  IGraphBuilder* m_graph = nullptr;
};

}  // namespace

namespace dshow {
IUnknown* NewCaptureGraphBuilder() {
  auto* b = new CCaptureGraphBuilder();
  b->AddRef();
  return static_cast<ICaptureGraphBuilder2*>(b);
}
}  // namespace dshow
