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

// A full vector of pixels is loaded and split into its channels at once;
// each channel is then widened a quarter at a time to 32-bit lanes, which the
// fixed-point sums need.
using D8 = hn::ScalableTag<uint8_t>;
using D32 = hn::Repartition<int32_t, D8>;
using DQuarter = hn::Rebind<uint8_t, D32>;
using V8 = hn::Vec<D8>;
using V32 = hn::Vec<D32>;

HWY_INLINE V32 Dot(V32 b, V32 g, V32 r, int32_t cb, int32_t cg, int32_t cr, int32_t offset) {
  const D32 d;
  return b * hn::Set(d, cb) + g * hn::Set(d, cg) + (r * hn::Set(d, cr) + hn::Set(d, offset));
}

HWY_INLINE void StoreBytes(V32 value, uint8_t* out) {
  const DQuarter dq;
  hn::StoreU(hn::DemoteTo(dq, value), dq, out);
}

#if HWY_TARGET != HWY_SCALAR
template <int kQuarter>
HWY_INLINE V32 WidenQuarter(V8 v) {
  const hn::Half<D8> dh;
  const DQuarter dq;
  const auto half = kQuarter < 2 ? hn::LowerHalf(dh, v) : hn::UpperHalf(dh, v);
  return hn::PromoteTo(D32(), kQuarter % 2 == 0 ? hn::LowerHalf(dq, half) : hn::UpperHalf(dq, half));
}

template <int kQuarter>
HWY_INLINE void StoreLuma(V8 b, V8 g, V8 r, uint8_t* out) {
  const V32 sum =
      Dot(WidenQuarter<kQuarter>(b), WidenQuarter<kQuarter>(g), WidenQuarter<kQuarter>(r), kYb, kYg, kYr, kYOffset);
  StoreBytes(hn::ShiftRight<kLumaChromaUShift>(sum), out + kQuarter * hn::Lanes(D32()));
}

// The 2x2 sums of one channel over the pixels of quarters kFirst and
// kFirst + 1: one lane per pixel pair, in order.
template <int kFirst>
HWY_INLINE V32 BlockSums(V8 top, V8 bottom) {
  const D32 d;
  const V32 lo = WidenQuarter<kFirst>(top) + WidenQuarter<kFirst>(bottom);
  const V32 hi = WidenQuarter<kFirst + 1>(top) + WidenQuarter<kFirst + 1>(bottom);
  return hn::ConcatEven(d, hi, lo) + hn::ConcatOdd(d, hi, lo);
}

template <int kFirst>
HWY_INLINE void StoreChroma(V8 tb, V8 tg, V8 tr, V8 bb, V8 bg, V8 br, uint8_t* u, uint8_t* v) {
  const V32 b = hn::ShiftRight<2>(BlockSums<kFirst>(tb, bb));
  const V32 g = hn::ShiftRight<2>(BlockSums<kFirst>(tg, bg));
  const V32 r = hn::ShiftRight<2>(BlockSums<kFirst>(tr, br));
  const size_t at = kFirst / 2 * hn::Lanes(D32());
  StoreBytes(hn::ShiftRight<kLumaChromaUShift>(Dot(b, g, r, kUb, kUg, kUr, kUOffset)), u + at);
  const V32 high = Dot(b, g, r, kVbHigh, kVgHigh, kVrHigh, kVOffsetHigh);
  const V32 low = Dot(b, g, r, kVbLow, kVgLow, kVrLow, kVOffsetLow);
  StoreBytes(hn::ShiftRight<kChromaVHighShift>(high + hn::ShiftRight<kChromaVLowBits>(low)), v + at);
}

// Pixels [0, returned) of a pair of rows, whole vectors of pixels.
int ConvertRowPairVectors(const uint8_t* top, const uint8_t* bottom, uint8_t* yTop, uint8_t* yBottom,
                          uint8_t* u, uint8_t* v, int width) {
  const D8 d8;
  const int pixels = static_cast<int>(hn::Lanes(d8));
  int x = 0;
  for (; x + pixels <= width; x += pixels) {
    V8 tb, tg, tr, bb, bg, br;
    hn::LoadInterleaved3(d8, top + 3 * x, tb, tg, tr);
    hn::LoadInterleaved3(d8, bottom + 3 * x, bb, bg, br);
    StoreLuma<0>(tb, tg, tr, yTop + x);
    StoreLuma<1>(tb, tg, tr, yTop + x);
    StoreLuma<2>(tb, tg, tr, yTop + x);
    StoreLuma<3>(tb, tg, tr, yTop + x);
    StoreLuma<0>(bb, bg, br, yBottom + x);
    StoreLuma<1>(bb, bg, br, yBottom + x);
    StoreLuma<2>(bb, bg, br, yBottom + x);
    StoreLuma<3>(bb, bg, br, yBottom + x);
    StoreChroma<0>(tb, tg, tr, bb, bg, br, u + x / 2, v + x / 2);
    StoreChroma<2>(tb, tg, tr, bb, bg, br, u + x / 2, v + x / 2);
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
