#include "ui/ExitDlg.h"

void CExitDlg::InitWindow() {
  m_closeBtn = m_PaintManager.FindControl(L"closebtn");
  m_confirmBtn = m_PaintManager.FindControl(L"comfirm");
  m_cancelBtn = m_PaintManager.FindControl(L"cancel");
  m_exitText = m_PaintManager.FindControl(L"exitText");
}

void CExitDlg::SetExitText(const std::wstring& text) {
  if (m_exitText) m_exitText->SetText(text);
}

void CExitDlg::OnClick(TNotifyUI& msg) {
  if (msg.pSender == nullptr) {
    WindowImplBase::OnClick(msg);
    return;
  }
  if (msg.pSender == m_closeBtn || msg.pSender == m_cancelBtn) {
    PostMessageW(WM_CLOSE);
    return;
  }
  if (msg.pSender == m_confirmBtn) {
    PostMessageW(WM_CLOSE);
    CPaintManagerUI::PostQuitMessage(18);
  }
  WindowImplBase::OnClick(msg);
}

void CExitDlg::OnFinalMessage(HWND hWnd) {
  WindowImplBase::OnFinalMessage(hWnd);
  delete this;
}
