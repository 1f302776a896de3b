#include "ui/TipLabelUI.h"

#include <QWidget>

void CTipLabelUI::InitWindow() { m_tipText = m_PaintManager.FindControl(L"tipText"); }

void CTipLabelUI::SetTipText(const std::wstring& text) {
  if (m_tipText) m_tipText->SetText(text);
}

void CTipLabelUI::ShowAt(int x, int y) {
  QWidget* widget = GetWidget();
  if (widget == nullptr) return;
  const SIZE size = m_PaintManager.GetInitSize();
  ShowWindow(true, true);
  widget->raise();
  widget->activateWindow();
  widget->setGeometry(x, y, size.cx, size.cy);
}

LRESULT CTipLabelUI::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_KILLFOCUS) PostMessageW(WM_CLOSE, 1);
  return WindowImplBase::HandleMessage(message, wParam, lParam);
}

void CTipLabelUI::OnFinalMessage(HWND) { delete this; }
