#include "ui/CaptureFrameSize.h"

#include <QWidget>

#include "ui/CaptureDlg.h"

void ShowCaptureFrameSized(CCaptureDlg& frame, int width, int height) {
  QWidget* widget = frame.GetWidget();
  if (!widget) return;
  // Shown without taking the focus: the window that asked keeps it.
  frame.ShowWindow(true, false);
  widget->resize(width + kCaptureFrameExtraWidth, height + kCaptureFrameExtraHeight);
}
