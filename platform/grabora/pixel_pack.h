// Turns an XImage of a TrueColor visual into packed B,G,R rows (stride
// exactly width x 3, top-down), whatever the server's pixel layout. Used by
// the screen capture after each grab.
#pragma once
#include <X11/Xlib.h>

#include <cstdint>

// out must hold image->width x image->height x 3 bytes.
void PackImageToBgr24(const XImage* image, uint8_t* out);
