// CColorSpaceConverter_YUV2RGB, the camera graph's own converter: a transform
// filter from YV12 or YUY2 camera frames to bottom-up RGB24 or RGB32 of the
// same size. The camera capture adds it to its graph beside the system
// converter; the graph builder picks it first for the layouts it takes.
#pragma once
#include "platform/dshow/transform_filter.h"

// {E46378E4-A325-45FD-8C00-E42F3178C1EB}
inline constexpr CLSID CLSID_ColorSpaceConverter_YUV2RGB = {
    0xE46378E4, 0xA325, 0x45FD, {0x8C, 0x00, 0xE4, 0x2F, 0x31, 0x78, 0xC1, 0xEB}};

class CColorSpaceConverter_YUV2RGB : public CTransformFilter {
 public:
  // bitDepth 32 gives RGB32, anything else RGB24.
  explicit CColorSpaceConverter_YUV2RGB(int bitDepth);

  HRESULT CheckInputType(const CMediaType* mt) override;
  HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override;
  HRESULT GetMediaType(int position, CMediaType* mt) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* props) override;
  HRESULT Transform(IMediaSample* in, IMediaSample* out) override;

 private:
  int BytesPerPixel() const { return m_outputKind == 1 ? 4 : 3; }

  // Set while the graph connects; read by the streaming thread afterwards.
  int m_inputKind = 0;   // 1 YV12, 2 YUY2
  int m_outputKind = 2;  // 1 RGB32, 2 RGB24
  CMediaType m_lastInput;
  CMediaType m_offeredOutput;
  int m_width = 0, m_height = 0;
};

// The filter with one reference taken, or null (*hr tells why).
IBaseFilter* CreateColorSpaceConverter_YUV2RGB(HRESULT* hr, int bitDepth);
