// The preview window under Xvfb inside a plain Xlib host window: what it
// shows (read back from the screen), full screen by double click and
// Escape, the hidden cursor, clicks passed to the host, and Stop racing the
// sender of pictures.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "capture/VideoShowMain.h"
#include "platform/dshow/backend_virtual.h"
#include "tests/support/process.h"
#include "tests/support/xvfb_server.h"

namespace {

constexpr int kW = 64, kH = 48;
constexpr int kHostX = 100, kHostY = 100, kHostW = 320, kHostH = 240;
constexpr unsigned long kGrey = 0x808080, kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;

std::vector<BYTE> Solid(unsigned long rgb) {
  std::vector<BYTE> f(kW * kH * 3);
  for (size_t i = 0; i < f.size(); i += 3) {
    f[i] = rgb & 0xFF;
    f[i + 1] = (rgb >> 8) & 0xFF;
    f[i + 2] = (rgb >> 16) & 0xFF;
  }
  return f;
}

bool Near(unsigned long a, unsigned long b) {
  for (int shift : {0, 8, 16})
    if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) > 8) return false;
  return true;
}

bool WaitUntil(const std::function<bool()>& done, int ms = 5000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

class PreviewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_xvfb.Start());
    m_xvfb.ExportDisplay();
    m_display = XOpenDisplay(nullptr);
    ASSERT_NE(m_display, nullptr);
    XSetWindowAttributes attrs{};
    attrs.background_pixel = kGrey;
    m_host = XCreateWindow(m_display, DefaultRootWindow(m_display), kHostX, kHostY, kHostW, kHostH, 0, CopyFromParent,
                           InputOutput, CopyFromParent, CWBackPixel, &attrs);
    XSelectInput(m_display, m_host, ButtonPressMask);
    XMapWindow(m_display, m_host);
    XSync(m_display, False);
    m_format.biSize = sizeof(BITMAPINFOHEADER);
    m_format.biWidth = kW;
    m_format.biHeight = kH;
    m_format.biPlanes = 1;
    m_format.biBitCount = 24;
    m_format.biSizeImage = kW * kH * 3;
  }
  void TearDown() override {
    if (m_display) XCloseDisplay(m_display);
  }

  unsigned long Pixel(int x, int y) {
    XImage* image = XGetImage(m_display, DefaultRootWindow(m_display), x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return ~0ul;
    const unsigned long p = XGetPixel(image, 0, 0) & 0xFFFFFF;
    XDestroyImage(image);
    return p;
  }
  // A point of the host window, relative to it.
  bool HostShows(int x, int y, unsigned long rgb) {
    return WaitUntil([&] { return Near(Pixel(kHostX + x, kHostY + y), rgb); });
  }
  bool QuadrantsShown(int left, int top, int width, int height) {
    return WaitUntil([&] {
      return Near(Pixel(left + width / 4, top + height / 4), kRed) &&
             Near(Pixel(left + 3 * width / 4, top + height / 4), kGreen) &&
             Near(Pixel(left + width / 4, top + 3 * height / 4), kBlue) &&
             Near(Pixel(left + 3 * width / 4, top + 3 * height / 4), kWhite);
    });
  }
  bool CursorBlank() {
    XFixesCursorImage* cursor = XFixesGetCursorImage(m_display);
    if (!cursor) return false;
    bool blank = true;
    for (int i = 0; i < cursor->width * cursor->height; ++i) blank = blank && (cursor->pixels[i] >> 24) == 0;
    XFree(cursor);
    return blank;
  }
  void Xdotool(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    ASSERT_EQ(0, test_support::RunCommand(argv, 10000).exitCode);
  }

  test_support::XvfbServer m_xvfb;
  Display* m_display = nullptr;
  Window m_host = 0;
  BITMAPINFOHEADER m_format{};
};

TEST_F(PreviewTest, ShowsTheLastPictureUprightInsideTheHost) {
  IVideoShowVMR* preview = CreateVideoShowMain();
  ASSERT_NE(preview, nullptr);
  std::wstring err;
  // A host window that does not exist is an X error, trapped and reported.
  EXPECT_FALSE(preview->Start(&m_format, 0x3FFFFF0, &err));
  EXPECT_FALSE(err.empty());
  preview->SetMode(1);  // draws as mode 0 does: there is no hardware path
  ASSERT_TRUE(preview->Start(&m_format, m_host, &err));
  EXPECT_TRUE(preview->Start(&m_format, m_host, &err));
  EXPECT_TRUE(HostShows(kHostW / 2, kHostH / 2, 0x000000)) << "black before the first picture";

  const std::vector<BYTE> pattern = dshow::VirtualPatternBgr(kW, kH);
  ASSERT_TRUE(preview->ShowFrame(pattern.data(), static_cast<int>(pattern.size()), &err));
  EXPECT_TRUE(QuadrantsShown(kHostX, kHostY, kHostW, kHostH));
  // Row 0 and the last row are both drawn.
  EXPECT_TRUE(HostShows(kHostW / 4, 0, kRed));
  EXPECT_TRUE(HostShows(kHostW / 4, kHostH - 1, kBlue));

  for (unsigned long colour : {kBlue, kWhite, kGreen}) {
    const std::vector<BYTE> f = Solid(colour);
    ASSERT_TRUE(preview->ShowFrame(f.data(), static_cast<int>(f.size()), &err));
  }
  EXPECT_TRUE(HostShows(kHostW / 4, kHostH / 4, kGreen));
  EXPECT_TRUE(HostShows(3 * kHostW / 4, 3 * kHostH / 4, kGreen));
  const std::vector<BYTE> red = Solid(kRed);
  EXPECT_FALSE(preview->ShowFrame(red.data(), kW * kH * 3 - 1, &err)) << "a short picture is not shown";
  EXPECT_TRUE(HostShows(kHostW / 2, kHostH / 2, kGreen));

  preview->Stop();
  EXPECT_TRUE(HostShows(kHostW / 2, kHostH / 2, kGrey)) << "hidden after Stop";
  EXPECT_FALSE(preview->ShowFrame(red.data(), static_cast<int>(red.size()), &err));
  preview->Stop();

  preview->Release();
}

TEST_F(PreviewTest, DoubleClickEscapeCursorAndClicksForTheHost) {
  IVideoShowVMR* preview = CreateVideoShowMain();
  ASSERT_NE(preview, nullptr);
  std::wstring err;
  preview->SetMode(0);
  ASSERT_TRUE(preview->Start(&m_format, m_host, &err));
  const std::vector<BYTE> pattern = dshow::VirtualPatternBgr(kW, kH);
  ASSERT_TRUE(preview->ShowFrame(pattern.data(), static_cast<int>(pattern.size()), &err));
  ASSERT_TRUE(QuadrantsShown(kHostX, kHostY, kHostW, kHostH));

  Xdotool({"mousemove", "200", "200", "click", "1"});
  XEvent event{};
  EXPECT_TRUE(WaitUntil([&] { return XCheckWindowEvent(m_display, m_host, ButtonPressMask, &event) == True; }));
  EXPECT_EQ(event.xbutton.button, static_cast<unsigned>(Button1));

  const int screenW = DisplayWidth(m_display, DefaultScreen(m_display));
  const int screenH = DisplayHeight(m_display, DefaultScreen(m_display));
  Xdotool({"mousemove", "260", "260", "click", "--repeat", "2", "--delay", "80", "1"});
  const auto entered = std::chrono::steady_clock::now();
  EXPECT_TRUE(QuadrantsShown(0, 0, screenW, screenH)) << "full screen after a double click";
  EXPECT_FALSE(CursorBlank());
  EXPECT_TRUE(WaitUntil([&] { return CursorBlank(); }, 6000)) << "cursor hidden in full screen";
  const auto hiddenAfter =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - entered).count();
  printf("cursor hidden %lld ms after entering full screen\n", static_cast<long long>(hiddenAfter));
  EXPECT_GE(hiddenAfter, 1900);

  Xdotool({"key", "Escape"});
  EXPECT_TRUE(WaitUntil([&] { return !Near(Pixel(10, 10), kRed); })) << "Escape leaves full screen";
  EXPECT_TRUE(QuadrantsShown(kHostX, kHostY, kHostW, kHostH));
  EXPECT_FALSE(CursorBlank());

  Xdotool({"mousemove", "300", "220", "click", "--repeat", "2", "--delay", "80", "1"});
  EXPECT_TRUE(QuadrantsShown(0, 0, screenW, screenH));
  Xdotool({"click", "--repeat", "2", "--delay", "80", "1"});
  EXPECT_TRUE(WaitUntil([&] { return !Near(Pixel(10, 10), kRed); })) << "a double click leaves full screen";
  preview->Release();
}

TEST_F(PreviewTest, StopWaitsForTheSenderAndDrawsNothingAfterwards) {
  for (int round = 0; round < 5; ++round) {
    IVideoShowVMR* preview = CreateVideoShowMain();
    ASSERT_NE(preview, nullptr);
    std::wstring err;
    preview->SetMode(0);
    ASSERT_TRUE(preview->Start(&m_format, m_host, &err));
    std::atomic<bool> stopped{false}, shownAfterStop{false};
    std::atomic<int> shown{0};
    std::thread sender([&] {
      const std::vector<BYTE> f = Solid(round % 2 ? kRed : kBlue);
      std::wstring e;
      while (!stopped) {
        if (preview->ShowFrame(f.data(), static_cast<int>(f.size()), &e)) ++shown;
      }
      shownAfterStop = preview->ShowFrame(f.data(), static_cast<int>(f.size()), &e);
    });
    ASSERT_TRUE(WaitUntil([&] { return shown > 10; }));
    preview->Stop();
    stopped = true;
    sender.join();
    EXPECT_FALSE(shownAfterStop);
    EXPECT_TRUE(HostShows(kHostW / 2, kHostH / 2, kGrey));
    preview->Release();
  }
}

}  // namespace
