// Turns the capture frame's Qt mouse events into the window messages the
// frame handles: a left press becomes WM_NCLBUTTONDOWN (with the hit code the
// frame's hit test gives and the screen point) or WM_LBUTTONDOWN, moves become
// WM_MOUSEMOVE and the release WM_LBUTTONUP. Client points are taken against
// the frame's current position, so a frame that moved since the event was
// queued still sees where the pointer really is.
#pragma once
#include <QObject>
#include <functional>

#include "ui/FrameMessages.h"

class CWindowWnd;
class QWidget;

class CaptureFrameMouse : public QObject {
 public:
  using HitTest = std::function<WPARAM(POINT client)>;

  // Watches the frame's top-level window; the window must outlive this object.
  CaptureFrameMouse(CWindowWnd* window, HitTest hitTest);
  ~CaptureFrameMouse() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  CWindowWnd* const m_window;
  const HitTest m_hitTest;
};
