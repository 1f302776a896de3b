// Picture in picture (TessalySdk): the worker's screen frames composed with
// the newest frame of the holder's camera, one of them small in the
// bottom-right corner.
#include <cstring>
#include <new>

#include "capture/ResizeRgb24Fit.h"
#include "common/Log.h"
#include "strivon/RtmpPublishManager.h"
#include "strivon/StatusWords.h"
#include "variant/PasteRgb24Image.h"

using namespace strivon_status;

namespace {
// The small picture, and the camera's size while the screen fills the picture.
constexpr int kInsetWidth = 480, kInsetHeight = 270;
constexpr int kInsetCameraRate = 10;
}  // namespace

void RtmpPublishManager::changeToCameraIn(int camId, int framerate, int keyInterval, int screenMain) {
  std::lock_guard<std::recursive_mutex> lock(m_sourceLock);
  // The full camera switch first, as a host calling both would see it.
  static_cast<IRtmpPublishManager*>(this)->changeToCamera(camId, 15, 0);
  StopSources();
  // The holder opens the same device, so the manager's own capture lets go of it.
  if (m_videoCapture) m_videoCapture->Release();
  m_videoCapture = nullptr;
  m_screenMain = screenMain;
  m_currentMode = 4;
  RebaseTimeLine();
  ApplySourceRates(framerate, keyInterval);
  if (m_audioCapture) m_audioCapture->Start();
  {
    std::lock_guard<std::mutex> capture(m_screenCaptureLock);
    if (m_screenCapture) m_screenMode = true;
  }
  SetCam(camId);

  DeviceSelection cam;
  std::string name;
  if (!ChosenCamera("RtmpPublishManager::changeToCameraIn", &cam, &name)) return;
  const VideoParams video = Video();
  if (screenMain > 0)
    m_cameraVideo->init(name.c_str(), cam.occurrence, cam.sameNameCount, kInsetCameraRate, kInsetWidth, kInsetHeight);
  else
    m_cameraVideo->init(name.c_str(), cam.occurrence, cam.sameNameCount, video.frameRate, video.outputWidth,
                        video.outputHeight);
}

bool RtmpPublishManager::ComposeAndQueuePicture(const BYTE* rgb, int len, uint32_t stamp) {
  const VideoParams video = Video();
  const int screenSize[2] = {m_grabWidth.load(), m_grabHeight.load()};
  if (screenSize[0] <= 0 || screenSize[1] <= 0 || int64_t{len} < int64_t{screenSize[0]} * screenSize[1] * 3)
    return false;
  const int outSize[2] = {video.outputWidth, video.outputHeight};
  const int pictureBytes = outSize[0] * outSize[1] * 3;
  const int bufferBytes = (pictureBytes + 3) & ~3;
  std::unique_ptr<uint8_t[]> picture(new (std::nothrow) uint8_t[bufferBytes]());
  if (!picture) return false;
  BYTE* canvas = m_canvas.get();
  std::memset(canvas, 0, kCanvasBytes);
  const int screenMain = m_screenMain;
  if (screenMain == 1) {
    ResizeRgb24Fit(rgb, screenSize, picture.get(), outSize);
    int cameraSize[2] = {0, 0};
    if (m_cameraVideo->GetFrame(canvas, kCanvasBytes, &cameraSize[0], &cameraSize[1]) > 0)
      PasteRgb24Image(canvas, cameraSize, picture.get(), outSize, outSize[0] - cameraSize[0],
                      outSize[1] - cameraSize[1]);
  } else if (screenMain == 0) {
    const int insetSize[2] = {kInsetWidth, kInsetHeight};
    ResizeRgb24Fit(rgb, screenSize, canvas, insetSize);
    int cameraWidth = 0, cameraHeight = 0;
    m_cameraVideo->GetFrame(picture.get(), pictureBytes, &cameraWidth, &cameraHeight);
    // Pasted with or without a camera frame: the screen is never lost,
    // before the first camera frame it shows small on black.
    PasteRgb24Image(canvas, insetSize, picture.get(), outSize, outSize[0] - kInsetWidth, outSize[1] - kInsetHeight);
  }
  return QueuePicture(std::move(picture), outSize[0], outSize[1], bufferBytes, false, stamp);
}
