#include "ui/MesageBoxUI.h"

void CMesageBoxUI::InitWindow() { m_confirmBtn = m_PaintManager.FindControl(L"comfirm"); }

void CMesageBoxUI::OnClick(TNotifyUI& msg) {
  if (msg.pSender != nullptr && msg.pSender == m_confirmBtn) {
    Close(1);
    return;
  }
  WindowImplBase::OnClick(msg);
}

void CMesageBoxUI::OnFinalMessage(HWND hWnd) {
  WindowImplBase::OnFinalMessage(hWnd);
  delete this;
}
