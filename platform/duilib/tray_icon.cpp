#include "platform/duilib/tray_icon.h"

#include <QIcon>
#include <QSystemTrayIcon>
#include <map>
#include <memory>
#include <utility>

#include "platform/duilib/paint_manager.h"
#include "platform/duilib/window_messages.h"

namespace {

using TrayKey = std::pair<HWND, UINT>;

std::map<TrayKey, std::unique_ptr<QSystemTrayIcon>>& Icons() {
  static std::map<TrayKey, std::unique_ptr<QSystemTrayIcon>> icons;
  return icons;
}

}  // namespace

bool IsSystemTrayAvailable() { return QSystemTrayIcon::isSystemTrayAvailable(); }

bool NotifyTrayIcon(DWORD command, const TrayIconData& data) {
  const TrayKey key{data.hWnd, data.uID};
  if (command == NIM_DELETE) return Icons().erase(key) != 0;
  if (command != NIM_ADD || !data.hWnd || !IsSystemTrayAvailable()) return false;
  auto icon = std::make_unique<QSystemTrayIcon>();
  if (data.uFlags & NIF_ICON) {
    icon->setIcon(QIcon(QString::fromStdString(
        CPaintManagerUI::ResolvePath(QString::fromStdWString(data.iconPath).toStdString()))));
  }
  if (data.uFlags & NIF_TIP) icon->setToolTip(QString::fromStdWString(data.tip));
  if (data.uFlags & NIF_MESSAGE) {
    const HWND window = data.hWnd;
    const UINT id = data.uID;
    const UINT message = data.uCallbackMessage;
    QObject::connect(icon.get(), &QSystemTrayIcon::activated, [window, id, message](QSystemTrayIcon::ActivationReason why) {
      if (why == QSystemTrayIcon::Trigger) PostMessageW(window, message, id, kTrayMouseLeftDown);
      if (why == QSystemTrayIcon::Context) PostMessageW(window, message, id, kTrayMouseRightDown);
    });
  }
  icon->show();
  Icons()[key] = std::move(icon);
  return true;
}
