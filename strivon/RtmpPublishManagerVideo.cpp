// The picture sources: screen, media file and camera, switching between them
// while live, fitting every picture into the output size, the logo overlay,
// and the screen-capture and file-control operations of the API.
#include <climits>
#include <cstring>
#include <new>

#include "capture/ResizeRgb24Fit.h"
#include "capture/TextConvert.h"
#include "common/Log.h"
#include "platform/base/tick.h"
#include "platform/vexa/regular_file.h"
#include "strivon/JsonReply.h"
#include "strivon/LogoFilterText.h"
#include "strivon/RtmpPublishManager.h"
#include "strivon/StatusWords.h"

using namespace strivon_status;

namespace {

// A media file sends at its own pace and has no pacing of ours; this only
// keeps a stalled send thread from collecting pictures without end.
constexpr size_t kMaxFilePictures = 64;

}  // namespace

void RtmpPublishManager::SetVideoSource(int kind, int camId, const char* filePath, int framerate, int keyInterval) {
  std::lock_guard<std::recursive_mutex> lock(m_sourceLock);
  m_initialSource.kind = kind;
  m_initialSource.camId = camId;
  if (filePath) m_initialSource.path = filePath;
  m_initialSource.framerate = framerate;
  m_initialSource.keyInterval = keyInterval;
}

void RtmpPublishManager::StopSources() {
  std::lock_guard<std::recursive_mutex> lock(m_sourceLock);
  m_screenMode = false;
  if (m_audioCapture) m_audioCapture->Stop();
  if (m_fileSource) m_fileSource->Pause();
  if (m_videoCapture) m_videoCapture->Stop();
  // Leaving picture in picture (or entering another camera) frees its
  // camera: otherwise the device stays busy with its light on.
  if (m_compositor) m_compositor->StopCamera();
  m_currentMode = 1;
  m_timeline.NewSource();
  m_fileRateLogPending = true;
}

void RtmpPublishManager::ReleaseSources() {
  std::lock_guard<std::recursive_mutex> lock(m_sourceLock);
  if (m_audioCapture) m_audioCapture->Release();
  m_audioCapture = nullptr;
  if (m_videoCapture) m_videoCapture->Release();
  m_videoCapture = nullptr;
  if (m_fileSource) m_fileSource->Release();
  m_fileSource = nullptr;
  if (m_compositor) m_compositor->StopCamera();
  // With its capture gone no other mode is left: a camera or file mode kept
  // here would make the next switch to it return at once, opening nothing.
  m_currentMode = 1;
  std::lock_guard<std::mutex> capture(m_screenCaptureLock);
  m_screenMode = false;
  if (m_screenCapture) m_screenCapture->Release();
  m_screenCapture = nullptr;
}

void RtmpPublishManager::ApplySourceRates(int framerate, int keyInterval) {
  std::lock_guard<std::mutex> encoderLock(m_encoderLock);
  if (!m_encoder) return;
  if (framerate >= 1) m_timeline.SetFrameRate(PublishableFrameRate(framerate));
  int rate = 0;
  int key = 0;
  int qMin = 0;
  {
    std::lock_guard<std::mutex> lock(m_paramsLock);
    if (framerate >= 1) m_video.frameRate = PublishableFrameRate(framerate);  // below 1 keeps the stored rate
    if (keyInterval != 0) m_video.keyInterval = keyInterval;
    rate = m_video.frameRate;
    key = m_video.keyInterval;
    qMin = m_encoderSettings.abrQmin;
  }
  m_encoder->SetFrameRateAndGop(rate, key);
  m_encoder->SetAbrQmin(qMin);
  m_encoder->ReopenVideoEncoder();
}

void RtmpPublishManager::changeToScreen(int framerate, int keyInterval) {
  std::lock_guard<std::recursive_mutex> lock(m_sourceLock);
  // The screen's mode without the screen running: a start whose file failed.
  if (m_currentMode == 1 && (m_screenMode || !m_waitingForASource)) return;
  StopSources();
  if (m_fileSource) {
    m_fileSource->Release();  // no stamp of the old file after the rebase
    m_fileSource = nullptr;
  }
  m_currentMode = 1;
  ApplySourceRates(framerate, keyInterval);
  if (m_audioCapture) m_audioCapture->Start();
  {
    std::lock_guard<std::mutex> capture(m_screenCaptureLock);
    if (m_screenCapture) m_screenMode = true;
  }
  if (m_screenMode) ScheduleIfWaitingForASource();
}

bool RtmpPublishManager::ChosenCamera(const char* function, DeviceSelection* cam, std::string* name) {
  *cam = Selected(DeviceKind::kCamera);
  const unsigned camCount = m_devices.Count(DeviceKind::kCamera);
  if (cam->position >= 0 && static_cast<unsigned>(cam->position) < camCount) {
    const VideoParams video = Video();
    *name = WideToAnsiString(cam->name);
    STRIVON_LOG(kLogInfo, function, "VideoDev name:%s, nameid:%d, namesum:%d, width:%d, height:%d, framerate:%d",
                name->c_str(), cam->occurrence, cam->sameNameCount, video.outputWidth, video.outputHeight,
                video.frameRate);
    return true;
  }
  std::string text;
  FormatString(&text, kCamIdWrong, cam->position, static_cast<int>(camCount));
  m_notifier.Status(kLevelInformation, text.c_str());
  STRIVON_LOG(kLogInfo, function, "%s", text.c_str());
  return false;
}

void RtmpPublishManager::changeToCamera(int camId, int framerate, int keyInterval) {
  std::lock_guard<std::recursive_mutex> lock(m_sourceLock);
  if (m_currentMode == 3) return;
  StopSources();
  if (m_fileSource) {
    m_fileSource->Release();
    m_fileSource = nullptr;
  }
  m_currentMode = 3;
  if (m_videoCapture) m_videoCapture->Release();
  m_videoCapture = nullptr;
  ApplySourceRates(framerate, keyInterval);
  if (m_audioCapture) m_audioCapture->Start();
  SetCam(camId);

  DeviceSelection cam;
  std::string name;
  if (ChosenCamera("RtmpPublishManager::changeToCamera", &cam, &name)) {
    const VideoParams video = Video();
    int width = video.outputWidth;
    int height = video.outputHeight;
    int rate = video.frameRate;
    bool ok = false;
    std::string error;
    if (m_factories.createVideoCapture)
      m_videoCapture = m_factories.createVideoCapture(this, 0, name.c_str(), cam.occurrence, cam.sameNameCount,
                                                      &width, &height, &rate, &ok, &error);
    if (!m_videoCapture) m_notifier.Status(kLevelError, kVideoCaptureError);
    STRIVON_LOG(kLogInfo, "RtmpPublishManager::changeToCamera", "CreateVideo:%s", error.c_str());
    if (!m_videoCapture || !ok) m_notifier.Status(kLevelError, error.c_str());
  }
  if (m_videoCapture) {
    if (m_videoCapture->Start()) {
      m_notifier.Status(kLevelInformation, kStartVideoCaptureSuc);
      ScheduleIfWaitingForASource();
    } else {
      m_notifier.Status(kLevelError, kStartVideoCaptureError);
      STRIVON_LOG(kLogWarning, "RtmpPublishManager::changeToCamera", "%s", kStartVideoCaptureError);
    }
  }
}

void RtmpPublishManager::changeToVexaFile(const char* path, int framerate, int keyInterval) {
  if (path) OpenFileSource(path, framerate, keyInterval);
}

bool RtmpPublishManager::OpenFileSource(const std::string& filePath, int framerate, int keyInterval) {
  // Opened before anything is switched and outside the source lock: the open
  // may take up to its deadline, and a file that cannot be played leaves the
  // source that runs now as it is instead of a run with nothing to send.
  const VideoParams video = Video();
  const AudioParams audio = Audio();
  int rate = video.frameRate;
  {
    std::lock_guard<std::mutex> encoderLock(m_encoderLock);
    if (m_encoder && framerate >= 1) rate = framerate;  // what ApplySourceRates will set
  }
  std::string reason;
  const auto& outside = OutsideFactories();
  IVexaCapture* source =
      outside.createVexaCapture ? outside.createVexaCapture(this, filePath.c_str(), video.outputWidth,
                                                            video.outputHeight, 24, false, rate, audio.sampleRate,
                                                            audio.channels, &reason)
                                : nullptr;
  // Sound alone would leave the stream without pictures: the source that
  // runs stays.
  if (source && !source->HasPicture()) {
    source->Release();
    source = nullptr;
    reason = "no picture in it";
  }
  if (!source) {
    std::string text;
    FormatString(&text, kCannotOpen, filePath.c_str(), reason.empty() ? "no media-file source" : reason.c_str());
    STRIVON_LOG(kLogWarning, "RtmpPublishManager::changeToVexaFile", "%s", text.c_str());
    m_notifier.Status(kLevelError, text.c_str());
    m_notifier.Status(kLevelError, kVideoCaptureError);
    return false;
  }
  std::lock_guard<std::recursive_mutex> lock(m_sourceLock);
  // A file after a file: the new one continues the time line of the old.
  const bool fileAfterFile = m_currentMode == 2;
  StopSources();
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::changeToVexaFile", "changeToVexaFile:m_bNeedConverStamp:%d",
              fileAfterFile ? 1 : 0);
  m_currentMode = 2;
  if (m_fileSource) m_fileSource->Release();
  m_fileSource = source;
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::changeToVexaFile", "changeToVexaFile:%s", LogExcerpt(filePath).c_str());
  ApplySourceRates(framerate, keyInterval);
  // The microphone stays stopped: the file brings its own sound.
  m_fileSource->Play();
  ScheduleIfWaitingForASource();
  return true;
}

void RtmpPublishManager::OpenScreenCapture() {
  std::unique_lock<std::mutex> capture(m_screenCaptureLock);
  if (!m_screenCapture) {
    const auto& outside = OutsideFactories();
    if (outside.createScreenCapture) m_screenCapture = outside.createScreenCapture();
  }
  if (!m_screenCapture) {
    capture.unlock();
    m_notifier.Status(kLevelError, kVideoCaptureError);
    return;
  }
  if (FullScreen()) {
    capture.unlock();
    setCaptrueArea(true, 0, 0, 0, 0);
    capture.lock();
  } else {
    int width = 0;
    int height = 0;
    {
      std::lock_guard<std::mutex> lock(m_paramsLock);
      m_video.outputWidth = m_video.outputWidth / 4 * 4;
      m_video.frameBytes = static_cast<int>((int64_t{m_video.outputWidth} * m_video.outputHeight * 3 + 3) & ~3);
      width = m_video.outputWidth;
      height = m_video.outputHeight;
    }
    const RECT rect{m_captureX, m_captureY, m_captureX + width, m_captureY + height};
    if (m_screenCapture) m_screenCapture->SetCaptureRect(&rect);
  }
  if (m_screenCapture) {
    m_screenCapture->SetBitDepth(24);
    m_screenCapture->SetFollowCursor(FollowCursor());
  }
  m_lastPull = platform::TickCount();
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::StartPublishAsyn", "CreateVideo:%s", "screen");
}

void RtmpPublishManager::setCaptrueArea(bool bFullScreen, int width, int height, int x, int y) {
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::setCaptrueArea",
              "bFullScreen:%d,,uCapWidth:%d,uCapHeight:%d,xPosition:%d,yPosition:%d", bFullScreen ? 1 : 0, width,
              height, x, y);
  if (Video().areaWidth == 0) return;  // no video parameters yet
  std::lock_guard<std::mutex> capture(m_screenCaptureLock);
  if (!m_screenCapture) {
    const auto& outside = OutsideFactories();
    if (outside.createScreenCapture) m_screenCapture = outside.createScreenCapture();
    if (!m_screenCapture) return;
  }
  m_fullScreen = bFullScreen;
  RECT rect{};
  if (bFullScreen) {
    // The capture clamps a rectangle to the screen, so this is the whole of it.
    rect = RECT{0, 0, 1 << 20, 1 << 20};
  } else {
    m_captureX = x;
    m_captureY = y;
    // Even sides, so a rectangle of the output size is taken as it is.
    rect = RECT{x, y, static_cast<LONG>(std::min<int64_t>(int64_t{x} + width / 8 * 8, INT_MAX)),
                static_cast<LONG>(std::min<int64_t>(int64_t{y} + (height & ~1), INT_MAX))};
  }
  m_screenCapture->SetCaptureRect(&rect);
}

bool RtmpPublishManager::OnVideoData(int captureId, BYTE* rgb, int len, int64_t /*startMs*/, int64_t stopMs) {
  // A camera's own times run on its clock, not the tick count.
  const uint32_t stamp = m_timeline.StampLivePicture(captureId == kScreenCaptureId ? static_cast<uint32_t>(stopMs)
                                                                                   : platform::TickCount());
  if (m_timeline.PictureRefused()) {
    STRIVON_LOG(kLogDebug, "RtmpPublishManager::OnVideoData", "m_qVMsg.size:%d",
                static_cast<int>(MediaQueues::kMaxVideoEntries));
    return false;
  }
  if (!rgb || len <= 0) {
    m_notifier.Status(kLevelError, kVideoDataNull);
    return false;
  }
  const int mode = m_currentMode;
  const bool screen = mode == 1;
  const VideoParams video = Video();
  {
    uint32_t firstDue = 0;
    if (!m_timeline.PacePicture(platform::TickCount(), video.frameRate, screen, &firstDue)) return false;
#if STRIVON_SDK_EARLIER
    if (firstDue != 0)
      STRIVON_LOG(kLogDebug, "RtmpPublishManager::OnVideoData", "OnVideoData,m_uLastVideoTime:%d",
                  static_cast<int>(firstDue));
#endif
  }
#if STRIVON_SDK_EARLIER
  STRIVON_LOG(kLogDebug, "RtmpPublishManager::OnVideoData", "m_uCapWidth:%d, m_uCapHeight:%d,m_uWidth:%d,m_uHeight:%d",
              m_grabWidth.load(), m_grabHeight.load(), video.outputWidth, video.outputHeight);
#endif
#if STRIVON_SDK_PICTURE_IN_PICTURE
  if (mode == 4) return ComposeAndQueuePicture(rgb, len, stamp);
#endif
  const int width = screen ? m_grabWidth.load() : video.outputWidth;
  const int height = screen ? m_grabHeight.load() : video.outputHeight;
#if STRIVON_SDK_EARLIER
  STRIVON_LOG(kLogDebug, "RtmpPublishManager::OnVideoData",
              "before ResizeZoomEx,this->m_xCapPos;%d,this->m_yCapPos:%d,his->m_uCapWidt:%d,this->m_uCapHeight:%d",
              m_captureX.load(), m_captureY.load(), m_grabWidth.load(), m_grabHeight.load());
  const bool queued = FitAndQueuePicture(rgb, len, width, height, false, stamp);
  STRIVON_LOG(kLogDebug, "RtmpPublishManager::OnVideoData",
              "after ResizeZoomEx,this->m_xCapPos;%d,this->m_yCapPos:%d,his->m_uCapWidt:%d,this->m_uCapHeight:%d",
              m_captureX.load(), m_captureY.load(), m_grabWidth.load(), m_grabHeight.load());
  return queued;
#else
  return FitAndQueuePicture(rgb, len, width, height, false, stamp);
#endif
}

bool RtmpPublishManager::FitAndQueuePicture(const BYTE* rgb, int len, int srcWidth, int srcHeight, bool fromFile,
                                            uint32_t stamp) {
  const VideoParams video = Video();
  if (srcWidth <= 0 || srcHeight <= 0 || int64_t{len} < int64_t{srcWidth} * srcHeight * 3) {
    STRIVON_LOG(kLogWarning, "RtmpPublishManager::OnVideoData", "picture of %d bytes is short for %dx%d", len, srcWidth,
                srcHeight);
    return false;
  }
  const int pictureBytes = video.outputWidth * video.outputHeight * 3;
  const int bufferBytes = (pictureBytes + 3) & ~3;
  std::unique_ptr<uint8_t[]> picture(new (std::nothrow) uint8_t[bufferBytes]());
  if (!picture) return false;
  if (srcWidth == video.outputWidth && srcHeight == video.outputHeight) {
    std::memcpy(picture.get(), rgb, static_cast<size_t>(pictureBytes));
  } else if (srcWidth - video.outputWidth == (srcWidth & 1) && srcHeight - video.outputHeight == (srcHeight & 1)) {
    // An odd screen (or rectangle) the output size was made even from: its
    // last column or row goes, rather than scaling the whole picture by one
    // pixel into black borders.
    const size_t row = static_cast<size_t>(video.outputWidth) * 3;
    for (int y = 0; y < video.outputHeight; ++y)
      std::memcpy(picture.get() + y * row, rgb + static_cast<size_t>(y) * srcWidth * 3, row);
  } else {
    const int srcSize[2] = {srcWidth, srcHeight};
    const int dstSize[2] = {video.outputWidth, video.outputHeight};
    ResizeRgb24Fit(rgb, srcSize, picture.get(), dstSize);
  }
  return QueuePicture(std::move(picture), video.outputWidth, video.outputHeight, bufferBytes, fromFile, stamp);
}

bool RtmpPublishManager::QueuePicture(std::unique_ptr<uint8_t[]> picture, int width, int height, int bufferBytes,
                                      bool fromFile, uint32_t stamp) {
  const auto push = [&](PublishCmd unit) {
    return m_timeline.PushPicture(std::move(unit), fromFile ? kMaxFilePictures : MediaQueues::kMaxVideoEntries);
  };
  const bool drawn = m_logo.Draw(picture.get(), width, height, bufferBytes, [&] {
    PublishCmd unit = PublishCmd::Unit(kCmdVideoUnit, picture.get(), bufferBytes, stamp);
    if (unit.data) push(std::move(unit));
  });
  if (drawn) return true;
  return push(PublishCmd::Adopt(kCmdVideoUnit, std::move(picture), bufferBytes, stamp));
}

bool RtmpPublishManager::OnVideoRawData(int, BYTE*, int, int64_t, int64_t) { return true; }

bool RtmpPublishManager::OnHDVideoCapNotify(std::string text, int kind) {
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::OnHDVideoCapNotify", "%s", text.c_str());
  if (kind == 0) {
    m_notifier.Status(kLevelError, text.c_str());
    m_notifier.Status(kLevelError, kVideoCaptureError);
  } else if (kind == 1) {
    m_notifier.Status(kLevelDevice, text.c_str());
  }
  return true;
}

void RtmpPublishManager::OnVexaCaptureVideo(int /*id*/, BYTE* data, int byteCount, uint32_t timestampMs,
                                            int /*frameIndex*/) {
  if (!data || byteCount <= 0) {
    m_notifier.Status(kLevelError, kVideoDataNull);
    return;
  }
  const uint32_t stamp = m_timeline.StampFilePicture(timestampMs);
  // The file's own time runs on top of the base the clock keeps for it.
  STRIVON_LOG(kLogDebug, "RtmpPublishManager::OnVexaCaptureVideo", "OnVexaCaptureVideo:m_dLastOtherTimeStmp:%d",
              static_cast<int>(stamp - timestampMs));
  const VideoParams video = Video();
  if (m_fileRateLogPending.exchange(false))
    STRIVON_LOG(kLogDebug, "RtmpPublishManager::OnVexaCaptureVideo", "m_uVideoFrameRate:%d", video.frameRate);
  STRIVON_LOG(kLogDebug, "RtmpPublishManager::OnVexaCaptureVideo", "lastTime:%d,time:%d", static_cast<int>(stamp),
              static_cast<int>(timestampMs));
  FitAndQueuePicture(data, byteCount, video.outputWidth, video.outputHeight, true, stamp);
}

void RtmpPublishManager::OnVexaCapturePlayComplete() {
  m_notifier.Message(WriteEvent(kEventVexaCapturePlayComplete, Json::Value()).c_str());
}

void RtmpPublishManager::OnVexaCaptureSeekDone(int64_t) {}

void RtmpPublishManager::OnVexaCaptureStatus(const wchar_t* text) {
  const std::string narrow = text ? WideToAnsi(text) : std::string();
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::OnVexaCaptureStatus", "OnVexaCaptureStatus:%s", narrow.c_str());
  m_notifier.Status(kLevelInformation, narrow.c_str());
}

int RtmpPublishManager::OnADFilterMessage(const char*) { return 0; }

int RtmpPublishManager::SetLogo(const char* path, int /*unused*/, int a, int b, int /*c*/) {
  m_logo.Clear();
  // The filter reads the image with nothing to end a blocked open: a FIFO
  // would hold this call (and later the picture path) for good.
  std::string reason;
  if (path && !CheckRegularFile(path, &reason)) {
    STRIVON_LOG(kLogWarning, "RtmpPublishManager::SetLogo", "logo %s refused: %s", LogExcerpt(path).c_str(),
                reason.c_str());
    return -1;
  }
  std::string text;
  // Pictures are top-down here: the logo's corner is (b, a) from the top left.
  if (!BuildLogoFilterText(path, b, a, &text)) {
    STRIVON_LOG(kLogWarning, "RtmpPublishManager::SetLogo", "logo path refused");
    return -1;
  }
  const auto& outside = OutsideFactories();
  IADFilter* filter = outside.createFilter ? outside.createFilter(this) : nullptr;
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::SetLogo", "false:%s", text.c_str());
  if (!filter) return 0;
  const VideoParams video = Video();
  const int result = m_logo.Set(filter, text, video.outputWidth, video.outputHeight);
  if (result == 0) STRIVON_LOG(kLogInfo, "RtmpPublishManager::SetLogo", "true:%s", text.c_str());
  return result;
}

void RtmpPublishManager::ShowCaptureFrame(int show) {
  std::lock_guard<std::mutex> capture(m_screenCaptureLock);
  if (!m_screenCapture) {
    const auto& outside = OutsideFactories();
    if (outside.createScreenCapture) m_screenCapture = outside.createScreenCapture();
  }
  if (m_screenCapture) m_screenCapture->ShowCaptureFrame(show);
}

bool RtmpPublishManager::IsCaptureFrameShown() {
  std::lock_guard<std::mutex> capture(m_screenCaptureLock);
  return m_screenCapture && m_screenCapture->IsCaptureFrameShown();
}

void RtmpPublishManager::ScreenCaptureAuxA() {
  std::lock_guard<std::mutex> capture(m_screenCaptureLock);
  if (m_screenCapture) m_screenCapture->RaiseCaptureFrame();
}

void RtmpPublishManager::ScreenCaptureAuxB() {
  std::lock_guard<std::mutex> capture(m_screenCaptureLock);
  if (m_screenCapture) m_screenCapture->ClearCaptureWindow();
}

void RtmpPublishManager::SetCaptureWindow(HWND window) {
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::SetCaptureWindow", "SetCaptureWindow:%s\n",
              std::to_string(window).c_str());
  std::lock_guard<std::mutex> capture(m_screenCaptureLock);
  if (m_screenCapture) m_screenCapture->SetCaptureWindow(window);
}

bool RtmpPublishManager::PlayFile() {
  std::lock_guard<std::recursive_mutex> lock(m_sourceLock);
  return m_fileSource && m_fileSource->Play();
}

bool RtmpPublishManager::StopFile() {
  std::lock_guard<std::recursive_mutex> lock(m_sourceLock);
  return m_fileSource && m_fileSource->Stop();
}

bool RtmpPublishManager::PauseFile() {
  std::lock_guard<std::recursive_mutex> lock(m_sourceLock);
  return m_fileSource && m_fileSource->Pause();
}

bool RtmpPublishManager::SeekFile(int position, int mode) {
  std::lock_guard<std::recursive_mutex> lock(m_sourceLock);
  return m_fileSource && m_fileSource->Seek(position, mode);
}

bool RtmpPublishManager::SetFilePara(int para, int value) {
  std::lock_guard<std::recursive_mutex> lock(m_sourceLock);
  return m_fileSource && m_fileSource->SetPara(para, value);
}

int64_t RtmpPublishManager::GetFilePosition() {
  std::lock_guard<std::recursive_mutex> lock(m_sourceLock);
  return m_fileSource ? m_fileSource->GetPosition() : -1;
}

void RtmpPublishManager::SetFileVolume(int volume) {
  std::lock_guard<std::recursive_mutex> lock(m_sourceLock);
  if (m_fileSource) m_fileSource->SetVolume(volume);
}
