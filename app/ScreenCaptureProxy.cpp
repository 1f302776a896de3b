// The proxy's life, the library's callbacks, the device lists and the
// capture rectangle.
#include "app/ScreenCaptureProxy.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <utility>

#include <json/value.h>

#include "app/ProxyJsonCommand.h"
#include "strivon/StatusWords.h"

namespace {

// The capture frame draws its border inside the rectangle it reports; the
// border must not show in the picture.
constexpr int kCaptureFrameBorder = 3;

int SaturatedInt(int64_t value) { return static_cast<int>(std::clamp<int64_t>(value, INT_MIN, INT_MAX)); }

std::vector<std::wstring> CopyNames(const wchar_t** names, unsigned count) {
  std::vector<std::wstring> copy;
  if (!names) return copy;
  copy.reserve(count);
  for (unsigned i = 0; i < count; ++i) copy.emplace_back(names[i] ? names[i] : L"");
  return copy;
}

}  // namespace

CScreenCaptureProxy::CScreenCaptureProxy(ScreenCaptureProxyNotify* statusSink, ScreenCaptureProxyWiring wiring)
    : m_statusSink(statusSink), m_wiring(std::move(wiring)) {}

CScreenCaptureProxy::~CScreenCaptureProxy() {
  // Callbacks that come while the run winds down find no manager to call back into.
  IRtmpPublishManager* manager = m_manager.exchange(nullptr);
  if (!manager) return;
  manager->StopPublish();
  // release joins every thread of the manager, so no callback reaches this
  // object once it returns.
  manager->release();
}

void CScreenCaptureProxy::CreateManager() {
  if (m_wiring.createManager) m_manager = m_wiring.createManager(this);
}

void CScreenCaptureProxy::Init(HWND captureFrame, HWND display, HWND eventWindow) {
  m_captureFrame = captureFrame;
  m_display = display;
  m_eventWindow = eventWindow;
  if (!m_manager.load()) CreateManager();
  RefreshDeviceLists();
  ProxyReplyBuffer reply;
  Json::Value capture(Json::objectValue);
  capture["isFullScreen"] = m_fullScreen;
  capture["isFollowCursor"] = false;
  SendJsonCommand(m_manager, &reply, "ScreenCaptureSettings", capture);
  SendEncoderSettings();
  LoadSettings();
}

void CScreenCaptureProxy::SendEncoderSettings() {
  ProxyReplyBuffer reply;
  Json::Value bFrames(Json::objectValue);
  bFrames["BframeCount"] = m_settings.bFrameCount;
  SendJsonCommand(m_manager, &reply, "SetBframeCount", bFrames);
  Json::Value quality(Json::objectValue);
  quality["Quality"] = m_settings.desktopQuality;
  SendJsonCommand(m_manager, &reply, "SetVBRQuality", quality);
}

void CScreenCaptureProxy::ApplyLoginSettings() {
  LoadSettings();
  SendEncoderSettings();
}

void CScreenCaptureProxy::RefreshDeviceLists() {
  IRtmpPublishManager* manager = m_manager;
  if (!manager) return;
  const wchar_t** names = nullptr;
  unsigned count = 0;
  m_micNames = manager->GetMicList(&names, &count) == 0 ? CopyNames(names, count) : std::vector<std::wstring>{};
  names = nullptr;
  count = 0;
  m_camNames = manager->GetCamList(&names, &count) == 0 ? CopyNames(names, count) : std::vector<std::wstring>{};
}

bool CScreenCaptureProxy::PostEvent(PublishEventCode code, std::string text) {
  if (!m_wiring.events) return false;
  ProgramEvent event;
  event.target = m_eventWindow;
  event.message = WM_PUBLISH_EVENT;
  event.wParam = code;
  event.text = std::move(text);
  // The event owns its text: a refused post frees it here.
  return m_wiring.events->Post(std::move(event));
}

bool CScreenCaptureProxy::OnMessage(const char* json) {
  if (!json || !*json) return false;
  try {
    return PostEvent(kPublishEventJson, json);
  } catch (...) {
    // Out of memory for the copy: the event is lost, the library's thread goes on.
    return false;
  }
}

bool CScreenCaptureProxy::OnStatus(int /*level*/, const char* text) {
  if (!text || !*text) return false;
  try {
    if (m_statusSink) m_statusSink->OnStatus(text);
    ReactToStatus(text);
  } catch (...) {
    // Nothing thrown on the GUI side may unwind into the library's thread.
  }
  return true;
}

void CScreenCaptureProxy::ReactToStatus(const char* text) {
  using namespace strivon_status;
  if (std::strcmp(text, kConnectClosed) == 0) {
    PostEvent(kPublishEventConnectionClosed);
    m_connected = false;
  } else if (std::strcmp(text, kConnectSuccess) == 0) {
    m_connected = true;
    // One hold for reading and sending, so a rectangle the GUI thread sets
    // meanwhile is never overtaken by the older one.
    std::lock_guard<std::mutex> hold(m_captureRectLock);
    SendCaptureArea(m_captureRect);
  } else if (std::strcmp(text, kAudioCaptureError) == 0) {
    PostEvent(kPublishEventAudioCaptureError);
  } else if (std::strcmp(text, kVideoCaptureError) == 0) {
    PostEvent(kPublishEventVideoCaptureError);
  } else if (const char* subject = CannotOpenSubject(text)) {
    std::lock_guard<std::mutex> hold(m_openingLock);
    if (m_opening && std::string(subject).rfind(m_openingFile + ": ", 0) == 0) m_openRefused = true;
  }
}

CaptureRect CScreenCaptureProxy::KeptCaptureRect() const {
  std::lock_guard<std::mutex> hold(m_captureRectLock);
  return m_captureRect;
}

void CScreenCaptureProxy::SetCaptureRect(const CaptureRect& r) {
  IRtmpPublishManager* manager = m_manager;
  if (manager && manager->IsCaptureFrameShown()) manager->ShowCaptureFrame(0);
  const int b = kCaptureFrameBorder;
  const CaptureRect inset{SaturatedInt(int64_t{r.left} + b), SaturatedInt(int64_t{r.top} + b),
                          SaturatedInt(int64_t{r.right} - b), SaturatedInt(int64_t{r.bottom} - b)};
  std::lock_guard<std::mutex> hold(m_captureRectLock);
  if (inset == m_captureRect) return;
  m_captureRect = inset;
  SendCaptureArea(inset);
}

void CScreenCaptureProxy::ApplyCaptureRect(const CaptureRect& r) {
  std::lock_guard<std::mutex> hold(m_captureRectLock);
  SendCaptureArea(r);
}

void CScreenCaptureProxy::SendCaptureArea(const CaptureRect& r) {
  const int64_t width = int64_t{r.right} - r.left;
  const int64_t height = int64_t{r.bottom} - r.top;
  if (width <= 0 || height <= 0 || width > INT_MAX || height > INT_MAX) return;
  IRtmpPublishManager* manager = m_manager;
  if (!manager || !m_connected) return;
  manager->setCaptrueArea(false, static_cast<int>(width), static_cast<int>(height), r.left, r.top);
}
