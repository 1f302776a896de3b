#include "capture/RgbVideoMediaType.h"

#include <cstdint>
#include <cstring>
#include <limits>

#include "platform/dshow/guids.h"

const GUID& RgbSubtypeFor(int bitCount) {
  switch (bitCount) {
    case 1: return MEDIASUBTYPE_RGB1;
    case 4: return MEDIASUBTYPE_RGB4;
    case 8: return MEDIASUBTYPE_RGB8;
    case 16: return MEDIASUBTYPE_RGB555;
    case 24: return MEDIASUBTYPE_RGB24;
    case 32: return MEDIASUBTYPE_RGB32;
    default: return GUID_NULL;
  }
}

namespace {

// The video-info header followed by a 256-entry palette.
constexpr uint32_t kFormatBytes = sizeof(VIDEOINFOHEADER) + 256 * 4;
static_assert(kFormatBytes == 1112, "video-info block with palette");

}  // namespace

void BuildRgbVideoMediaType(CMediaType* mt, int width, int height, int bitCount, int fps, HRESULT* hr) {
  HRESULT ignored;
  if (!hr) hr = &ignored;
  if (!mt) {
    *hr = E_POINTER;
    return;
  }
  const uint64_t sampleSize = static_cast<uint64_t>(width > 0 ? width : 0) * (bitCount > 0 ? bitCount : 0) *
                              static_cast<uint64_t>(height > 0 ? height : 0) / 8;
  if (width <= 0 || height <= 0 || fps <= 0 || sampleSize > std::numeric_limits<uint32_t>::max()) {
    *hr = E_FAIL;
    return;
  }
  mt->Clear();
  mt->majortype = MEDIATYPE_Video;
  mt->subtype = RgbSubtypeFor(bitCount);
  mt->bFixedSizeSamples = 1;
  mt->bTemporalCompression = 0;
  mt->lSampleSize = static_cast<uint32_t>(sampleSize);
  mt->formattype = FORMAT_VideoInfo;

  BYTE block[kFormatBytes] = {};
  VIDEOINFOHEADER vih{};
  const uint64_t bitRate = static_cast<uint64_t>(fps) * sampleSize * 8;
  vih.dwBitRate = bitRate > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                                  : static_cast<uint32_t>(bitRate);
  vih.AvgTimePerFrame = 10000000 / fps;
  vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  vih.bmiHeader.biWidth = width;
  vih.bmiHeader.biHeight = height;
  vih.bmiHeader.biPlanes = 1;
  vih.bmiHeader.biBitCount = static_cast<uint16_t>(bitCount);
  vih.bmiHeader.biCompression = 0;
  vih.bmiHeader.biSizeImage = static_cast<uint32_t>(sampleSize);
  std::memcpy(block, &vih, sizeof(vih));
  *hr = SetFormatBlock(mt, block, kFormatBytes);
  if (FAILED(*hr)) *hr = E_OUTOFMEMORY;
}
