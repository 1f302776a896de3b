// The application windows the presenter may publish: the visible top-level
// windows of the desktop that have a title. The application-window picker
// lists them by title; the listing is a function of its own so the picker can
// be given any list.
#pragma once
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "strivon/WindowHandle.h"

struct TopLevelWindow {
  HWND handle = 0;
  std::wstring title;
};

using TopLevelWindowLister = std::function<std::vector<TopLevelWindow>()>;

// In the window manager's order (its client list), or in stacking order when
// no window manager runs. Empty when there is no X display.
std::vector<TopLevelWindow> ListTopLevelWindows();
// The same without this process's own windows (by _NET_WM_PID on this
// machine's WM_CLIENT_MACHINE): the program offers other programs' windows
// for publishing, not its console, frame or pickers.
std::vector<TopLevelWindow> ListOtherProgramsWindows();

// Title -> window, ordered by character codes; windows without a title are
// left out, and of windows sharing a title the one listed last is kept.
std::map<std::wstring, HWND> WindowsByTitle(const std::vector<TopLevelWindow>& windows);
