// The presenter's settings window: the output size (a preset from a list or
// a typed width and height), the capture frame's mode (free, lock, ratio),
// the microphone and the recording folder. Every choice takes effect at once,
// in the user configuration, in the library proxy and on the capture frame;
// confirm and close only close the window.
//
// The main window makes one hidden at login, so the saved output size and
// frame mode reach the proxy and the frame through this window's own
// start-up, and a new one, shown modal, for its settings button. GUI thread
// only. Who frees it after it closes is up to its creator.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "platform/duilib/window_impl_base.h"
#include "ui/FolderPicker.h"

class CScreenCaptureProxy;
class CCaptureDlg;
class CUserConfig;
class CPublishParams;
class CItemListUI;
class COptionUI;
class CTabLayoutUI;
struct UserConfigValues;

class CSettingDlg : public WindowImplBase {
 public:
  // Either may be null. Reads and writes the program-wide configuration and
  // publish parameters, and asks for folders with the system's dialog.
  CSettingDlg(std::shared_ptr<CScreenCaptureProxy> proxy, CCaptureDlg* captureFrame);
  // The configuration and parameters must outlive the window.
  CSettingDlg(std::shared_ptr<CScreenCaptureProxy> proxy, CCaptureDlg* captureFrame, CUserConfig& config,
              CPublishParams& publishParams, FolderChooser chooseFolder);
  ~CSettingDlg() override;

  void Notify(TNotifyUI& msg) override;

  // Shows the capture frame with an inside of width x height, at its place.
  void ResizeCaptureFrame(int width, int height);
  // "WxH", as the capture-size texts are written.
  void ParseResolution(const std::wstring& text);

 protected:
  const wchar_t* GetWindowClassName() const override { return L"CSettingDlg"; }
  std::wstring GetSkinFile() override { return L"setting.xml"; }
  void InitWindow() override;
  void OnClick(TNotifyUI& msg) override;
  LRESULT HandleCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  void OnFinalMessage(HWND hWnd) override;

  void OnSelectChanged(TNotifyUI& msg);
  void OnItemSelect(TNotifyUI& msg);
  void OnTextChanged(TNotifyUI& msg);
  void OnKillFocus(TNotifyUI& msg);
  DUILIB_DECLARE_MESSAGE_MAP()

 private:
  void ChangeConfig(const std::function<void(UserConfigValues&)>& change);

  // Start-up (SettingDlg.cpp).
  void FindControls();
  void FillResolutionList();
  void FillMicrophoneList();
  void SelectSavedMode();
  void ShowTip(CControlUI* button, const std::wstring& text);
  // The typed-size tip, beside its own button.
  void ShowTypedSizeTip();
  void CloseOpenTip();
  void BrowseRecordFolder();
  void ChooseMicrophone();

  // Output size and the capture frame's mode (SettingDlgOutput.cpp).
  void ChooseListedSize(LPARAM previousIndex);
  void TakeTypedSize(CControlUI* edit);
  void RejectTypedSize(CControlUI* edit, int kept);
  // The typed size is not the one typed: the tip says what is allowed.
  void TellTypedSizeChanged();
  void OnLockChanged();
  void OnRatioChanged();
  // Saved mode (m_lockMode numbering): the frame's mode, its resizable
  // border and the configuration follow it.
  void ApplyMode(int savedMode);
  void ResizeToOutputSize();
  void ShowCaptureFrame();

  const std::shared_ptr<CScreenCaptureProxy> m_proxy;
  CCaptureDlg* const m_captureFrame;
  CUserConfig& m_config;
  CPublishParams& m_publishParams;
  const FolderChooser m_chooseFolder;

  CControlUI* m_closeBtn = nullptr;
  CControlUI* m_confirmBtn = nullptr;
  CControlUI* m_manTip = nullptr;
  CControlUI* m_lockTip = nullptr;
  CControlUI* m_ratioTip = nullptr;
  COptionUI* m_presetSizes = nullptr;
  COptionUI* m_typedSizes = nullptr;
  CItemListUI* m_resolutionList = nullptr;
  CControlUI* m_resolutionContainer = nullptr;
  CControlUI* m_widthEdit = nullptr;
  CControlUI* m_heightEdit = nullptr;
  COptionUI* m_lockOption = nullptr;
  COptionUI* m_ratioOption = nullptr;
  CItemListUI* m_micList = nullptr;
  CControlUI* m_recordOption = nullptr;
  CControlUI* m_recordPathEdit = nullptr;
  CControlUI* m_recordPathBtn = nullptr;
  CTabLayoutUI* m_pages = nullptr;

  bool m_lockSelected = false;
  int m_typedWidth = 480;
  int m_typedHeight = 360;
  // The tip on show, by handle: it closes itself when it loses the focus,
  // and the handle is checked before use, so no pointer to it is kept.
  HWND m_openTip = 0;
  // A typed size changed as a press took the focus from its edit: the click
  // of that press does not close the window.
  bool m_closeHeld = false;
  class ReleaseWatch;
  std::unique_ptr<ReleaseWatch> m_releaseWatch;
};
