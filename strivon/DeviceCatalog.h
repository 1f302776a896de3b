// The manager's copy of the machine's cameras, microphones and audio outputs,
// read once when the manager is made, and the host's choice of one of each.
// Device names need not be unique, and the captures find a device by name and
// occurrence, so a choice also records how many devices share the name and
// which of them it is. The host thread selects; the publish run reads the
// selection from its worker thread, hence the lock.
#pragma once
#include <map>
#include <mutex>
#include <string>
#include <vector>

enum class DeviceKind { kCamera = 0, kMicrophone = 1, kAudioOutput = 2 };

struct DeviceSelection {
  int position = -1;
  int sameNameCount = -1;
  int occurrence = -1;  // index among the devices of that name, 0 for the first
  std::wstring name;
};

class DeviceCatalog {
 public:
  // Replaces the names of one kind (done once, before any other call).
  void Load(DeviceKind kind, std::vector<std::wstring> names);

  // The kind's names as an array that lives as long as the catalog; the same
  // array every time, never null, even for an empty list.
  const wchar_t** Names(DeviceKind kind, unsigned* count) const;
  unsigned Count(DeviceKind kind) const;

  // 0, or -1 when index is outside the list (nothing changes then).
  int Select(DeviceKind kind, int index);
  DeviceSelection Selected(DeviceKind kind) const;

 private:
  struct NameEntry {
    int count = 0;
    std::vector<int> positions;  // ascending
  };
  struct Kind {
    std::vector<std::wstring> names;
    // names' texts plus a terminating null, so the array is never empty.
    std::vector<const wchar_t*> array{nullptr};
    std::map<std::wstring, NameEntry> nameMap;
    DeviceSelection selection;
  };
  Kind& Of(DeviceKind kind) { return m_kinds[static_cast<int>(kind)]; }
  const Kind& Of(DeviceKind kind) const { return m_kinds[static_cast<int>(kind)]; }

  mutable std::mutex m_lock;
  Kind m_kinds[3];
};
