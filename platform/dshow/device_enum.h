// The system device enumerator: lists the devices of one category as monikers
// whose property bag holds "FriendlyName" and which bind to the device's
// filter. Devices come from back ends: PulseAudio (recording inputs and
// playback devices), V4L2 (cameras) and the virtual devices that tests
// configure. Setting STRIVON_DSHOW_DEVICES=virtual in the environment turns
// the real back ends off, so tests see only what they configured.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "platform/dshow/interfaces.h"

namespace dshow {

struct DeviceEntry {
  std::wstring friendlyName;
  // Creates the device's filter with one reference.
  std::function<HRESULT(IBaseFilter** filter)> bind;
};

class DeviceBackend {
 public:
  virtual ~DeviceBackend() = default;
  // Appends the devices of the category; must not block for long.
  virtual void Enumerate(const GUID& category, std::vector<DeviceEntry>* out) = 0;
};

// True unless STRIVON_DSHOW_DEVICES is "virtual".
bool RealDevicesEnabled();

// All devices of a category in enumeration order (real back ends first).
std::vector<DeviceEntry> EnumerateDevices(const GUID& category);

}  // namespace dshow
