// CVideoWindowRender, the renderer of the preview's graphs: draws each RGB24
// picture scaled over its owner window, on an X connection of its own used
// only by the graph's streaming thread (and by the thread that makes and
// releases the filter, before and after streaming). It stands where the
// graph would otherwise hold the system's video mixing renderer.
#pragma once
#include <X11/Xlib.h>

#include <atomic>
#include <memory>

#include "capture/VideoRenderRGB.h"
#include "platform/outside/win_types.h"

class WindowBlitter;
class XConnectionWatch;

class CVideoWindowRender : public CVideoRenderRGB {
 public:
  // Connects to the X server of DISPLAY; *hr is E_FAIL without one.
  explicit CVideoWindowRender(HRESULT* hr);
  ~CVideoWindowRender() override;

  // The window the pictures are drawn in (0: none); they fill its current
  // size. Nothing is drawn while it is not shown.
  void SetOwner(HWND window) { m_owner = window; }

  HRESULT DoRenderSample(IMediaSample* sample) override;

 private:
  Display* m_display = nullptr;
  std::unique_ptr<XConnectionWatch> m_watch;
  std::unique_ptr<WindowBlitter> m_blitter;
  std::atomic<HWND> m_owner{0};
};

// The renderer with one reference taken, or null (*hr tells why).
CVideoWindowRender* CreateVideoWindowRender(HRESULT* hr);
