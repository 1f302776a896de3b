#include "ui/CaptureDlg.h"

#include <QLayout>
#include <QPalette>
#include <QRegion>
#include <QWidget>
#include <string>

#include "ui/CaptureFrameDrag.h"
#include "ui/CaptureFrameMouse.h"
#include "ui/DialogsAboveFrame.h"

namespace {

constexpr int kCaptureBorder = kCaptureFrameBorder;
// The outer band of the frame that resizes it; wider near the corners.
constexpr int kSizeBox = 3;
constexpr int kCornerGrip = 12;
constexpr QRgb kFrameColour = 0xFFF13B3B;

}  // namespace

DUILIB_BEGIN_MESSAGE_MAP(CCaptureDlg)
DUILIB_ON_NOTIFY(notify_type::kWindowSize, OnWindowSize)
DUILIB_END_MESSAGE_MAP()

CCaptureDlg::CCaptureDlg(CCaptureNotify* notify) : m_notify(notify) {}

CCaptureDlg::~CCaptureDlg() {
  m_dialogsAbove.reset();
  m_mouse.reset();
  Destroy();
}

HWND CCaptureDlg::Create(HWND parent, const std::wstring& name, DWORD style, DWORD exStyle, int x, int y, int cx,
                         int cy) {
  // The tool-window toggle is made here rather than in InitWindow: by then
  // the native window exists and its kind can no longer change.
  return CWindowWnd::Create(parent, name, (style | WS_POPUP) & ~WS_CAPTION,
                            (exStyle ^ WS_EX_TOOLWINDOW) | WS_EX_TOPMOST, x, y, cx, cy);
}

void CCaptureDlg::SetProxy(std::shared_ptr<CScreenCaptureProxy> proxy) { m_proxy = std::move(proxy); }

void CCaptureDlg::SetMode(int mode) {
  if (mode != kModeFree && mode != kModeLock && mode != kModeRatio) return;
  m_mode = mode;
  if (m_mode != kModeRatio) m_dragging = false;
}

RECT CCaptureDlg::GetLastRect() const {
  std::lock_guard<std::recursive_mutex> hold(m_rectLock);
  return m_lastRect;
}

void CCaptureDlg::Destroy() {
  if (m_drag) m_drag->End();
  m_dragging = false;
  DestroyWindow(0);
}

void CCaptureDlg::InitWindow() {
  SetStyle(GetStyle() & WS_THICKFRAME);
  m_capture = m_PaintManager.FindControl(L"capture");
  m_widthLabel = m_PaintManager.FindControl(L"widthLabel");
  m_heightLabel = m_PaintManager.FindControl(L"heightLabel");
  ApplyFrameLook();
  m_drag = std::make_unique<CaptureFrameDrag>(GetWidget(), MinimumFrameSize());
  m_mouse = std::make_unique<CaptureFrameMouse>(this, [this](POINT client) { return HitTest(client); });
  // Top-most, the frame would otherwise lie over the program's own dialogs.
  m_dialogsAbove = std::make_unique<DialogsAboveFrame>(GetWidget());
  PostMessageW(WM_PAINT);
}

void CCaptureDlg::ApplyFrameLook() {
  QWidget* frame = GetWidget();
  if (!frame) return;
  QPalette palette = frame->palette();
  palette.setColor(QPalette::Window, QColor::fromRgba(kFrameColour));
  frame->setPalette(palette);
  frame->setAutoFillBackground(true);
  frame->setMinimumSize(MinimumFrameSize());
}

QSize CCaptureDlg::MinimumFrameSize() const {
  // At least one pixel of inside below the caption.
  const RECT caption = m_PaintManager.GetCaptionRect();
  const int captionHeight = caption.bottom > 0 ? caption.bottom : 0;
  return QSize(2 * kCaptureBorder + 1, captionHeight + 2 * kCaptureBorder + 1);
}

LRESULT CCaptureDlg::HandleCustomMessage(UINT message, WPARAM, LPARAM, bool& handled) {
  handled = false;
  switch (message) {
    case WM_DESTROY:
      CPaintManagerUI::PostQuitMessage(0);
      handled = true;
      break;
    case WM_CLOSE:
      // The frame lives as long as the main window; a close request from the
      // window manager or a stray WM_CLOSE must not take it away.
      handled = true;
      break;
    case WM_MOVE:
      ReportRect();
      break;
    case WM_PAINT:
      if (QWidget* frame = GetWidget()) frame->update();
      break;
    default:
      break;
  }
  return 0;
}

void CCaptureDlg::OnWindowSize(TNotifyUI&) {
  SettleLayout();
  if (m_capture && m_widthLabel && m_heightLabel) {
    const RECT pos = m_capture->GetPos();
    m_widthLabel->SetText(std::to_wstring(pos.right - pos.left - 2 * kCaptureBorder));
    m_heightLabel->SetText(std::to_wstring(pos.bottom - pos.top - 2 * kCaptureBorder));
  }
  CutOutInside();
  ReportRect();
}

void CCaptureDlg::SettleLayout() {
  // A hidden window's layouts only follow its size once it is shown; the
  // capture control's place is needed now, for the labels and the report.
  QWidget* frame = GetWidget();
  if (!frame) return;
  QList<QWidget*> widgets{frame};
  widgets += frame->findChildren<QWidget*>();
  for (QWidget* widget : widgets) {
    if (QLayout* layout = widget->layout()) layout->setGeometry(widget->contentsRect());
  }
}

void CCaptureDlg::CutOutInside() {
  QWidget* frame = GetWidget();
  if (!frame || !m_capture) return;
  const QRect inside = InsideRect();
  if (inside.isEmpty()) {
    frame->clearMask();
    return;
  }
  frame->setMask(QRegion(frame->rect()).subtracted(QRegion(inside)));
}

QRect CCaptureDlg::InsideRect() const {
  if (!m_capture) return QRect();
  const RECT pos = m_capture->GetPos();
  return QRect(pos.left, pos.top, pos.right - pos.left, pos.bottom - pos.top)
      .adjusted(kCaptureBorder, kCaptureBorder, -kCaptureBorder, -kCaptureBorder);
}

void CCaptureDlg::ReportRect() {
  QWidget* frame = GetWidget();
  if (!m_capture || !frame) return;
  const RECT pos = m_capture->GetPos();
  const QPoint origin = frame->geometry().topLeft();
  const int left = origin.x() + pos.left;
  const int top = origin.y() + pos.top;
  const RECT rect{left, top, left + (pos.right - pos.left), top + (pos.bottom - pos.top)};
  std::lock_guard<std::recursive_mutex> hold(m_rectLock);
  m_lastRect = rect;
  if (m_notify) m_notify->OnCaptureRect(&rect);
}

bool CCaptureDlg::InCaption(POINT client) const {
  const QWidget* frame = GetWidget();
  if (!frame) return false;
  const RECT caption = m_PaintManager.GetCaptionRect();
  const int bottom = caption.bottom == -1 ? frame->height() : caption.bottom;
  return client.x >= caption.left && client.x < frame->width() - caption.right && client.y >= caption.top &&
         client.y < bottom;
}

WPARAM CCaptureDlg::HitTest(POINT client) const {
  const QWidget* frame = GetWidget();
  if (!frame) return HTCLIENT;
  const int w = frame->width();
  const int h = frame->height();
  const bool left = client.x < kSizeBox, right = client.x >= w - kSizeBox;
  const bool top = client.y < kSizeBox, bottom = client.y >= h - kSizeBox;
  if (left || right || top || bottom) {
    const bool side = left || right, end = top || bottom;
    const bool atTop = top || (side && client.y < kCornerGrip);
    const bool atBottom = bottom || (side && client.y >= h - kCornerGrip);
    const bool atLeft = left || (end && client.x < kCornerGrip);
    const bool atRight = right || (end && client.x >= w - kCornerGrip);
    if (atTop) return atLeft ? HTTOPLEFT : atRight ? HTTOPRIGHT : HTTOP;
    if (atBottom) return atLeft ? HTBOTTOMLEFT : atRight ? HTBOTTOMRIGHT : HTBOTTOM;
    return atLeft ? HTLEFT : HTRIGHT;
  }
  if (InCaption(client)) return HTCAPTION;
  // Above the inside is the capture border's top strip: it moves the frame
  // like the caption does.
  if (m_capture && !InsideRect().contains(client.x, client.y)) return HTCAPTION;
  return HTCLIENT;
}
