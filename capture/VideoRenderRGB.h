// CVideoRenderRGB, the renderer base of the camera sink: accepts packed
// uncompressed RGB of one bit depth, bottom-up or top-down, and keeps the
// accepted picture header and frame size for its DoRenderSample.
#pragma once
#include "platform/dshow/base_renderer.h"

class CVideoRenderRGB : public CBaseRenderer {
 public:
  CVideoRenderRGB(REFCLSID clsid, int bitDepth, HRESULT* hr);

  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT SetMediaType(const CMediaType* mt) override;

 protected:
  const int m_bitDepth;
  // Written while connecting, read by the streaming thread.
  BITMAPINFOHEADER m_header{};
  long m_frameBytes = 0;
};
