#include "strivon/RtmpPublishManager.h"

#include <new>

#include "common/Log.h"

IRtmpPublishManager* CreateRtmpPublishManagerWith(IRtmpPublishManagerNotify* notify, ManagerFactories factories) {
  try {
    // The manager hands out its interface and ends its own life in release().
    return new RtmpPublishManager(notify, std::move(factories));
  } catch (...) {
    STRIVON_LOG(kLogFatal, "CreateRtmpPublishManager", "publish manager could not be created");
    return nullptr;
  }
}

RtmpPublishManager::RtmpPublishManager(IRtmpPublishManagerNotify* notify, ManagerFactories factories)
    : m_notifier(notify), m_factories(std::move(factories)) {
  OpenLogFile();
  LoadDeviceLists();
  BuildCommandTable();
  m_backgroundRing.Init();
  if (m_factories.createPictureCompositor) {
    m_compositor = m_factories.createPictureCompositor(m_factories.createVideoCapture);
    if (!m_compositor)
      STRIVON_LOG(kLogWarning, "RtmpPublishManager::RtmpPublishManager", "no picture-in-picture compositor");
  }
}

RtmpPublishManager::~RtmpPublishManager() {
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::~RtmpPublishManager", "publishmanger release.");
  // release() has stopped any run; what is left are objects made outside
  // one (a screen capture for the capture frame, the logo filter).
  m_exit = true;
  m_cmdQueue.Wake();
  m_timeline.Wake();
  Join();
  if (m_sendThread.joinable()) m_sendThread.join();
  if (m_deviceList) m_deviceList->Release();
  {
    std::lock_guard<std::recursive_mutex> lock(m_sourceLock);
    ReleaseSources();
  }
  if (m_compositor) m_compositor->Release();
  m_compositor = nullptr;
  m_logo.Clear();
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::~RtmpPublishManager", "m_pMediaRender may release.");
  ReplaceEncoder(nullptr);
  ReleaseSchedule();
  ReleasePreview();
  StopCapturePlayer();
  CloseRecording();
}

void RtmpPublishManager::release() {
  // The host's callback runs on a stack that still holds this manager; tearing
  // it down from there would pull the object away under that call.
  if (m_notifier.InsideCallbackOnThisThread()) {
    STRIVON_LOG(kLogWarning, "RtmpPublishManager::release", "release called from a notify callback; refused");
    return;
  }
  m_notifier.Status(strivon_status::kLevelInformation, strivon_status::kRelease);
  StopPublish();
  delete this;
}

void RtmpPublishManager::SetVideoBitrate(int bitrate, int vbrQuality) {
  std::lock_guard<std::mutex> encoderLock(m_encoderLock);
  if (!m_encoder) return;
  {
    std::lock_guard<std::mutex> lock(m_paramsLock);
    m_video.bitrate = bitrate;
    m_encoderSettings.vbrQuality = vbrQuality;
  }
  m_encoder->SetVideoBitrate(static_cast<unsigned>(bitrate), vbrQuality);
}

void RtmpPublishManager::ReplaceEncoder(IEncoderMediaThenSendThroughRtmp* encoder) {
  if (IEncoderMediaThenSendThroughRtmp* previous = SwapEncoder(encoder)) previous->Release();
}

bool RtmpPublishManager::GetInstalledPlayers(std::list<std::string>* /*players*/) { return true; }

bool RtmpPublishManager::EnablePreviewRender(bool on) {
  std::lock_guard<std::mutex> lock(m_paramsLock);
  m_video.preview = on;
  return true;
}

void RtmpPublishManager::SetSYNBufTime(int, int, int) {}

bool RtmpPublishManager::IsNonZero(int value) { return value != 0; }

bool RtmpPublishManager::SetPublishUrlParts(const char* proto, const char* hostApp, const char* stream) {
  if (!proto || !hostApp || !stream) return false;
  const std::string hostAppText(hostApp);
  const size_t question = hostAppText.find('?');
  std::lock_guard<std::mutex> lock(m_paramsLock);
  m_urlPartsProto = proto;
  m_urlPartsHostApp = hostAppText.substr(0, question);
  if (question != std::string::npos) m_urlPartsKey = hostAppText.substr(question + 1);
  m_urlPartsStream = stream;
  return true;
}

bool RtmpPublishManager::ReservedFalse() { return false; }

void RtmpPublishManager::ReservedNoop(int, int) {}

void RtmpPublishManager::OnSchedule(ScheduleResult /*result*/, bool /*ok*/) {}

AudioParams RtmpPublishManager::Audio() const {
  std::lock_guard<std::mutex> lock(m_paramsLock);
  return m_audio;
}

VideoParams RtmpPublishManager::Video() const {
  std::lock_guard<std::mutex> lock(m_paramsLock);
  return m_video;
}

EncoderSettings RtmpPublishManager::Encoder() const {
  std::lock_guard<std::mutex> lock(m_paramsLock);
  return m_encoderSettings;
}

PublishTarget RtmpPublishManager::Target() const {
  std::lock_guard<std::mutex> lock(m_paramsLock);
  return m_target;
}

std::string RtmpPublishManager::UserId() const {
  std::lock_guard<std::mutex> lock(m_paramsLock);
  return m_userId;
}

std::string RtmpPublishManager::RecordFilePath() const {
  std::lock_guard<std::mutex> lock(m_paramsLock);
  return m_recordPath;
}
