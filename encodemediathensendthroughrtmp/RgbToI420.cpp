// Compiled once per instruction set by Highway's foreach_target; the first
// call picks the best set the CPU supports.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "encodemediathensendthroughrtmp/RgbToI420.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "encodemediathensendthroughrtmp/RgbToI420.h"
#include "encodemediathensendthroughrtmp/RgbToI420FixedPoint.h"

HWY_BEFORE_NAMESPACE();
namespace rgb_to_i420 {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Channels are widened to 32-bit lanes: the fixed-point sums need them.
using D32 = hn::ScalableTag<int32_t>;
using D8 = hn::Rebind<uint8_t, D32>;
using V32 = hn::Vec<D32>;

HWY_INLINE void LoadPixels(const uint8_t* bgr, V32& b, V32& g, V32& r) {
  const D8 d8;
  const D32 d32;
  hn::Vec<D8> b8, g8, r8;
  hn::LoadInterleaved3(d8, bgr, b8, g8, r8);
  b = hn::PromoteTo(d32, b8);
  g = hn::PromoteTo(d32, g8);
  r = hn::PromoteTo(d32, r8);
}

HWY_INLINE V32 Dot(V32 b, V32 g, V32 r, int32_t cb, int32_t cg, int32_t cr, int32_t offset) {
  const D32 d;
  return b * hn::Set(d, cb) + g * hn::Set(d, cg) + (r * hn::Set(d, cr) + hn::Set(d, offset));
}

HWY_INLINE void StoreBytes(V32 value, uint8_t* out) {
  const D8 d8;
  hn::StoreU(hn::DemoteTo(d8, value), d8, out);
}

HWY_INLINE void StoreLuma(V32 b, V32 g, V32 r, uint8_t* out) {
  StoreBytes(hn::ShiftRight<kLumaChromaUShift>(Dot(b, g, r, kYb, kYg, kYr, kYOffset)), out);
}

#if HWY_TARGET != HWY_SCALAR
// Sums each pair of neighbouring lanes across lo then hi: one lane per pair.
HWY_INLINE V32 PairSums(V32 lo, V32 hi) {
  const D32 d;
  return hn::ConcatEven(d, hi, lo) + hn::ConcatOdd(d, hi, lo);
}

// Pixels [0, returned) of a pair of rows, whole vectors of pixel pairs.
int ConvertRowPairVectors(const uint8_t* top, const uint8_t* bottom, uint8_t* yTop, uint8_t* yBottom,
                          uint8_t* u, uint8_t* v, int width) {
  const int lanes = static_cast<int>(hn::Lanes(D32()));
  int x = 0;
  for (; x + 2 * lanes <= width; x += 2 * lanes) {
    V32 tb0, tg0, tr0, tb1, tg1, tr1, bb0, bg0, br0, bb1, bg1, br1;
    LoadPixels(top + 3 * x, tb0, tg0, tr0);
    LoadPixels(top + 3 * (x + lanes), tb1, tg1, tr1);
    LoadPixels(bottom + 3 * x, bb0, bg0, br0);
    LoadPixels(bottom + 3 * (x + lanes), bb1, bg1, br1);
    StoreLuma(tb0, tg0, tr0, yTop + x);
    StoreLuma(tb1, tg1, tr1, yTop + x + lanes);
    StoreLuma(bb0, bg0, br0, yBottom + x);
    StoreLuma(bb1, bg1, br1, yBottom + x + lanes);

    const V32 b = hn::ShiftRight<2>(PairSums(tb0 + bb0, tb1 + bb1));
    const V32 g = hn::ShiftRight<2>(PairSums(tg0 + bg0, tg1 + bg1));
    const V32 r = hn::ShiftRight<2>(PairSums(tr0 + br0, tr1 + br1));
    StoreBytes(hn::ShiftRight<kLumaChromaUShift>(Dot(b, g, r, kUb, kUg, kUr, kUOffset)), u + x / 2);
    const V32 high = Dot(b, g, r, kVbHigh, kVgHigh, kVrHigh, kVOffsetHigh);
    const V32 low = Dot(b, g, r, kVbLow, kVgLow, kVrLow, kVOffsetLow);
    StoreBytes(hn::ShiftRight<kChromaVHighShift>(high + hn::ShiftRight<kChromaVLowBits>(low)), v + x / 2);
  }
  return x;
}
#else
// One-lane vectors hold no pixel pairs: the scalar form does the whole row.
int ConvertRowPairVectors(const uint8_t*, const uint8_t*, uint8_t*, uint8_t*, uint8_t*, uint8_t*, int) {
  return 0;
}
#endif

void ConvertPicture(uint8_t* i420, const uint8_t* firstRow, ptrdiff_t rowStep, int width, int height) {
  const size_t lumaSize = static_cast<size_t>(width) * height;
  const size_t halfWidth = static_cast<size_t>(width / 2);
  for (int row = 0; row < height; row += 2) {
    const uint8_t* top = firstRow + row * rowStep;
    const uint8_t* bottom = top + rowStep;
    uint8_t* yTop = i420 + static_cast<size_t>(row) * width;
    uint8_t* yBottom = yTop + width;
    uint8_t* u = i420 + lumaSize + static_cast<size_t>(row / 2) * halfWidth;
    uint8_t* v = u + lumaSize / 4;
    const int done = ConvertRowPairVectors(top, bottom, yTop, yBottom, u, v, width);
    ConvertRowPairSpan(top, bottom, yTop, yBottom, u, v, done, width);
  }
}

const char* TargetName() { return hwy::TargetName(HWY_TARGET); }

}  // namespace HWY_NAMESPACE
}  // namespace rgb_to_i420
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace rgb_to_i420 {
HWY_EXPORT(ConvertPicture);
HWY_EXPORT(TargetName);

bool Convertible(const uint8_t* i420, const uint8_t* bgr24, int width, int height) {
  return i420 && bgr24 && width > 0 && height > 0 && ((width | height) & 1) == 0;
}
}  // namespace rgb_to_i420

void FlipAndConvertRgbToI420(uint8_t* i420, const uint8_t* bgr24, int width, int height) {
  if (!rgb_to_i420::Convertible(i420, bgr24, width, height)) return;
  HWY_DYNAMIC_DISPATCH(rgb_to_i420::ConvertPicture)(i420, bgr24, static_cast<ptrdiff_t>(width) * 3, width, height);
}

void ConvertRgb24ToI420(uint8_t* i420, const uint8_t* bgr24, int width, int height) {
  if (!rgb_to_i420::Convertible(i420, bgr24, width, height)) return;
  const ptrdiff_t stride = static_cast<ptrdiff_t>(width) * 3;
  HWY_DYNAMIC_DISPATCH(rgb_to_i420::ConvertPicture)(i420, bgr24 + (height - 1) * stride, -stride, width, height);
}

const char* RgbToI420TargetName() { return HWY_DYNAMIC_DISPATCH(rgb_to_i420::TargetName)(); }
#endif  // HWY_ONCE
