#include "variant/PasteRgb24Image.h"

#include <cstdint>
#include <cstring>

void PasteRgb24Image(const BYTE* src, const int srcSize[2], BYTE* dst, const int dstSize[2], int x, int y) {
  if (!src || !dst || !srcSize || !dstSize) return;
  const int w = srcSize[0], h = srcSize[1], W = dstSize[0], H = dstSize[1];
  if (w <= 0 || h <= 0 || W <= 0 || H <= 0 || w > W || h > H) return;
  if (x < 0 || y < 0 || int64_t{x} + w > W || int64_t{y} + h > H) return;
  const size_t row = static_cast<size_t>(w) * 3;
  for (int i = 0; i < h; ++i)
    std::memcpy(dst + ((static_cast<size_t>(y) + i) * W + x) * 3, src + static_cast<size_t>(i) * row, row);
}
