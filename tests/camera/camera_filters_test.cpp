// The camera's own filters through a whole capture graph on virtual cameras:
// colour against ffmpeg's conversion, the picture's orientation whatever the
// row order, the throttle, and frames or sizes the filters must refuse.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "capture/VideoCaptureRender.h"
#include "platform/base/tick.h"
#include "platform/dshow/dshow.h"
#include "tests/camera/camera_env.h"
#include "tests/support/media_tools.h"
#include "tests/support/temp_dir.h"

namespace {

using camera_test::Camera;
using camera_test::FrameOwner;
using camera_test::MirroredPattern;
using camera_test::Open;
using camera_test::Pixels;

constexpr int kW = 64, kH = 48;

std::string Bytes(const std::vector<BYTE>& v) { return std::string(v.begin(), v.end()); }

// ffmpeg turns the pattern into a camera frame and back into the reference.
struct FfmpegFrames {
  std::string camera, reference;
};
FfmpegFrames MakeWithFfmpeg(const std::string& pixFmt, const std::vector<std::string>& referenceFilter) {
  test_support::TempDir dir("strivon-camera-colour");
  const std::string size = std::to_string(kW) + "x" + std::to_string(kH);
  test_support::WriteFileBytes(dir.File("in.bgr"), Bytes(dshow::VirtualPatternBgr(kW, kH)));
  std::vector<std::string> encode = {"-f", "rawvideo", "-pix_fmt", "bgr24", "-s", size, "-i", dir.File("in.bgr"),
                                     "-pix_fmt", pixFmt, "-f", "rawvideo", dir.File("cam.yuv")};
  std::vector<std::string> decode = {"-f", "rawvideo", "-pix_fmt", pixFmt, "-s", size, "-i", dir.File("cam.yuv")};
  decode.insert(decode.end(), referenceFilter.begin(), referenceFilter.end());
  for (const char* a : {"-pix_fmt", "bgr24", "-f", "rawvideo"}) decode.push_back(a);
  decode.push_back(dir.File("ref.bgr"));
  FfmpegFrames out;
  if (test_support::RunFfmpeg(encode).exitCode != 0 || test_support::RunFfmpeg(decode).exitCode != 0) return out;
  out.camera = test_support::ReadFileBytes(dir.File("cam.yuv"));
  out.reference = test_support::ReadFileBytes(dir.File("ref.bgr"));
  return out;
}

int LargestDifferenceToMirrored(const std::vector<BYTE>& got, const std::string& reference) {
  int worst = 0;
  for (int r = 0; r < kH; ++r)
    for (int c = 0; c < kW; ++c)
      for (int k = 0; k < 3; ++k) {
        const int a = got[(static_cast<size_t>(r) * kW + c) * 3 + k];
        const int b = static_cast<BYTE>(reference[(static_cast<size_t>(r) * kW + kW - 1 - c) * 3 + k]);
        worst = std::max(worst, std::abs(a - b));
      }
  return worst;
}

TEST(CameraColour, YuvFramesMatchFfmpegWithinThree) {
  struct Case {
    Pixels pixels;
    const char* pixFmt;
    std::vector<std::string> filter;  // how ffmpeg reads the frame back
  };
  // YUY2 is studio range; the YV12 tables use the full-range factors.
  const Case cases[] = {{Pixels::Yuy2, "yuyv422", {}},
                        {Pixels::Yv12, "yuv420p", {"-vf", "scale=in_range=full"}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pixFmt);
    FfmpegFrames made = MakeWithFfmpeg(c.pixFmt, c.filter);
    ASSERT_EQ(made.reference.size(), static_cast<size_t>(kW * kH * 3));
    std::string frame = made.camera;
    if (c.pixels == Pixels::Yv12) {
      // ffmpeg writes U before V; YV12 has V first.
      const size_t luma = kW * kH, chroma = luma / 4;
      std::swap_ranges(frame.begin() + luma, frame.begin() + luma + chroma, frame.begin() + luma + chroma);
    }
    dshow::SetVirtualDevices({Camera(L"Colour Cam", kW, kH, c.pixels)});
    FrameOwner owner;
    IVideoCapture* capture = Open(&owner, "Colour Cam", kW, kH);
    ASSERT_NE(capture, nullptr);
    ASSERT_TRUE(capture->Start());
    EXPECT_EQ(1, dshow::PushVirtualFrameBytes(L"Colour Cam", reinterpret_cast<const BYTE*>(frame.data()),
                                              static_cast<long>(frame.size())));
    capture->Release();
    ASSERT_EQ(owner.frame.size(), static_cast<size_t>(kW * kH * 3));
    const int worst = LargestDifferenceToMirrored(owner.frame, made.reference);
    printf("%s: largest difference to ffmpeg %d\n", c.pixFmt, worst);
    EXPECT_LE(worst, 3);
  }
}

// The libswscale stand-in for the system converter, in a graph of its own.
TEST(CameraColour, SystemConverterMatchesFfmpeg) {
  FfmpegFrames made = MakeWithFfmpeg("yuyv422", {});
  ASSERT_EQ(made.reference.size(), static_cast<size_t>(kW * kH * 3));
  dshow::SetVirtualDevices({Camera(L"Plain Cam", kW, kH, Pixels::Yuy2)});
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  FrameOwner owner;
  IGraphBuilder* graph = nullptr;
  ICaptureGraphBuilder2* builder = nullptr;
  IBaseFilter *camera = nullptr, *converter = nullptr;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                   reinterpret_cast<void**>(&graph)));
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                                   reinterpret_cast<void**>(&builder)));
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_Colour, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                   reinterpret_cast<void**>(&converter)));
  builder->SetFiltergraph(graph);
  const auto devices = dshow::EnumerateDevices(CLSID_VideoInputDeviceCategory);
  ASSERT_EQ(devices.size(), 1u);
  ASSERT_EQ(S_OK, devices[0].bind(&camera));
  CVideoCaptureRender* sink = CreateVideoCaptureRender(1, &owner, nullptr, 25, 24);
  ASSERT_TRUE(sink->SetOutputSize(kW, kH));
  graph->AddFilter(camera, L"camera");
  graph->AddFilter(converter, L"colour");
  graph->AddFilter(sink, L"sink");
  ASSERT_EQ(S_OK, builder->RenderStream(nullptr, nullptr, camera, nullptr, sink));
  IMediaControl* control = nullptr;
  graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control));
  ASSERT_EQ(S_OK, control->Run());
  EXPECT_EQ(1, dshow::PushVirtualFrameBytes(L"Plain Cam", reinterpret_cast<const BYTE*>(made.camera.data()),
                                            static_cast<long>(made.camera.size())));
  control->Stop();
  for (IUnknown* u : std::initializer_list<IUnknown*>{control, sink, converter, camera, builder, graph}) u->Release();
  CoUninitialize();
  ASSERT_EQ(owner.frame.size(), static_cast<size_t>(kW * kH * 3));
  EXPECT_LE(LargestDifferenceToMirrored(owner.frame, made.reference), 3);
}

TEST(CameraOrientation, EveryRowOrderGivesTheUprightMirroredPicture) {
  // Odd sizes put a middle row and a middle column in play.
  for (auto size : {std::pair<int, int>{kW, kH}, std::pair<int, int>{5, 3}}) {
    for (Pixels pixels : {Pixels::Rgb24, Pixels::Rgb24TopDown}) {
      dshow::SetVirtualDevices({Camera(L"Row Cam", size.first, size.second, pixels)});
      FrameOwner owner;
      IVideoCapture* capture = Open(&owner, "Row Cam", size.first, size.second);
      ASSERT_NE(capture, nullptr);
      ASSERT_TRUE(capture->Start());
      EXPECT_EQ(1, dshow::PushVirtualFrames(L"Row Cam", 1));
      capture->Release();
      EXPECT_EQ(owner.frame, MirroredPattern(size.first, size.second))
          << size.first << "x" << size.second << (pixels == Pixels::Rgb24 ? " bottom-up" : " top-down");
    }
  }
}

TEST(CameraLevelBar, SoundLevelDrawsTheBarUntilSwitchedOff) {
  dshow::SetVirtualDevices({Camera(L"Level Cam", kW, kH)});
  FrameOwner owner;
  IVideoCapture* capture = Open(&owner, "Level Cam", kW, kH);
  ASSERT_NE(capture, nullptr);
  ASSERT_TRUE(capture->Start());
  const short loud[8] = {32767, 0, 32767, 0, 0, 100, 0, 100};
  capture->SetAudioLevel(loud, sizeof(loud));
  dshow::PushVirtualFrames(L"Level Cam", 1);
  const std::vector<BYTE> picture = MirroredPattern(kW, kH);
  // Full scale: three rows over the whole width, green (254 after blending) at the left.
  EXPECT_EQ(owner.frame[0], 0);
  EXPECT_EQ(owner.frame[1], 254);
  EXPECT_EQ(owner.frame[(2 * kW + kW - 1) * 3 + 2], 254);
  EXPECT_TRUE(std::equal(picture.begin() + 3 * kW * 3, picture.end(), owner.frame.begin() + 3 * kW * 3));
  const bool off = false;
  capture->EnableLevelBar(&off);
  dshow::PushVirtualFrames(L"Level Cam", 1);
  EXPECT_EQ(owner.frame, picture);
  capture->Release();
}

TEST(CameraThrottle, FastCameraIsThrottledAndRecoversAfterRestart) {
  struct Case {
    int rate, frames;
    size_t delivered;  // of frames + 2 pushed, the last two at one tick
  };
  // Asked for 15 per second: 120 in 5 s is 24 per second (> 20), 100 is 20.
  // A negative rate counts as 0 rather than dividing by zero.
  for (Case c : {Case{15, 120, 121}, Case{15, 100, 102}, Case{-5, 120, 121}}) {
    auto cam = Camera(L"Fast Cam", 32, 24);
    cam.stampTimes = false;  // times come from the tick count
    dshow::SetVirtualDevices({cam});
    platform::SetTickOffsetForTest(1000000);
    FrameOwner owner;
    IVideoCapture* capture = Open(&owner, "Fast Cam", 32, 24, c.rate);
    ASSERT_NE(capture, nullptr);
    ASSERT_TRUE(capture->Start());
    EXPECT_EQ(c.frames, dshow::PushVirtualFrames(L"Fast Cam", c.frames));
    platform::SetTickOffsetForTest(1000000 + 5000);
    dshow::PushVirtualFrames(L"Fast Cam", 2);
    EXPECT_EQ(c.delivered, owner.Frames()) << c.frames << " frames";
    capture->Release();
  }

  // A camera with its own stamps starts them again at 0 after a restart.
  dshow::SetVirtualDevices({Camera(L"Stamp Cam", 32, 24)});
  platform::SetTickOffsetForTest(2000000);
  FrameOwner owner;
  IVideoCapture* capture = Open(&owner, "Stamp Cam", 32, 24, 15);
  ASSERT_NE(capture, nullptr);
  ASSERT_TRUE(capture->Start());
  dshow::PushVirtualFrames(L"Stamp Cam", 120);
  platform::SetTickOffsetForTest(2000000 + 5000);
  dshow::PushVirtualFrames(L"Stamp Cam", 1);  // the throttle is on from here
  ASSERT_TRUE(capture->Stop());
  ASSERT_TRUE(capture->Start());
  const size_t before = owner.Frames();
  dshow::PushVirtualFrames(L"Stamp Cam", 5);
  EXPECT_EQ(before + 5, owner.Frames());
  EXPECT_EQ(0, owner.starts[before]);
  capture->Release();
  platform::SetTickOffsetForTest(0);
}

TEST(CameraRefusals, ShortFramesOddSizesAndLargeOutputsAreRefused) {
  for (Pixels pixels : {Pixels::Rgb24, Pixels::Yuy2, Pixels::Yv12}) {
    dshow::SetVirtualDevices({Camera(L"Short Cam", kW, kH, pixels)});
    FrameOwner owner;
    IVideoCapture* capture = Open(&owner, "Short Cam", kW, kH);
    ASSERT_NE(capture, nullptr);
    ASSERT_TRUE(capture->Start());
    const std::vector<BYTE> half(kW * kH / 2, 0x80);
    dshow::PushVirtualFrameBytes(L"Short Cam", half.data(), static_cast<long>(half.size()));
    EXPECT_EQ(0u, owner.Frames());
    capture->Release();
  }
  // No whole chroma sample for the last column: neither converter takes it.
  dshow::SetVirtualDevices({Camera(L"Odd Cam", 63, 48, Pixels::Yuy2), Camera(L"Big Cam", 640, 480)});
  FrameOwner owner;
  std::string err;
  EXPECT_EQ(nullptr, Open(&owner, "Odd Cam", 63, 48, 25, &err));
  EXPECT_EQ(err, "Lumatrix VideoCapture videocapturefilter and videorenderfilter connect errHD videocapture create err");
  err.clear();
  EXPECT_EQ(nullptr, Open(&owner, "Big Cam", 1920, 1088, 25, &err));
  EXPECT_EQ(err, "Lumatrix VideoCapture build video render errHD videocapture create err");
  // Scaling to a smaller output fits the picture with borders.
  IVideoCapture* capture = Open(&owner, "Big Cam", 320, 180);
  ASSERT_NE(capture, nullptr);
  ASSERT_TRUE(capture->Start());
  EXPECT_EQ(1, dshow::PushVirtualFrames(L"Big Cam", 1));
  EXPECT_EQ(owner.frame.size(), 320u * 180 * 3);
  EXPECT_EQ(owner.rawLength, 640 * 480 * 3);
  capture->Release();
  dshow::SetVirtualDevices({});
}

}  // namespace
