// Device list: names the capture and playback devices of the machine, one
// category at a time, by their friendly names. The publish manager keeps one
// for its camera, microphone and playback lists; every microphone capture keeps
// its own to find recording inputs by name; the library exports the factory.
//
// Names are wide strings in enumeration order; two identical devices give two
// entries, which is what the captures' name index counts on.
#pragma once
#include <string>
#include <vector>

#include "platform/dshow/com_types.h"

// Spelled "Notfiy": the name the library's callers use.
class IDeviceListNotfiy {
 public:
  // level 2 is an error; hr is the failing result; text names the step.
  virtual void OnDeviceListNotify(int level, int reserved, HRESULT hr, const wchar_t* text) = 0;

 protected:
  ~IDeviceListNotfiy() = default;
};

// Category codes of IDeviceList::GetList.
enum DeviceListCategory {
  kDeviceListVideoInput = 0,       // cameras
  kDeviceListAudioInput = 1,       // recording inputs (microphones, monitors of outputs)
  kDeviceListAudioRenderer = 2,    // playback devices
  kDeviceListAudioCompressor = 3,
  kDeviceListVideoCompressor = 4,
};

class IDeviceList {
 public:
  // Clears the list, enumerates the category and returns the list (never
  // null). The list belongs to the object and is refilled by the next call.
  virtual std::vector<std::wstring>* GetDeviceList(const GUID* category) = 0;
  // Maps a category code (table above) to its category and calls
  // GetDeviceList; any other code returns null and leaves the list alone.
  virtual std::vector<std::wstring>* GetList(int type) = 0;
  // Destroys the object; the only way to do so.
  virtual void Release() = 0;

 protected:
  ~IDeviceList() = default;
};

// Creates a device list (COM initialised on the calling thread, which must
// also release it). notify may be null. Null when COM cannot be initialised
// on this thread (notify then hears level 2 with the failing result).
__attribute__((visibility("default"))) IDeviceList* CreateDeviceList(IDeviceListNotfiy* notify);
