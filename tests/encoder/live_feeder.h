// Feeds an encoder object in real time the way the manager's send thread
// does: top-down BGR24 pictures (a red square in the top-left corner on
// blue, with a moving bar so the encoder has work) and interleaved 16-bit
// stereo PCM of a 1 kHz tone, both stamped from one millisecond clock.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "encodemediathensendthroughrtmp/IEncoderMediaThenSendThroughRtmp.h"

struct LiveFeedOptions {
  int width = 640;
  int height = 360;
  int fps = 25;
  int sampleRate = 44100;
  int channels = 2;
  int durationMs = 20000;
  double toneHz = 1000.0;
  uint32_t firstTimestamp = 100000;  // capture clocks rarely start at 0
  bool noisy = false;  // pictures of noise instead of the test pattern
  // Called about every 100 ms of fed media with the elapsed ms.
  std::function<void(int elapsedMs)> onTick;
};

struct LiveFeedResult {
  int picturesAccepted = 0;
  int picturesRefused = 0;
  int blocksAccepted = 0;
  int blocksRefused = 0;
};

// The test picture for frame n (top-down rows, B, G, R).
std::vector<uint8_t> MakeTestPicture(int width, int height, int n);
std::vector<uint8_t> MakeNoisePicture(int width, int height, int n);

LiveFeedResult FeedLive(IEncoderMediaThenSendThroughRtmp* encoder, const LiveFeedOptions& options);
