// Property-bag text values, the running object table and error texts.
#include <cstring>
#include <cwchar>
#include <map>
#include <mutex>
#include <string>

#include "platform/dshow/interfaces.h"

void VariantInit(VARIANT* v) {
  if (!v) return;
  v->vt = VT_EMPTY;
  v->bstrVal = nullptr;
}

HRESULT VariantClear(VARIANT* v) {
  if (!v) return E_POINTER;
  if (v->vt == VT_BSTR) SysFreeString(v->bstrVal);
  VariantInit(v);
  return S_OK;
}

BSTR SysAllocString(const wchar_t* text) {
  if (!text) return nullptr;
  const size_t n = std::wcslen(text);
  auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc((n + 1) * sizeof(wchar_t)));
  if (copy) std::wmemcpy(copy, text, n + 1);
  return copy;
}

void SysFreeString(BSTR text) { CoTaskMemFree(text); }

namespace {

class CItemMoniker : public IMoniker, public CUnknown {
 public:
  explicit CItemMoniker(std::wstring name) : m_name(std::move(name)) {}
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IMoniker) return GetInterface(static_cast<IMoniker*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }
  HRESULT BindToObject(void*, IMoniker*, REFIID, void**) override { return MK_E_UNAVAILABLE; }
  HRESULT BindToStorage(void*, IMoniker*, REFIID, void**) override { return MK_E_UNAVAILABLE; }
  HRESULT GetDisplayName(void*, IMoniker*, wchar_t** name) override {
    if (!name) return E_POINTER;
    *name = SysAllocString(m_name.c_str());
    return *name ? S_OK : E_OUTOFMEMORY;
  }

 private:
  std::wstring m_name;
};

std::wstring DisplayName(IMoniker* m) {
  wchar_t* text = nullptr;
  if (!m || FAILED(m->GetDisplayName(nullptr, nullptr, &text)) || !text) return L"";
  std::wstring s(text);
  CoTaskMemFree(text);
  return s;
}

// The table keeps what it registers alive (registrations are always
// "keep alive" here), until Revoke.
class CRunningObjectTable : public IRunningObjectTable {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IRunningObjectTable) return GetInterface(this, ppv);
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  // A process-wide singleton: reference counting is a formality.
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }

  HRESULT Register(DWORD, IUnknown* object, IMoniker* name, DWORD* cookie) override {
    if (!object || !name || !cookie) return E_POINTER;
    std::lock_guard<std::mutex> lock(m_lock);
    object->AddRef();
    *cookie = ++m_next;
    m_entries[*cookie] = {DisplayName(name), object};
    return S_OK;
  }

  HRESULT Revoke(DWORD cookie) override {
    IUnknown* object = nullptr;
    {
      std::lock_guard<std::mutex> lock(m_lock);
      auto it = m_entries.find(cookie);
      if (it == m_entries.end()) return E_INVALIDARG;
      object = it->second.second;
      m_entries.erase(it);
    }
    object->Release();
    return S_OK;
  }

  HRESULT IsRunning(IMoniker* name) override {
    const std::wstring n = DisplayName(name);
    std::lock_guard<std::mutex> lock(m_lock);
    for (auto& e : m_entries)
      if (e.second.first == n) return S_OK;
    return S_FALSE;
  }

  int Count() {
    std::lock_guard<std::mutex> lock(m_lock);
    return static_cast<int>(m_entries.size());
  }

 private:
  std::mutex m_lock;
  DWORD m_next = 0;
  std::map<DWORD, std::pair<std::wstring, IUnknown*>> m_entries;
};

CRunningObjectTable& Rot() {
  static CRunningObjectTable table;
  return table;
}

}  // namespace

HRESULT GetRunningObjectTable(DWORD, IRunningObjectTable** table) {
  if (!table) return E_POINTER;
  *table = &Rot();
  return S_OK;
}

HRESULT CreateItemMoniker(const wchar_t* delimiter, const wchar_t* item, IMoniker** moniker) {
  if (!item || !moniker) return E_POINTER;
  auto* m = new CItemMoniker(std::wstring(delimiter ? delimiter : L"") + item);
  return GetInterface(static_cast<IMoniker*>(m), reinterpret_cast<void**>(moniker));
}

namespace dshow {
int RunningObjectCount() { return Rot().Count(); }
}  // namespace dshow

DWORD AMGetErrorTextW(HRESULT hr, wchar_t* buffer, DWORD maxLength) {
  if (!buffer || maxLength == 0) return 0;
  const wchar_t* text = nullptr;
  switch (hr) {
    case S_OK: text = L"Success."; break;
    case S_FALSE: text = L"Success, with a negative answer."; break;
    case E_FAIL: text = L"The operation failed."; break;
    case E_POINTER: text = L"A required pointer was null."; break;
    case E_INVALIDARG: text = L"An argument was out of range."; break;
    case E_OUTOFMEMORY: text = L"Out of memory."; break;
    case E_NOINTERFACE: text = L"The object does not offer that interface."; break;
    case E_NOTIMPL: text = L"The operation is not available."; break;
    case E_UNEXPECTED: text = L"The call came in an unexpected state."; break;
    case CO_E_NOTINITIALIZED: text = L"The calling thread has not initialised the object library."; break;
    case RPC_E_CHANGED_MODE: text = L"The thread is already initialised in another mode."; break;
    case REGDB_E_CLASSNOTREG: text = L"No such class is known."; break;
    case VFW_E_NOT_CONNECTED: text = L"The pin is not connected."; break;
    case VFW_E_ALREADY_CONNECTED: text = L"The pin is already connected."; break;
    case VFW_E_NOT_STOPPED: text = L"The filter must be stopped first."; break;
    case VFW_E_CANNOT_CONNECT: text = L"The pins cannot be connected, not even through the filters in the graph."; break;
    case VFW_E_TYPE_NOT_ACCEPTED: text = L"The media type was refused."; break;
    case VFW_E_NOT_FOUND: text = L"Nothing of that name was found."; break;
    case VFW_E_NOT_COMMITTED: text = L"The allocator is not committed."; break;
    case VFW_E_INVALIDMEDIATYPE: text = L"The media type is not valid."; break;
    default: text = nullptr; break;
  }
  std::wstring s = text ? std::wstring(text) : L"Unknown error 0x" + [&] {
    wchar_t hex[16];
    std::swprintf(hex, 16, L"%08X", static_cast<unsigned>(hr));
    return std::wstring(hex);
  }();
  const size_t n = std::min<size_t>(s.size(), maxLength - 1);
  std::wmemcpy(buffer, s.c_str(), n);
  buffer[n] = 0;
  return static_cast<DWORD>(n);
}
