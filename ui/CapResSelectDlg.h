// The capture-size picker, opened modal from the main window's share menu.
// Lists the capture sizes of the configuration with the last chosen one
// selected; the list is fixed while the frame is locked or keeps the output
// ratio. Choosing a size applies it at once; confirming applies the selected
// size again and switches the published source to the desktop.
// GUI thread only. Who frees it after it closes is up to its creator.
#pragma once
#include <memory>

#include "platform/duilib/window_impl_base.h"

class CScreenCaptureProxy;
class CUserConfig;
class CItemListUI;
class ISourcePickerHost;

class CCapResSelectDlg : public WindowImplBase {
 public:
  // The host and the configuration must outlive the dialog; the proxy (the
  // host's) may be null.
  CCapResSelectDlg(ISourcePickerHost* host, std::shared_ptr<CScreenCaptureProxy> proxy);
  CCapResSelectDlg(ISourcePickerHost* host, std::shared_ptr<CScreenCaptureProxy> proxy, CUserConfig& config);

 protected:
  const wchar_t* GetWindowClassName() const override { return L"CapResSelectDlg"; }
  std::wstring GetSkinFile() override { return L"shareDeskWnd.xml"; }
  void InitWindow() override;
  void OnClick(TNotifyUI& msg) override;
  void OnItemSelect(TNotifyUI& msg);
  DUILIB_DECLARE_MESSAGE_MAP()

 private:
  void Confirm();

  ISourcePickerHost* const m_host;
  const std::shared_ptr<CScreenCaptureProxy> m_proxy;
  CUserConfig& m_config;
  CItemListUI* m_resolutionList = nullptr;
  CControlUI* m_confirmBtn = nullptr;
  CControlUI* m_cancelBtn = nullptr;
};
