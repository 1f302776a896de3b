#include "ui/SettingDlg.h"

CSettingDlg::CSettingDlg(std::shared_ptr<CScreenCaptureProxy> proxy, CCaptureDlg* captureFrame)
    : m_proxy(std::move(proxy)), m_captureFrame(captureFrame) {}

void CSettingDlg::InitWindow() { m_closeBtn = m_PaintManager.FindControl(L"closebtn"); }

void CSettingDlg::OnClick(TNotifyUI& msg) {
  if (msg.pSender && msg.pSender == m_closeBtn) {
    Close(0);
    return;
  }
  WindowImplBase::OnClick(msg);
}
