// The capture frame on the offscreen platform (an 800x600 virtual screen):
// what it reports on move and resize, its modes, and what it refuses.
#include <QApplication>
#include <QTimer>
#include <QtTest>
#include <memory>
#include <vector>

#include "app/ScreenCaptureProxy.h"
#include "ui/CaptureDlg.h"

namespace {

struct RecordingSink : CCaptureDlg::CCaptureNotify {
  std::vector<RECT> rects;
  void OnCaptureRect(const RECT* rect) override { rects.push_back(*rect); }
};

// Records the messages it is given, so a test can tell when one was handled.
class ObservedFrame : public CCaptureDlg {
 public:
  using CCaptureDlg::CCaptureDlg;
  std::vector<UINT> seen;
  std::wstring Label(const wchar_t* name) { return m_PaintManager.FindControl(name)->GetText(); }

 protected:
  LRESULT HandleCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override {
    seen.push_back(message);
    return CCaptureDlg::HandleCustomMessage(message, wParam, lParam, handled);
  }
};

constexpr UINT kMarker = WM_USER + 77;

QRect Q(const RECT& r) { return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1)); }

std::shared_ptr<CScreenCaptureProxy> ProxyWithOutput(int width, int height) {
  ScreenCaptureProxyWiring wiring;
  wiring.createManager = nullptr;
  auto proxy = std::make_shared<CScreenCaptureProxy>(nullptr, wiring);
  proxy->SetOutputSize(width, height);
  return proxy;
}

}  // namespace

class CaptureFrameTest : public QObject {
  Q_OBJECT

 private:
  RecordingSink m_sink;
  std::unique_ptr<ObservedFrame> m_frame;

  QWidget* Widget() { return m_frame->GetWidget(); }
  bool Place(int x, int y, int w, int h) {
    Widget()->setGeometry(x, y, w, h);
    return QTest::qWaitFor([&] { return Widget()->geometry() == QRect(x, y, w, h); });
  }
  // A press, one move and the release, as the frame's mouse delivers them.
  void Drag(WPARAM hit, POINT pressScreen, POINT toClient) {
    m_frame->HandleMessage(WM_NCLBUTTONDOWN, hit, PackPoint(pressScreen));
    m_frame->HandleMessage(WM_MOUSEMOVE, 0, PackPoint(toClient));
    m_frame->HandleMessage(WM_LBUTTONUP, 0, PackPoint(toClient));
  }

 private slots:
  void init() {
    m_sink.rects.clear();
    m_frame = std::make_unique<ObservedFrame>(&m_sink);
    QVERIFY(m_frame->Create(0, L"CaptureDlg", UI_WNDSTYLE_FRAME, 0) != 0);
  }
  void cleanup() { m_frame.reset(); }

  void becomesAFramelessTopMostWindowWithItsId() {
    QCOMPARE(m_frame->GetStyle(), WS_THICKFRAME);
    QCOMPARE(m_frame->GetExStyle(), WS_EX_TOOLWINDOW | WS_EX_TOPMOST);
    const Qt::WindowFlags flags = Widget()->windowFlags();
    QVERIFY(flags & Qt::FramelessWindowHint);
    QVERIFY(flags & Qt::WindowStaysOnTopHint);
    QCOMPARE(Widget()->windowType(), Qt::Tool);
    // The main window's "make it top-most" changes nothing native.
    m_frame->SetExStyle(m_frame->GetExStyle() | WS_EX_TOPMOST);
    QCOMPARE(Widget()->windowFlags(), flags);
    QCOMPARE(Widget()->windowTitle(), QStringLiteral("CaptureDlg"));
  }

  void reportsTheCaptureControlOnResizeAndMove() {
    QVERIFY(Place(40, 30, 646, 517));
    // The capture control below the 31-pixel caption, border included.
    QTRY_VERIFY(!m_sink.rects.empty() && Q(m_sink.rects.back()) == QRect(40, 61, 646, 486));
    QCOMPARE(Q(m_frame->GetLastRect()), QRect(40, 61, 646, 486));
    QCOMPARE(m_frame->Label(L"widthLabel"), std::wstring(L"640"));
    QCOMPARE(m_frame->Label(L"heightLabel"), std::wstring(L"480"));
    Widget()->move(100, 90);
    QTRY_COMPARE(Q(m_sink.rects.back()), QRect(100, 121, 646, 486));
  }

  void hiddenFrameReportsItsNewSizeAtOnce() {
    m_frame->ShowWindow(false);
    Widget()->setGeometry(10, 10, 326, 277);
    m_frame->HandleMessage(WM_SIZE, 0, 0);
    QCOMPARE(m_frame->Label(L"widthLabel"), std::wstring(L"320"));
    QCOMPARE(m_frame->Label(L"heightLabel"), std::wstring(L"240"));
    QCOMPARE(Q(m_frame->GetLastRect()), QRect(10, 41, 326, 246));
  }

  void ignoresCloseRequestsAndQuitsWhenDestroyed() {
    Widget()->close();  // as a window manager asks
    m_frame->PostMessageW(WM_CLOSE, 0, 0);
    m_frame->PostMessageW(kMarker, 0, 0);
    QTRY_VERIFY(std::count(m_frame->seen.begin(), m_frame->seen.end(), kMarker) == 1);
    QCOMPARE(std::count(m_frame->seen.begin(), m_frame->seen.end(), WM_CLOSE), 2);
    QVERIFY(m_frame->GetHWND() != 0);
    QVERIFY(Widget()->isVisible());

    QTimer::singleShot(10000, [] { QCoreApplication::exit(99); });
    m_frame->Destroy();
    QCOMPARE(m_frame->GetHWND(), HWND{0});
    QCOMPARE(CPaintManagerUI::MessageLoop(), 0);
  }

  void borderDragStaysWithinLimitsAndLockModeOnlyMoves() {
    QVERIFY(Place(100, 100, 400, 300));
    Drag(HTLEFT, {100, 200}, {2000, 100});  // past the right edge
    QTRY_COMPARE(Widget()->geometry().right(), 499);
    QVERIFY(Widget()->width() > 0 && Widget()->width() < 400);
    Drag(HTBOTTOM, {300, 399}, {200, 5000});
    QTRY_COMPARE(Widget()->height(), 600);  // the screen's height

    QVERIFY(Place(100, 100, 400, 300));
    m_frame->SetMode(CCaptureDlg::kModeLock);
    m_frame->SetStyle(0);  // the main window takes the thick frame away
    Drag(HTBOTTOMRIGHT, {499, 399}, {450, 350});
    Drag(HTCAPTION, {200, 110}, {110, 20});
    QTRY_COMPARE(Widget()->geometry(), QRect(110, 110, 400, 300));
  }

  void ratioModeFollowsTheOutputRatio() {
    m_frame->SetProxy(ProxyWithOutput(640, 480));
    m_frame->SetMode(CCaptureDlg::kModeRatio);
    QVERIFY(Place(0, 0, 700, 500));
    Drag(HTRIGHT, {699, 200}, {800, 200});
    QTRY_COMPARE(Widget()->geometry(), QRect(0, 0, 800, 600));

    // Clipped at the screen's right edge, the height following.
    QVERIFY(Place(100, 0, 700, 500));
    Drag(HTRIGHT, {799, 200}, {800, 200});
    QTRY_COMPARE(Widget()->geometry(), QRect(100, 0, 700, 525));

    // A tall frame grows by its height, and its width is clipped too.
    QVERIFY(Place(200, 0, 300, 500));
    Drag(HTBOTTOM, {300, 499}, {150, 500});
    QTRY_COMPARE(Widget()->geometry(), QRect(200, 0, 600, 450));

    // The caption still moves the frame.
    Drag(HTCAPTION, {300, 10}, {120, 30});
    QTRY_COMPARE(Widget()->geometry(), QRect(220, 20, 600, 450));
  }

  void ratioModeLeavesTheFrameAloneWithoutAUsableRatio() {
    m_frame->SetMode(CCaptureDlg::kModeRatio);
    QVERIFY(Place(0, 0, 700, 500));
    m_frame->ResizeKeepingRatio({600, 400});  // no proxy yet
    m_frame->SetProxy(ProxyWithOutput(640, 0));
    m_frame->ResizeKeepingRatio({600, 400});
    m_frame->SetProxy(ProxyWithOutput(640, 480));
    m_frame->ResizeKeepingRatio({-5, 400});
    m_frame->ResizeKeepingRatio({2, 400});  // would leave no inside
    Drag(HTRIGHT, {699, 200}, UnpackPoint(PackPoint({-20, 300})));
    m_frame->ResizeKeepingRatio({600, 400});  // the one usable request
    QTRY_COMPARE(Widget()->geometry(), QRect(0, 0, 600, 450));
    QCOMPARE(m_frame->GetMode(), int{CCaptureDlg::kModeRatio});
    m_frame->SetMode(7);
    QCOMPARE(m_frame->GetMode(), int{CCaptureDlg::kModeRatio});
  }
};

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  CPaintManagerUI::SetResourcePath(VELMORA_SKIN_DIR);
  CaptureFrameTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "capture_frame_test.moc"
