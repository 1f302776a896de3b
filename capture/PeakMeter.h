// Stereo peak meter with a falling hold: the camera capture feeds it the
// owner's PCM and turns the louder channel into the length of the level bar.
#pragma once
#include <cstdint>

struct PeakMeter {
  int16_t peakLeft = 0;
  int16_t peakRight = 0;
  int16_t decay = 0;

  explicit PeakMeter(int16_t decayPerCall = 1500) : decay(decayPerCall) {}

  // Held peak of the channel over interleaved 16-bit stereo PCM, as a fraction
  // of 32767. A louder block raises the hold; otherwise it falls by decay
  // (never below 0). Null pcm returns 0 and leaves the hold alone.
  float Left(const short* pcm, int byteCount);
  float Right(const short* pcm, int byteCount);
};
