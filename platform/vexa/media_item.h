// One item the file source delivers: an output-size picture or a block of
// publish-format sound, with its position in the file.
#pragma once
#include <cstdint>
#include <vector>

struct MediaItem {
  bool video = false;
  int64_t positionMs = 0;
  int sampleFrames = 0;  // sound only
  std::vector<uint8_t> data;
};

// Items further apart than this in the file are a jump (a splice or damage),
// not a hole: playback goes on from the new position instead of waiting for
// it or filling it.
inline constexpr int64_t kMediaJumpMs = 10000;
