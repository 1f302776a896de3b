#include "capture/WindowBlitter.h"

#include <X11/Xutil.h>

extern "C" {
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>

#include "platform/grabora/x_connection_watch.h"
#include "platform/grabora/x_error_trap.h"

namespace {
// More than libswscale's input functions read past the end of a row.
constexpr size_t kReadPastRow = 256;
}  // namespace

WindowBlitter::WindowBlitter(Display* display, const XConnectionWatch* watch)
    : m_display(display), m_watch(watch), m_shm(display) {
  const int screen = DefaultScreen(m_display);
  const Visual* visual = DefaultVisual(m_display, screen);
  // Pictures are written as 32-bit pixels of the usual 24-bit true-colour layout.
  m_trueColour = DefaultDepth(m_display, screen) == 24 && visual->red_mask == 0xFF0000 &&
                 visual->green_mask == 0xFF00 && visual->blue_mask == 0xFF;
  m_useShm = m_trueColour && XShmImage::Offered(m_display);
}

WindowBlitter::~WindowBlitter() {
  sws_freeContext(m_sws);
  const bool gone = ServerGone();
  m_shm.Drop(gone);
  if (!m_gc) return;
  if (gone) {
    XFree(m_gc);  // the GC's client-side record, freed without a request
    return;
  }
  XErrorTrap trap(m_display);
  XFreeGC(m_display, m_gc);
}

bool WindowBlitter::ServerGone() const { return m_watch && m_watch->Lost(); }

bool WindowBlitter::Scale(const BYTE* rgb, int width, int height, bool bottomUp, int targetWidth, int targetHeight,
                          int layout, uint8_t* dst, int dstStride) {
  m_sws = sws_getCachedContext(m_sws, width, height, AV_PIX_FMT_BGR24, targetWidth, targetHeight,
                               static_cast<AVPixelFormat>(layout), SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (!m_sws) return false;
  const size_t rowBytes = static_cast<size_t>(width) * 3;
  // libswscale reads a little past the end of a row. Inside the picture that
  // is the next row; past the rows at the highest addresses it would be past
  // the caller's buffer, so those rows are read from a padded copy.
  const int tailRows = std::min(height, static_cast<int>((kReadPastRow + rowBytes - 1) / rowBytes));
  m_tail.assign(rowBytes * tailRows + kReadPastRow, 0);
  std::memcpy(m_tail.data(), rgb + rowBytes * (height - tailRows), rowBytes * tailRows);
  uint8_t* dstPlanes[1] = {dst};
  const int dstStrides[1] = {dstStride};
  const int stride = static_cast<int>(rowBytes);
  // Slices in picture order: a bottom-up picture's first rows are the ones
  // at the end of its buffer.
  const uint8_t* tail[1] = {bottomUp ? m_tail.data() + rowBytes * (tailRows - 1) : m_tail.data()};
  const int bodyRows = height - tailRows;
  const uint8_t* body[1] = {bottomUp && bodyRows > 0 ? rgb + rowBytes * (bodyRows - 1) : rgb};
  const int strides[1] = {bottomUp ? -stride : stride};
  if (bottomUp) {
    sws_scale(m_sws, tail, strides, 0, tailRows, dstPlanes, dstStrides);
    if (bodyRows > 0) sws_scale(m_sws, body, strides, tailRows, bodyRows, dstPlanes, dstStrides);
  } else {
    if (bodyRows > 0) sws_scale(m_sws, body, strides, 0, bodyRows, dstPlanes, dstStrides);
    sws_scale(m_sws, tail, strides, bodyRows, tailRows, dstPlanes, dstStrides);
  }
  return true;
}

bool WindowBlitter::Draw(Window window, const BYTE* rgb, int width, int height, bool bottomUp, int targetWidth,
                         int targetHeight) {
  if (ServerGone() || !m_trueColour || !window || !rgb || width <= 0 || height <= 0 || targetWidth <= 0 ||
      targetHeight <= 0)
    return false;
  XErrorTrap trap(m_display);
  // One GC serves every window of the screen: they share root and depth.
  if (!m_gc) m_gc = XCreateGC(m_display, window, 0, nullptr);
  if (trap.Failed()) {
    m_gc = nullptr;
    return false;
  }
  if (m_useShm && DrawShm(window, rgb, width, height, bottomUp, targetWidth, targetHeight)) return !trap.Failed();
  return DrawPlain(window, rgb, width, height, bottomUp, targetWidth, targetHeight) && !trap.Failed();
}

bool WindowBlitter::DrawShm(Window window, const BYTE* rgb, int width, int height, bool bottomUp, int targetWidth,
                            int targetHeight) {
  XImage* image = m_shm.Image();
  if (!image || image->width != targetWidth || image->height != targetHeight) {
    if (!m_shm.Make(targetWidth, targetHeight)) {
      m_useShm = false;  // e.g. a server on another host: plain drawing from now on
      return false;
    }
    image = m_shm.Image();
  }
  if (image->bits_per_pixel != 32) {
    m_shm.Drop();
    m_useShm = false;
    return false;
  }
  // The segment holds the server's own byte order: B, G, R, X in memory on a
  // little-endian server, X, R, G, B on a big-endian one.
  const int layout = image->byte_order == LSBFirst ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_0RGB;
  if (!Scale(rgb, width, height, bottomUp, targetWidth, targetHeight, layout,
             reinterpret_cast<uint8_t*>(image->data), image->bytes_per_line))
    return false;
  XShmPutImage(m_display, window, m_gc, image, 0, 0, 0, 0, static_cast<unsigned>(targetWidth),
               static_cast<unsigned>(targetHeight), False);
  // The server reads the segment while it handles the request: the next
  // picture may be written into it only once it has answered.
  XSync(m_display, False);
  return true;
}

bool WindowBlitter::DrawPlain(Window window, const BYTE* rgb, int width, int height, bool bottomUp, int targetWidth,
                              int targetHeight) {
  const int stride = targetWidth * 4;
  m_pixels.resize(static_cast<size_t>(stride) * targetHeight);
  if (!Scale(rgb, width, height, bottomUp, targetWidth, targetHeight, AV_PIX_FMT_BGR0, m_pixels.data(), stride))
    return false;
  const int screen = DefaultScreen(m_display);
  XImage* image = XCreateImage(m_display, DefaultVisual(m_display, screen), 24, ZPixmap, 0,
                               reinterpret_cast<char*>(m_pixels.data()), static_cast<unsigned>(targetWidth),
                               static_cast<unsigned>(targetHeight), 32, stride);
  if (!image) return false;
  image->byte_order = LSBFirst;  // Xlib reorders for a server that differs
  XPutImage(m_display, window, m_gc, image, 0, 0, 0, 0, static_cast<unsigned>(targetWidth),
            static_cast<unsigned>(targetHeight));
  image->data = nullptr;  // the pixels are ours
  XDestroyImage(image);
  return true;
}
