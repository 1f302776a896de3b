#include "capture/YuvToRgb.h"

#include <algorithm>
#include <cstddef>

namespace {

BYTE Clamp(int v) { return static_cast<BYTE>(std::clamp(v, 0, 255)); }

void Put(BYTE* p, int r, int g, int b, int bytesPerPixel) {
  p[0] = Clamp(b);
  p[1] = Clamp(g);
  p[2] = Clamp(r);
  if (bytesPerPixel == 4) p[3] = 255;
}

// Source row r lands in output row height - 1 - r: the output is bottom-up.
BYTE* OutputRow(BYTE* dst, int r, int width, int height, int bytesPerPixel) {
  return dst + static_cast<size_t>(height - 1 - r) * width * bytesPerPixel;
}

struct ChromaTables {
  int rv[256], gv[256], gu[256], bu[256];
  ChromaTables() {
    // Arithmetic shift floors negative products, as the factors require.
    for (int s = 0; s < 256; ++s) {
      rv[s] = (359 * (s - 128)) >> 8;
      gv[s] = (183 * (s - 128)) >> 8;
      gu[s] = (88 * (s - 128)) >> 8;
      bu[s] = (454 * (s - 128)) >> 8;
    }
  }
};

}  // namespace

void Yuy2ToRgb(const BYTE* src, int width, int height, int bytesPerPixel, BYTE* dst) {
  for (int r = 0; r < height; ++r) {
    const BYTE* in = src + static_cast<size_t>(r) * width * 2;
    BYTE* out = OutputRow(dst, r, width, height, bytesPerPixel);
    for (int c = 0; c + 1 < width; c += 2, in += 4) {
      const double u = in[1] - 128.0, v = in[3] - 128.0;
      for (int k = 0; k < 2; ++k) {
        const double y = (in[k * 2] - 16) * 1.164383;
        Put(out, static_cast<int>(y + 1.596027 * v), static_cast<int>(y - 0.812968 * v - 0.391762 * u),
            static_cast<int>(y + 2.017232 * u), bytesPerPixel);
        out += bytesPerPixel;
      }
    }
  }
}

void Yv12ToRgb(const BYTE* src, int width, int height, int bytesPerPixel, BYTE* dst) {
  static const ChromaTables t;
  const int half = width / 2;
  const BYTE* vPlane = src + static_cast<size_t>(width) * height;
  const BYTE* uPlane = vPlane + static_cast<size_t>(half) * (height / 2);
  for (int r = 0; r < height; ++r) {
    const BYTE* y = src + static_cast<size_t>(r) * width;
    const BYTE* v = vPlane + static_cast<size_t>(r / 2) * half;
    const BYTE* u = uPlane + static_cast<size_t>(r / 2) * half;
    BYTE* out = OutputRow(dst, r, width, height, bytesPerPixel);
    for (int c = 0; c < width; ++c, out += bytesPerPixel) {
      const int Y = y[c], U = u[c / 2], V = v[c / 2];
      Put(out, Y + t.rv[V], Y - t.gu[U] - t.gv[V], Y + t.bu[U], bytesPerPixel);
    }
  }
}
