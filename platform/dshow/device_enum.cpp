#include "platform/dshow/device_enum.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "platform/dshow/backend_pulse.h"
#include "platform/dshow/backend_v4l2.h"
#include "platform/dshow/backend_virtual.h"
#include "platform/dshow/colour_converter.h"
#include "platform/dshow/filter_graph.h"

namespace dshow {

bool RealDevicesEnabled() {
  const char* v = std::getenv("STRIVON_DSHOW_DEVICES");
  return !(v && std::strcmp(v, "virtual") == 0);
}

std::vector<DeviceEntry> EnumerateDevices(const GUID& category) {
  std::vector<DeviceEntry> out;
  if (RealDevicesEnabled()) {
    PulseBackend().Enumerate(category, &out);
    V4l2Backend().Enumerate(category, &out);
  }
  VirtualBackend().Enumerate(category, &out);
  return out;
}

namespace {

class CPropertyBag : public IPropertyBag, public CUnknown {
 public:
  explicit CPropertyBag(std::wstring name) : m_name(std::move(name)) {}
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IPropertyBag) return GetInterface(static_cast<IPropertyBag*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }
  HRESULT Read(const wchar_t* name, VARIANT* value, void*) override {
    if (!name || !value) return E_POINTER;
    if (std::wcscmp(name, L"FriendlyName") != 0) return E_INVALIDARG;
    value->vt = VT_BSTR;
    value->bstrVal = SysAllocString(m_name.c_str());
    return value->bstrVal ? S_OK : E_OUTOFMEMORY;
  }

 private:
  std::wstring m_name;
};

class CDeviceMoniker : public IMoniker, public CUnknown {
 public:
  explicit CDeviceMoniker(DeviceEntry entry) : m_entry(std::move(entry)) {}
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IMoniker) return GetInterface(static_cast<IMoniker*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }
  HRESULT BindToObject(void*, IMoniker*, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!m_entry.bind) return MK_E_UNAVAILABLE;
    IBaseFilter* filter = nullptr;
    HRESULT hr = m_entry.bind(&filter);
    if (FAILED(hr) || !filter) return FAILED(hr) ? hr : MK_E_UNAVAILABLE;
    hr = filter->QueryInterface(riid, ppv);
    filter->Release();
    return hr;
  }
  HRESULT BindToStorage(void*, IMoniker*, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IPropertyBag) return E_NOINTERFACE;
    auto* bag = new CPropertyBag(m_entry.friendlyName);
    return GetInterface(static_cast<IPropertyBag*>(bag), ppv);
  }
  HRESULT GetDisplayName(void*, IMoniker*, wchar_t** name) override {
    if (!name) return E_POINTER;
    *name = SysAllocString(m_entry.friendlyName.c_str());
    return *name ? S_OK : E_OUTOFMEMORY;
  }

 private:
  DeviceEntry m_entry;
};

class CEnumMoniker : public IEnumMoniker, public CUnknown {
 public:
  explicit CEnumMoniker(std::vector<DeviceEntry> entries) : m_entries(std::move(entries)) {}
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IEnumMoniker) return GetInterface(static_cast<IEnumMoniker*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }
  HRESULT Next(ULONG count, IMoniker** monikers, ULONG* fetched) override {
    if (!monikers) return E_POINTER;
    ULONG n = 0;
    while (n < count && m_pos < m_entries.size()) {
      auto* m = new CDeviceMoniker(m_entries[m_pos++]);
      GetInterface(static_cast<IMoniker*>(m), reinterpret_cast<void**>(&monikers[n++]));
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG count) override {
    m_pos = std::min(m_entries.size(), m_pos + count);
    return S_OK;
  }
  HRESULT Reset() override {
    m_pos = 0;
    return S_OK;
  }

 private:
  std::vector<DeviceEntry> m_entries;
  size_t m_pos = 0;
};

class CSystemDeviceEnum : public ICreateDevEnum, public CUnknown {
 public:
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_ICreateDevEnum) return GetInterface(static_cast<ICreateDevEnum*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }
  HRESULT CreateClassEnumerator(REFCLSID category, IEnumMoniker** monikers, DWORD) override {
    if (!monikers) return E_POINTER;
    *monikers = nullptr;
    auto entries = EnumerateDevices(category);
    if (entries.empty()) return S_FALSE;
    auto* e = new CEnumMoniker(std::move(entries));
    return GetInterface(static_cast<IEnumMoniker*>(e), reinterpret_cast<void**>(monikers));
  }
};

template <typename T, typename I>
IUnknown* NewObject() {
  auto* o = new T();
  o->AddRef();
  return static_cast<I*>(o);
}

}  // namespace

IUnknown* NewCaptureGraphBuilder();

void RegisterBuiltInClasses() {
  RegisterClass(CLSID_FilterGraph, NewObject<CFilterGraph, IGraphBuilder>);
  RegisterClass(CLSID_SystemDeviceEnum, NewObject<CSystemDeviceEnum, ICreateDevEnum>);
  RegisterClass(CLSID_CaptureGraphBuilder2, NewCaptureGraphBuilder);
  RegisterClass(CLSID_Colour, NewColourConverter);
}

}  // namespace dshow
