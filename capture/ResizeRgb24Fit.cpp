#include "capture/ResizeRgb24Fit.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include <cstring>
#include <memory>
#include <vector>

namespace {

// Scratch picture per thread, grown on demand: concurrent callers never share
// it and frames above 1920 x 1080 fit too.
std::vector<BYTE>& Scratch() {
  thread_local std::vector<BYTE> buffer;
  return buffer;
}

struct SwsDeleter {
  void operator()(SwsContext* c) const { sws_freeContext(c); }
};

void ResizeShrink(const BYTE* src, const int srcSize[2], const int fitSize[2], BYTE* out) {
  thread_local std::unique_ptr<SwsContext, SwsDeleter> context;
  SwsContext* c = sws_getCachedContext(context.release(), srcSize[0], srcSize[1], AV_PIX_FMT_BGR24, fitSize[0],
                                       fitSize[1], AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr, nullptr);
  context.reset(c);
  if (!c) return;  // the area stays black, as with any failed scaler
  const uint8_t* srcPlanes[4] = {src, nullptr, nullptr, nullptr};
  const int srcStrides[4] = {srcSize[0] * 3, 0, 0, 0};
  uint8_t* dstPlanes[4] = {out, nullptr, nullptr, nullptr};
  const int dstStrides[4] = {fitSize[0] * 3, 0, 0, 0};
  sws_scale(c, srcPlanes, srcStrides, 0, srcSize[1], dstPlanes, dstStrides);
}

}  // namespace

bool ComputeFit(const int srcSize[2], const int dstSize[2], FitGeometry* fit) {
  if (!srcSize || !dstSize || !fit) return false;
  if (srcSize[0] <= 0 || srcSize[1] <= 0 || dstSize[0] <= 0 || dstSize[1] <= 0) return false;
  // Single precision: the fitted sizes callers expect depend on its rounding.
  const float rx = static_cast<float>(srcSize[0]) / static_cast<float>(dstSize[0]);
  const float ry = static_cast<float>(srcSize[1]) / static_cast<float>(dstSize[1]);
  float ratio;
  int w, h;
  if (rx >= ry) {
    ratio = rx;
    w = dstSize[0];
    h = static_cast<int>(static_cast<float>(srcSize[1]) / rx);
  } else {
    ratio = ry;
    h = dstSize[1];
    w = static_cast<int>(static_cast<float>(srcSize[0]) / ry);
  }
  fit->width = w / 4 * 4;
  fit->height = h / 4 * 4;
  fit->x = (dstSize[0] - fit->width) / 2;
  fit->y = (dstSize[1] - fit->height) / 2;
  fit->shrink = ratio > 1.0f;
  return true;
}

void ResizeBilinear(const BYTE* src, const int srcSize[2], const int fitSize[2], BYTE* out) {
  const int w = srcSize[0], h = srcSize[1], W = fitSize[0], H = fitSize[1];
  if (!src || !out || w <= 0 || h <= 0 || W <= 0 || H <= 0) return;
  const float fx = static_cast<float>(w - 1) / static_cast<float>(W);
  const float fy = static_cast<float>(h - 1) / static_cast<float>(H);
  std::vector<int> x0(static_cast<size_t>(W)), x1(static_cast<size_t>(W));
  std::vector<float> gx(static_cast<size_t>(W));
  for (int j = 0; j < W; ++j) {
    const float x = static_cast<float>(j) * fx;
    x0[j] = static_cast<int>(x);
    x1[j] = static_cast<int>(x + 0.5f);
    gx[j] = x - static_cast<float>(x0[j]);
  }
  const size_t srcStride = static_cast<size_t>(w) * 3;
  for (int i = 0; i < H; ++i) {
    const float y = static_cast<float>(i) * fy;
    const int y0 = static_cast<int>(y);
    const int y1 = static_cast<int>(y + 0.5f);
    const float gy = y - static_cast<float>(y0);
    const BYTE* r0 = src + static_cast<size_t>(y0) * srcStride;
    const BYTE* r1 = src + static_cast<size_t>(y1) * srcStride;
    BYTE* o = out + static_cast<size_t>(i) * static_cast<size_t>(W) * 3;
    for (int j = 0; j < W; ++j) {
      const float a = gx[j];
      for (int c = 0; c < 3; ++c) {
        const float v = r0[x1[j] * 3 + c] * a * (1 - gy) + r0[x0[j] * 3 + c] * (1 - a) * (1 - gy) +
                        r1[x0[j] * 3 + c] * (1 - a) * gy + r1[x1[j] * 3 + c] * a * gy;
        o[j * 3 + c] = static_cast<BYTE>(static_cast<int>(v) & 0xFF);
      }
    }
  }
}

void ResizeRgb24Fit(const BYTE* src, const int srcSize[2], BYTE* dst, const int dstSize[2]) {
  if (!src || !dst) return;
  FitGeometry fit;
  if (!ComputeFit(srcSize, dstSize, &fit)) return;
  if (srcSize[0] == dstSize[0] && srcSize[1] == dstSize[1]) {
    std::memcpy(dst, src, static_cast<size_t>(srcSize[0]) * static_cast<size_t>(srcSize[1]) * 3);
    return;
  }
  if (fit.width <= 0 || fit.height <= 0) return;  // a picture thinner than 4 pixels leaves nothing to show
  // Rows y .. dstHeight-y-1 are copied: one more than the picture when the
  // border split is odd, and that row stays black.
  const int rows = dstSize[1] - 2 * fit.y;
  const size_t rowBytes = static_cast<size_t>(fit.width) * 3;
  std::vector<BYTE>& scratch = Scratch();
  scratch.assign(rowBytes * static_cast<size_t>(rows), 0);
  const int fitSize[2] = {fit.width, fit.height};
  if (fit.shrink)
    ResizeShrink(src, srcSize, fitSize, scratch.data());
  else
    ResizeBilinear(src, srcSize, fitSize, scratch.data());
  const size_t dstStride = static_cast<size_t>(dstSize[0]) * 3;
  for (int r = fit.y; r < dstSize[1] - fit.y; ++r)
    std::memcpy(dst + static_cast<size_t>(r) * dstStride + static_cast<size_t>(fit.x) * 3,
                scratch.data() + static_cast<size_t>(r - fit.y) * rowBytes, rowBytes);
}
