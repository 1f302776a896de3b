// The preview window the publish manager draws every outgoing picture in,
// inside the host's window. The manager creates it when a run starts and
// releases it when the run stops, after its send thread has ended.
#pragma once
#include <string>

#include "platform/dshow/com_types.h"
#include "platform/outside/win_types.h"

class IVideoShowVMR {
 public:
  // Shows pictures of *format's size (24-bit, top-down) inside parent.
  virtual bool Start(const BITMAPINFOHEADER* format, HWND parent, std::wstring* err) = 0;
  virtual void Stop() = 0;
  virtual bool ShowFrame(const BYTE* rgb, int len, std::wstring* err) = 0;
  // 1: hardware drawing; anything else plain drawing.
  virtual void SetMode(int mode) = 0;
  virtual void Release() = 0;

 protected:
  ~IVideoShowVMR() = default;
};
