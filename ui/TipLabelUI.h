// A pop-up tip the settings dialog shows beside a control: a label that
// closes as soon as it loses the focus. Made with new; deletes itself once
// closed, so its owner keeps no pointer to it.
#pragma once
#include <string>

#include "platform/duilib/window_impl_base.h"

class CTipLabelUI : public WindowImplBase {
 public:
  CTipLabelUI() = default;
  void SetTipText(const std::wstring& text);
  // Brings the tip to the front at this screen point, with its skin's size.
  void ShowAt(int x, int y);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"CTipMenu"; }
  std::wstring GetSkinFile() override { return L"tipMenu.xml"; }
  void InitWindow() override;
  void OnFinalMessage(HWND hWnd) override;

 private:
  CControlUI* m_tipText = nullptr;
};
