// The fixed message box the main window shows (its text comes from the
// skin). Shown modal; its confirm button closes it with result 1. Made with
// new; deletes itself once closed.
#pragma once
#include <string>

#include "platform/duilib/window_impl_base.h"

class CMesageBoxUI : public WindowImplBase {
 public:
  CMesageBoxUI() = default;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"Messagebox"; }
  std::wstring GetSkinFile() override { return L"BaseWnd.xml"; }
  void InitWindow() override;
  void OnClick(TNotifyUI& msg) override;
  void OnFinalMessage(HWND hWnd) override;

 private:
  CControlUI* m_confirmBtn = nullptr;
};
