#include "ui/ScreenPixels.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <cmath>

namespace {

// Qt keeps a screen's top-left corner where it is and scales the distances
// from it.
int ToPixels(int logical, int origin, qreal ratio) {
  return origin + static_cast<int>(std::lround((logical - origin) * ratio));
}

CaptureRect ToPixels(const QScreen& screen, int left, int top, int right, int bottom) {
  const qreal ratio = screen.devicePixelRatio();
  const QPoint origin = screen.geometry().topLeft();
  return CaptureRect{ToPixels(left, origin.x(), ratio), ToPixels(top, origin.y(), ratio),
                     ToPixels(right, origin.x(), ratio), ToPixels(bottom, origin.y(), ratio)};
}

}  // namespace

CaptureRect CaptureControlInScreenPixels(const RECT& logical, int border, int proxyInset) {
  const QRect area(QPoint(logical.left, logical.top), QPoint(logical.right - 1, logical.bottom - 1));
  const QScreen* screen = QGuiApplication::screenAt(area.center());
  if (!screen) screen = QGuiApplication::primaryScreen();
  const CaptureRect plain{logical.left, logical.top, logical.right, logical.bottom};
  if (!screen || screen->devicePixelRatio() == 1.0) return plain;
  CaptureRect inside = ToPixels(*screen, logical.left + border, logical.top + border, logical.right - border,
                                logical.bottom - border);
  inside.left -= proxyInset;
  inside.top -= proxyInset;
  inside.right += proxyInset;
  inside.bottom += proxyInset;
  return inside;
}

CaptureRect ScreenInScreenPixels(const QScreen& screen) {
  const QRect all = screen.geometry();
  return ToPixels(screen, all.left(), all.top(), all.left() + all.width(), all.top() + all.height());
}
