// The capture frame's mouse: caption moves, border resizes, and in ratio
// mode the border drag that keeps the output picture's ratio.
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <climits>

#include "app/ScreenCaptureProxy.h"
#include "ui/CaptureDlg.h"
#include "ui/CaptureFrameDrag.h"

namespace {

// Single-precision results truncated toward zero, saturated so that a
// far-off pointer cannot overflow the conversion.
int Truncated(float value) {
  if (!(value > static_cast<float>(INT_MIN))) return INT_MIN;
  if (!(value < static_cast<float>(INT_MAX))) return INT_MAX;
  return static_cast<int>(value);
}

}  // namespace

LRESULT CCaptureDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  // A move or resize under way owns the pointer until the button comes up.
  if (m_drag && m_drag->IsActive() && FollowDrag(message, lParam)) return 0;
  if (m_mode == kModeRatio && HandleRatioMouse(message, lParam)) return 0;
  const LRESULT result = WindowImplBase::HandleMessage(message, wParam, lParam);
  // The library leaves presses on the caption and the border to the window.
  if (message == WM_NCLBUTTONDOWN && m_drag && GetHWND()) {
    const bool resizable = (GetStyle() & WS_THICKFRAME) && m_mode == kModeFree;
    m_drag->Begin(wParam, UnpackPoint(lParam), resizable);
  }
  return result;
}

bool CCaptureDlg::FollowDrag(UINT message, LPARAM lParam) {
  QWidget* frame = GetWidget();
  if (message == WM_MOUSEMOVE && frame) {
    const POINT client = UnpackPoint(lParam);
    const QPoint origin = frame->geometry().topLeft();
    m_drag->Follow(POINT{origin.x() + client.x, origin.y() + client.y});
    return true;
  }
  if (message == WM_LBUTTONUP || message == WM_NCLBUTTONUP) {
    m_drag->End();
    return true;
  }
  return false;
}

bool CCaptureDlg::HandleRatioMouse(UINT message, LPARAM lParam) {
  QWidget* frame = GetWidget();
  switch (message) {
    case WM_NCLBUTTONDOWN: {
      if (!frame) return false;
      const POINT screen = UnpackPoint(lParam);
      const QPoint origin = frame->geometry().topLeft();
      if (InCaption(POINT{screen.x - origin.x(), screen.y - origin.y()})) return false;
      // The press's own pointer grab keeps the moves coming to the frame
      // while the button is held, wherever the pointer goes.
      m_dragging = true;
      return true;
    }
    case WM_NCLBUTTONUP:
    case WM_LBUTTONUP:
      if (!m_dragging) return false;
      m_dragging = false;
      return true;
    case WM_MOUSEMOVE: {
      const POINT client = UnpackPoint(lParam);
      if (m_dragging && !InCaption(client)) ResizeKeepingRatio(client);
      return true;
    }
    default:
      return false;
  }
}

void CCaptureDlg::ResizeKeepingRatio(POINT point) {
  QWidget* frame = GetWidget();
  if (!frame || !m_proxy || point.x < 0 || point.y < 0) return;
  const int outputWidth = m_proxy->OutputWidth();
  const int outputHeight = m_proxy->OutputHeight();
  // Without a picture size there is no ratio to keep.
  if (outputWidth <= 0 || outputHeight <= 0) return;
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const float ratio = static_cast<float>(outputWidth) / static_cast<float>(outputHeight);
  const QRect desktop = screen->virtualGeometry();
  const int64_t desktopRight = int64_t{desktop.x()} + desktop.width();
  const int64_t desktopBottom = int64_t{desktop.y()} + desktop.height();

  const QRect window = frame->geometry();
  const int left = window.x();
  const int top = window.y();
  int width = 0;
  int height = 0;
  if (window.height() < window.width()) {
    width = point.x;
    height = Truncated(static_cast<float>(width) / ratio);
  } else {
    height = point.y;
    width = Truncated(static_cast<float>(height) * ratio);
  }
  // Both edges are checked against the size just computed, whichever border
  // was dragged: a tall frame grows sideways too.
  if (left + int64_t{width} > desktopRight) {
    width = static_cast<int>(desktopRight - left);
    height = Truncated(static_cast<float>(width) / ratio);
  }
  if (top + int64_t{height} > desktopBottom) {
    height = static_cast<int>(desktopBottom - top);
    width = Truncated(static_cast<float>(height) * ratio);
  }
  const QSize minimum = MinimumFrameSize();
  if (width < minimum.width() || height < minimum.height()) return;
  frame->setGeometry(left, top, width, height);
  frame->update();
}
