// The mouse and paint messages of the capture frame and the hit-test codes
// that say which part of the frame a press landed on. The window library
// delivers none of these itself; CaptureFrameMouse produces them from the
// frame's Qt mouse events.
#pragma once
#include <cstdint>

#include "platform/duilib/ui_events.h"

constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_NCLBUTTONDOWN = 0x00A1;  // wParam = hit code, lParam = screen point
constexpr UINT WM_NCLBUTTONUP = 0x00A2;    // wParam = hit code, lParam = screen point
constexpr UINT WM_MOUSEMOVE = 0x0200;      // lParam = client point
constexpr UINT WM_LBUTTONDOWN = 0x0201;    // lParam = client point
constexpr UINT WM_LBUTTONUP = 0x0202;      // lParam = client point

// Where a point lies on a window.
constexpr WPARAM HTCLIENT = 1;
constexpr WPARAM HTCAPTION = 2;
constexpr WPARAM HTLEFT = 10;
constexpr WPARAM HTRIGHT = 11;
constexpr WPARAM HTTOP = 12;
constexpr WPARAM HTTOPLEFT = 13;
constexpr WPARAM HTTOPRIGHT = 14;
constexpr WPARAM HTBOTTOM = 15;
constexpr WPARAM HTBOTTOMLEFT = 16;
constexpr WPARAM HTBOTTOMRIGHT = 17;

// A point travels as two signed 16-bit halves, x low and y high.
inline LPARAM PackPoint(POINT p) {
  return static_cast<LPARAM>((static_cast<uint32_t>(p.y & 0xFFFF) << 16) | static_cast<uint32_t>(p.x & 0xFFFF));
}
inline POINT UnpackPoint(LPARAM packed) {
  const auto bits = static_cast<uint32_t>(packed);
  return POINT{static_cast<int16_t>(bits & 0xFFFF), static_cast<int16_t>(bits >> 16)};
}
