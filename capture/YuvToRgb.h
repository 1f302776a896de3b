// The converters of the camera's own YUV-to-RGB filter: packed YUY2 and
// planar YV12 frames to bottom-up RGB24 or RGB32 (B, G, R[, 255]), rows
// packed. The filter checks sizes and lengths before it calls them.
#pragma once
#include "platform/dshow/com_types.h"

// YUY2 (rows of width x 2 bytes, width even), studio-range BT.601 in double
// precision, each value truncated and clamped.
void Yuy2ToRgb(const BYTE* src, int width, int height, int bytesPerPixel, BYTE* dst);

// YV12 (Y plane, then V, then U at quarter size; width and height even),
// table driven with the full-range 8-bit fixed-point factors.
void Yv12ToRgb(const BYTE* src, int width, int height, int bytesPerPixel, BYTE* dst);
