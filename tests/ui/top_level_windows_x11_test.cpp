// The desktop's window listing on a private Xvfb: windows are made with
// Xlib, first with no window manager (the root's children), then with a
// client list on the root as a window manager keeps it.
#include <QCoreApplication>
#include <QtTest>
// After Qt: Xlib's macros (Bool, Status, None) break Qt's headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/xvfb_server.h"
#include "ui/TopLevelWindows.h"

class TopLevelWindowsTest : public QObject {
  Q_OBJECT

 private:
  Display* m_display = nullptr;
  std::vector<Window> m_made;

  Window Make(const char* utf8Title, const char* legacyTitle, bool map = true) {
    const Window root = DefaultRootWindow(m_display);
    const Window window = XCreateSimpleWindow(m_display, root, 0, 0, 50, 40, 0, 0, 0);
    if (utf8Title) {
      XChangeProperty(m_display, window, XInternAtom(m_display, "_NET_WM_NAME", False),
                      XInternAtom(m_display, "UTF8_STRING", False), 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(utf8Title), static_cast<int>(strlen(utf8Title)));
    }
    if (legacyTitle) XStoreName(m_display, window, legacyTitle);
    if (map) XMapWindow(m_display, window);
    XSync(m_display, False);
    m_made.push_back(window);
    return window;
  }
  std::vector<TopLevelWindow> Made(const std::vector<TopLevelWindow>& all) const {
    std::vector<TopLevelWindow> ours;
    for (const auto& w : all) {
      if (std::find(m_made.begin(), m_made.end(), static_cast<Window>(w.handle)) != m_made.end()) ours.push_back(w);
    }
    return ours;
  }

 private slots:
  void init() { m_display = XOpenDisplay(nullptr); QVERIFY(m_display); }
  void cleanup() {
    for (Window w : m_made) XDestroyWindow(m_display, w);
    XDeleteProperty(m_display, DefaultRootWindow(m_display), XInternAtom(m_display, "_NET_CLIENT_LIST", False));
    XCloseDisplay(m_display);
    m_made.clear();
  }

  void withoutWindowManagerListsTitledMappedWindows() {
    const Window first = Make("编辑器 – 文档", nullptr);
    Make(nullptr, nullptr);                     // no title
    Make("Hidden", nullptr, false);             // not mapped
    const Window legacy = Make(nullptr, "xterm");
    const Window second = Make("编辑器 – 文档", nullptr);
    const auto listed = Made(ListTopLevelWindows());
    QCOMPARE(listed.size(), size_t{3});
    QCOMPARE(listed[0].handle, HWND{first});
    QVERIFY(listed[0].title == L"编辑器 – 文档");
    QVERIFY(listed[1].handle == legacy && listed[1].title == L"xterm");
    QCOMPARE(listed[2].handle, HWND{second});

    const auto byTitle = WindowsByTitle(ListTopLevelWindows());
    QCOMPARE(byTitle.at(L"编辑器 – 文档"), HWND{second});
  }

  void followsTheWindowManagersClientListAndSkipsVanishedWindows() {
    const Window a = Make("Alpha", nullptr);
    const Window b = Make("Beta", nullptr);
    const Window gone = Make("Gone", nullptr);
    XDestroyWindow(m_display, gone);
    m_made.pop_back();
    const unsigned long clients[] = {b, gone, a};
    XChangeProperty(m_display, DefaultRootWindow(m_display), XInternAtom(m_display, "_NET_CLIENT_LIST", False),
                    XA_WINDOW, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(clients), 3);
    XSync(m_display, False);
    const auto listed = ListTopLevelWindows();
    QCOMPARE(listed.size(), size_t{2});
    QVERIFY(listed[0].handle == b && listed[0].title == L"Beta");
    QVERIFY(listed[1].handle == a && listed[1].title == L"Alpha");
  }
};

int main(int argc, char** argv) {
  test_support::XvfbServer xvfb;
  if (!xvfb.Start()) {
    fprintf(stderr, "Xvfb did not start\n");
    return 1;
  }
  xvfb.ExportDisplay();
  QCoreApplication app(argc, argv);
  TopLevelWindowsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "top_level_windows_x11_test.moc"
