// Moves and resizes a frameless window by the pointer, without a window
// manager: a press on the caption moves the window, a press on a border (when
// the window is resizable) moves that border. The size never drops below the
// given minimum nor grows beyond the virtual screen.
#pragma once
#include <QRect>
#include <QSize>

#include "ui/FrameMessages.h"

class QWidget;

class CaptureFrameDrag {
 public:
  CaptureFrameDrag(QWidget* frame, QSize minimum);

  // False when the hit code starts neither a move nor a resize.
  bool Begin(WPARAM hit, POINT screen, bool resizable);
  bool IsActive() const { return m_hit != 0; }
  void Follow(POINT screen);
  void End() { m_hit = 0; }

 private:
  QRect Resized(int dx, int dy) const;

  QWidget* const m_frame;
  const QSize m_minimum;
  WPARAM m_hit = 0;
  QPoint m_start;
  QRect m_startGeometry;
};
