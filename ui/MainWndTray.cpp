// The main window's tray icon, and hiding to it.
#include <QWidget>

#include "platform/duilib/tray_icon.h"
#include "ui/MainWnd.h"

namespace {

constexpr UINT kTrayIconId = 0;

TrayIconData TrayIconOf(HWND window) {
  TrayIconData data;
  data.hWnd = window;
  data.uID = kTrayIconId;
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = WM_TRAYICON;
  data.iconPath = L"images/logo.png";
  data.tip = L"Velmora 直播助手";
  return data;
}

}  // namespace

void CMainWnd::AddTrayIcon() {
  if (NotifyTrayIcon(NIM_ADD, TrayIconOf(GetHWND()))) m_trayAdded = true;
}

void CMainWnd::RemoveTrayIcon() {
  if (!m_trayAdded) return;
  NotifyTrayIcon(NIM_DELETE, TrayIconOf(GetHWND()));
  m_trayAdded = false;
}

void CMainWnd::Minimise() {
  // Without a system tray a hidden window could never be brought back.
  if (!IsSystemTrayAvailable()) {
    if (QWidget* widget = GetWidget()) widget->showMinimized();
    return;
  }
  ShowWindow(false);
  AddTrayIcon();
  SetExStyle(GetExStyle() ^ WS_EX_TOOLWINDOW);
  ShowWindow(false);
}

void CMainWnd::RestoreFromTray() {
  SetExStyle(GetExStyle() | WS_EX_TOOLWINDOW);
  ShowWindow(true, false);
  SetExStyle(GetExStyle() | WS_EX_TOPMOST);
}
