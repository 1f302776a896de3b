// The colour formulas of the RGB24-to-I420 conversion in fixed point: the
// scalar form that the vector kernels match bit for bit, and that finishes
// the pixels of a row a vector does not cover. Used by RgbToI420.cpp and its
// tests only.
//
// The formulas have six-decimal coefficients and truncate toward zero, so
// the result must equal floor((sum of coefficient-millionths x channel +
// offset x 10^6) / 10^6) exactly. Each coefficient is instead scaled by 2^k
// and rounded, and the offset carries a rounding constant chosen inside the
// window that keeps every one of the 2^24 channel triples on the correct side
// of its truncation boundary; the tests check all of them.
#pragma once
#include <cstdint>

namespace rgb_to_i420 {

// Luma and U: 22 fraction bits; every partial sum stays below 2^30.
constexpr int kLumaChromaUShift = 22;
constexpr int32_t kYb = 410646, kYg = 2114470, kYr = 1077047, kYOffset = 67109092;
constexpr int32_t kUb = 1842205, kUg = -1220513, kUr = -621692, kUOffset = 536870994;

// V's coefficients add up to exactly one millionth, so along the grey
// diagonal the value climbs one millionth per step and crosses an integer
// between neighbouring greys; 22 bits lose that step over 255 greys, 26 keep
// it. 26 fraction bits overflow 32-bit lanes, so each 2^26-scaled coefficient
// is split as high x 2^16 + low (low in 0..65535) and the two sums are joined
// with floor(P / 2^26) = (H + (L >> 16)) >> 10.
constexpr int kChromaVLowBits = 16;
constexpr int kChromaVHighShift = 10;
constexpr int32_t kVbHigh = -74, kVgHigh = -377, kVrHigh = 449, kVOffsetHigh = 131072;
constexpr int32_t kVbLow = 56279, kVgLow = 25237, kVrLow = 49623, kVOffsetLow = 45;

// Results are 16..235 for luma and 16..240 for chroma, so no clamp is needed.
inline uint8_t LumaOf(int32_t b, int32_t g, int32_t r) {
  return static_cast<uint8_t>((kYb * b + kYg * g + kYr * r + kYOffset) >> kLumaChromaUShift);
}

inline uint8_t ChromaUOf(int32_t b, int32_t g, int32_t r) {
  return static_cast<uint8_t>((kUb * b + kUg * g + kUr * r + kUOffset) >> kLumaChromaUShift);
}

inline uint8_t ChromaVOf(int32_t b, int32_t g, int32_t r) {
  const int32_t high = kVbHigh * b + kVgHigh * g + kVrHigh * r + kVOffsetHigh;
  const int32_t low = kVbLow * b + kVgLow * g + kVrLow * r + kVOffsetLow;
  return static_cast<uint8_t>((high + (low >> kChromaVLowBits)) >> kChromaVHighShift);
}

// Pixels [from, to) of one pair of rows (from and to even): two luma rows
// and one row each of U and V, from the integer averages of 2x2 blocks.
inline void ConvertRowPairSpan(const uint8_t* top, const uint8_t* bottom, uint8_t* yTop, uint8_t* yBottom,
                               uint8_t* u, uint8_t* v, int from, int to) {
  for (int x = from; x < to; ++x) {
    yTop[x] = LumaOf(top[3 * x], top[3 * x + 1], top[3 * x + 2]);
    yBottom[x] = LumaOf(bottom[3 * x], bottom[3 * x + 1], bottom[3 * x + 2]);
  }
  for (int x = from; x < to; x += 2) {
    const uint8_t* a = top + 3 * x;
    const uint8_t* c = bottom + 3 * x;
    const int32_t b = (a[0] + a[3] + c[0] + c[3]) >> 2;
    const int32_t g = (a[1] + a[4] + c[1] + c[4]) >> 2;
    const int32_t r = (a[2] + a[5] + c[2] + c[5]) >> 2;
    u[x / 2] = ChromaUOf(b, g, r);
    v[x / 2] = ChromaVOf(b, g, r);
  }
}

}  // namespace rgb_to_i420
