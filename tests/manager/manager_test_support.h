// Doubles and helpers shared by the publish manager's tests: a notify object
// that records what it hears, a device list with fixed names, and a manager
// built on them.
#pragma once
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "strivon/RtmpPublishManager.h"

class RecordingNotify : public IRtmpPublishManagerNotify {
 public:
  bool OnMessage(const char* json) override {
    std::lock_guard<std::mutex> lock(m_lock);
    messages.emplace_back(json ? json : "");
    return true;
  }
  bool OnStatus(int level, const char* text) override {
    std::lock_guard<std::mutex> lock(m_lock);
    statuses.emplace_back(level, text ? text : "");
    if (onStatus) onStatus(level, text ? text : "");
    return true;
  }
  bool OnSendStatistics(const PublishSendStatistics*) override { return true; }
  bool OnReservedPointer(void*) override { return true; }
  bool OnReservedInt(int) override { return true; }

  int CountStatus(int level, const std::string& text) const {
    std::lock_guard<std::mutex> lock(m_lock);
    int n = 0;
    for (const auto& s : statuses) n += (s.first == level && s.second == text) ? 1 : 0;
    return n;
  }

  std::vector<std::string> messages;
  std::vector<std::pair<int, std::string>> statuses;
  std::function<void(int, const std::string&)> onStatus;

 private:
  mutable std::mutex m_lock;
};

class FakeDeviceList final : public IDeviceList {
 public:
  FakeDeviceList(std::vector<std::wstring> cams, std::vector<std::wstring> mics, std::vector<std::wstring> outs)
      : m_lists{std::move(cams), std::move(mics), std::move(outs)} {}
  std::vector<std::wstring>* GetDeviceList(const GUID*) override { return &m_current; }
  std::vector<std::wstring>* GetList(int type) override {
    if (type < 0 || type > 2) return nullptr;
    m_current = m_lists[type];
    return &m_current;
  }
  void Release() override {
    ++*releases;
    delete this;
  }
  std::shared_ptr<int> releases = std::make_shared<int>(0);

 private:
  std::vector<std::wstring> m_lists[3];
  std::vector<std::wstring> m_current;
};

struct ManagerReleaser {
  void operator()(IRtmpPublishManager* manager) const {
    if (manager) manager->release();
  }
};
using ManagerPtr = std::unique_ptr<IRtmpPublishManager, ManagerReleaser>;

struct DeviceNames {
  std::vector<std::wstring> cams, mics, outs;
};

// A manager on a fake device list (or none when withDevices is false).
inline ManagerPtr MakeManager(IRtmpPublishManagerNotify* notify, DeviceNames names = {},
                              bool withDevices = true, std::shared_ptr<int>* releases = nullptr) {
  ManagerFactories factories;
  if (withDevices) {
    factories.createDeviceList = [names, releases](IDeviceListNotfiy*) -> IDeviceList* {
      auto* list = new FakeDeviceList(names.cams, names.mics, names.outs);
      if (releases) *releases = list->releases;
      return list;
    };
  }
  return ManagerPtr(CreateRtmpPublishManagerWith(notify, std::move(factories)));
}

inline RtmpPublishManager* Concrete(const ManagerPtr& manager) {
  return static_cast<RtmpPublishManager*>(manager.get());
}
