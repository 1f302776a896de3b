#include "encodemediathensendthroughrtmp/RgbToI420.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// The BT.601 studio-range coefficients in millionths. Summing them as exact
// integers and dividing once gives the truncated value of the real-valued
// formula without per-pixel floating point.
constexpr int32_t kScale = 1000000;
constexpr int32_t kYr = 256788, kYg = 504129, kYb = 97906, kYoff = 16 * kScale;
constexpr int32_t kUb = 439216, kUg = -290993, kUr = -148223;
constexpr int32_t kVr = 439216, kVg = -367788, kVb = -71427;
constexpr int32_t kCoff = 128 * kScale;

// All sums are non-negative (Y >= 16, U and V >= 16 for any input), so the
// unsigned division truncates toward zero as required.
inline uint8_t LumaOf(int32_t b, int32_t g, int32_t r) {
  uint32_t y = static_cast<uint32_t>(kYr * r + kYg * g + kYb * b + kYoff) / static_cast<uint32_t>(kScale);
  return static_cast<uint8_t>(y > 255 ? 255 : y);
}

void ConvertRowPair(uint8_t* yTop, uint8_t* yBottom, uint8_t* u, uint8_t* v, const uint8_t* top,
                    const uint8_t* bottom, int width) {
  for (int x = 0; x < width; ++x) {
    yTop[x] = LumaOf(top[3 * x], top[3 * x + 1], top[3 * x + 2]);
    yBottom[x] = LumaOf(bottom[3 * x], bottom[3 * x + 1], bottom[3 * x + 2]);
  }
  for (int x = 0; x < width / 2; ++x) {
    const uint8_t* a = top + 6 * x;
    const uint8_t* c = bottom + 6 * x;
    int32_t b = (a[0] + a[3] + c[0] + c[3]) >> 2;
    int32_t g = (a[1] + a[4] + c[1] + c[4]) >> 2;
    int32_t r = (a[2] + a[5] + c[2] + c[5]) >> 2;
    u[x] = static_cast<uint8_t>(static_cast<uint32_t>(kUb * b + kUg * g + kUr * r + kCoff) /
                                static_cast<uint32_t>(kScale));
    v[x] = static_cast<uint8_t>(static_cast<uint32_t>(kVr * r + kVg * g + kVb * b + kCoff) /
                                static_cast<uint32_t>(kScale));
  }
}

}  // namespace

void ConvertRgb24ToI420(uint8_t* i420, const uint8_t* bgr24, int width, int height) {
  if (!i420 || !bgr24 || width <= 0 || height <= 0 || (width | height) & 1) return;
  const size_t stride = static_cast<size_t>(width) * 3;
  const size_t lumaSize = static_cast<size_t>(width) * height;
  uint8_t* yPlane = i420;
  uint8_t* uPlane = i420 + lumaSize;
  uint8_t* vPlane = uPlane + lumaSize / 4;
  for (int row = 0; row < height; row += 2) {
    // Output row `row` comes from the buffer's row height-1-row.
    const uint8_t* top = bgr24 + static_cast<size_t>(height - 1 - row) * stride;
    const uint8_t* bottom = top - stride;
    ConvertRowPair(yPlane + static_cast<size_t>(row) * width, yPlane + static_cast<size_t>(row + 1) * width,
                   uPlane + static_cast<size_t>(row / 2) * (width / 2),
                   vPlane + static_cast<size_t>(row / 2) * (width / 2), top, bottom, width);
  }
}

void FlipAndConvertRgbToI420(uint8_t* i420, uint8_t* bgr24, int width, int height) {
  if (!i420 || !bgr24 || width <= 0 || height <= 0 || (width | height) & 1) return;
  const size_t stride = static_cast<size_t>(width) * 3;
  // A row-sized bounce buffer keeps the swap to three memcpy calls per pair.
  thread_local std::vector<uint8_t> spare;
  spare.resize(stride);
  for (int r = 0; r < height / 2; ++r) {
    uint8_t* a = bgr24 + static_cast<size_t>(r) * stride;
    uint8_t* b = bgr24 + static_cast<size_t>(height - 1 - r) * stride;
    std::memcpy(spare.data(), a, stride);
    std::memcpy(a, b, stride);
    std::memcpy(b, spare.data(), stride);
  }
  ConvertRgb24ToI420(i420, bgr24, width, height);
}
