#include "ui/CaptureFrameMouse.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

#include "platform/duilib/window_wnd.h"

CaptureFrameMouse::CaptureFrameMouse(CWindowWnd* window, HitTest hitTest)
    : m_window(window), m_hitTest(std::move(hitTest)) {
  // The window, not its widgets: every press lands here whichever control is
  // under it, and the press's pointer grab keeps moves coming outside the frame.
  if (QWidget* frame = m_window->GetWidget(); frame && frame->windowHandle()) {
    frame->windowHandle()->installEventFilter(this);
  }
}

CaptureFrameMouse::~CaptureFrameMouse() {
  if (QWidget* frame = m_window->GetWidget(); frame && frame->windowHandle()) {
    frame->windowHandle()->removeEventFilter(this);
  }
}

bool CaptureFrameMouse::eventFilter(QObject*, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease) {
    return false;
  }
  QWidget* frame = m_window->GetWidget();
  if (!frame || !m_window->GetHWND()) return false;
  auto* mouse = static_cast<QMouseEvent*>(event);
  if (type != QEvent::MouseMove && mouse->button() != Qt::LeftButton) return false;

  const QPoint global = mouse->globalPos();
  const QPoint origin = frame->geometry().topLeft();
  const POINT screen{global.x(), global.y()};
  const POINT client{global.x() - origin.x(), global.y() - origin.y()};
  if (type == QEvent::MouseButtonPress) {
    const WPARAM hit = m_hitTest ? m_hitTest(client) : HTCLIENT;
    if (hit == HTCLIENT) {
      m_window->HandleMessage(WM_LBUTTONDOWN, 0, PackPoint(client));
    } else {
      m_window->HandleMessage(WM_NCLBUTTONDOWN, hit, PackPoint(screen));
    }
  } else if (type == QEvent::MouseMove) {
    m_window->HandleMessage(WM_MOUSEMOVE, 0, PackPoint(client));
  } else {
    m_window->HandleMessage(WM_LBUTTONUP, 0, PackPoint(client));
  }
  return true;
}
