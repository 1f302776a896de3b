// Icons in the desktop's system tray, shaped after the shell's notify-icon
// call: an icon is added and deleted by its window and id, and mouse presses
// on it are posted to that window as its callback message with the id as
// wParam and the mouse message (513 left button down, 516 right button down)
// as lParam. Backed by QSystemTrayIcon. GUI thread only.
#pragma once
#include <string>

#include "platform/duilib/ui_events.h"
#include "strivon/WindowHandle.h"

constexpr DWORD NIM_ADD = 0;
constexpr DWORD NIM_DELETE = 2;
constexpr UINT NIF_MESSAGE = 0x1;
constexpr UINT NIF_ICON = 0x2;
constexpr UINT NIF_TIP = 0x4;
constexpr LPARAM kTrayMouseLeftDown = 513;
constexpr LPARAM kTrayMouseRightDown = 516;

struct TrayIconData {
  HWND hWnd = 0;
  UINT uID = 0;
  UINT uFlags = 0;
  UINT uCallbackMessage = 0;
  std::wstring iconPath;  // a skin path of the icon's picture
  std::wstring tip;
};

// Whether the desktop shows a system tray now.
bool IsSystemTrayAvailable();
// NIM_ADD replaces an icon of the same window and id. False when there is no
// system tray, or nothing to delete.
bool NotifyTrayIcon(DWORD command, const TrayIconData& data);
