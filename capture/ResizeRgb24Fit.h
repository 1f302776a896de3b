// Fits a packed 24-bit picture into a frame of another size, keeping its
// aspect ratio: scaled until it touches the frame on one axis, both sides
// reduced to multiples of 4, centred. Only the picture area is written; the
// caller clears the frame first, which gives the black borders. The camera
// sink and the manager's video input call it for every frame whose size
// differs from the output size, possibly from several threads at once.
#pragma once
#include <cstdint>

#include "platform/dshow/com_types.h"

// Sizes are {width, height}. Null pointers or a size <= 0 leave dst untouched.
// Shrinking goes through libswscale (bilinear); enlarging, or a ratio of
// exactly 1, through ResizeBilinear. Rows keep the input's order.
void ResizeRgb24Fit(const BYTE* src, const int srcSize[2], BYTE* dst, const int dstSize[2]);

// The enlarging scaler: the whole source into fitSize, written to out (rows of
// fitWidth x 3 bytes). Its second sample on each axis is the rounded position.
void ResizeBilinear(const BYTE* src, const int srcSize[2], const int fitSize[2], BYTE* out);

// Where the fitted picture lands in the frame.
struct FitGeometry {
  int width, height;  // fitted size, multiples of 4
  int x, y;           // offsets in the frame
  bool shrink;        // true: the larger ratio is above 1
};
// False for a null size or one that is zero or negative.
bool ComputeFit(const int srcSize[2], const int dstSize[2], FitGeometry* fit);
