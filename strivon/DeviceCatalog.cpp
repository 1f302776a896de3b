#include "strivon/DeviceCatalog.h"

void DeviceCatalog::Load(DeviceKind kind, std::vector<std::wstring> names) {
  std::lock_guard<std::mutex> lock(m_lock);
  Kind& k = Of(kind);
  k.names = std::move(names);
  k.array.clear();
  k.nameMap.clear();
  for (size_t p = 0; p < k.names.size(); ++p) {
    k.array.push_back(k.names[p].c_str());
    NameEntry& entry = k.nameMap[k.names[p]];
    entry.count += 1;
    entry.positions.push_back(static_cast<int>(p));
  }
  k.array.push_back(nullptr);
  k.selection = DeviceSelection();
}

const wchar_t** DeviceCatalog::Names(DeviceKind kind, unsigned* count) const {
  std::lock_guard<std::mutex> lock(m_lock);
  const Kind& k = Of(kind);
  *count = static_cast<unsigned>(k.names.size());
  // The names never change after Load, so handing out the array is safe.
  return const_cast<const wchar_t**>(k.array.data());
}

unsigned DeviceCatalog::Count(DeviceKind kind) const {
  std::lock_guard<std::mutex> lock(m_lock);
  return static_cast<unsigned>(Of(kind).names.size());
}

int DeviceCatalog::Select(DeviceKind kind, int index) {
  std::lock_guard<std::mutex> lock(m_lock);
  Kind& k = Of(kind);
  if (index < 0 || static_cast<size_t>(index) >= k.names.size()) return -1;
  const NameEntry& entry = k.nameMap.at(k.names[index]);
  DeviceSelection selection;
  selection.position = index;
  selection.sameNameCount = entry.count;
  for (size_t i = 0; i < entry.positions.size(); ++i) {
    if (entry.positions[i] == index) selection.occurrence = static_cast<int>(i);
  }
  selection.name = k.names[index];
  k.selection = std::move(selection);
  return 0;
}

DeviceSelection DeviceCatalog::Selected(DeviceKind kind) const {
  std::lock_guard<std::mutex> lock(m_lock);
  return Of(kind).selection;
}
