// The main window's tray icon on a real X server with a system tray (trayer):
// the icon is embedded in the tray, a real left click brings the hidden
// window back, and a real right click opens the tray menu, whose quit item
// reaches the exit dialog.
#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <QtTest>
#include <csignal>
#include <memory>
#include <string>

#include "app/ProgramEvents.h"
#include "app/ProgramFolder.h"
#include "app/PublishParams.h"
#include "app/UserConfig.h"
#include "platform/duilib/tray_icon.h"
#include "tests/app/fake_publish_manager.h"
#include "tests/ui/main_window_wiring.h"
#include "tests/support/process.h"
#include "tests/ui/xvfb_qtest_main.h"
#include "ui/MainWnd.h"

// Xlib's macros clash with Qt's names; it comes last.
#include <X11/Xlib.h>

namespace {

// Qt's own widget that the tray embeds.
QWidget* TrayIconWidget() {
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (QString(top->metaObject()->className()).contains(QStringLiteral("SystemTrayIcon"))) return top;
  }
  return nullptr;
}

QWidget* VisibleWindowNamed(const QString& name) {
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (top->isVisible() && top->windowTitle() == name) return top;
  }
  return nullptr;
}

// The tray, not the root window, is the icon's parent on the X server.
bool EmbeddedInTray(QWidget* icon) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return false;
  ::Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  const bool known = XQueryTree(display, static_cast<::Window>(icon->winId()), &root, &parent, &children, &count);
  if (children) XFree(children);
  XCloseDisplay(display);
  return known && parent != 0 && parent != root;
}

// Where the icon's middle is on the screen, as the X server has it: Qt
// knows only its place inside the tray.
QPoint IconCentre(QWidget* icon) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return {};
  int x = 0, y = 0;
  ::Window child = 0;
  XTranslateCoordinates(display, static_cast<::Window>(icon->winId()), DefaultRootWindow(display), icon->width() / 2,
                        icon->height() / 2, &x, &y, &child);
  XCloseDisplay(display);
  return QPoint(x, y);
}

bool ClickAt(const QPoint& point, int button) {
  return test_support::RunCommand({"xdotool", "mousemove", std::to_string(point.x()), std::to_string(point.y()),
                                   "click", std::to_string(button)},
                                  20000)
             .exitCode == 0;
}

}  // namespace

class TrayX11Test : public QObject {
  Q_OBJECT

  test_support::ChildProcess m_tray;
  QTemporaryDir m_folder;
  FakePublishManager m_manager;
  ProgramEventQueue m_events;
  std::unique_ptr<CMainWnd> m_wnd;

 private slots:
  void initTestCase() {
    QVERIFY(m_tray.Start({"trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "120"}));
    QTRY_VERIFY_WITH_TIMEOUT(IsSystemTrayAvailable(), 15000);
    SetProgramFolderForTesting(m_folder.path().toStdString());
    UserConfigValues config;
    config.recordPath = m_folder.path().toStdString() + "/video";
    TheUserConfig().Set(config);
    ThePublishParams().Set(PublishParamValues());

    m_wnd = std::make_unique<CMainWnd>(WiringOverManager(&m_manager, &m_events));
    QVERIFY(m_wnd->Create(0, L"transwnd", UI_WNDSTYLE_FRAME & ~WS_VISIBLE, 0, 0, 0, 990, 690) != 0);
    m_wnd->OnLoginSuccess();
  }

  void cleanupTestCase() {
    m_wnd.reset();
    m_tray.Stop(SIGTERM);
  }

  void minimisingHidesToTheTrayAndALeftClickBringsTheWindowBack() {
    QVERIFY(m_wnd->HasTrayIcon());
    QWidget* icon = nullptr;
    QTRY_VERIFY((icon = TrayIconWidget()) != nullptr && icon->isVisible());
    QTRY_VERIFY(EmbeddedInTray(icon));

    m_wnd->GetPaintManager().SendNotify(m_wnd->GetPaintManager().FindControl(L"minbtn"), notify_type::kClick);
    QTRY_VERIFY(!m_wnd->GetWidget()->isVisible());
    // Minimising adds the icon again, which may give it a new widget.
    QTRY_VERIFY((icon = TrayIconWidget()) != nullptr && icon->isVisible() && EmbeddedInTray(icon));
    // On a loaded machine a click can land while the tray still lays the
    // icon out; the presenter would click again.
    for (int attempt = 0; attempt < 3 && !m_wnd->GetWidget()->isVisible(); ++attempt) {
      // The icon may be re-added (a new widget, the old one deleted) between
      // attempts; the widget is looked up again each time.
      QTRY_VERIFY((icon = TrayIconWidget()) != nullptr);
      QVERIFY(ClickAt(IconCentre(icon), 1));
      if (QTest::qWaitFor([this] { return m_wnd->GetWidget()->isVisible(); }, 5000)) break;
    }
    QVERIFY(m_wnd->GetWidget()->isVisible());
    QVERIFY(m_wnd->GetExStyle() & WS_EX_TOOLWINDOW);
    QVERIFY(m_wnd->GetExStyle() & WS_EX_TOPMOST);
  }

  void theTrayMenusQuitItemAsksThroughTheExitDialog() {
    QWidget* icon = nullptr;
    QTRY_VERIFY((icon = TrayIconWidget()) != nullptr && icon->isVisible() && EmbeddedInTray(icon));
    bool menuClicked = false, asked = false;
    QTimer presenter;
    QObject::connect(&presenter, &QTimer::timeout, [&] {
      if (QWidget* menu = QApplication::activePopupWidget(); menu && menu->isVisible()) {
        menuClicked = ClickAt(menu->mapToGlobal(menu->rect().center()), 1);
      }
      if (QWidget* exitDialog = VisibleWindowNamed(QStringLiteral("EDLG"))) {
        asked = true;
        PostMessageW(static_cast<HWND>(exitDialog->winId()), WM_CLOSE);  // the presenter stays
      }
    });
    presenter.start(20);
    for (int attempt = 0; attempt < 3 && !asked; ++attempt) {
      QTRY_VERIFY((icon = TrayIconWidget()) != nullptr);
      QVERIFY(ClickAt(IconCentre(icon), 3));
      if (QTest::qWaitFor([&] { return asked; }, 5000)) break;
    }
    QVERIFY(asked);
    presenter.stop();
    QVERIFY(menuClicked);
    QTRY_VERIFY(!VisibleWindowNamed(QStringLiteral("EDLG")));
    QVERIFY(m_wnd->GetHWND() != 0);
  }
};

int main(int argc, char** argv) {
  return RunQtTestOnPrivateXvfb<TrayX11Test>(argc, argv, [] { CPaintManagerUI::SetResourcePath(VELMORA_SKIN_DIR); });
}

#include "tray_x11_test.moc"
