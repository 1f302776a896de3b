// Sizes the capture frame so that its inside (the published rectangle) is
// width x height: the frame adds its 3-pixel border on each side and its
// caption row. The frame keeps its top-left corner and is shown.
#pragma once

class CCaptureDlg;

// The frame's outer size around an inside of 0 x 0.
constexpr int kCaptureFrameExtraWidth = 6;
constexpr int kCaptureFrameExtraHeight = 37;

void ShowCaptureFrameSized(CCaptureDlg& frame, int width, int height);
