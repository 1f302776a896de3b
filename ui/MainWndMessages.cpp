// The messages the main window handles before the window library does.
#include <QCursor>

#include "platform/duilib/controls.h"
#include "platform/duilib/tray_icon.h"
#include "ui/MainWnd.h"
#include "ui/ProgramEventPump.h"

namespace {

constexpr UINT WM_COMMAND = 0x0111;
constexpr WPARAM kCommandClose = 4;

}  // namespace

LRESULT CMainWnd::HandleCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  handled = false;
  switch (message) {
    case WM_CLOSE:
      // A close from the window manager asks, as the close button does;
      // the window itself goes only when the program ends.
      handled = true;
      if (m_closeBtn) {
        m_PaintManager.SendNotify(m_closeBtn, notify_type::kClick);
      } else {
        OpenExitDialog();
      }
      return 0;
    case WM_COMMAND:
      if (wParam == kCommandClose && m_closeBtn) m_PaintManager.SendNotify(m_closeBtn, notify_type::kClick);
      break;
    case WM_TIMER:
      OnTimer(static_cast<UINT>(wParam));
      break;
    case WM_SWITCH_SOURCE:
      SwitchSource(static_cast<int>(wParam));
      break;
    case WM_RESOLUTION_WARNING:
      ShowMessage(L"超出最大输出分辨率范围", L"警告");
      break;
    case WM_MENUCLICK:
      OnMenuClick(wParam);
      break;
    case WM_STATUS_WORD:
      ReactToStatus(ProgramEventPump::TakeText(lParam));
      handled = true;
      return 0;
    case WM_PUBLISH_EVENT:
      OnPublishEvent(wParam, lParam);
      if (wParam == kPublishEventConnectionClosed) {
        handled = true;
        return 1;
      }
      break;
    case WM_TRAYICON:
      if (lParam == kTrayMouseLeftDown) {
        RestoreFromTray();
      } else if (lParam == kTrayMouseRightDown) {
        const QPoint cursor = QCursor::pos();
        OpenMenu(L"trayMenu.xml", POINT{cursor.x(), cursor.y()}, CMenuWnd::kAlignLeft | CMenuWnd::kAlignBottom);
      }
      break;
    default:
      break;
  }
  return 0;
}
