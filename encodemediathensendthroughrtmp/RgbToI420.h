// RGB24-to-I420 conversion for the encoder thread: a top-down, packed B,G,R
// picture becomes the planar Y, U, V picture x264 takes. Called by the
// encoder object (and the benchmark that keeps it honest). One pass over the
// picture, vectorised for the best instruction set the CPU offers at run
// time; every such variant gives the same bytes as the scalar fixed-point
// form in RgbToI420FixedPoint.h.
#pragma once
#include <cstddef>
#include <cstdint>

// Bytes of an I420 picture of an even width x height.
inline size_t I420Size(int width, int height) {
  return static_cast<size_t>(width) * height * 3 / 2;
}

// The first row of bgr24 becomes the top row of the I420 picture. bgr24 is
// only read: flipping it in place and then reading it bottom-up, as the name
// says, would cancel out at the cost of a pass over the frame. width and height
// must be even and positive, else nothing is written; i420 holds I420Size
// bytes, bgr24 width x height x 3.
void FlipAndConvertRgbToI420(uint8_t* i420, const uint8_t* bgr24, int width, int height);

// Reads bgr24 from its last row upwards: its last row becomes the top row.
void ConvertRgb24ToI420(uint8_t* i420, const uint8_t* bgr24, int width, int height);

// Name of the instruction set the conversion dispatches to on this CPU.
const char* RgbToI420TargetName();
