#include "ui/WndUI.h"

#include <QWidget>

CWndUI::CWndUI() : CControlUI(new QWidget) {
  GetWidget()->setObjectName(QStringLiteral("WndMediaDisplay"));
  // Only this widget becomes native, not the layouts around it.
  GetWidget()->setAttribute(Qt::WA_DontCreateNativeAncestors);
}

HWND CWndUI::GetHostedWindow() {
  QWidget* display = GetWidget();
  return display ? static_cast<HWND>(display->winId()) : 0;
}
