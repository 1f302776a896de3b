// An XImage in the server's pixel layout whose pixels live in a MIT-SHM
// segment that the X server reads and writes directly, so a picture crosses
// no socket. The screen grabber reads the screen into one (XShmGetImage); the
// preview draws from one (XShmPutImage). The segment is marked for removal as
// soon as it is attached, so it never outlives the process.
#pragma once
#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

class XShmImage {
 public:
  explicit XShmImage(Display* display) : m_display(display) {}
  ~XShmImage() { Drop(); }
  XShmImage(const XShmImage&) = delete;
  XShmImage& operator=(const XShmImage&) = delete;

  // True when the server offers MIT-SHM on this connection.
  static bool Offered(Display* display);

  // Makes a width x height image of the default visual and depth, attached
  // to the server; false (and no image) when the server cannot attach the
  // segment, e.g. a server on another host.
  bool Make(int width, int height);
  // Detaches and frees the image, after the server has let go of it. With
  // serverGone nothing is sent: only this side's memory is freed.
  void Drop(bool serverGone = false);

  XImage* Image() const { return m_image; }
  XShmSegmentInfo* Segment() { return &m_segment; }

 private:
  Display* m_display;
  XShmSegmentInfo m_segment{};
  XImage* m_image = nullptr;
};
