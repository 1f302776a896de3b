#include "platform/grabora/pixel_pack.h"

#include <X11/Xutil.h>

#include <cstring>

namespace {

// Bit position and width of a colour mask, to scale any channel to 8 bits.
struct Channel {
  int shift = 0;
  int bits = 0;
  explicit Channel(unsigned long mask) {
    if (!mask) return;
    while (!(mask & 1)) {
      mask >>= 1;
      ++shift;
    }
    while (mask & 1) {
      mask >>= 1;
      ++bits;
    }
  }
  uint8_t Take(unsigned long pixel) const {
    if (bits == 0) return 0;
    unsigned long v = (pixel >> shift) & ((1UL << bits) - 1);
    return bits >= 8 ? static_cast<uint8_t>(v >> (bits - 8))
                     : static_cast<uint8_t>((v * 255) / ((1UL << bits) - 1));
  }
};

}  // namespace

void PackImageToBgr24(const XImage* image, uint8_t* out) {
  const int width = image->width;
  const int height = image->height;
  const bool littleBgrx = image->bits_per_pixel == 32 && image->byte_order == LSBFirst &&
                          image->red_mask == 0xff0000 && image->green_mask == 0xff00 &&
                          image->blue_mask == 0xff;
  if (littleBgrx) {  // what practically every server hands out
    for (int y = 0; y < height; ++y) {
      const uint8_t* src =
          reinterpret_cast<const uint8_t*>(image->data) + static_cast<size_t>(y) * image->bytes_per_line;
      uint8_t* dst = out + static_cast<size_t>(y) * width * 3;
      for (int x = 0; x < width; ++x) {
        dst[0] = src[0];
        dst[1] = src[1];
        dst[2] = src[2];
        src += 4;
        dst += 3;
      }
    }
    return;
  }
  const Channel red(image->red_mask), green(image->green_mask), blue(image->blue_mask);
  XImage* readable = const_cast<XImage*>(image);  // XGetPixel takes a non-const image
  for (int y = 0; y < height; ++y) {
    uint8_t* dst = out + static_cast<size_t>(y) * width * 3;
    for (int x = 0; x < width; ++x) {
      unsigned long pixel = XGetPixel(readable, x, y);
      dst[0] = blue.Take(pixel);
      dst[1] = green.Take(pixel);
      dst[2] = red.Take(pixel);
      dst += 3;
    }
  }
}
