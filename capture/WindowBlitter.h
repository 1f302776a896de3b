// Draws a packed 24-bit B, G, R picture scaled over an X window. libswscale
// writes the server's 32-bit pixel layout straight into a MIT-SHM image when
// the server offers one, into client memory for a plain XPutImage otherwise.
// The preview's windows draw their plain-mode pictures with one; the renderer
// of its graphs draws with another, on a connection and thread of its own.
// A blitter is used by one thread at a time; every request runs under an
// error trap, so a window that vanished only makes Draw return false.
#pragma once
#include <X11/Xlib.h>

#include <cstdint>
#include <vector>

#include "platform/dshow/com_types.h"
#include "platform/grabora/x_shm_image.h"

class XConnectionWatch;
struct SwsContext;

class WindowBlitter {
 public:
  // The display is not owned and must outlive the blitter; once watch (if
  // given) reports the connection lost, nothing more is sent to the server.
  WindowBlitter(Display* display, const XConnectionWatch* watch);
  ~WindowBlitter();
  WindowBlitter(const WindowBlitter&) = delete;
  WindowBlitter& operator=(const WindowBlitter&) = delete;

  // Scales the picture (rows of width x 3 bytes, the top row first unless
  // bottomUp) to targetWidth x targetHeight and draws it at the window's
  // origin. False when nothing was drawn: a screen layout other than 24-bit
  // true colour, or an X error.
  bool Draw(Window window, const BYTE* rgb, int width, int height, bool bottomUp, int targetWidth, int targetHeight);

  // Whether pictures go through shared memory (false once attaching failed).
  bool UsesShm() const { return m_useShm; }

 private:
  // Scales into dst (rows of dstStride bytes) in the given libswscale layout.
  bool Scale(const BYTE* rgb, int width, int height, bool bottomUp, int targetWidth, int targetHeight, int layout,
             uint8_t* dst, int dstStride);
  bool DrawShm(Window window, const BYTE* rgb, int width, int height, bool bottomUp, int targetWidth, int targetHeight);
  bool DrawPlain(Window window, const BYTE* rgb, int width, int height, bool bottomUp, int targetWidth,
                 int targetHeight);

  bool ServerGone() const;

  Display* m_display;
  const XConnectionWatch* m_watch;
  bool m_trueColour = false;
  bool m_useShm = false;
  GC m_gc = nullptr;
  XShmImage m_shm;
  SwsContext* m_sws = nullptr;
  std::vector<uint8_t> m_pixels;  // the plain path's scaled picture
  std::vector<uint8_t> m_tail;    // the picture's last rows in memory, padded
};
