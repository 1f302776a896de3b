// The preview window under Xvfb inside a plain Xlib host window: what it
// shows in either mode, with and without MIT-SHM (read back from the
// screen), the graph mode's picture limit and failure texts, full screen by
// double click and Escape, the hidden cursor, clicks passed to the host, and
// Stop and mode switches racing the sender of pictures.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "capture/PlayFilter.h"
#include "capture/RgbVideoMediaType.h"
#include "capture/VideoShowMain.h"
#include "capture/WindowBlitter.h"
#include "platform/dshow/backend_virtual.h"
#include "platform/dshow/dshow.h"
#include "tests/support/process.h"
#include "tests/support/xvfb_server.h"

namespace {

constexpr int kW = 64, kH = 48;
constexpr int kHostX = 100, kHostY = 100, kHostW = 320, kHostH = 240;
constexpr unsigned long kGrey = 0x808080, kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;

std::vector<BYTE> Solid(unsigned long rgb, int w = kW, int h = kH) {
  std::vector<BYTE> f(static_cast<size_t>(w) * h * 3);
  for (size_t i = 0; i < f.size(); i += 3) {
    f[i] = rgb & 0xFF;
    f[i + 1] = (rgb >> 8) & 0xFF;
    f[i + 2] = (rgb >> 16) & 0xFF;
  }
  return f;
}

BITMAPINFOHEADER Format(int w, int h) {
  BITMAPINFOHEADER f{};
  f.biSize = sizeof(f);
  f.biWidth = w;
  f.biHeight = h;
  f.biPlanes = 1;
  f.biBitCount = 24;
  f.biSizeImage = static_cast<uint32_t>(w) * h * 3;
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
  // Whether the server offers MIT-SHM.
  virtual bool Shm() const { return true; }
  void SetUp() override {
    ASSERT_TRUE(m_xvfb.Start("1366x768x24", Shm() ? std::vector<std::string>{}
                                                  : std::vector<std::string>{"-extension", "MIT-SHM"}));
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
    m_format = Format(kW, kH);
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

// Mode and whether the server offers MIT-SHM.
class PreviewModeTest : public PreviewTest, public ::testing::WithParamInterface<std::tuple<int, bool>> {
 protected:
  bool Shm() const override { return std::get<1>(GetParam()); }
};

TEST_P(PreviewModeTest, ShowsTheLastPictureUprightInsideTheHost) {
  const int mode = std::get<0>(GetParam());
  const long baseline = dshow::LiveObjectCount();
  IVideoShowVMR* preview = CreateVideoShowMain();
  ASSERT_NE(preview, nullptr);
  std::wstring err;
  preview->SetMode(mode);
  // A host window that does not exist is an X error, trapped and reported.
  EXPECT_FALSE(preview->Start(&m_format, 0x3FFFFF0, &err));
  EXPECT_FALSE(err.empty());
  ASSERT_TRUE(preview->Start(&m_format, m_host, &err));
  EXPECT_TRUE(preview->Start(&m_format, m_host, &err));
  EXPECT_EQ(mode == 1, dshow::LiveObjectCount() > baseline) << "graphs exist in mode 1 only";
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
  EXPECT_EQ(baseline, dshow::LiveObjectCount()) << "the graphs go with Stop";

  preview->Release();
}

INSTANTIATE_TEST_SUITE_P(ModesWithAndWithoutShm, PreviewModeTest,
                         ::testing::Combine(::testing::Values(0, 1), ::testing::Values(true, false)));

// Whether the server offers MIT-SHM.
class BlitterTest : public PreviewTest, public ::testing::WithParamInterface<bool> {
 protected:
  bool Shm() const override { return GetParam(); }
};

TEST_P(BlitterTest, DrawsBottomUpPicturesUprightThroughSharedMemoryWhereOffered) {
  Window window = XCreateSimpleWindow(m_display, m_host, 0, 0, kHostW, kHostH, 0, 0, 0);
  XMapWindow(m_display, window);
  XSync(m_display, False);
  // Bottom-up rows: the blue and white half comes first in memory.
  std::vector<BYTE> flipped = dshow::VirtualPatternBgr(kW, kH);
  const size_t row = kW * 3;
  for (int r = 0; r < kH / 2; ++r)
    std::swap_ranges(flipped.begin() + r * row, flipped.begin() + (r + 1) * row, flipped.end() - (r + 1) * row);
  WindowBlitter blitter(m_display, nullptr);
  ASSERT_TRUE(blitter.Draw(window, flipped.data(), kW, kH, true, kHostW, kHostH));
  EXPECT_EQ(Shm(), blitter.UsesShm());
  EXPECT_TRUE(QuadrantsShown(kHostX, kHostY, kHostW, kHostH));
  EXPECT_FALSE(blitter.Draw(0x3FFFFF0, flipped.data(), kW, kH, true, kHostW, kHostH)) << "a window that is gone";
  XDestroyWindow(m_display, window);
}

TEST_P(BlitterTest, ReadsNothingPastThePicture) {
  // A picture whose last byte is the last one mapped: a read past it faults.
  constexpr int w = 1280, h = 1024;
  const size_t bytes = static_cast<size_t>(w) * h * 3, page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const size_t mapped = (bytes + page - 1) / page * page;
  void* region = mmap(nullptr, mapped + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(region, MAP_FAILED);
  ASSERT_EQ(0, mprotect(static_cast<char*>(region) + mapped, page, PROT_NONE));
  BYTE* picture = static_cast<BYTE*>(region) + (mapped - bytes);
  const std::vector<BYTE> green = Solid(kGreen, w, h);
  std::memcpy(picture, green.data(), bytes);
  Window window = XCreateSimpleWindow(m_display, m_host, 0, 0, kHostW, kHostH, 0, 0, 0);
  XMapWindow(m_display, window);
  WindowBlitter blitter(m_display, nullptr);
  for (bool bottomUp : {false, true}) EXPECT_TRUE(blitter.Draw(window, picture, w, h, bottomUp, kHostW, kHostH));
  EXPECT_TRUE(HostShows(kHostW - 1, kHostH - 1, kGreen));
  XDestroyWindow(m_display, window);
  munmap(region, mapped + page);
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutShm, BlitterTest, ::testing::Values(true, false));

TEST(PreviewMediaType, PushSourceOffersOneBottomUpRgbType) {
  CMediaType mt;
  HRESULT hr = E_UNEXPECTED;
  BuildRgbVideoMediaType(&mt, 640, 480, 24, 30, &hr);
  ASSERT_EQ(S_OK, hr);
  EXPECT_TRUE(mt.majortype == MEDIATYPE_Video && mt.subtype == MEDIASUBTYPE_RGB24 && mt.formattype == FORMAT_VideoInfo);
  EXPECT_EQ(640u * 480 * 3, mt.lSampleSize);
  ASSERT_EQ(1112u, mt.cbFormat);
  VIDEOINFOHEADER vih;
  std::memcpy(&vih, mt.pbFormat, sizeof(vih));
  EXPECT_EQ(333333, vih.AvgTimePerFrame);
  EXPECT_EQ(30u * 640 * 480 * 3 * 8, vih.dwBitRate);
  EXPECT_EQ(480, vih.bmiHeader.biHeight);
  EXPECT_EQ(640u * 480 * 3, vih.bmiHeader.biSizeImage);
  BuildRgbVideoMediaType(&mt, 640, 0, 24, 30, &hr);
  EXPECT_EQ(E_FAIL, hr);
  BuildRgbVideoMediaType(&mt, 640, 480, 24, 0, &hr);
  EXPECT_EQ(E_FAIL, hr);
  BuildRgbVideoMediaType(&mt, 64, 48, 12, 30, &hr);
  EXPECT_TRUE(hr == S_OK && mt.subtype == GUID_NULL);

  // The pin offers exactly that type and takes no top-down variant of it.
  CPlayFilter* filter = CreatePlayFilter(3145728, Format(64, 48));
  ASSERT_NE(filter, nullptr);
  CBasePin* pin = filter->GetPin(0);
  CMediaType offered;
  EXPECT_EQ(S_OK, pin->GetMediaType(0, &offered));
  EXPECT_EQ(VFW_S_NO_MORE_ITEMS, pin->GetMediaType(1, &offered));
  EXPECT_EQ(E_INVALIDARG, pin->GetMediaType(-1, &offered));
  EXPECT_EQ(S_OK, pin->CheckMediaType(&offered));
  VIDEOINFOHEADER* topDown = reinterpret_cast<VIDEOINFOHEADER*>(offered.pbFormat);
  topDown->bmiHeader.biHeight = -48;
  EXPECT_EQ(E_INVALIDARG, pin->CheckMediaType(&offered));
  EXPECT_EQ(nullptr, filter->GetPin(1));
  filter->Release();
}

TEST_F(PreviewTest, GraphModeRefusesPicturesAboveItsLimit) {
  IVideoShowVMR* preview = CreateVideoShowMain();
  ASSERT_NE(preview, nullptr);
  std::wstring err;
  // 1280 x 1024 x 3 bytes are more than the graph takes; 1024 x 1024 x 3 just fit.
  const BITMAPINFOHEADER large = Format(1280, 1024), limit = Format(1024, 1024);
  const std::vector<BYTE> red = Solid(kRed, 1280, 1024), blue = Solid(kBlue, 1024, 1024);
  preview->SetMode(1);
  ASSERT_TRUE(preview->Start(&large, m_host, &err));
  EXPECT_FALSE(preview->ShowFrame(red.data(), static_cast<int>(red.size()), &err));
  EXPECT_EQ(err, L"视频数据长度太大");
  preview->Stop();

  ASSERT_TRUE(preview->Start(&limit, m_host, &err));
  EXPECT_TRUE(preview->ShowFrame(blue.data(), static_cast<int>(blue.size()), &err));
  EXPECT_TRUE(HostShows(kHostW / 2, kHostH / 2, kBlue));
  preview->Stop();

  preview->SetMode(0);
  ASSERT_TRUE(preview->Start(&large, m_host, &err));
  EXPECT_TRUE(preview->ShowFrame(red.data(), static_cast<int>(red.size()), &err)) << "mode 0 has no such limit";
  EXPECT_TRUE(HostShows(kHostW / 2, kHostH / 2, kRed));
  preview->Release();
}

TEST_F(PreviewTest, GraphFailureIsReportedAndLeavesThePreviewStopped) {
  const struct {
    const CLSID* failing;
    const wchar_t* text;
  } steps[] = {
      {&CLSID_FilterGraph, L"Create FilterGraph error"},
      {&CLSID_CaptureGraphBuilder2, L"Create CaptureGraphBuilder2 error"},
      {&CLSID_PlayFilter, L"VMRFilterGraph 内存不足"},
      {&CLSID_Colour, L"VMRFilterGraph Create ColorSpaceConverter Filter Error"},
      {&CLSID_VideoMixingRenderer9, L"VMRFilterGraph Create VMR Filter Error"},
  };
  const long baseline = dshow::LiveObjectCount();
  IVideoShowVMR* preview = CreateVideoShowMain();
  ASSERT_NE(preview, nullptr);
  preview->SetMode(1);
  unsigned long colour = kRed;
  for (const auto& step : steps) {
    std::wstring err;
    dshow::SetCreateFailsForTest(*step.failing, true);
    EXPECT_FALSE(preview->Start(&m_format, m_host, &err));
    dshow::SetCreateFailsForTest(*step.failing, false);
    EXPECT_EQ(err, step.text);
    EXPECT_EQ(baseline, dshow::LiveObjectCount());
    // Stopped, not half started: the next Start builds the graphs and draws.
    ASSERT_TRUE(preview->Start(&m_format, m_host, &err));
    colour = colour == kRed ? kBlue : kRed;
    const std::vector<BYTE> f = Solid(colour);
    ASSERT_TRUE(preview->ShowFrame(f.data(), static_cast<int>(f.size()), &err));
    EXPECT_TRUE(HostShows(kHostW / 2, kHostH / 2, colour));
    preview->Stop();
  }
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

TEST_F(PreviewTest, GraphModeDrawsFullScreenAfterADoubleClick) {
  IVideoShowVMR* preview = CreateVideoShowMain();
  ASSERT_NE(preview, nullptr);
  std::wstring err;
  preview->SetMode(1);
  ASSERT_TRUE(preview->Start(&m_format, m_host, &err));
  // Pictures keep arriving, as from a live run: each one goes to the window shown.
  std::atomic<bool> done{false};
  std::thread sender([&] {
    const std::vector<BYTE> pattern = dshow::VirtualPatternBgr(kW, kH);
    std::wstring e;
    while (!done) preview->ShowFrame(pattern.data(), static_cast<int>(pattern.size()), &e);
  });
  EXPECT_TRUE(QuadrantsShown(kHostX, kHostY, kHostW, kHostH));
  Xdotool({"mousemove", "260", "260", "click", "--repeat", "2", "--delay", "80", "1"});
  EXPECT_TRUE(QuadrantsShown(0, 0, DisplayWidth(m_display, 0), DisplayHeight(m_display, 0)));
  Xdotool({"key", "Escape"});
  EXPECT_TRUE(WaitUntil([&] { return !Near(Pixel(10, 10), kRed); })) << "Escape leaves full screen";
  EXPECT_TRUE(QuadrantsShown(kHostX, kHostY, kHostW, kHostH));
  done = true;
  sender.join();
  preview->Release();
}

TEST_F(PreviewTest, StopWaitsForTheSenderAndDrawsNothingAfterwards) {
  for (int round = 0; round < 5; ++round) {
    IVideoShowVMR* preview = CreateVideoShowMain();
    ASSERT_NE(preview, nullptr);
    std::wstring err;
    preview->SetMode(round % 2);
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

TEST_F(PreviewTest, ModeSwitchesWhilePicturesArrive) {
  const long baseline = dshow::LiveObjectCount();
  IVideoShowVMR* preview = CreateVideoShowMain();
  ASSERT_NE(preview, nullptr);
  std::atomic<unsigned long> colour{kRed};
  std::atomic<bool> done{false};
  std::thread sender([&] {
    std::wstring e;
    while (!done) {
      const std::vector<BYTE> f = Solid(colour);
      preview->ShowFrame(f.data(), static_cast<int>(f.size()), &e);
    }
  });
  const unsigned long colours[] = {kBlue, kGreen, kWhite, kRed};
  for (int round = 0; round < 6; ++round) {
    const int mode = round % 2;
    std::wstring err;
    preview->SetMode(mode);
    ASSERT_TRUE(preview->Start(&m_format, m_host, &err));
    EXPECT_EQ(mode == 1, dshow::LiveObjectCount() > baseline);
    colour = colours[round % 4];
    EXPECT_TRUE(HostShows(kHostW / 2, kHostH / 2, colour)) << "mode " << mode;
    // A switch during a run takes effect at the next Start; pictures keep coming.
    preview->SetMode(1 - mode);
    colour = colours[(round + 1) % 4];
    EXPECT_TRUE(HostShows(kHostW / 2, kHostH / 2, colour)) << "mode " << mode << " after SetMode";
    EXPECT_EQ(mode == 1, dshow::LiveObjectCount() > baseline);
    preview->Stop();
    EXPECT_EQ(baseline, dshow::LiveObjectCount());
  }
  done = true;
  sender.join();
  preview->Release();
}

}  // namespace
