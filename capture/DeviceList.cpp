#include "capture/DeviceList.h"

#include <cwchar>
#include <new>

#include "platform/dshow/interfaces.h"

namespace {
// The maker's own playback filter: listed although it is not a DirectSound renderer.
constexpr const wchar_t* kOwnAudioRender = L"Pellix Audio Render";
}  // namespace

IDeviceList* CreateDeviceList(IDeviceListNotfiy* notify) {
  CDeviceList* list = new (std::nothrow) CDeviceList(notify);
  if (!list) return nullptr;
  const HRESULT hr = list->EnterApartment();
  if (FAILED(hr)) {
    if (notify) notify->OnDeviceListNotify(2, 0, hr, L"com初始化错误");
    // No CoUninitialize: this thread's CoInitialize did not succeed, and an
    // unbalanced call would undo an initialisation its owner still relies on.
    delete list;
    return nullptr;
  }
  return list;
}

void CDeviceList::Release() { delete this; }

std::vector<std::wstring>* CDeviceList::GetList(int type) {
  static const GUID* const kCategories[] = {&CLSID_VideoInputDeviceCategory, &CLSID_AudioInputDeviceCategory,
                                            &CLSID_AudioRendererCategory, &CLSID_AudioCompressorCategory,
                                            &CLSID_VideoCompressorCategory};
  if (type < 0 || type > 4) return nullptr;
  return GetDeviceList(kCategories[type]);
}

std::vector<std::wstring>* CDeviceList::GetDeviceList(const GUID* category) {
  m_names.clear();
  if (category) Enumerate(*category);
  return &m_names;
}

void CDeviceList::Enumerate(const GUID& category) {
  // The list may be asked on a thread other than its creator's (a line switch
  // comes from the host's thread); COM is needed there only while enumerating.
  dshow::ApartmentHold apartment;
  apartment.Enter();
  ICreateDevEnum* devEnum = nullptr;
  if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                              reinterpret_cast<void**>(&devEnum))))
    return;
  IEnumMoniker* monikers = nullptr;
  if (devEnum->CreateClassEnumerator(category, &monikers, 0) != S_OK || !monikers) {
    if (monikers) monikers->Release();
    devEnum->Release();
    return;
  }
  IMoniker* moniker = nullptr;
  ULONG fetched = 0;
  while (monikers->Next(1, &moniker, &fetched) == S_OK && fetched == 1) {
    IPropertyBag* bag = nullptr;
    if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(&bag)))) {
      VARIANT name;
      VariantInit(&name);
      if (SUCCEEDED(bag->Read(L"FriendlyName", &name, nullptr)) && name.vt == VT_BSTR && name.bstrVal) {
        const std::wstring friendly(name.bstrVal);  // up to the first NUL
        if (category == CLSID_AudioRendererCategory) {
          bool listed = false;
          IBaseFilter* filter = nullptr;
          if (SUCCEEDED(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter)))) {
            IPersist* persist = nullptr;
            if (SUCCEEDED(filter->QueryInterface(IID_IPersist, reinterpret_cast<void**>(&persist)))) {
              CLSID clsid = GUID_NULL;
              if (SUCCEEDED(persist->GetClassID(&clsid)) && clsid == CLSID_DSoundRender) listed = true;
              persist->Release();
            }
            filter->Release();
          }
          if (listed || friendly == kOwnAudioRender) m_names.push_back(friendly);
        } else {
          m_names.push_back(friendly);
        }
      }
      VariantClear(&name);
      bag->Release();
    }
    moniker->Release();
  }
  monikers->Release();
  devEnum->Release();
}
