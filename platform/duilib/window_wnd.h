// A top-level window of the program: a Qt widget whose title is the window's
// name and whose X11 window id is its HWND. Messages posted to it, the
// native close, size, move, focus and timer events all reach HandleMessage
// on the GUI thread. Create, Show and ShowModal belong to the GUI thread;
// PostMessageW may be called from any thread.
#pragma once
#include <atomic>
#include <map>
#include <memory>
#include <string>

#include "platform/duilib/ui_events.h"
#include "platform/duilib/window_messages.h"
#include "strivon/WindowHandle.h"

class QWidget;
class QEventLoop;
class WindowHost;

// The style bits the windows pass to Create and read back.
constexpr DWORD WS_POPUP = 0x80000000u;
constexpr DWORD WS_VISIBLE = 0x10000000u;
constexpr DWORD WS_CLIPSIBLINGS = 0x04000000u;
constexpr DWORD WS_CLIPCHILDREN = 0x02000000u;
constexpr DWORD WS_CAPTION = 0x00C00000u;
constexpr DWORD WS_BORDER = 0x00800000u;
constexpr DWORD WS_SYSMENU = 0x00080000u;
constexpr DWORD WS_THICKFRAME = 0x00040000u;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000u;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000u;
constexpr DWORD WS_OVERLAPPEDWINDOW = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr DWORD WS_POPUPWINDOW = WS_POPUP | WS_BORDER | WS_SYSMENU;
constexpr DWORD WS_EX_TOPMOST = 0x00000008u;
constexpr DWORD WS_EX_TOOLWINDOW = 0x00000080u;

// Style sets the program's windows are created with.
constexpr DWORD UI_WNDSTYLE_FRAME = WS_VISIBLE | WS_OVERLAPPEDWINDOW;
constexpr DWORD UI_WNDSTYLE_DIALOG = WS_VISIBLE | WS_POPUPWINDOW | WS_CAPTION | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;

class CWindowWnd {
 public:
  CWindowWnd();
  virtual ~CWindowWnd();
  CWindowWnd(const CWindowWnd&) = delete;
  CWindowWnd& operator=(const CWindowWnd&) = delete;

  // 0 when the window could not be made; GetCreateError then says why.
  // A zero width or height leaves the size to the window (its layout).
  HWND Create(HWND parent, const std::wstring& name, DWORD style, DWORD exStyle, int x = 0, int y = 0, int cx = 0,
              int cy = 0);
  const std::string& GetCreateError() const { return m_createError; }
  HWND GetHWND() const { return m_hwnd; }
  QWidget* GetWidget() const;

  void CenterWindow();
  void ShowWindow(bool show = true, bool takeFocus = true);
  // Shows the window modal to the application and returns the code its
  // Close was given once the window is gone.
  UINT ShowModal();
  // Posts WM_CLOSE; the code is what ShowModal returns.
  void Close(UINT code = 1);
  bool PostMessageW(UINT message, WPARAM wParam = 0, LPARAM lParam = 0, MessagePayloadRelease release = nullptr);

  // WM_TIMER with wParam = id every ms milliseconds until KillTimer.
  bool SetTimer(UINT id, UINT ms);
  void KillTimer(UINT id);

  DWORD GetStyle() const { return m_style; }
  void SetStyle(DWORD style) { m_style = style; }
  DWORD GetExStyle() const { return m_exStyle; }
  // Applies the top-most bit at once; the tool-window bit is kept for the
  // window to read back.
  void SetExStyle(DWORD exStyle);

  // Every message, posted or native, arrives here on the GUI thread. The
  // default closes the window on WM_CLOSE.
  virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

 protected:
  virtual const wchar_t* GetWindowClassName() const = 0;
  // Runs once the native window exists, before it is shown; false fails
  // Create with the error given.
  virtual bool OnCreate(std::string& error);
  // After the native window is gone; a window may delete itself here.
  virtual void OnFinalMessage(HWND hWnd);
  // Hides and forgets the native window, then OnFinalMessage.
  void DestroyWindow(UINT code = 0);

 private:
  friend class WindowHost;
  void DispatchTimer(int qtTimerId);
  // The widget was deleted by Qt (with its parent's); the window is gone.
  void HostGone();

  WindowHost* m_host = nullptr;
  // Read by PostMessageW on any thread while the GUI thread may clear it.
  std::atomic<HWND> m_hwnd{0};
  DWORD m_style = 0;
  DWORD m_exStyle = 0;
  std::string m_createError;
  QEventLoop* m_modalLoop = nullptr;
  std::map<UINT, int> m_timers;  // window timer id -> Qt timer id
  // Lets a running ShowModal tell whether the window was deleted under it.
  std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
