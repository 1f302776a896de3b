// The few Windows-shaped names that cross the outside-library interfaces
// (platform/grabora, vexa, hushgain, wexmoor): byte and word types, window
// handles, and the picture, rectangle and sound-format records, which come
// from the capture layer's fixed-width definitions so every component reads
// the same layout.
#pragma once
#include <cstdint>

#include "platform/dshow/wave_format.h"

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
// An X11 window id here (what Qt's winId() and Xlib hand out); the same
// alias as the library API's.
using HWND = unsigned long;
