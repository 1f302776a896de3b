#include "tests/encoder/live_feeder.h"

#include <chrono>
#include <cmath>
#include <thread>

std::vector<uint8_t> MakeTestPicture(int width, int height, int n) {
  std::vector<uint8_t> bgr(static_cast<size_t>(width) * height * 3);
  const int square = height / 4;
  const int barX = (n * 8) % width;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &bgr[(static_cast<size_t>(y) * width + x) * 3];
      const bool red = x < square && y < square;
      const bool bar = y >= height / 2 && x >= barX && x < barX + 16;
      p[0] = red ? 0 : (bar ? 255 : 200);
      p[1] = red ? 0 : (bar ? 255 : 40);
      p[2] = red ? 230 : (bar ? 255 : 20);
    }
  }
  return bgr;
}

std::vector<uint8_t> MakeNoisePicture(int width, int height, int n) {
  std::vector<uint8_t> bgr(static_cast<size_t>(width) * height * 3);
  uint32_t state = 2654435761u * static_cast<uint32_t>(n + 1);
  for (auto& b : bgr) {
    state = state * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(state >> 24);
  }
  return bgr;
}

LiveFeedResult FeedLive(IEncoderMediaThenSendThroughRtmp* encoder, const LiveFeedOptions& o) {
  using Clock = std::chrono::steady_clock;
  LiveFeedResult result;
  const int blockSamples = 1024;
  const double frameMs = 1000.0 / o.fps;
  const double blockMs = 1000.0 * blockSamples / o.sampleRate;
  std::vector<int16_t> pcm(static_cast<size_t>(blockSamples) * o.channels);
  long sample = 0;
  int picture = 0;
  int block = 0;
  int nextTick = 0;
  const auto start = Clock::now();
  while (true) {
    const double due = std::min(picture * frameMs, block * blockMs);
    if (due >= o.durationMs) break;
    std::this_thread::sleep_until(start + std::chrono::microseconds(static_cast<long>(due * 1000)));
    const uint32_t ts = o.firstTimestamp + static_cast<uint32_t>(due);
    if (picture * frameMs <= block * blockMs) {
      std::vector<uint8_t> bgr =
          o.noisy ? MakeNoisePicture(o.width, o.height, picture) : MakeTestPicture(o.width, o.height, picture);
      if (encoder->SendRawVideo(bgr.data(), static_cast<unsigned>(bgr.size()), ts)) {
        result.picturesAccepted++;
      } else {
        result.picturesRefused++;
      }
      picture++;
    } else {
      for (int i = 0; i < blockSamples; ++i, ++sample) {
        const auto v = static_cast<int16_t>(12000 * std::sin(2 * M_PI * o.toneHz * sample / o.sampleRate));
        for (int c = 0; c < o.channels; ++c) pcm[static_cast<size_t>(i) * o.channels + c] = v;
      }
      if (encoder->SendRawAudio(reinterpret_cast<const unsigned char*>(pcm.data()),
                                static_cast<unsigned>(pcm.size() * 2), ts)) {
        result.blocksAccepted++;
      } else {
        result.blocksRefused++;
      }
      block++;
    }
    if (o.onTick && due >= nextTick) {
      o.onTick(static_cast<int>(due));
      nextTick += 100;
    }
  }
  return result;
}
