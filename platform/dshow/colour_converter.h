// The system colour space converter (CLSID_Colour), backed by libswscale: a
// transform filter from the usual camera layouts (YUY2, YV12, I420, RGB24,
// RGB32) to packed bottom-up RGB24 of the same size. Graph builders use it
// where no more specific converter fits.
#pragma once
#include "platform/dshow/com.h"

namespace dshow {
// A new converter with one reference.
IUnknown* NewColourConverter();
}  // namespace dshow
