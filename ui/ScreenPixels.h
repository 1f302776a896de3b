// Qt lays the windows out in logical pixels; with QT_SCALE_FACTOR or
// QT_AUTO_SCREEN_SCALE_FACTOR one of them covers several of the screen's.
// The library captures the X11 screen in its own pixels, so every rectangle
// the main window hands the proxy passes through here first. The screen is
// the one under the rectangle's centre (the primary one when none is).
// GUI thread only.
#pragma once
#include "app/UserConfig.h"  // CaptureRect
#include "platform/duilib/ui_events.h"

class QScreen;

// The capture control's rectangle (screen coordinates, logical pixels, its
// border included) as the proxy wants it: the proxy takes proxyInset of the
// screen's pixels off every side, and what remains is the control's inside
// (within its logical border) in the screen's pixels.
CaptureRect CaptureControlInScreenPixels(const RECT& logical, int border, int proxyInset);

// A whole screen in the screen's pixels.
CaptureRect ScreenInScreenPixels(const QScreen& screen);
