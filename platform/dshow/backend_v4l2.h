// V4L2 back end: every /dev/video* node with the video-capture capability is
// a camera named by its card name. Its filter offers the node's YUYV, YV12,
// I420 and RGB24 frame sizes through IAMStreamConfig and streams through
// mmap buffers.
#pragma once
#include "platform/dshow/device_enum.h"

namespace dshow {
DeviceBackend& V4l2Backend();
}  // namespace dshow
