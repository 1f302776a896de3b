// The camera capture object on virtual cameras: which camera a name and an
// index select, the format it asks for, its life cycle, its reports, and
// what each failed construction step says.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "capture/ColorSpaceConverter.h"
#include "capture/VideoCaptureRender.h"
#include "platform/dshow/com.h"
#include "tests/camera/camera_env.h"

namespace {

using camera_test::Camera;
using camera_test::FrameOwner;
using camera_test::Open;
using camera_test::Pixels;

VIDEOINFOHEADER CurrentFormat(const wchar_t* name, GUID* subtype = nullptr) {
  CMediaType mt;
  VIDEOINFOHEADER vih{};
  if (dshow::VirtualCameraFormat(name, &mt) && mt.cbFormat >= sizeof(vih)) std::memcpy(&vih, mt.pbFormat, sizeof(vih));
  if (subtype) *subtype = mt.subtype;
  return vih;
}

TEST(CameraSelection, NameIndexAndCountPickTheCamera) {
  dshow::SetVirtualDevices({Camera(L"Integrated Camera Front", 32, 24), Camera(L"Integrated Camera Rear", 32, 24),
                            Camera(L"USB Cam", 32, 24)});
  struct Case {
    const char* name;
    int index, count;
    const wchar_t* chosen;  // null: no capture
    bool warned;
  };
  // The first 15 characters ("Integrated Came") make one name of the two
  // built-in cameras, unless a whole name tells them apart, as the manager
  // counts them.
  const Case cases[] = {
      {"Integrated Camera Rear", 0, 1, L"Integrated Camera Rear", false},
      {"Integrated Camera Side", 1, 2, L"Integrated Camera Rear", false},
      {"Integrated Came", 0, 1, L"Integrated Camera Front", true},
      {"", 2, 3, L"USB Cam", false},
      {"USB Cam", 1, 1, nullptr, true},
      {"USB Cam", -1, 1, nullptr, true},
      {"No Such Camera", 0, 1, nullptr, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " #" + std::to_string(c.index));
    FrameOwner owner;
    std::string err;
    IVideoCapture* capture = Open(&owner, c.name, 32, 24, 25, &err, c.index, c.count);
    EXPECT_EQ(c.warned, !owner.texts.empty());
    if (c.warned) {
      EXPECT_EQ(owner.texts[0], std::make_pair(1, std::string("VideoCapture find the sum of devices with same name is "
                                                              "different from the sum passed in")));
    }
    if (!c.chosen) {
      EXPECT_EQ(capture, nullptr);
      EXPECT_EQ(err, "Lumatrix VideoCapture Filter build errHD videocapture create err");
      continue;
    }
    ASSERT_NE(capture, nullptr);
    ASSERT_TRUE(capture->Start());
    EXPECT_EQ(1, dshow::PushVirtualFrames(c.chosen, 1));
    EXPECT_EQ(1u, owner.Frames());
    capture->Release();
  }
  dshow::SetVirtualDevices({});
}

TEST(CameraFormat, SizeAndFrameTimeChangeAndNothingElse) {
  auto cam = Camera(L"Sizes Cam", 320, 240, Pixels::Yuy2);
  cam.moreSizes = {{640, 480}, {1280, 720}};
  dshow::SetVirtualDevices({cam});
  struct Case {
    int width, height, rate;
    int cameraWidth, cameraHeight;  // 0: no capture
    int64_t frameTime;
  };
  const Case cases[] = {
      {640, 480, 30, 640, 480, 333333},  // listed: taken as asked
      {600, 400, 0, 640, 480, 10000000}, // nearest listed above; rate 0 counts as 1
      {1600, 900, 15, 1280, 720, 666666},  // above every size: the largest
      {700, 300, 25, 0, 0, 0},           // 1280 x 480 is no listed area
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    FrameOwner owner;
    std::string err;
    IVideoCapture* capture = Open(&owner, "Sizes Cam", c.width, c.height, c.rate, &err);
    if (!c.cameraWidth) {
      EXPECT_EQ(capture, nullptr);
      EXPECT_EQ(err, "Lumatrix VideoCapture set video format errHD videocapture create err");
      continue;
    }
    ASSERT_NE(capture, nullptr) << err;
    GUID subtype;
    const VIDEOINFOHEADER vih = CurrentFormat(L"Sizes Cam", &subtype);
    EXPECT_EQ(vih.bmiHeader.biWidth, c.cameraWidth);
    EXPECT_EQ(vih.bmiHeader.biHeight, c.cameraHeight);
    EXPECT_EQ(vih.AvgTimePerFrame, c.frameTime);
    EXPECT_TRUE(subtype == MEDIASUBTYPE_YUY2);
    EXPECT_EQ(vih.bmiHeader.biBitCount, 16);
    // The camera delivers in the format it was given.
    ASSERT_TRUE(capture->Start());
    EXPECT_EQ(1, dshow::PushVirtualFrames(L"Sizes Cam", 1));
    EXPECT_EQ(owner.frame.size(), static_cast<size_t>(c.width * c.height * 3));
    capture->Release();
  }
  dshow::SetVirtualDevices({});
}

TEST(CameraLifecycle, StartStopTwiceReportsAndReleaseFromAnotherThread) {
  const long baseline = dshow::LiveObjectCount();
  auto failing = Camera(L"Broken Cam", 32, 24);
  failing.failStart = true;
  dshow::SetVirtualDevices({Camera(L"Life Cam", 32, 24), failing});
  {
    FrameOwner owner;
    IVideoCapture* capture = Open(&owner, "Life Cam", 32, 24);
    ASSERT_NE(capture, nullptr);
    EXPECT_EQ(7, capture->GetId());
    EXPECT_TRUE(capture->Start());
    EXPECT_TRUE(capture->Start());
    EXPECT_EQ(1, dshow::PushVirtualFrames(L"Life Cam", 1));
    EXPECT_EQ(1, dshow::InjectVirtualEvent(L"Life Cam", EC_ERRORABORT));
    EXPECT_TRUE(owner.WaitForText("DShowApplication Error", 0, 5000));
    EXPECT_TRUE(capture->Stop());
    EXPECT_TRUE(capture->Stop());
    EXPECT_EQ(0, dshow::PushVirtualFrames(L"Life Cam", 1));
    // Made here, released on another thread, as the manager does.
    std::thread([capture] { capture->Release(); }).join();
    EXPECT_EQ(0, CoInitializeDepth());
  }
  {
    FrameOwner owner;
    IVideoCapture* capture = Open(&owner, "Broken Cam", 32, 24);
    ASSERT_NE(capture, nullptr);
    EXPECT_FALSE(capture->Start());
    EXPECT_TRUE(owner.WaitForText("Run Error, return code -2147467259, ", 0, 1000));
    capture->Release();
  }
  dshow::SetVirtualDevices({});
  EXPECT_EQ(baseline, dshow::LiveObjectCount());
}

TEST(CameraConstruction, EachFailedStepSaysWhich) {
  const long baseline = dshow::LiveObjectCount();
  dshow::SetVirtualDevices({Camera(L"Step Cam", 32, 24)});
  struct Case {
    const CLSID* failing;
    std::string text;
  };
  const Case cases[] = {
      {&CLSID_FilterGraph, "Lumatrix VideoCapture Create FilterGraph error"},
      {&CLSID_CaptureGraphBuilder2, "Lumatrix VideoCapture Create CaptureGraphBuilder2  error"},
      {&CLSID_ColorSpaceConverter_YUV2RGB,
       "CreateColorSpaceConverter_YUV2RGB error :hr:0x80004005:m_pColorSpaceConverter_YUV2RGB:0"},
      {&CLSID_Colour, "CreatedefaultColorSpaceConverter error"},
      {&CLSID_VideoCaptureRender, "Lumatrix VideoCapture build video render err"},
  };
  for (const Case& c : cases) {
    dshow::SetCreateFailsForTest(*c.failing, true);
    FrameOwner owner;
    std::string err = "before:";
    EXPECT_EQ(nullptr, Open(&owner, "Step Cam", 32, 24, 25, &err));
    dshow::SetCreateFailsForTest(*c.failing, false);
    // The converter steps replace the text, the others append.
    const bool replaces = c.failing == &CLSID_ColorSpaceConverter_YUV2RGB || c.failing == &CLSID_Colour;
    EXPECT_EQ(err, (replaces ? "" : "before:") + c.text + "HD videocapture create err");
  }
  // A thread already in the other apartment mode cannot take the capture's.
  std::thread([] {
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    FrameOwner owner;
    std::string err;
    EXPECT_EQ(nullptr, Open(&owner, "Step Cam", 32, 24, 25, &err));
    EXPECT_EQ(err, "Lumatrix VideoCapture Com初始化错误HD videocapture create err");
    CoUninitialize();
  }).join();
  bool ok = true;
  std::string err;
  EXPECT_EQ(nullptr, CreateVideoCapture(nullptr, 0, "Step Cam", 0, 1, nullptr, nullptr, nullptr, &ok, &err));
  EXPECT_FALSE(ok);
  dshow::SetVirtualDevices({});
  EXPECT_EQ(baseline, dshow::LiveObjectCount());
}

}  // namespace
