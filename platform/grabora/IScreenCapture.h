// Grabora: the screen capture the publish manager pulls desktop pictures
// from (screen mode, rectangle or one window), plus the visible outline that
// shows the presenter what is being captured. Backed by Xlib with MIT-SHM and
// XFixes. The manager is the only caller; it creates one object through
// CreateScreenCapture (or the factory table in platform/outside/) and frees
// it with Release.
//
// The operations keep the order in which the manager uses them; nothing else
// is in the interface.
#pragma once
#include "platform/outside/win_types.h"

class IScreenCapture {
 public:
  // Closes the display connection and the outline windows; the object is gone.
  virtual void Release() = 0;

  // true: the cursor image is blended into every grabbed picture.
  virtual void SetFollowCursor(bool follow) = 0;

  // Only 24 is accepted (packed B,G,R); returns false for anything else and
  // keeps 24.
  virtual bool SetBitDepth(int bitsPerPixel) = 0;

  // Later grabs cover *rect (screen pixels, right/bottom exclusive), clamped
  // to the screen. A null or empty rectangle is refused (false).
  virtual bool SetCaptureRect(const RECT* rect) = 0;

  // Grabs one picture. On success *info describes it (biWidth, biHeight > 0,
  // biBitCount 24, biSizeImage == *byteCount), *pixels points at width x
  // height x 3 bytes, packed (stride exactly width x 3), B,G,R, top-down (the
  // first row is the top of the picture). Both pointers belong to the object
  // and stay valid until the next GrabFrame or Release. Returns false (and
  // leaves the outputs null/0) when nothing could be grabbed.
  virtual bool GrabFrame(BITMAPINFOHEADER** info, BYTE** pixels, int* byteCount) = 0;

  // Non-zero shows a thin outline around the capture area (override-redirect
  // windows just outside it, so they never appear in the picture); 0 hides it.
  virtual void ShowCaptureFrame(int show) = 0;
  virtual bool IsCaptureFrameShown() = 0;

  // The manager's ScreenCaptureAuxA lands here: puts the outline back on top
  // of the stacking order (other windows may have been raised over it) and
  // moves it to the current capture area (which follows a captured window).
  virtual void RaiseCaptureFrame() = 0;

  // The manager's ScreenCaptureAuxB lands here (the presenter confirmed a
  // capture size): leaves capture-window mode, so the rectangle set with
  // SetCaptureRect applies again.
  virtual void ClearCaptureWindow() = 0;

  // Later grabs show that window: its current position on the screen is
  // looked up at each grab (clamped to the screen). 0 is the same as
  // ClearCaptureWindow. A window that has gone away makes grabs fail.
  virtual void SetCaptureWindow(HWND window) = 0;

  // True once the X server's connection is gone: no grab succeeds again. A
  // new object connects to whatever server answers on the display then.
  virtual bool DisplayLost() = 0;

 protected:
  ~IScreenCapture() = default;
};

// Opens the display named by $DISPLAY. Returns null when no display can be
// opened (or it has no 24/32-bit TrueColor visual).
IScreenCapture* CreateScreenCapture();
