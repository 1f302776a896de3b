// Reads a rectangle of the root window into client memory, through a shared
// memory segment when the server offers MIT-SHM (no copy through the socket)
// and with a plain GetImage otherwise. The image is kept and reused while the
// rectangle size stays the same. Used by the screen capture object.
#pragma once
#include <X11/Xlib.h>

#include "platform/grabora/x_shm_image.h"

class ScreenGrabber {
 public:
  explicit ScreenGrabber(Display* display);
  ~ScreenGrabber();
  ScreenGrabber(const ScreenGrabber&) = delete;
  ScreenGrabber& operator=(const ScreenGrabber&) = delete;

  // The rectangle must lie inside the root window. Returns the image (owned
  // by the grabber, valid until the next Grab) or null on failure.
  XImage* Grab(int x, int y, int width, int height);

 private:
  Display* m_display;
  Window m_root;
  bool m_useShm = false;
  XShmImage m_shm;
  XImage* m_plainImage = nullptr;
};
