// The settings dialog, opened by the main window at login and from its
// settings button. Who frees it after it closes is up to its creator.
#pragma once
#include <memory>

#include "platform/duilib/window_impl_base.h"

class CScreenCaptureProxy;
class CCaptureDlg;

class CSettingDlg : public WindowImplBase {
 public:
  // Either may be null.
  CSettingDlg(std::shared_ptr<CScreenCaptureProxy> proxy, CCaptureDlg* captureFrame);

 protected:
  const wchar_t* GetWindowClassName() const override { return L"CSettingDlg"; }
  std::wstring GetSkinFile() override { return L"setting.xml"; }
  void InitWindow() override;
  void OnClick(TNotifyUI& msg) override;

 private:
  const std::shared_ptr<CScreenCaptureProxy> m_proxy;
  CCaptureDlg* const m_captureFrame;
  CControlUI* m_closeBtn = nullptr;
};
