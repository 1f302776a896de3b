// The presenter's console, "transwnd": source pages and preview, volume,
// noise-suppression and mixing switches, output size, microphone, recording
// folder, the start and record buttons, status labels, tray icon and the
// share-desktop menu. Created hidden at start-up; shown when the login
// window reports success. Owns the library proxy (shared with the capture
// frame, the pickers and the settings dialog) and the pump that carries the
// library's events to the GUI thread.
//
// Threads: OnStatus is called on the library's threads and only queues the
// word; every reaction runs on the GUI thread, in the order the words and
// events arrived.
#pragma once
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/ScreenCaptureProxy.h"
#include "app/ScreenCaptureProxyWiring.h"
#include "platform/duilib/menu_wnd.h"
#include "platform/duilib/window_impl_base.h"
#include "ui/CaptureDlg.h"
#include "ui/LoginHost.h"
#include "ui/SourcePickerHost.h"

class CLoginWnd;
class CSettingDlg;
class CCameraDevWnd;
class CButtonUI;
class CLabelUI;
class CSliderUI;
class COptionUI;
class CEditUI;
class CItemListUI;
class ProgramEventPump;
class StatusRelay;

// Window messages of the main window to itself.
constexpr UINT WM_STATUS_WORD = WM_USER + 0x200;  // lParam: std::string* (owned by the message)

constexpr UINT TIMER_PUBLISH_CLOCK = 2;
constexpr UINT TIMER_CLEAR_STATUS = 3;

constexpr DWORD kStatusGreen = 0xFF00FF00u;
constexpr DWORD kStatusRed = 0xFFF13B3B;

class CMainWnd : public WindowImplBase,
                 public CCaptureDlg::CCaptureNotify,
                 public ILoginHost,
                 public ISourcePickerHost {
 public:
  // The proxy is made from this wiring (the real library and the program's
  // event queue unless a test says otherwise). Installs the crash handler
  // and loads user_config.xml.
  CMainWnd();
  explicit CMainWnd(ScreenCaptureProxyWiring wiring, bool installCrashHandler = false);
  ~CMainWnd() override;

  // ILoginHost
  void OnLoginSuccess() override;
  void QuitProgram(int code) override;
  // ISourcePickerHost
  void ApplyCaptureSize(const std::wstring& text) override;
  void SwitchSource(int kind) override;
  // CCaptureDlg::CCaptureNotify
  void OnCaptureRect(const RECT* rect) override;

  // The library's status word, from any thread: queued for the GUI thread.
  void QueueStatus(const char* status);

  void CreateProxy();
  void ApplySettings();
  void ResizeCaptureFrame(int width, int height);
  void OnStartPublishClick();
  void StopPublishing();
  void StartRecording();
  void StopRecording();
  void ShowErrorText(const std::wstring& text);
  void AddTrayIcon();
  void WriteDumpIni();
  void SetDumpStatus(const char* status);

  // Why start-up cannot go on (a window of the program could not be made);
  // empty when all is well.
  const std::string& StartupError() const { return m_startupError; }

  // What tests look at.
  bool IsLive() const { return m_live; }
  bool IsRecording() const { return m_recording; }
  int PublishSeconds() const { return m_publishSeconds; }
  int CurrentSource() const { return m_sourceKind; }
  std::shared_ptr<CScreenCaptureProxy> Proxy() const { return m_proxy; }
  CCaptureDlg* CaptureFrame() const { return m_captureFrame.get(); }
  CLoginWnd* LoginWindow() const { return m_loginWnd.get(); }
  const std::string& LastRecordFile() const { return m_lastRecordFile; }
  bool HasTimer(UINT id) const { return m_armedTimers.count(id) != 0; }
  bool HasTrayIcon() const { return m_trayAdded; }
  // Message boxes go through this (a test answers them without a modal loop).
  using MessageBoxFn = std::function<void(const std::wstring& text, const std::wstring& caption)>;
  void SetMessageBox(MessageBoxFn show) { m_messageBox = std::move(show); }

 protected:
  const wchar_t* GetWindowClassName() const override { return L"PubMainWnd"; }
  std::wstring GetSkinFile() override { return L"skin.xml"; }
  void InitWindow() override;
  void OnClick(TNotifyUI& msg) override;
  void Notify(TNotifyUI& msg) override;
  std::unique_ptr<CControlUI> CreateControl(const std::wstring& tag) override;
  LRESULT HandleCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

  void OnSelectChanged(TNotifyUI& msg);
  void OnItemClick(TNotifyUI& msg);
  void OnItemSelect(TNotifyUI& msg);
  void OnValueChanged(TNotifyUI& msg);
  void OnKillFocus(TNotifyUI& msg);
  DUILIB_DECLARE_MESSAGE_MAP()

 private:
  void FindControls();
  void FillMicrophoneList();
  void RestoreCamera();
  void SetupCrashHandler();
  void ApplyCaptureMode(COptionUI* option);
  void ApplyTypedSize(CControlUI* edit);
  void OpenExitDialog();
  void OpenSettingsModal();
  void OpenMediaFile();
  void BrowseRecordFolder();
  void OpenMenu(const std::wstring& file, POINT screenPoint, DWORD alignment);
  void OnMenuClick(WPARAM record);
  void Minimise();
  void RestoreFromTray();
  void RemoveTrayIcon();
  void ReactToStatus(const std::string& word);
  // The library could not write the recording (a full disk) and has ended it.
  void OnRecordingFailed();
  void OnPublishEvent(WPARAM code, LPARAM text);
  void OnPublishStarted();
  void OnTimer(UINT id);
  void ShowStatusText(const std::wstring& text, DWORD color);
  void SetStartImages(bool connected);
  void SetRecordImages(const wchar_t* normal, const wchar_t* hot);
  void StartTimer(UINT id, UINT ms);
  void StopTimer(UINT id);
  std::string NextRecordFile();
  void ShowMessage(const std::wstring& text, const std::wstring& caption);
  void DropShares();

  ScreenCaptureProxyWiring m_wiring;
  std::unique_ptr<StatusRelay> m_relay;
  std::unique_ptr<ProgramEventPump> m_pump;
  std::shared_ptr<CScreenCaptureProxy> m_proxy;
  std::unique_ptr<CLoginWnd> m_loginWnd;
  std::unique_ptr<CCaptureDlg> m_captureFrame;
  std::unique_ptr<CSettingDlg> m_settingDlg;
  std::unique_ptr<CCameraDevWnd> m_cameraDev;
  CStdStringPtrMap m_menuChecks{83};
  MessageBoxFn m_messageBox;

  bool m_live = false;
  bool m_recording = false;
  // StartPublish was accepted and StopPublish has not been called since: the
  // library refuses every later start until it is stopped.
  bool m_runStarted = false;
  int m_publishSeconds = 0;
  bool m_hasMicrophone = false;
  bool m_fileFailureShown = false;
  int m_sourceKind = kSourceDesktop;
  bool m_fullScreenCapture = false;
  bool m_lockSelected = false;
  int m_typedWidth = 480;
  int m_typedHeight = 360;
  std::vector<std::wstring> m_mediaFiles;
  std::set<UINT> m_armedTimers;
  bool m_trayAdded = false;
  std::string m_startupError;
  std::wstring m_settingsNotice;  // why the settings were reset; shown once
  std::string m_lastRecordFile;
  std::set<std::string> m_usedRecordFiles;

  CButtonUI* m_closeBtn = nullptr;
  CButtonUI* m_minBtn = nullptr;
  CButtonUI* m_settingBtn = nullptr;
  CButtonUI* m_cameraBtn = nullptr;
  CButtonUI* m_shareDeskBtn = nullptr;
  CButtonUI* m_mediaBtn = nullptr;
  CButtonUI* m_startBtn = nullptr;
  CButtonUI* m_recordBtn = nullptr;
  CLabelUI* m_pubTimeLabel = nullptr;
  CSliderUI* m_volumeSlider = nullptr;
  CLabelUI* m_volumeLabel = nullptr;
  COptionUI* m_nsOpen = nullptr;
  COptionUI* m_nsClose = nullptr;
  COptionUI* m_mixOpen = nullptr;
  COptionUI* m_mixClose = nullptr;
  CControlUI* m_wndMedia = nullptr;
  CControlUI* m_labelContainer = nullptr;
  CLabelUI* m_pubMsgLabel = nullptr;
  CLabelUI* m_pubMsgLabelDown = nullptr;
  CLabelUI* m_userNameLabel = nullptr;
  COptionUI* m_sysSetting = nullptr;
  COptionUI* m_manSetting = nullptr;
  CItemListUI* m_resolutionList = nullptr;
  CControlUI* m_resolutionContainer = nullptr;
  CEditUI* m_widthEdit = nullptr;
  CEditUI* m_heightEdit = nullptr;
  COptionUI* m_lockResolution = nullptr;
  COptionUI* m_ratioResolution = nullptr;
  CItemListUI* m_audioDevList = nullptr;
  CEditUI* m_recordPathEdit = nullptr;
  CButtonUI* m_recordPathBtn = nullptr;
};
