// The sound-level bar drawn over camera frames: three pixel rows from the
// frame's first pixel, green fading to yellow over the first half of the
// width and yellow towards red beyond it. The camera sink draws it into each
// frame with the ratio its peak meter gives.
#pragma once
#include <cstdint>
#include <vector>

#include "platform/dshow/com_types.h"
#include "platform/dshow/wave_format.h"

inline constexpr int kLevelBarRows = 3;

// The bar picture: kLevelBarRows rows of length pixels (B, G, R) for a frame
// frameWidth wide; empty when length is 0, negative or above frameWidth.
std::vector<BYTE> FillLevelBar(int length, int frameWidth);

// Blends a packed 24-bit picture into a packed frame at (x, y), clipped to the
// frame: frame = (picture * alpha + frame * (255 - alpha)) >> 8.
void BlendImage(BYTE* frame, int frameWidth, int frameHeight, const BYTE* picture, int pictureWidth,
                int pictureHeight, int x, int y, int alpha);

// Draws the bar of length frameWidth x ratio (truncated) at (0, 0) with full
// opacity. Nothing for a length of 0.
void DrawLevelBar(BYTE* frame, const BITMAPINFOHEADER* header, float ratio);
