// The library's exports. CreateRtmpPublishManager wires the manager to the
// real components; CreateDeviceList is the device list's own factory, made
// visible by the export list (strivon.map).
#include "strivon/IRtmpPublishManager.h"
#include "strivon/RtmpPublishManager.h"

extern "C" IRtmpPublishManager* CreateRtmpPublishManager(IRtmpPublishManagerNotify* notify) {
  try {
    return CreateRtmpPublishManagerWith(notify, DefaultManagerFactories());
  } catch (...) {
    return nullptr;
  }
}
