// The one symbol libWexmoor.so exports; the library is built with hidden
// visibility, so everything else stays inside.
#include "platform/wexmoor/ICaptureNotfy.h"
#include "platform/wexmoor/pulse_monitor_device.h"

extern "C" __attribute__((visibility("default"))) ICaptureDevice* CreateCaptureDevice(ICaptureNotfy* sink) {
  if (!sink) return nullptr;
  return new PulseMonitorDevice(sink);
}
