#include "ui/DialogsAboveFrame.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QTimer>
#include <QWindow>
#include <algorithm>

DialogsAboveFrame::DialogsAboveFrame(QWidget* frame) : m_frame(frame) {
  if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
}

DialogsAboveFrame::~DialogsAboveFrame() {
  if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
}

bool DialogsAboveFrame::IsDialog(const QWidget* window) {
  if (!window || !window->isWindow()) return false;
  switch (window->windowType()) {
    case Qt::Popup:
    case Qt::ToolTip:
    case Qt::SplashScreen:
    case Qt::Desktop:
      return false;
    default:
      break;
  }
  return window->parentWidget() != nullptr || qobject_cast<const QDialog*>(window) != nullptr;
}

bool DialogsAboveFrame::eventFilter(QObject* watched, QEvent* event) {
  // The receiver first: events posted to other objects from other threads
  // (window messages) are not read here, their posting thread's writes
  // ordered only by Qt's own queue lock, which the thread sanitizer cannot see.
  if (!watched->isWidgetType() || event->type() != QEvent::Show) return false;
  auto* window = static_cast<QWidget*>(watched);
  if (!window->isWindow() || !m_frame) return false;
  if (window == m_frame) {
    // Shown again, the frame goes on top of its layer, over what is open.
    RaiseLater();
  } else if (IsDialog(window)) {
    m_shown.erase(std::remove_if(m_shown.begin(), m_shown.end(),
                                 [window](const QPointer<QWidget>& shown) { return !shown || shown == window; }),
                  m_shown.end());
    m_shown.emplace_back(window);
    RaiseLater();
  }
  return false;
}

void DialogsAboveFrame::KeepAbove(QWidget* dialog) {
  Qt::WindowFlags flags = dialog->windowFlags();
  if (flags.testFlag(Qt::WindowStaysOnTopHint)) return;
  flags |= Qt::WindowStaysOnTopHint;
  // Only on a window already shown: before that, Qt remakes the native window
  // for new flags, and a window of the program would lose the id its HWND
  // holds (QWidget::setWindowFlags always does).
  dialog->overrideWindowFlags(flags);
  if (QWindow* native = dialog->windowHandle()) native->setFlags(flags);
}

void DialogsAboveFrame::RaiseLater() {
  if (m_raisePending) return;
  m_raisePending = true;
  // After the show that is under way, so the flag goes to the shown window
  // and the raise lands on it once mapped.
  QTimer::singleShot(0, this, [this] {
    m_raisePending = false;
    RaiseDialogs();
  });
}

void DialogsAboveFrame::RaiseDialogs() {
  m_shown.erase(std::remove_if(m_shown.begin(), m_shown.end(), [](const QPointer<QWidget>& shown) { return !shown; }),
                m_shown.end());
  for (const QPointer<QWidget>& dialog : m_shown) {
    if (!dialog->isVisible()) continue;
    KeepAbove(dialog);
    dialog->raise();
  }
}
