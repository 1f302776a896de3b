#include "platform/grabora/x_shm_image.h"

#include <X11/Xutil.h>

#include <sys/ipc.h>
#include <sys/shm.h>

#include "platform/grabora/x_error_trap.h"

bool XShmImage::Offered(Display* display) { return XShmQueryExtension(display) == True; }

void XShmImage::Drop(bool serverGone) {
  if (!m_image) return;
  if (!serverGone) {
    XShmDetach(m_display, &m_segment);
    XSync(m_display, False);
  }
  m_image->data = nullptr;  // the segment is not Xlib's to free
  XDestroyImage(m_image);
  shmdt(m_segment.shmaddr);
  m_image = nullptr;
  m_segment = XShmSegmentInfo{};
}

bool XShmImage::Make(int width, int height) {
  Drop();
  if (width <= 0 || height <= 0) return false;
  const int screen = DefaultScreen(m_display);
  XImage* image = XShmCreateImage(m_display, DefaultVisual(m_display, screen), DefaultDepth(m_display, screen),
                                  ZPixmap, nullptr, &m_segment, width, height);
  if (!image) return false;
  m_segment.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(image->bytes_per_line) * height, IPC_CREAT | 0600);
  if (m_segment.shmid < 0) {
    XDestroyImage(image);
    m_segment = XShmSegmentInfo{};
    return false;
  }
  void* address = shmat(m_segment.shmid, nullptr, 0);
  // Marked for removal at once: the segment goes away with the last detach,
  // even if this process dies.
  shmctl(m_segment.shmid, IPC_RMID, nullptr);
  if (address == reinterpret_cast<void*>(-1)) {
    XDestroyImage(image);  // data is still null here
    m_segment = XShmSegmentInfo{};
    return false;
  }
  m_segment.shmaddr = image->data = static_cast<char*>(address);
  m_segment.readOnly = False;
  XErrorTrap trap(m_display);
  XShmAttach(m_display, &m_segment);
  if (trap.Failed()) {
    image->data = nullptr;
    XDestroyImage(image);
    shmdt(address);
    m_segment = XShmSegmentInfo{};
    return false;
  }
  m_image = image;
  return true;
}
