// The desktop's window listing on a private Xvfb, without a window manager
// (the root's children) and with a client list on the root as one keeps it.
#include <QCoreApplication>
#include <QtTest>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>
// After Qt: Xlib's macros (Bool, Status, None) break Qt's headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include "tests/ui/xvfb_qtest_main.h"
#include "ui/TopLevelWindows.h"

class TopLevelWindowsTest : public QObject {
  Q_OBJECT
  Display* m_display = nullptr;

  Window Make(const char* utf8Title, const char* legacyTitle, bool map = true) {
    const Window window = XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), 0, 0, 50, 40, 0, 0, 0);
    if (utf8Title) {
      XChangeProperty(m_display, window, XInternAtom(m_display, "_NET_WM_NAME", False),
                      XInternAtom(m_display, "UTF8_STRING", False), 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(utf8Title), static_cast<int>(strlen(utf8Title)));
    }
    if (legacyTitle) XStoreName(m_display, window, legacyTitle);
    if (map) XMapWindow(m_display, window);
    XSync(m_display, False);
    return window;
  }

 private slots:
  void listsVisibleTitledWindowsInTheDesktopsOrder() {
    m_display = XOpenDisplay(nullptr);
    QVERIFY(m_display);
    const Window first = Make("编辑器 – 文档", nullptr);
    Make(nullptr, nullptr);          // no title
    Make("Hidden", nullptr, false);  // not mapped
    const Window legacy = Make(nullptr, "caf\xe9");  // WM_NAME, Latin-1
    const Window second = Make("编辑器 – 文档", nullptr);
    auto listed = ListTopLevelWindows();
    QCOMPARE(listed.size(), size_t{3});
    QVERIFY(listed[0].handle == first && listed[0].title == L"编辑器 – 文档");
    QVERIFY(listed[1].handle == legacy && listed[1].title == L"café");
    QCOMPARE(WindowsByTitle(listed).at(L"编辑器 – 文档"), HWND{second});

    // A window manager's list wins, stale entries and all.
    const Window gone = Make("Gone", nullptr);
    XDestroyWindow(m_display, gone);
    const unsigned long clients[] = {second, gone, first};
    XChangeProperty(m_display, DefaultRootWindow(m_display), XInternAtom(m_display, "_NET_CLIENT_LIST", False),
                    XA_WINDOW, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(clients), 3);
    XSync(m_display, False);
    listed = ListTopLevelWindows();
    QCOMPARE(listed.size(), size_t{2});
    QVERIFY(listed[0].handle == second && listed[1].handle == first);
    XCloseDisplay(m_display);
  }

  // The program's own windows carry its process id and this machine's name,
  // as Qt sets them; a window of another process, or one whose id came from
  // another machine, is another program's.
  void leavesOutOnlyThisProcesssOwnWindows() {
    m_display = XOpenDisplay(nullptr);
    QVERIFY(m_display);
    // Without a window manager's list (the case above left one).
    XDeleteProperty(m_display, DefaultRootWindow(m_display), XInternAtom(m_display, "_NET_CLIENT_LIST", False));
    char host[HOST_NAME_MAX + 1] = {};
    QCOMPARE(gethostname(host, sizeof host - 1), 0);
    auto mark = [&](Window window, unsigned long pid, const std::string& machine) {
      XChangeProperty(m_display, window, XInternAtom(m_display, "_NET_WM_PID", False), XA_CARDINAL, 32,
                      PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
      XChangeProperty(m_display, window, XA_WM_CLIENT_MACHINE, XA_STRING, 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(machine.data()), static_cast<int>(machine.size()));
      XSync(m_display, False);
    };
    const unsigned long self = static_cast<unsigned long>(getpid());
    mark(Make("transwnd", nullptr), self, host);
    const Window elsewhere = Make("remote viewer", nullptr);
    mark(elsewhere, self, std::string(host) + "-other");
    const Window otherProcess = Make("editor", nullptr);
    mark(otherProcess, self + 1, host);
    const Window unmarked = Make("xmessage", nullptr);

    QCOMPARE(ListTopLevelWindows().size(), size_t{4});
    const auto others = ListOtherProgramsWindows();
    QCOMPARE(others.size(), size_t{3});
    QVERIFY(others[0].handle == elsewhere && others[1].handle == otherProcess && others[2].handle == unmarked);
    XCloseDisplay(m_display);
  }
};

int main(int argc, char** argv) { return RunQtTestOnPrivateXvfb<TopLevelWindowsTest, QCoreApplication>(argc, argv); }

#include "top_level_windows_x11_test.moc"
