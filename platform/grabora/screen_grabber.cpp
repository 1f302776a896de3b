#include "platform/grabora/screen_grabber.h"

#include <X11/Xutil.h>

#include <sys/ipc.h>
#include <sys/shm.h>

#include "platform/grabora/x_error_trap.h"

ScreenGrabber::ScreenGrabber(Display* display)
    : m_display(display), m_root(DefaultRootWindow(display)) {
  m_useShm = XShmQueryExtension(m_display) == True;
}

ScreenGrabber::~ScreenGrabber() {
  DropShmImage();
  if (m_plainImage) XDestroyImage(m_plainImage);
}

void ScreenGrabber::DropShmImage() {
  if (!m_shmImage) return;
  XShmDetach(m_display, &m_shm);
  XSync(m_display, False);
  m_shmImage->data = nullptr;  // the segment is not Xlib's to free
  XDestroyImage(m_shmImage);
  shmdt(m_shm.shmaddr);
  m_shmImage = nullptr;
  m_shm = XShmSegmentInfo{};
}

bool ScreenGrabber::MakeShmImage(int width, int height) {
  DropShmImage();
  int screen = DefaultScreen(m_display);
  XImage* image = XShmCreateImage(m_display, DefaultVisual(m_display, screen),
                                  DefaultDepth(m_display, screen), ZPixmap, nullptr, &m_shm,
                                  width, height);
  if (!image) return false;
  m_shm.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(image->bytes_per_line) * height,
                       IPC_CREAT | 0600);
  if (m_shm.shmid < 0) {
    XDestroyImage(image);
    return false;
  }
  void* address = shmat(m_shm.shmid, nullptr, 0);
  // Marked for removal at once: the segment goes away with the last detach,
  // even if this process dies.
  shmctl(m_shm.shmid, IPC_RMID, nullptr);
  if (address == reinterpret_cast<void*>(-1)) {
    XDestroyImage(image);  // data is still null here
    return false;
  }
  m_shm.shmaddr = image->data = static_cast<char*>(address);
  m_shm.readOnly = False;
  XErrorTrap trap(m_display);
  XShmAttach(m_display, &m_shm);
  if (trap.Failed()) {  // e.g. a server on another host cannot see the segment
    image->data = nullptr;
    XDestroyImage(image);
    shmdt(address);
    m_shm = XShmSegmentInfo{};
    return false;
  }
  m_shmImage = image;
  return true;
}

XImage* ScreenGrabber::Grab(int x, int y, int width, int height) {
  if (width <= 0 || height <= 0) return nullptr;
  if (m_useShm) {
    if (!m_shmImage || m_shmImage->width != width || m_shmImage->height != height) {
      if (!MakeShmImage(width, height)) m_useShm = false;
    }
    if (m_useShm) {
      XErrorTrap trap(m_display);
      Status ok = XShmGetImage(m_display, m_root, m_shmImage, x, y, AllPlanes);
      if (ok && !trap.Failed()) return m_shmImage;
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
