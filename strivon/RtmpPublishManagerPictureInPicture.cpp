// Picture in picture (TessalySdk): the source switch into mode 4, and the
// worker's screen frames handed to the build's compositor, which adds the
// newest frame of its own camera.
#include <new>

#include "strivon/RtmpPublishManager.h"

void RtmpPublishManager::changeToCameraIn(int camId, int framerate, int keyInterval, int screenMain) {
  std::lock_guard<std::recursive_mutex> lock(m_sourceLock);
  // The full camera switch first, as a host calling both would see it.
  static_cast<IRtmpPublishManager*>(this)->changeToCamera(camId, 15, 0);
  StopSources();
  // The compositor opens the same device, so the manager's own capture lets go of it.
  if (m_videoCapture) m_videoCapture->Release();
  m_videoCapture = nullptr;
  m_screenMain = screenMain;
  m_currentMode = 4;
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
  if (m_compositor)
    m_compositor->StartCamera(screenMain, name.c_str(), cam.occurrence, cam.sameNameCount, video.frameRate,
                              video.outputWidth, video.outputHeight);
}

bool RtmpPublishManager::ComposeAndQueuePicture(const BYTE* rgb, int len, uint32_t stamp) {
  const VideoParams video = Video();
  const int screenSize[2] = {m_grabWidth.load(), m_grabHeight.load()};
  // Without a compositor there is no camera to add: the screen goes alone.
  if (!m_compositor) return FitAndQueuePicture(rgb, len, screenSize[0], screenSize[1], false, stamp);
  if (screenSize[0] <= 0 || screenSize[1] <= 0 || int64_t{len} < int64_t{screenSize[0]} * screenSize[1] * 3)
    return false;
  const int outSize[2] = {video.outputWidth, video.outputHeight};
  const int bufferBytes = (outSize[0] * outSize[1] * 3 + 3) & ~3;
  std::unique_ptr<uint8_t[]> picture(new (std::nothrow) uint8_t[bufferBytes]());
  if (!picture) return false;
  m_compositor->Compose(m_screenMain, rgb, screenSize, picture.get(), outSize);
  return QueuePicture(std::move(picture), outSize[0], outSize[1], bufferBytes, false, stamp);
}
