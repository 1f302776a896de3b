#include "platform/grabora/cursor_blend.h"

#include <X11/extensions/Xfixes.h>

#include <algorithm>

bool BlendCursor(Display* display, int originX, int originY, int width, int height, uint8_t* bgr) {
  int eventBase = 0, errorBase = 0;
  if (!XFixesQueryExtension(display, &eventBase, &errorBase)) return false;
  XFixesCursorImage* cursor = XFixesGetCursorImage(display);
  if (!cursor) return false;
  const int left = cursor->x - cursor->xhot - originX;
  const int top = cursor->y - cursor->yhot - originY;
  const int x0 = std::max(0, left), y0 = std::max(0, top);
  const int x1 = std::min(width, left + static_cast<int>(cursor->width));
  const int y1 = std::min(height, top + static_cast<int>(cursor->height));
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      // Xlib hands the 32-bit ARGB values out as unsigned long.
      const unsigned argb =
          static_cast<unsigned>(cursor->pixels[(y - top) * cursor->width + (x - left)] & 0xffffffffUL);
      const unsigned alpha = (argb >> 24) & 0xff;
      if (alpha == 0) continue;
      uint8_t* px = bgr + (static_cast<size_t>(y) * width + x) * 3;
      const unsigned keep = 255 - alpha;
      // Premultiplied: colour + background x (1 - alpha).
      px[0] = static_cast<uint8_t>(std::min(255u, (argb & 0xff) + px[0] * keep / 255));
      px[1] = static_cast<uint8_t>(std::min(255u, ((argb >> 8) & 0xff) + px[1] * keep / 255));
      px[2] = static_cast<uint8_t>(std::min(255u, ((argb >> 16) & 0xff) + px[2] * keep / 255));
    }
  }
  XFree(cursor);
  return true;
}
