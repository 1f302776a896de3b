#include "capture/PlayFilter.h"

#include <new>

CPlayFilter::CPlayFilter(int maxFrameLength, const BITMAPINFOHEADER& format)
    : CBaseFilter(L"PlayFilter", &m_filterLock, CLSID_PlayFilter),
      m_pin(std::make_unique<CPlayFilterOutpuPin>(this, &m_filterLock, maxFrameLength, format)) {}

CPlayFilter* CreatePlayFilter(int maxFrameLength, const BITMAPINFOHEADER& format) {
  if (dshow::CreateFailsForTest(CLSID_PlayFilter)) return nullptr;
  try {
    auto* filter = new CPlayFilter(maxFrameLength, format);
    filter->AddRef();
    return filter;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
