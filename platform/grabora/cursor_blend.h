// Draws the current cursor image (XFixes, premultiplied ARGB) over a packed
// B,G,R picture whose top-left corner is at (originX, originY) on the screen.
// Used by the screen capture when follow-cursor is on.
#pragma once
#include <X11/Xlib.h>

#include <cstdint>

// Returns false when the server has no XFixes or no cursor image.
bool BlendCursor(Display* display, int originX, int originY, int width, int height, uint8_t* bgr);
