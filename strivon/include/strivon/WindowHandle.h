// The window handle type of the library's API. A host passes the window the
// preview draws into or the window to capture; the library only hands it on
// to its window system, so for the host it is an opaque pointer-sized value
// (an X11 window id here, as Qt's winId() and Xlib give it; 0 = none).
#pragma once

using HWND = unsigned long;

static_assert(sizeof(HWND) == sizeof(void*), "HWND must be pointer-sized");
