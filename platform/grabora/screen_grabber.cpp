#include "platform/grabora/screen_grabber.h"

#include <X11/Xutil.h>

#include "platform/grabora/x_error_trap.h"

ScreenGrabber::ScreenGrabber(Display* display)
    : m_display(display), m_root(DefaultRootWindow(display)), m_shm(display) {
  m_useShm = XShmImage::Offered(m_display);
}

ScreenGrabber::~ScreenGrabber() {
  if (m_plainImage) XDestroyImage(m_plainImage);
}

XImage* ScreenGrabber::Grab(int x, int y, int width, int height) {
  if (width <= 0 || height <= 0) return nullptr;
  if (m_useShm) {
    XImage* image = m_shm.Image();
    if (!image || image->width != width || image->height != height) {
      if (!m_shm.Make(width, height)) m_useShm = false;
    }
    if (m_useShm) {
      XErrorTrap trap(m_display);
      Status ok = XShmGetImage(m_display, m_root, m_shm.Image(), x, y, AllPlanes);
      if (ok && !trap.Failed()) return m_shm.Image();
      return nullptr;
    }
  }
  if (m_plainImage) {
    XDestroyImage(m_plainImage);
    m_plainImage = nullptr;
  }
  XErrorTrap trap(m_display);
  m_plainImage = XGetImage(m_display, m_root, x, y, width, height, AllPlanes, ZPixmap);
  if (trap.Failed() && m_plainImage) {
    XDestroyImage(m_plainImage);
    m_plainImage = nullptr;
  }
  return m_plainImage;
}
