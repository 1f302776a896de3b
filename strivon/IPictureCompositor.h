// How the picture-in-picture mode (the TessalySdk build) plugs into the
// publish manager: a camera of the mode's own, whose newest frame is composed
// with every screen frame the worker grabs, one of the two small in the
// bottom-right corner. The manager gets one from its factory table
// (ManagerFactories::createPictureCompositor), starts its camera in
// changeToCameraIn, stops it with the sources and composes through it in
// mode 4. The implementation belongs to the build that has the mode; the
// other builds leave the table's entry empty and the manager has none.
#pragma once
#include <functional>
#include <string>

#include "capture/IVideoCapture.h"

using VideoCaptureFactory =
    std::function<IVideoCapture*(IVideoCaptureNotify* notify, int captureId, const char* deviceName, int nameIndex,
                                 int nameCount, int* width, int* height, int* frameRate, bool* ok, std::string* error)>;

class IPictureCompositor {
 public:
  // Layouts (the screen-main choice): the screen fills the picture and the
  // camera is small, or the other way round.
  static constexpr int kScreenMain = 1;
  static constexpr int kCameraMain = 0;

  // Opens the named camera at the size the layout shows it (any choice above
  // 0 shows it small), replacing one that runs; the frame of the previous
  // one goes. 0 when the camera runs, -1 otherwise.
  virtual int StartCamera(int screenMain, const char* name, int nameIndex, int nameCount, int frameRate,
                          int outputWidth, int outputHeight) = 0;
  // Lets the camera go, so the device is free and its light goes off.
  virtual void StopCamera() = 0;
  // Composes the screen frame (screenSize {width, height}, RGB24) and the
  // newest camera frame into out (outSize, zero-filled by the caller) in the
  // layout screenMain; any other choice leaves out black. The worker's only.
  virtual void Compose(int screenMain, const BYTE* screen, const int screenSize[2], BYTE* out,
                       const int outSize[2]) = 0;
  virtual void Release() = 0;

 protected:
  ~IPictureCompositor() = default;
};

// Defined by the build with picture in picture alone; its factory table
// hands it to the manager.
IPictureCompositor* CreatePictureCompositor(VideoCaptureFactory createCapture);
