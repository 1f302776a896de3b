#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench/rtmp_message_splitter.h"
#include "bench/screen_counter.h"
#include "tests/support/fake_rtmp_server.h"

namespace {

using test_support::Be32;
using test_support::RtmpChunks;

// A message after the given first header, cut into chunks of chunkSize with
// 1-byte continuation headers.
std::string Chunked(const std::string& header, int chunkStreamId, const std::string& body, size_t chunkSize) {
  std::string out = header;
  for (size_t at = 0; at < body.size(); at += chunkSize) {
    if (at > 0) out.push_back(static_cast<char>(0xC0 | chunkStreamId));
    out += body.substr(at, chunkSize);
  }
  return out;
}

std::vector<RtmpWatchedMessage> Split(const std::string& stream, size_t piece) {
  std::vector<RtmpWatchedMessage> out;
  RtmpMessageSplitter splitter([&](const RtmpWatchedMessage& m) { out.push_back(m); });
  for (size_t at = 0; at < stream.size(); at += piece)
    splitter.Feed(stream.data() + at, std::min(piece, stream.size() - at));
  EXPECT_FALSE(splitter.Broken());
  return out;
}

TEST(RtmpMessageSplitter, FollowsChunkSizeChangesAndCompressedHeaders) {
  std::string stream(1 + 1536 + 1536, 'h');  // handshake bytes are skipped
  stream += RtmpChunks(2, 1, 0, 0, Be32(4096));
  const std::string picture(10000, 'v');
  stream += RtmpChunks(6, 9, 1000, 1, picture, 4096);
  // The next picture (same length) with a type-2 header: only a delta of 40 ms.
  stream += Chunked(std::string(1, static_cast<char>(0x80 | 6)) + std::string("\x00\x00\x28", 3), 6,
                    std::string(10000, 'w'), 4096);
  // Then a type-3 header, which repeats that delta for a new message.
  stream += Chunked(std::string(1, static_cast<char>(0xC0 | 6)), 6, std::string(10000, 'x'), 4096);
  for (size_t piece : {size_t{1}, size_t{7}, size_t{65536}}) {
    const std::vector<RtmpWatchedMessage> messages = Split(stream, piece);
    ASSERT_EQ(messages.size(), 4u) << "piece " << piece;
    EXPECT_EQ(messages[1].type, 9);
    EXPECT_EQ(messages[1].body, picture);
    EXPECT_EQ(messages[1].timestamp, 1000u);
    EXPECT_EQ(messages[2].body, std::string(10000, 'w'));
    EXPECT_EQ(messages[2].timestamp, 1040u);
    EXPECT_EQ(messages[3].body, std::string(10000, 'x'));
    EXPECT_EQ(messages[3].timestamp, 1080u);
  }
}

TEST(RtmpMessageSplitter, MessageIsHandedOnlyWithItsLastByte) {
  std::string stream(1 + 1536 + 1536, 'h');
  stream += RtmpChunks(6, 9, 0, 1, std::string(300, 'v'));
  std::vector<RtmpWatchedMessage> out;
  RtmpMessageSplitter splitter([&](const RtmpWatchedMessage& m) { out.push_back(m); });
  splitter.Feed(stream.data(), stream.size() - 1);
  EXPECT_TRUE(out.empty());
  splitter.Feed(stream.data() + stream.size() - 1, 1);
  EXPECT_EQ(out.size(), 1u);
}

TEST(RtmpMessageSplitter, ZeroChunkSizeStopsFollowing) {
  std::string stream(1 + 1536 + 1536, 'h');
  stream += RtmpChunks(2, 1, 0, 0, Be32(0)) + RtmpChunks(6, 9, 0, 1, "abc");
  int seen = 0;
  RtmpMessageSplitter splitter([&](const RtmpWatchedMessage&) { ++seen; });
  splitter.Feed(stream.data(), stream.size());
  EXPECT_TRUE(splitter.Broken());
  EXPECT_EQ(seen, 0);
}

// The counter's band as the encoder's decoder gives it back: blocks with
// some noise of compression on them.
std::vector<uint8_t> Band(uint32_t value, int noise) {
  const int width = ScreenCounter::kBits * ScreenCounter::kBlockWidth;
  std::vector<uint8_t> grey(static_cast<size_t>(width) * ScreenCounter::kBandHeight);
  std::srand(7);
  for (int y = 0; y < ScreenCounter::kBandHeight; ++y)
    for (int x = 0; x < width; ++x) {
      const bool on = (value >> (ScreenCounter::kBits - 1 - x / ScreenCounter::kBlockWidth)) & 1u;
      const bool lit = (y < ScreenCounter::kRowHeight) == on;
      const int level = (lit ? 235 : 16) + (std::rand() % (2 * noise + 1)) - noise;
      grey[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(std::clamp(level, 0, 255));
    }
  return grey;
}

TEST(ScreenCounter, ReadsTheValueThroughNoiseAndRejectsAFlatBlock) {
  const int stride = ScreenCounter::kBits * ScreenCounter::kBlockWidth;
  for (uint32_t value : {0u, 1u, 0xA5A5Au, (1u << ScreenCounter::kBits) - 1}) {
    std::vector<uint8_t> band = Band(value, 30);
    uint32_t read = 0;
    ASSERT_TRUE(ReadScreenCounter(band.data(), stride, &read));
    EXPECT_EQ(read, value);
  }
  std::vector<uint8_t> band = Band(0xA5A5Au, 0);
  for (int y = 0; y < ScreenCounter::kBandHeight; ++y)
    for (int x = 3 * ScreenCounter::kBlockWidth; x < 4 * ScreenCounter::kBlockWidth; ++x) band[y * stride + x] = 128;
  uint32_t read = 0;
  EXPECT_FALSE(ReadScreenCounter(band.data(), stride, &read));
}

}  // namespace
