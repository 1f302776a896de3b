// The window layer's own Xlib connection to the display Qt draws on, for the
// few things Qt does not do for a window (its class, its withdrawal from the
// window manager). Opened on first use and kept for the process; null when
// the display cannot be opened. GUI thread only.
#pragma once
#include <X11/Xlib.h>

Display* WindowLayerDisplay();
