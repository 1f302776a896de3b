// The capture frame on a real X server without a window manager: others find
// it by its name, X11 places and sizes it as the frame reports, its inside is
// cut out of its shape, and a real pointer moves and resizes it.
#include <QApplication>
#include <QtTest>
#include <vector>

#include "tests/support/process.h"
#include "tests/ui/xvfb_qtest_main.h"
#include "ui/CaptureDlg.h"

// Xlib's macros clash with Qt's names; it comes last.
#include <X11/Xlib.h>
#include <X11/extensions/shape.h>

namespace {

struct LastRectSink : CCaptureDlg::CCaptureNotify {
  RECT last{0, 0, 0, 0};
  void OnCaptureRect(const RECT* rect) override { last = *rect; }
};

// The window's place and size as the X server has them.
QRect ServerGeometry(Display* display, HWND window) {
  XSync(display, False);
  Window root = 0, child = 0;
  int x = 0, y = 0;
  unsigned width = 0, height = 0, border = 0, depth = 0;
  if (!XGetGeometry(display, window, &root, &x, &y, &width, &height, &border, &depth)) return {};
  if (!XTranslateCoordinates(display, window, root, 0, 0, &x, &y, &child)) return {};
  return QRect(x, y, static_cast<int>(width), static_cast<int>(height));
}

// Whether the window's bounding shape covers this window-relative point.
bool ShapeCovers(Display* display, HWND window, int x, int y) {
  XSync(display, False);
  int count = 0, ordering = 0;
  XRectangle* rects = XShapeGetRectangles(display, window, ShapeBounding, &count, &ordering);
  bool covered = false;
  for (int i = 0; i < count; ++i) {
    const XRectangle& r = rects[i];
    if (x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height) covered = true;
  }
  if (rects) XFree(rects);
  return covered;
}

QRect AsQRect(const RECT& r) { return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top); }

bool Pointer(const std::vector<std::string>& steps) {
  std::vector<std::string> argv{"xdotool"};
  argv.insert(argv.end(), steps.begin(), steps.end());
  return test_support::RunCommand(argv, 20000).exitCode == 0;
}

}  // namespace

class CaptureFrameX11Test : public QObject {
  Q_OBJECT

 private slots:
  void frameIsPlacedShapedAndDraggedOnX11() {
    Display* display = XOpenDisplay(nullptr);
    QVERIFY(display);
    LastRectSink sink;
    CCaptureDlg frame(&sink);
    const HWND hwnd = frame.Create(0, L"CaptureDlg", UI_WNDSTYLE_FRAME & ~WS_VISIBLE, 0);
    QVERIFY(hwnd != 0);
    frame.GetWidget()->setGeometry(100, 100, 646, 517);
    frame.ShowWindow(true, false);
    frame.SetExStyle(frame.GetExStyle() | WS_EX_TOPMOST);
    QVERIFY(QTest::qWaitForWindowExposed(frame.GetWidget()));

    auto found = test_support::RunCommand({"xdotool", "search", "--onlyvisible", "--name", "^CaptureDlg$"}, 20000);
    QCOMPARE(QString::fromStdString(found.out).trimmed(), QString::number(hwnd));

    // No decoration: the window is exactly the frame, and the report is its
    // capture control below the caption.
    QTRY_COMPARE(ServerGeometry(display, hwnd), QRect(100, 100, 646, 517));
    QTRY_COMPARE(AsQRect(sink.last), QRect(100, 131, 646, 486));
    QTRY_VERIFY(ShapeCovers(display, hwnd, 1, 300) && !ShapeCovers(display, hwnd, 323, 300));
    QVERIFY(ShapeCovers(display, hwnd, 300, 10));

    // The caption moves the frame with the pointer.
    QVERIFY(Pointer({"mousemove", "300", "110", "mousedown", "1", "mousemove", "400", "160", "mouseup", "1"}));
    QTRY_COMPARE(ServerGeometry(display, hwnd), QRect(200, 150, 646, 517));
    QTRY_COMPARE(AsQRect(sink.last), QRect(200, 181, 646, 486));

    // The bottom-right corner resizes it; the cut-out follows.
    QVERIFY(Pointer({"mousemove", "845", "666", "mousedown", "1", "mousemove", "945", "716", "mouseup", "1"}));
    QTRY_COMPARE(ServerGeometry(display, hwnd), QRect(200, 150, 746, 567));
    QTRY_COMPARE(AsQRect(sink.last), QRect(200, 181, 746, 536));
    QTRY_VERIFY(!ShapeCovers(display, hwnd, 742, 563) && ShapeCovers(display, hwnd, 745, 566));

    frame.Destroy();
    XCloseDisplay(display);
  }
};

int main(int argc, char** argv) {
  return RunQtTestOnPrivateXvfb<CaptureFrameX11Test>(
      argc, argv, [] { CPaintManagerUI::SetResourcePath(VELMORA_SKIN_DIR); });
}

#include "capture_frame_x11_test.moc"
