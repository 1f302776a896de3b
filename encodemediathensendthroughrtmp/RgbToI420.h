// RGB24-to-I420 conversion for the encoder thread: a top-down, packed B,G,R
// picture becomes the planar Y, U, V picture x264 takes. Called only by the
// encoder object (and the benchmark that keeps it honest).
#pragma once
#include <cstddef>
#include <cstdint>

// Bytes of an I420 picture of an even width x height.
inline size_t I420Size(int width, int height) {
  return static_cast<size_t>(width) * height * 3 / 2;
}

// The picture's rows are flipped in place, then read back from the last row to
// the first: the two cancel, so the first row handed in becomes the top row of
// the I420 picture and bgr24 is left upside down. width and height must be
// even and positive; i420 holds I420Size bytes, bgr24 width x height x 3.
void FlipAndConvertRgbToI420(uint8_t* i420, uint8_t* bgr24, int width, int height);

// The second half: reads bgr24 from its last row upwards.
void ConvertRgb24ToI420(uint8_t* i420, const uint8_t* bgr24, int width, int height);
