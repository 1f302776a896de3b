// The exit confirmation the main window opens from its close button. Confirm
// ends the program's message loop with exit code 18; close and cancel leave
// everything as it was. Made with new; deletes itself once closed.
#pragma once
#include <string>

#include "platform/duilib/window_impl_base.h"

class CExitDlg : public WindowImplBase {
 public:
  CExitDlg() = default;
  // Replaces the skin's question (the main window asks differently while
  // live).
  void SetExitText(const std::wstring& text);

 protected:
  const wchar_t* GetWindowClassName() const override { return L"EXITDLG"; }
  std::wstring GetSkinFile() override { return L"exitDlg.xml"; }
  void InitWindow() override;
  void OnClick(TNotifyUI& msg) override;
  void OnFinalMessage(HWND hWnd) override;

 private:
  CControlUI* m_closeBtn = nullptr;
  CControlUI* m_confirmBtn = nullptr;
  CControlUI* m_cancelBtn = nullptr;
  CControlUI* m_exitText = nullptr;
};
