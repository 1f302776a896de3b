// PulseAudio back end (also serves PipeWire desktops through their PulseAudio
// server): every source, the monitors of outputs included, is a recording
// input named by its description; every sink is a playback device whose filter
// reports the DirectSound renderer class. The capture filter records the
// source in the format set through IAMStreamConfig and stamps samples with the
// stream's own sample clock.
#pragma once
#include "platform/dshow/device_enum.h"

namespace dshow {
DeviceBackend& PulseBackend();
}  // namespace dshow
