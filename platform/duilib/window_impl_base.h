// The base of the program's skinned windows: loads the window's layout when
// the window is created, hands control notifications to the window's message
// map and clicks to OnClick, and lets the window see every message first in
// HandleCustomMessage.
#pragma once
#include <cstddef>
#include <memory>
#include <string>

#include "platform/duilib/layout_loader.h"
#include "platform/duilib/paint_manager.h"
#include "platform/duilib/window_wnd.h"

class WindowImplBase;

using NotifyHandler = void (WindowImplBase::*)(TNotifyUI& msg);

// One row of a message map: notifications of this type (from the named
// control, or from any control when the name is empty) go to the handler.
struct MessageMapEntry {
  const wchar_t* type;
  const wchar_t* control;
  NotifyHandler handler;
};

// A window's message map, declared in the class and defined beside it:
//   class CMyWnd : public WindowImplBase { DUILIB_DECLARE_MESSAGE_MAP() ... };
//   DUILIB_BEGIN_MESSAGE_MAP(CMyWnd)
//     DUILIB_ON_NOTIFY(notify_type::kItemSelect, OnItemSelect)
//   DUILIB_END_MESSAGE_MAP()
#define DUILIB_DECLARE_MESSAGE_MAP() const MessageMapEntry* GetMessageMap() const override;
#define DUILIB_BEGIN_MESSAGE_MAP(theClass)                    \
  const MessageMapEntry* theClass::GetMessageMap() const {  \
    using ThisClass = theClass;                               \
    static const MessageMapEntry entries[] = {
#define DUILIB_ON_NOTIFY(type, handler) {type, L"", static_cast<NotifyHandler>(&ThisClass::handler)},
#define DUILIB_ON_NOTIFY_CONTROL(type, name, handler) {type, name, static_cast<NotifyHandler>(&ThisClass::handler)},
#define DUILIB_END_MESSAGE_MAP() \
  {nullptr, nullptr, nullptr}};  \
  return entries;                \
  }

class WindowImplBase : public CWindowWnd, public INotifyUI, public IDialogBuilderCallback {
 public:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  // Dispatches the message map; a click nobody mapped goes to OnClick.
  void Notify(TNotifyUI& msg) override;
  std::unique_ptr<CControlUI> CreateControl(const std::wstring& tag) override;

  CPaintManagerUI& GetPaintManager() { return m_PaintManager; }

 protected:
  virtual std::wstring GetSkinFile() = 0;
  // After the layout is loaded, before the window is first shown.
  virtual void InitWindow() {}
  virtual void OnClick(TNotifyUI& msg);
  // Sees every message first; set handled to stop the library's handling.
  virtual LRESULT HandleCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  // Ends with a {nullptr, nullptr, nullptr} row.
  virtual const MessageMapEntry* GetMessageMap() const { return nullptr; }

  void OnFinalMessage(HWND hWnd) override;
  bool OnCreate(std::string& error) override;

  CPaintManagerUI m_PaintManager;
};
