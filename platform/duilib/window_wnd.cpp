#include "platform/duilib/window_wnd.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFontDatabase>
#include <QScreen>
#include <QThread>
#include <QTimerEvent>
#include <QWidget>
#include <QWindow>

#include "platform/duilib/modal_withdrawal.h"
#include "platform/duilib/x11_window_class.h"

namespace {

// Chinese texts of the skins need a font that has the glyphs.
void UseSkinFontOnce() {
  static bool done = false;
  if (done) return;
  done = true;
  const QString family = QStringLiteral("WenQuanYi Micro Hei");
  if (QFontDatabase().families().contains(family)) {
    QFont font = QApplication::font();
    font.setFamily(family);
    QApplication::setFont(font);
  }
}

LPARAM PackPair(int low, int high) {
  return static_cast<LPARAM>((static_cast<uint32_t>(high & 0xFFFF) << 16) | static_cast<uint32_t>(low & 0xFFFF));
}

}  // namespace

// The Qt widget behind a window; hands its events to the window as messages.
class WindowHost : public QWidget {
 public:
  WindowHost(CWindowWnd* owner, QWidget* parent) : QWidget(parent, Qt::Window), m_owner(owner) {}
  // Qt deletes a window's widget with its parent's: the window must then
  // forget it, or a message still on its way would reach a freed widget.
  ~WindowHost() override {
    if (m_owner) m_owner->HostGone();
  }

  void Orphan() { m_owner = nullptr; }
  bool InEvent() const { return m_depth > 0; }

 protected:
  void closeEvent(QCloseEvent* event) override {
    // The window decides (WM_CLOSE), as a skinned window does.
    event->ignore();
    Forward(WM_CLOSE, 0, 0);
  }
  void resizeEvent(QResizeEvent* event) override {
    QWidget::resizeEvent(event);
    Forward(WM_SIZE, 0, PackPair(width(), height()));
  }
  void moveEvent(QMoveEvent* event) override {
    QWidget::moveEvent(event);
    Forward(WM_MOVE, 0, PackPair(x(), y()));
  }
  void changeEvent(QEvent* event) override {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && !isActiveWindow()) Forward(WM_KILLFOCUS, 0, 0);
  }
  void timerEvent(QTimerEvent* event) override {
    ++m_depth;
    if (m_owner && m_owner->GetHWND()) m_owner->DispatchTimer(event->timerId());
    Leave();
  }

 private:
  void Forward(UINT message, WPARAM wParam, LPARAM lParam) {
    ++m_depth;
    if (m_owner && m_owner->GetHWND()) m_owner->HandleMessage(message, wParam, lParam);
    Leave();
  }
  // The window may have been deleted while we were in its handler; it then
  // left this widget to delete itself.
  void Leave() {
    if (--m_depth == 0 && !m_owner && m_orphanDelete) delete this;
  }

 public:
  bool m_orphanDelete = false;

 private:
  CWindowWnd* m_owner;
  int m_depth = 0;
};

CWindowWnd::CWindowWnd() = default;

CWindowWnd::~CWindowWnd() {
  *m_alive = false;
  if (m_hwnd) window_messages::UnregisterWindow(m_hwnd);
  if (m_modalLoop) m_modalLoop->exit(0);
  if (!m_host) return;
  m_host->Orphan();
  if (m_host->InEvent()) {
    m_host->hide();
    m_host->m_orphanDelete = true;
  } else {
    delete m_host;
  }
}

HWND CWindowWnd::Create(HWND parent, const std::wstring& name, DWORD style, DWORD exStyle, int x, int y, int cx,
                        int cy) {
  m_createError.clear();
  if (m_host) {
    m_createError = "the window exists already";
    return 0;
  }
  QCoreApplication* app = QCoreApplication::instance();
  if (!qobject_cast<QApplication*>(app) || QThread::currentThread() != app->thread()) {
    m_createError = "windows are made on the GUI thread of a running QApplication";
    return 0;
  }
  UseSkinFontOnce();
  QWidget* parentWidget = nullptr;
  if (parent) {
    CWindowWnd* owner = window_messages::FindWindow(parent);
    if (!owner) {
      m_createError = "the parent window does not exist";
      return 0;
    }
    parentWidget = owner->GetWidget();
  }
  auto* host = new WindowHost(this, parentWidget);
  host->setWindowTitle(QString::fromStdWString(name));
  host->setObjectName(QString::fromWCharArray(GetWindowClassName()));
  Qt::WindowFlags flags = Qt::Window;
  if (exStyle & WS_EX_TOOLWINDOW) flags = Qt::Tool;
  if ((style & WS_POPUP) && !(style & WS_CAPTION)) flags |= Qt::FramelessWindowHint;
  if (exStyle & WS_EX_TOPMOST) flags |= Qt::WindowStaysOnTopHint;
  host->setWindowFlags(flags);
  if (cx > 0 && cy > 0) host->setGeometry(x, y, cx, cy);
  m_style = style;
  m_exStyle = exStyle;
  m_host = host;
  m_hwnd = static_cast<HWND>(host->winId());
  if (QGuiApplication::platformName() == QLatin1String("xcb")) {
    SetX11WindowClass(m_hwnd, QString::fromStdWString(name).toStdString());
  }
  window_messages::RegisterWindow(m_hwnd, this);

  std::string error;
  if (!OnCreate(error)) {
    window_messages::UnregisterWindow(m_hwnd);
    m_hwnd = 0;
    m_host = nullptr;
    host->Orphan();
    delete host;
    m_createError = error.empty() ? "the window refused to be created" : error;
    return 0;
  }
  if (style & WS_VISIBLE) host->show();
  return m_hwnd;
}

QWidget* CWindowWnd::GetWidget() const { return m_host; }

void CWindowWnd::HostGone() {
  const HWND gone = m_hwnd;
  if (gone) window_messages::UnregisterWindow(gone);
  m_hwnd = 0;
  m_host = nullptr;
  m_timers.clear();
  if (m_modalLoop) {
    m_modalLoop->exit(0);
    m_modalLoop = nullptr;
  }
  // As after a close: a window that frees itself does so now.
  if (gone) OnFinalMessage(gone);
}

bool CWindowWnd::OnCreate(std::string&) { return true; }

void CWindowWnd::OnFinalMessage(HWND) {}

void CWindowWnd::CenterWindow() {
  if (!m_host) return;
  QRect area;
  if (QWidget* parent = m_host->parentWidget(); parent && parent->isVisible()) {
    area = parent->frameGeometry();
  } else if (QScreen* screen = m_host->screen() ? m_host->screen() : QGuiApplication::primaryScreen()) {
    area = screen->availableGeometry();
  }
  if (area.isEmpty()) return;
  QRect frame = m_host->frameGeometry();
  m_host->move(area.center() - QPoint(frame.width() / 2, frame.height() / 2));
}

void CWindowWnd::ShowWindow(bool show, bool takeFocus) {
  if (!m_host) return;
  if (!show) {
    WithdrawModalBeforeHide(m_host);
    m_host->hide();
    return;
  }
  m_host->show();
  if (takeFocus) {
    m_host->raise();
    m_host->activateWindow();
  }
}

UINT CWindowWnd::ShowModal() {
  if (!m_host || m_modalLoop) return static_cast<UINT>(-1);
  std::weak_ptr<bool> alive = m_alive;
  m_host->setWindowModality(Qt::ApplicationModal);
  m_host->show();
  QEventLoop loop;
  m_modalLoop = &loop;
  int code = loop.exec();
  // The window may be gone (and deleted) by now.
  if (auto still = alive.lock(); still && *still) m_modalLoop = nullptr;
  return static_cast<UINT>(code);
}

void CWindowWnd::Close(UINT code) { PostMessageW(WM_CLOSE, code, 0); }

bool CWindowWnd::PostMessageW(UINT message, WPARAM wParam, LPARAM lParam, MessagePayloadRelease release) {
  return ::PostMessageW(m_hwnd, message, wParam, lParam, release);
}

bool CWindowWnd::SetTimer(UINT id, UINT ms) {
  if (!m_host) return false;
  KillTimer(id);
  int qtId = m_host->startTimer(static_cast<int>(ms));
  if (qtId == 0) return false;
  m_timers[id] = qtId;
  return true;
}

void CWindowWnd::KillTimer(UINT id) {
  auto found = m_timers.find(id);
  if (found == m_timers.end()) return;
  if (m_host) m_host->killTimer(found->second);
  m_timers.erase(found);
}

void CWindowWnd::DispatchTimer(int qtTimerId) {
  for (const auto& [id, qtId] : m_timers) {
    if (qtId == qtTimerId) {
      HandleMessage(WM_TIMER, id, 0);
      return;
    }
  }
}

void CWindowWnd::SetExStyle(DWORD exStyle) {
  m_exStyle = exStyle;
  if (!m_host) return;
  const bool topMost = (exStyle & WS_EX_TOPMOST) != 0;
  Qt::WindowFlags flags = m_host->windowFlags();
  if (flags.testFlag(Qt::WindowStaysOnTopHint) == topMost) return;
  flags.setFlag(Qt::WindowStaysOnTopHint, topMost);
  // QWidget::setWindowFlags remakes the native window (a new id, so the
  // HWND would no longer name it). The widget only records the flag, and the
  // native window takes it as it is.
  m_host->overrideWindowFlags(flags);
  if (QWindow* native = m_host->windowHandle()) native->setFlags(flags);
}

LRESULT CWindowWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_CLOSE) DestroyWindow(static_cast<UINT>(wParam));
  return 0;
}

void CWindowWnd::DestroyWindow(UINT code) {
  if (!m_hwnd) return;
  HWND gone = m_hwnd;
  // From here on messages to this window are dropped.
  window_messages::UnregisterWindow(gone);
  HandleMessage(WM_DESTROY, 0, 0);
  for (const auto& [id, qtId] : m_timers) m_host->killTimer(qtId);
  m_timers.clear();
  WithdrawModalBeforeHide(m_host);
  m_host->hide();
  m_hwnd = 0;
  if (m_modalLoop) {
    m_modalLoop->exit(static_cast<int>(code));
    m_modalLoop = nullptr;
  }
  OnFinalMessage(gone);
}
