// The X side of the preview: a child window that lives inside the host's
// window and a full-screen window, on a connection of their own. Used only
// from the preview's thread; every request runs under an error trap, so a
// host window that vanished (or any other X error) never ends the process.
#pragma once
#include <X11/Xlib.h>

#include <cstdint>
#include <memory>

#include "platform/dshow/com_types.h"
#include "platform/outside/win_types.h"

class WindowBlitter;
class XConnectionWatch;

class PreviewWindows {
 public:
  PreviewWindows();
  ~PreviewWindows();  // closes the connection
  PreviewWindows(const PreviewWindows&) = delete;
  PreviewWindows& operator=(const PreviewWindows&) = delete;

  // Connects and makes both windows (hidden); false without an X server.
  bool Open();
  bool IsOpen() const { return m_display != nullptr; }
  // The connection's descriptor for the thread's poll, or -1.
  int Descriptor() const;
  // False once the server has gone away; nothing is asked of it afterwards.
  bool Usable() const;

  // Puts the child window into parent at its full size and shows it; false
  // when the parent does not exist.
  bool Show(HWND parent);
  // Hides both windows and takes the child back out of the host's window.
  void Hide();

  // Draws a top-down packed B, G, R picture over the whole visible window.
  void Paint(const BYTE* rgb, int width, int height);
  // Keeps the child window at the host window's full size, which the host
  // may have changed since; the target size of a picture. False when there
  // is nothing to draw into.
  bool FollowHost(int* width, int* height);
  // Handles the queued events; true when the picture is to be drawn again
  // (exposed, or back from full screen). Before the first picture exposed
  // windows are filled black.
  bool HandleEvents(bool haveFrame);
  // Hides the cursor 2 s after the last movement in full screen.
  void Tick(uint32_t now);

  bool FullScreen() const { return m_fullScreen; }
  // The two windows (0 until Open succeeded), for drawing from elsewhere.
  HWND ChildWindow() const { return m_child; }
  HWND FullScreenWindow() const { return m_full; }

 private:
  void Fill(Window window);
  void EnterFullScreen();
  void LeaveFullScreen();
  void ShowCursor();
  void NoteActivity();
  void OnButton(const XButtonEvent& event);
  Window Visible() const { return m_fullScreen ? m_full : m_child; }

  Display* m_display = nullptr;
  std::unique_ptr<XConnectionWatch> m_watch;
  Window m_child = 0, m_full = 0;
  HWND m_parent = 0;
  GC m_gc = nullptr;
  Cursor m_blank = 0;
  bool m_fullScreen = false;
  bool m_cursorVisible = true;
  uint32_t m_activityTick = 0;
  int m_lastX = -1, m_lastY = -1;
  Time m_lastClickTime = 0;
  Window m_lastClickWindow = 0;
  int m_lastClickX = 0, m_lastClickY = 0;
  std::unique_ptr<WindowBlitter> m_blitter;
};
