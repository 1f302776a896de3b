#include "capture/LevelBar.h"

#include <algorithm>
#include <cstdlib>

std::vector<BYTE> FillLevelBar(int length, int frameWidth) {
  std::vector<BYTE> bar;
  if (length <= 0 || length > frameWidth) return bar;
  const int half = frameWidth / 2;
  // A frame one pixel wide has no first half; its bar is the yellow end.
  const int q = half > 0 ? 255 / half : 0;
  std::vector<BYTE> row(static_cast<size_t>(length) * 3);
  for (int k = 0; k < length; ++k) {
    BYTE* p = &row[static_cast<size_t>(k) * 3];
    p[0] = 0;
    if (k < half) {
      p[1] = 255;
      p[2] = static_cast<BYTE>(k * 255 / half);
    } else {
      p[1] = static_cast<BYTE>(255 - q * (k - half));
      p[2] = 255;
    }
  }
  for (int r = 0; r < kLevelBarRows; ++r) bar.insert(bar.end(), row.begin(), row.end());
  return bar;
}

void BlendImage(BYTE* frame, int frameWidth, int frameHeight, const BYTE* picture, int pictureWidth,
                int pictureHeight, int x, int y, int alpha) {
  if (!frame || !picture || frameWidth <= 0 || frameHeight <= 0 || pictureWidth <= 0 || pictureHeight <= 0) return;
  const int left = std::max(0, x), top = std::max(0, y);
  const int right = std::min(frameWidth, x + pictureWidth), bottom = std::min(frameHeight, y + pictureHeight);
  if (left >= right || top >= bottom) return;
  alpha = std::clamp(alpha, 0, 255);
  for (int fy = top; fy < bottom; ++fy) {
    BYTE* f = frame + (static_cast<size_t>(fy) * frameWidth + left) * 3;
    const BYTE* p = picture + (static_cast<size_t>(fy - y) * pictureWidth + (left - x)) * 3;
    for (int i = 0; i < (right - left) * 3; ++i) f[i] = static_cast<BYTE>((p[i] * alpha + f[i] * (255 - alpha)) >> 8);
  }
}

void DrawLevelBar(BYTE* frame, const BITMAPINFOHEADER* header, float ratio) {
  if (!frame || !header) return;
  const int width = header->biWidth;
  const int height = std::abs(header->biHeight);
  if (width <= 0 || height <= 0 || !(ratio > 0.0f)) return;
  const int length = static_cast<int>(static_cast<unsigned>(static_cast<float>(width) * ratio));
  const std::vector<BYTE> bar = FillLevelBar(length, width);
  if (bar.empty()) return;
  BlendImage(frame, width, height, bar.data(), length, kLevelBarRows, 0, 0, 255);
}
