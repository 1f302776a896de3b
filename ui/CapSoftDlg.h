// The application-window picker, opened modal from the main window's share
// menu. Lists the titled windows of the desktop under "请选择"; choosing one
// makes the library capture that window, confirming switches the published
// source to the desktop capture. Made with new; deletes itself once its
// native window is gone. GUI thread only.
#pragma once
#include <map>
#include <memory>
#include <string>

#include "platform/duilib/window_impl_base.h"
#include "ui/TopLevelWindows.h"

class CScreenCaptureProxy;
class CItemListUI;
class ISourcePickerHost;

class CCapSoftDlg : public WindowImplBase {
 public:
  // The host must outlive the dialog; the proxy may be null. listWindows is
  // asked when the dialog opens and again before a chosen window is used.
  CCapSoftDlg(std::shared_ptr<CScreenCaptureProxy> proxy, ISourcePickerHost* host,
              TopLevelWindowLister listWindows = ListOtherProgramsWindows);

  static const wchar_t* PleaseChooseText() { return L"请选择"; }

 protected:
  const wchar_t* GetWindowClassName() const override { return L"CapSoftDlg"; }
  std::wstring GetSkinFile() override { return L"shareSoftWnd.xml"; }
  void InitWindow() override;
  void OnClick(TNotifyUI& msg) override;
  void OnFinalMessage(HWND hWnd) override;
  void OnItemSelect(TNotifyUI& msg);
  DUILIB_DECLARE_MESSAGE_MAP()

 private:
  bool StillListed(HWND window) const;

  const std::shared_ptr<CScreenCaptureProxy> m_proxy;
  ISourcePickerHost* const m_host;
  const TopLevelWindowLister m_listWindows;
  std::map<std::wstring, HWND> m_windows;  // title -> window
  CItemListUI* m_softwareList = nullptr;
  CControlUI* m_confirmBtn = nullptr;
  CControlUI* m_cancelBtn = nullptr;
};
