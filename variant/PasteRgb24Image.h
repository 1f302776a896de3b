// Copies one packed RGB24 picture into a larger one at (x, y): the small
// picture of picture-in-picture. Called by the manager's composition.
#pragma once
#include "platform/dshow/com_types.h"

// srcSize and dstSize are {width, height}; rows are packed (width x 3 bytes).
// Does nothing when a buffer is null, a size is not positive, or the pasted
// picture would not lie wholly inside dst.
void PasteRgb24Image(const BYTE* src, const int srcSize[2], BYTE* dst, const int dstSize[2], int x, int y);
