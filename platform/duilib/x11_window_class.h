// Names a native X11 window's class (WM_CLASS) after the program's window
// name, so other programs can tell the windows apart by class as by title.
#pragma once
#include <string>

#include "strivon/WindowHandle.h"

// Does nothing when the X display cannot be opened.
void SetX11WindowClass(HWND window, const std::string& name);
