// The capture frame: a frameless, top-most window on the desktop whose inside
// is the screen rectangle being published. The presenter moves it by its
// caption and resizes it by its border; in ratio mode the border keeps the
// output picture's width-to-height ratio, in lock mode it does not resize.
// Every move and resize reports the capture control's rectangle (screen
// coordinates, its 3-pixel border included) to the CCaptureNotify sink, the
// main window. The inside is cut out of the window's shape, so the published
// picture never shows the frame and clicks there reach the windows below.
//
// Created hidden by the main window, on the GUI thread; everything runs there.
#pragma once
#include <memory>
#include <mutex>

#include <QRect>
#include <QSize>

#include "platform/duilib/window_impl_base.h"
#include "ui/FrameMessages.h"

class CScreenCaptureProxy;
class CaptureFrameDrag;

// The capture control's border inside the rectangle it reports; the library
// proxy takes as many pixels off every side of what it is given.
constexpr int kCaptureFrameBorder = 3;
class CaptureFrameMouse;
class DialogsAboveFrame;

class CCaptureDlg : public WindowImplBase {
 public:
  class CCaptureNotify {
   public:
    virtual ~CCaptureNotify() = default;
    virtual void OnCaptureRect(const RECT* rect) = 0;
  };

  enum Mode { kModeFree = 1, kModeLock = 2, kModeRatio = 3 };

  // The sink is not owned and must outlive the frame.
  explicit CCaptureDlg(CCaptureNotify* notify);
  // Destroys the native window first, so the quit message is posted either way.
  ~CCaptureDlg() override;

  // As the library's Create, but the native window is frameless, top-most
  // and a tool window from birth: on X11 a window whose kind changes after it
  // exists is remade with a new id, and the HWND would no longer name it.
  HWND Create(HWND parent, const std::wstring& name, DWORD style, DWORD exStyle, int x = 0, int y = 0, int cx = 0,
              int cy = 0);
  void SetProxy(std::shared_ptr<CScreenCaptureProxy> proxy);
  // Free, lock or ratio; any other value is ignored.
  void SetMode(int mode);
  int GetMode() const { return m_mode; }
  RECT GetLastRect() const;
  // The frame ignores close requests; its owner ends it with this.
  void Destroy();

  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  // Client point of the dragged border; sizes the frame to the output ratio.
  void ResizeKeepingRatio(POINT point);

 protected:
  const wchar_t* GetWindowClassName() const override { return L"CaptureDlg"; }
  std::wstring GetSkinFile() override { return L"capture.xml"; }
  void InitWindow() override;
  LRESULT HandleCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  void OnWindowSize(TNotifyUI& msg);
  DUILIB_DECLARE_MESSAGE_MAP()

 private:
  void ReportRect();
  void ApplyFrameLook();
  void SettleLayout();
  void CutOutInside();
  // The part of the capture control inside its border, client coordinates.
  QRect InsideRect() const;
  QSize MinimumFrameSize() const;
  bool InCaption(POINT client) const;
  WPARAM HitTest(POINT client) const;
  bool HandleRatioMouse(UINT message, LPARAM lParam);
  bool FollowDrag(UINT message, LPARAM lParam);

  CCaptureNotify* const m_notify;
  std::shared_ptr<CScreenCaptureProxy> m_proxy;
  CControlUI* m_capture = nullptr;
  CControlUI* m_widthLabel = nullptr;
  CControlUI* m_heightLabel = nullptr;
  int m_mode = kModeFree;
  bool m_dragging = false;  // a ratio-keeping border drag is under way
  std::unique_ptr<CaptureFrameDrag> m_drag;
  std::unique_ptr<CaptureFrameMouse> m_mouse;
  std::unique_ptr<DialogsAboveFrame> m_dialogsAbove;

  // Recursive: a sink may read the last rectangle while it is being told of it.
  mutable std::recursive_mutex m_rectLock;
  RECT m_lastRect{0, 0, 0, 0};
};
