// The program's one owner of the library's publish manager. It creates the
// manager with itself as the manager's notify object, keeps the publish
// settings it sends when publishing starts, and offers the main window, the
// capture frame, the pickers and the settings dialog a few operations (start
// publishing, switch the video source, set the output size and the capture
// rectangle). The library's status words reach the main window's status
// handler synchronously, and as WM_PUBLISH_EVENT events on the program's
// event queue (closed, JSON text, capture errors).
//
// Threads: every operation runs on the GUI thread; the notify callbacks run on
// the library's threads and touch only the connected flag, the capture
// rectangle (behind its lock), the status sink and the event queue.
#pragma once
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "app/ProxySettings.h"
#include "app/PublishEvents.h"
#include "app/ScreenCaptureProxyWiring.h"
#include "app/UserConfig.h"
#include "strivon/IRtmpPublishManager.h"

class CScreenCaptureProxy final : public IRtmpPublishManagerNotify {
 public:
  class ScreenCaptureProxyNotify {
   public:
    virtual ~ScreenCaptureProxyNotify() = default;
    // Every status word of the library, on the library's thread, before
    // anything is posted about it.
    virtual void OnStatus(const char* status) = 0;
  };

  // The sink is not owned and must outlive the proxy: the manager still
  // reports while the destructor stops and releases it.
  explicit CScreenCaptureProxy(ScreenCaptureProxyNotify* statusSink);
  CScreenCaptureProxy(ScreenCaptureProxyNotify* statusSink, ScreenCaptureProxyWiring wiring);
  // Stops publishing and releases the manager; no callback arrives afterwards.
  ~CScreenCaptureProxy();
  CScreenCaptureProxy(const CScreenCaptureProxy&) = delete;
  CScreenCaptureProxy& operator=(const CScreenCaptureProxy&) = delete;

  // captureFrame: the capture frame's window; display: the preview host
  // window; eventWindow: the window the publish events are addressed to (the
  // main window, the display window's parent).
  void Init(HWND captureFrame, HWND display, HWND eventWindow);
  void RefreshDeviceLists();
  void SetOutputSize(int width, int height);
  // -1 when refused (the test account, or no manager), otherwise 0.
  int StartPublish();
  // 0 without a manager, otherwise 1; the library switches only while connected.
  int UseDesktopSource();
  int UseCameraSource(int cameraIndex);
  // 0 also when the library refused the file while connected (it cannot be
  // opened: the source that runs stays).
  int UseFileSource(const std::wstring& path);
  // Keeps r inset by 3 pixels (the frame's border) and sends it while connected.
  void SetCaptureRect(const CaptureRect& r);
  // Sends r as it is while connected.
  void ApplyCaptureRect(const CaptureRect& r);
  void RefreshLoginParams();
  void LoadSettings();
  // Takes the publish parameters of the account just logged in and sends
  // their encoder settings (B-frame count, quality) to the library.
  void ApplyLoginSettings();

  const std::vector<std::wstring>& MicNames() const { return m_micNames; }
  const std::vector<std::wstring>& CamNames() const { return m_camNames; }
  bool IsConnected() const { return m_connected.load(); }
  int SourceKind() const { return m_sourceKind; }
  int CameraIndex() const { return m_cameraIndex; }
  void SetCameraIndex(int index) { m_cameraIndex = index; }
  int MicIndex() const { return m_micIndex; }
  void SetMicIndex(int index) { m_micIndex = index; }
  int OutputWidth() const { return m_settings.outputWidth; }
  int OutputHeight() const { return m_settings.outputHeight; }
  const std::string& MediaFile() const { return m_mediaFile; }
  const ProxyPublishSettings& Settings() const { return m_settings; }
  CaptureRect KeptCaptureRect() const;
  IRtmpPublishManager* Manager() const { return m_manager.load(); }

  bool OnMessage(const char* json) override;
  bool OnStatus(int level, const char* text) override;
  bool OnSendStatistics(const PublishSendStatistics*) override { return true; }
  bool OnReservedPointer(void*) override { return true; }
  bool OnReservedInt(int) override { return true; }

 private:
  void CreateManager();
  void SendEncoderSettings();
  bool PostEvent(PublishEventCode code, std::string text = {});
  void ReactToStatus(const char* text);
  // Sends the capture area when the rectangle has a size and a run is connected.
  void SendCaptureArea(const CaptureRect& r);
  PublishParamValues PublishParams() const;
  UserConfigValues UserConfig() const;

  ScreenCaptureProxyNotify* const m_statusSink;
  const ScreenCaptureProxyWiring m_wiring;
  // Set on the GUI thread, read by callbacks on the library's threads.
  std::atomic<IRtmpPublishManager*> m_manager{nullptr};
  std::atomic<HWND> m_eventWindow{0};
  std::atomic<bool> m_connected{false};

  HWND m_captureFrame = 0;
  HWND m_display = 0;
  bool m_fullScreen = false;
  ProxyPublishSettings m_settings;
  int m_cameraIndex = 0;
  int m_micIndex = 0;
  int m_sourceKind = 1;  // 1 desktop, 2 media file, 3 camera
  // The file a switch is opening on the GUI thread, and whether the library
  // said it cannot (its report comes during the call).
  std::mutex m_openingLock;
  std::string m_openingFile;
  bool m_opening = false;
  bool m_openRefused = false;
  std::string m_mediaFile;
  std::vector<std::wstring> m_micNames;
  std::vector<std::wstring> m_camNames;

  // Held while the area is sent, so a connection's callback never applies a
  // rectangle older than the one the GUI thread just sent.
  mutable std::mutex m_captureRectLock;
  CaptureRect m_captureRect;  // as sent to the library, already inset
};
