// CDeviceList, the implementation behind CreateDeviceList: enumerates one
// device category through the system device enumerator and keeps the friendly
// names in one list that every call refills.
#pragma once
#include "capture/IDeviceList.h"

class CDeviceList : public IDeviceList {
 public:
  explicit CDeviceList(IDeviceListNotfiy* notify) : m_notify(notify) {}
  std::vector<std::wstring>* GetDeviceList(const GUID* category) override;
  std::vector<std::wstring>* GetList(int type) override;
  void Release() override;
  virtual ~CDeviceList() = default;

 private:
  void Enumerate(const GUID& category);

  IDeviceListNotfiy* m_notify;
  std::vector<std::wstring> m_names;
};
