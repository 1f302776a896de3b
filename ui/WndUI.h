// The preview area of the main window: a control that hosts a native child
// window, into which the library draws the published picture. Showing,
// hiding and placing the control do the same to the hosted window.
#pragma once
#include "platform/duilib/control.h"
#include "strivon/WindowHandle.h"

class CWndUI : public CControlUI {
 public:
  CWndUI();
  // The hosted window's id, made native on first use: ask only once the
  // control sits in its window, or the id would name a window of its own.
  HWND GetHostedWindow();
};
