// CDeviceList, the implementation behind CreateDeviceList: enumerates one
// device category through the system device enumerator and keeps the friendly
// names in one list that every call refills.
#pragma once
#include "capture/IDeviceList.h"
#include "platform/dshow/com.h"

class CDeviceList : public IDeviceList {
 public:
  explicit CDeviceList(IDeviceListNotfiy* notify) : m_notify(notify) {}
  // Initialises COM on the creating thread for the object's lifetime; the
  // count goes back to that thread at Release, whichever thread releases.
  HRESULT EnterApartment() { return m_apartment.Enter(); }
  std::vector<std::wstring>* GetDeviceList(const GUID* category) override;
  std::vector<std::wstring>* GetList(int type) override;
  void Release() override;
  virtual ~CDeviceList() = default;

 private:
  void Enumerate(const GUID& category);

  IDeviceListNotfiy* m_notify;
  dshow::ApartmentHold m_apartment;
  std::vector<std::wstring> m_names;
};
