// The message numbers and notification names the program's windows exchange
// through the window library, and the types they travel in. Messages are
// posted to a window (PostMessageW) and reach its HandleMessage on the GUI
// thread; notifications are sent by controls to the window's Notify.
#pragma once
#include <cstdint>
#include <string>

#include "platform/dshow/wave_format.h"  // RECT, shared with the capture layer

using UINT = unsigned int;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using DWORD = uint32_t;

struct POINT {
  int32_t x;
  int32_t y;
};
struct SIZE {
  int32_t cx;
  int32_t cy;
};

// Messages the library itself delivers.
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_MOVE = 0x0003;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_TIMER = 0x0113;

// The program's own messages.
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_SWITCH_SOURCE = 1025;       // camera picker -> main window; wParam = source kind
constexpr UINT WM_RESOLUTION_WARNING = 1027;  // a window to itself
constexpr UINT WM_MENUCLICK = 1145;           // menu -> owner; wParam = MenuClickRecord*
constexpr UINT WM_PUBLISH_EVENT = 4031;       // library proxy -> main window
constexpr UINT WM_TRAYICON = 32769;           // tray icon -> main window

// Notification types a control sends.
namespace notify_type {
inline constexpr const wchar_t* kClick = L"click";
inline constexpr const wchar_t* kSelectChanged = L"selectchanged";  // option selected or deselected
inline constexpr const wchar_t* kItemSelect = L"itemselect";        // list or combo: current item changed by the user
inline constexpr const wchar_t* kItemClick = L"itemclick";          // list: an item was clicked; sender is the item
inline constexpr const wchar_t* kValueChanged = L"valuechanged";    // slider
inline constexpr const wchar_t* kKillFocus = L"killfocus";          // edit lost the keyboard focus
inline constexpr const wchar_t* kTextChanged = L"textchanged";      // edit text typed by the user
inline constexpr const wchar_t* kReturn = L"return";                // Enter pressed in an edit
inline constexpr const wchar_t* kWindowSize = L"windowsize";        // the window's size changed; sender is the root
}  // namespace notify_type

class CControlUI;

struct TNotifyUI {
  std::wstring sType;
  CControlUI* pSender = nullptr;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

class INotifyUI {
 public:
  virtual ~INotifyUI() = default;
  virtual void Notify(TNotifyUI& msg) = 0;
};
