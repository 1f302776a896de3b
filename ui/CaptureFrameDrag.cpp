#include "ui/CaptureFrameDrag.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace {

bool MovesLeft(WPARAM hit) { return hit == HTLEFT || hit == HTTOPLEFT || hit == HTBOTTOMLEFT; }
bool MovesRight(WPARAM hit) { return hit == HTRIGHT || hit == HTTOPRIGHT || hit == HTBOTTOMRIGHT; }
bool MovesTop(WPARAM hit) { return hit == HTTOP || hit == HTTOPLEFT || hit == HTTOPRIGHT; }
bool MovesBottom(WPARAM hit) { return hit == HTBOTTOM || hit == HTBOTTOMLEFT || hit == HTBOTTOMRIGHT; }

QSize LargestSize() {
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->virtualGeometry().size() : QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
}

}  // namespace

CaptureFrameDrag::CaptureFrameDrag(QWidget* frame, QSize minimum) : m_frame(frame), m_minimum(minimum) {}

bool CaptureFrameDrag::Begin(WPARAM hit, POINT screen, bool resizable) {
  m_hit = 0;
  if (!m_frame) return false;
  const bool border = MovesLeft(hit) || MovesRight(hit) || MovesTop(hit) || MovesBottom(hit);
  if (hit != HTCAPTION && !(border && resizable)) return false;
  m_hit = hit;
  m_start = QPoint(screen.x, screen.y);
  m_startGeometry = m_frame->geometry();
  return true;
}

void CaptureFrameDrag::Follow(POINT screen) {
  if (!m_hit || !m_frame) return;
  const int dx = screen.x - m_start.x();
  const int dy = screen.y - m_start.y();
  if (m_hit == HTCAPTION) {
    // The client area's place, as geometry() reads it back.
    m_frame->setGeometry(m_startGeometry.translated(dx, dy));
    return;
  }
  m_frame->setGeometry(Resized(dx, dy));
}

QRect CaptureFrameDrag::Resized(int dx, int dy) const {
  const QSize largest = LargestSize();
  const int minWidth = std::min(m_minimum.width(), largest.width());
  const int minHeight = std::min(m_minimum.height(), largest.height());
  QRect r = m_startGeometry;
  // The edge opposite the one dragged stays where it is.
  if (MovesLeft(m_hit)) {
    int width = std::clamp(r.width() - dx, minWidth, largest.width());
    r.setLeft(r.right() + 1 - width);
  }
  if (MovesRight(m_hit)) r.setWidth(std::clamp(r.width() + dx, minWidth, largest.width()));
  if (MovesTop(m_hit)) {
    int height = std::clamp(r.height() - dy, minHeight, largest.height());
    r.setTop(r.bottom() + 1 - height);
  }
  if (MovesBottom(m_hit)) r.setHeight(std::clamp(r.height() + dy, minHeight, largest.height()));
  return r;
}
