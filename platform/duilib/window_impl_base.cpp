#include "platform/duilib/window_impl_base.h"

#include <QString>
#include <QWidget>

LRESULT WindowImplBase::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  bool handled = false;
  LRESULT result = HandleCustomMessage(message, wParam, lParam, handled);
  if (handled) return result;
  if (message == WM_SIZE) m_PaintManager.SendNotify(m_PaintManager.GetRoot(), notify_type::kWindowSize);
  return CWindowWnd::HandleMessage(message, wParam, lParam);
}

LRESULT WindowImplBase::HandleCustomMessage(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return 0;
}

void WindowImplBase::Notify(TNotifyUI& msg) {
  if (const MessageMapEntry* entry = GetMessageMap()) {
    for (; entry->type; ++entry) {
      if (msg.sType != entry->type) continue;
      if (entry->control && *entry->control && (!msg.pSender || msg.pSender->GetName() != entry->control)) continue;
      (this->*entry->handler)(msg);
      return;
    }
  }
  if (msg.sType == notify_type::kClick) OnClick(msg);
}

void WindowImplBase::OnClick(TNotifyUI&) {}

std::unique_ptr<CControlUI> WindowImplBase::CreateControl(const std::wstring&) { return nullptr; }

void WindowImplBase::OnFinalMessage(HWND) { m_PaintManager.RemoveNotifier(this); }

bool WindowImplBase::OnCreate(std::string& error) {
  LoadedLayout layout;
  std::string skin = QString::fromStdWString(GetSkinFile()).toStdString();
  if (!LoadLayoutFile(skin, this, layout, error)) return false;
  QWidget* client = GetWidget();
  m_PaintManager.Init(GetHWND(), client);
  m_PaintManager.SetInitSize(layout.size);
  m_PaintManager.SetCaptionRect(layout.caption);
  m_PaintManager.AttachRoot(std::move(layout.root));
  m_PaintManager.AddNotifier(this);
  // A window made without a size takes its layout's.
  if (client && !client->testAttribute(Qt::WA_Resized) && layout.size.cx > 0 && layout.size.cy > 0) {
    client->resize(layout.size.cx, layout.size.cy);
  }
  InitWindow();
  return true;
}
