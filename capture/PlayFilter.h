// CPlayFilter, the push source of the preview's graphs: a filter with one
// output pin (CPlayFilterOutpuPin) through which the preview's pictures
// enter the graph. Made by the preview's graph (CVMRFilterGraph).
#pragma once
#include <memory>
#include <mutex>

#include "capture/PlayFilterOutpuPin.h"

// {A3C8AD2C-107A-45C1-B49D-95D73266E4D6}
inline constexpr CLSID CLSID_PlayFilter = {
    0xA3C8AD2C, 0x107A, 0x45C1, {0xB4, 0x9D, 0x95, 0xD7, 0x32, 0x66, 0xE4, 0xD6}};

class CPlayFilter : public CBaseFilter {
 public:
  CPlayFilter(int maxFrameLength, const BITMAPINFOHEADER& format);

  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int n) override { return n == 0 ? m_pin.get() : nullptr; }

  // See CPlayFilterOutpuPin::PushFrame.
  bool PushFrame(const BYTE* rgb, int len) { return m_pin->PushFrame(rgb, len); }
  int MaxFrameLength() const { return m_pin->MaxFrameLength(); }

 private:
  std::recursive_mutex m_filterLock;
  std::unique_ptr<CPlayFilterOutpuPin> m_pin;
};

// The filter with one reference taken, or null when out of memory.
CPlayFilter* CreatePlayFilter(int maxFrameLength, const BITMAPINFOHEADER& format);
