// Screen capture against a real X server: Xvfb started by the test.
#include <gtest/gtest.h>
// Xlib's macros (None, Bool...) clash with gtest's names, so it comes after.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>
#include <thread>

#include "platform/grabora/IScreenCapture.h"
#include "tests/support/xvfb_server.h"

namespace {

struct CaptureDeleter {
  void operator()(IScreenCapture* capture) const { capture->Release(); }
};
using CapturePtr = std::unique_ptr<IScreenCapture, CaptureDeleter>;

struct Grab {
  BITMAPINFOHEADER* info = nullptr;
  BYTE* pixels = nullptr;
  int bytes = 0;
  bool ok = false;
  const BYTE* At(int x, int y) const { return pixels + (static_cast<size_t>(y) * info->biWidth + x) * 3; }
  bool IsRed(int x, int y) const {
    const BYTE* p = At(x, y);
    return p[2] > 200 && p[1] < 50 && p[0] < 50;
  }
};

Grab GrabOnce(IScreenCapture* capture) {
  Grab g;
  g.ok = capture->GrabFrame(&g.info, &g.pixels, &g.bytes);
  return g;
}

class GraboraTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_server = new test_support::XvfbServer();
    ASSERT_TRUE(s_server->Start()) << "Xvfb did not start";
    s_server->ExportDisplay();
  }
  static void TearDownTestSuite() {
    delete s_server;
    s_server = nullptr;
  }

  void SetUp() override {
    m_display = XOpenDisplay(s_server->DisplayName().c_str());
    ASSERT_NE(m_display, nullptr);
  }
  void TearDown() override {
    if (m_display) XCloseDisplay(m_display);
  }

  // A red window without decoration at a known place (no window manager runs).
  Window PaintRedWindow(int x, int y, int width, int height) {
    XColor red{};
    red.red = 0xffff;
    red.flags = DoRed | DoGreen | DoBlue;
    XAllocColor(m_display, DefaultColormap(m_display, DefaultScreen(m_display)), &red);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = red.pixel;
    Window window = XCreateWindow(m_display, DefaultRootWindow(m_display), x, y, width, height, 0,
                                  CopyFromParent, InputOutput, CopyFromParent,
                                  CWOverrideRedirect | CWBackPixel, &attributes);
    XMapRaised(m_display, window);
    Settle();
    return window;
  }

  void Settle() {
    XSync(m_display, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }

  static test_support::XvfbServer* s_server;
  Display* m_display = nullptr;
};
test_support::XvfbServer* GraboraTest::s_server = nullptr;

TEST_F(GraboraTest, FindsRedWindowAtItsRowsAndColumnsTopDown) {
  Window window = PaintRedWindow(100, 50, 200, 60);
  CapturePtr capture(CreateScreenCapture());
  ASSERT_TRUE(capture);
  RECT rect{80, 30, 331, 141};  // odd width on purpose
  ASSERT_TRUE(capture->SetCaptureRect(&rect));
  Grab g = GrabOnce(capture.get());
  ASSERT_TRUE(g.ok);
  ASSERT_EQ(g.info->biWidth, 251);
  ASSERT_EQ(g.info->biHeight, 111);
  ASSERT_EQ(g.bytes, 251 * 111 * 3);
  EXPECT_EQ(g.info->biBitCount, 24);
  // window: columns 20..219, rows 20..79 of the grab; row 0 is the top
  EXPECT_TRUE(g.IsRed(20, 20));
  EXPECT_TRUE(g.IsRed(219, 79));
  EXPECT_TRUE(g.IsRed(120, 50));
  EXPECT_FALSE(g.IsRed(19, 20));
  EXPECT_FALSE(g.IsRed(20, 19));
  EXPECT_FALSE(g.IsRed(220, 79));
  EXPECT_FALSE(g.IsRed(219, 80));
  EXPECT_FALSE(g.IsRed(120, 100));  // bottom area must not be red: not bottom-up
  XDestroyWindow(m_display, window);
  Settle();
}

TEST_F(GraboraTest, FullWidthAndClampedRectangles) {
  CapturePtr capture(CreateScreenCapture());
  ASSERT_TRUE(capture);
  RECT whole{0, 0, 1366, 768};
  ASSERT_TRUE(capture->SetCaptureRect(&whole));
  Grab g = GrabOnce(capture.get());
  ASSERT_TRUE(g.ok);
  EXPECT_EQ(g.info->biWidth, 1366);
  EXPECT_EQ(g.info->biHeight, 768);
  EXPECT_EQ(g.bytes, 1366 * 768 * 3);
  EXPECT_EQ(g.info->biSizeImage, static_cast<DWORD>(g.bytes));

  RECT beyond{1300, 700, 1500, 900};
  ASSERT_TRUE(capture->SetCaptureRect(&beyond));
  g = GrabOnce(capture.get());
  ASSERT_TRUE(g.ok);
  EXPECT_EQ(g.info->biWidth, 66);
  EXPECT_EQ(g.info->biHeight, 68);
  EXPECT_EQ(g.bytes, 66 * 68 * 3);

  RECT negative{-50, -20, 30, 40};
  ASSERT_TRUE(capture->SetCaptureRect(&negative));
  g = GrabOnce(capture.get());
  ASSERT_TRUE(g.ok);
  EXPECT_EQ(g.info->biWidth, 30);
  EXPECT_EQ(g.info->biHeight, 40);

  RECT huge{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};  // no overflow, just the screen
  ASSERT_TRUE(capture->SetCaptureRect(&huge));
  g = GrabOnce(capture.get());
  ASSERT_TRUE(g.ok);
  EXPECT_EQ(g.info->biWidth, 1366);
  EXPECT_EQ(g.info->biHeight, 768);

  RECT offScreen{2000, 2000, 2100, 2100};
  ASSERT_TRUE(capture->SetCaptureRect(&offScreen));
  g = GrabOnce(capture.get());
  EXPECT_FALSE(g.ok);
  EXPECT_EQ(g.pixels, nullptr);
  EXPECT_EQ(g.bytes, 0);
}

TEST_F(GraboraTest, RefusesBadArguments) {
  CapturePtr capture(CreateScreenCapture());
  ASSERT_TRUE(capture);
  EXPECT_FALSE(capture->SetCaptureRect(nullptr));
  RECT empty{10, 10, 10, 20};
  EXPECT_FALSE(capture->SetCaptureRect(&empty));
  EXPECT_FALSE(capture->SetBitDepth(32));
  EXPECT_TRUE(capture->SetBitDepth(24));
  BYTE* pixels = nullptr;
  int bytes = 0;
  EXPECT_FALSE(capture->GrabFrame(nullptr, &pixels, &bytes));
  capture->SetCaptureWindow(0x7ffffff);  // no such window: a failed grab, not a crash
  Grab g = GrabOnce(capture.get());
  EXPECT_FALSE(g.ok);
  capture->ClearCaptureWindow();
  EXPECT_TRUE(GrabOnce(capture.get()).ok);
}

TEST_F(GraboraTest, CaptureWindowFollowsTheWindow) {
  Window window = PaintRedWindow(400, 300, 120, 90);
  CapturePtr capture(CreateScreenCapture());
  ASSERT_TRUE(capture);
  capture->SetCaptureWindow(window);
  Grab g = GrabOnce(capture.get());
  ASSERT_TRUE(g.ok);
  EXPECT_EQ(g.info->biWidth, 120);
  EXPECT_EQ(g.info->biHeight, 90);
  EXPECT_TRUE(g.IsRed(0, 0));
  EXPECT_TRUE(g.IsRed(119, 89));

  XMoveWindow(m_display, window, 1300, 10);  // partly off screen now
  Settle();
  g = GrabOnce(capture.get());
  ASSERT_TRUE(g.ok);
  EXPECT_EQ(g.info->biWidth, 66);
  EXPECT_EQ(g.info->biHeight, 90);
  EXPECT_TRUE(g.IsRed(65, 89));
  XDestroyWindow(m_display, window);
  Settle();
  EXPECT_FALSE(GrabOnce(capture.get()).ok);  // the window is gone
}

TEST_F(GraboraTest, CaptureFrameOutlinesTheAreaWithoutEnteringIt) {
  CapturePtr capture(CreateScreenCapture());
  ASSERT_TRUE(capture);
  RECT rect{200, 200, 400, 300};
  ASSERT_TRUE(capture->SetCaptureRect(&rect));
  EXPECT_FALSE(capture->IsCaptureFrameShown());
  capture->ShowCaptureFrame(1);
  Settle();
  EXPECT_TRUE(capture->IsCaptureFrameShown());

  Grab inside = GrabOnce(capture.get());
  ASSERT_TRUE(inside.ok);
  EXPECT_FALSE(inside.IsRed(0, 0));
  EXPECT_FALSE(inside.IsRed(199, 99));

  CapturePtr observer(CreateScreenCapture());
  ASSERT_TRUE(observer);
  RECT around{190, 190, 410, 310};
  ASSERT_TRUE(observer->SetCaptureRect(&around));
  Grab outside = GrabOnce(observer.get());
  ASSERT_TRUE(outside.ok);
  EXPECT_TRUE(outside.IsRed(9, 50));    // left edge, 1 px left of the area
  EXPECT_TRUE(outside.IsRed(210, 50));  // right edge
  EXPECT_TRUE(outside.IsRed(100, 9));   // top edge
  EXPECT_TRUE(outside.IsRed(100, 110)); // bottom edge

  capture->ShowCaptureFrame(0);
  Settle();
  EXPECT_FALSE(capture->IsCaptureFrameShown());
  outside = GrabOnce(observer.get());
  ASSERT_TRUE(outside.ok);
  EXPECT_FALSE(outside.IsRed(9, 50));
}

TEST_F(GraboraTest, FollowCursorBlendsTheCursorIn) {
  CapturePtr capture(CreateScreenCapture());
  ASSERT_TRUE(capture);
  RECT rect{500, 500, 600, 600};
  ASSERT_TRUE(capture->SetCaptureRect(&rect));
  XWarpPointer(m_display, None, DefaultRootWindow(m_display), 0, 0, 0, 0, 550, 550);
  Settle();
  Grab plain = GrabOnce(capture.get());
  ASSERT_TRUE(plain.ok);
  std::vector<BYTE> without(plain.pixels, plain.pixels + plain.bytes);
  capture->SetFollowCursor(true);
  Grab withCursor = GrabOnce(capture.get());
  ASSERT_TRUE(withCursor.ok);
  ASSERT_EQ(withCursor.bytes, static_cast<int>(without.size()));
  EXPECT_NE(0, std::memcmp(withCursor.pixels, without.data(), without.size()));
}

// The X server going away under a capture (killed, crashed, the session
// ended) fails the grabs from then on; the process lives on, and captures on
// other servers keep working.
TEST_F(GraboraTest, ALostServerFailsTheGrabsInsteadOfEndingTheProcess) {
  test_support::XvfbServer doomed;
  ASSERT_TRUE(doomed.Start());
  ::setenv("DISPLAY", doomed.DisplayName().c_str(), 1);
  CapturePtr capture(CreateScreenCapture());
  s_server->ExportDisplay();
  ASSERT_TRUE(capture);
  capture->SetFollowCursor(true);
  ASSERT_TRUE(GrabOnce(capture.get()).ok);
  doomed.Stop();
  for (int i = 0; i < 3; ++i) {
    Grab lost = GrabOnce(capture.get());
    EXPECT_FALSE(lost.ok);
    EXPECT_EQ(nullptr, lost.info);
    EXPECT_EQ(nullptr, lost.pixels);
    EXPECT_EQ(0, lost.bytes);
  }
  capture->ShowCaptureFrame(1);
  EXPECT_FALSE(GrabOnce(capture.get()).ok);
  capture.reset();

  CapturePtr healthy(CreateScreenCapture());
  ASSERT_TRUE(healthy);
  EXPECT_TRUE(GrabOnce(healthy.get()).ok);
}

TEST(GraboraNoDisplay, FactoryReturnsNull) {
  ::unsetenv("DISPLAY");
  EXPECT_EQ(CreateScreenCapture(), nullptr);
  ::setenv("DISPLAY", "/nonexistent/socket:0", 1);
  EXPECT_EQ(CreateScreenCapture(), nullptr);
}

}  // namespace
