// Picture and sound format records exchanged between capture devices, the
// capture objects and their owners. The layouts are the packed, fixed-width
// ones the capture interfaces pass around; their sizes are asserted.
// Self-contained (only <cstdint> and the sound record) so public headers may
// include it.
#pragma once
#include <cstdint>

// The sound record is shared with the format converter, which defines it.
#include "platform/acm/wave_format.h"

struct BITMAPINFOHEADER {
  uint32_t biSize;
  int32_t biWidth;
  int32_t biHeight;  // positive: bottom-up rows; negative: top-down
  uint16_t biPlanes;
  uint16_t biBitCount;
  uint32_t biCompression;
  uint32_t biSizeImage;
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;
  uint32_t biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER is 40 bytes");

struct RECT {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};
static_assert(sizeof(RECT) == 16, "RECT is 16 bytes");

struct VIDEOINFOHEADER {
  RECT rcSource;
  RECT rcTarget;
  uint32_t dwBitRate;
  uint32_t dwBitErrorRate;
  int64_t AvgTimePerFrame;  // 100 ns units
  BITMAPINFOHEADER bmiHeader;
};
static_assert(sizeof(VIDEOINFOHEADER) == 88, "VIDEOINFOHEADER is 88 bytes");

struct VIDEOINFOHEADER2 {
  RECT rcSource;
  RECT rcTarget;
  uint32_t dwBitRate;
  uint32_t dwBitErrorRate;
  int64_t AvgTimePerFrame;
  uint32_t dwInterlaceFlags;
  uint32_t dwCopyProtectFlags;
  uint32_t dwPictAspectRatioX;
  uint32_t dwPictAspectRatioY;
  uint32_t dwControlFlags;
  uint32_t dwReserved2;
  BITMAPINFOHEADER bmiHeader;
};
static_assert(sizeof(VIDEOINFOHEADER2) == 112, "VIDEOINFOHEADER2 is 112 bytes");
