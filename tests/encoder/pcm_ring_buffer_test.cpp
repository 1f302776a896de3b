// The PCM ring: all-or-nothing reads, wrapping, overflow and the fades.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "encodemediathensendthroughrtmp/PcmRingBuffer.h"

namespace {

std::vector<char> Bytes(int n, int seed) {
  std::vector<char> v(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) v[static_cast<size_t>(i)] = static_cast<char>((i * 7 + seed) & 0xFF);
  return v;
}

TEST(PcmRingBuffer, ShortReadReturnsZerosAndKeepsTheData) {
  PcmRingBuffer ring;
  ring.Init();
  std::vector<char> data = Bytes(4095, 1);
  EXPECT_EQ(ring.Write(data.data(), 4095), 1);
  std::vector<short> out(2048, 77);
  EXPECT_EQ(ring.Read(out.data(), 4096), 0);
  for (short s : out) ASSERT_EQ(s, 0);
  EXPECT_EQ(ring.Buffered(), 4095);
  EXPECT_EQ(ring.Read(out.data(), 4094), 4094);
  EXPECT_EQ(0, std::memcmp(out.data(), data.data(), 4094));
}

TEST(PcmRingBuffer, MissingStoreOrDataWritesNothing) {
  PcmRingBuffer ring;
  char byte = 1;
  short out = 5;
  EXPECT_EQ(ring.Write(&byte, 1), 0) << "no store before Init";
  EXPECT_EQ(ring.Read(&out, 2), 0);
  ring.Init();
  EXPECT_EQ(ring.Write(nullptr, 10), 0);
  ring.Uninit();
  EXPECT_EQ(ring.Write(&byte, 1), 0);
}

TEST(PcmRingBuffer, DataSurvivesManyWrapsInOrder) {
  PcmRingBuffer ring;
  ring.Init();
  // Block sizes that do not divide the store, so writes and reads straddle the end.
  const int block = 192000 - 2;
  const int frame = 8192;
  std::vector<char> expected;
  std::vector<char> got;
  int seed = 0;
  for (int round = 0; round < 20; ++round) {
    std::vector<char> data = Bytes(block, seed++);
    const int before = ring.Buffered();
    ring.Write(data.data(), block);
    const int accepted = ring.Buffered() - before;
    expected.insert(expected.end(), data.begin(), data.begin() + accepted);
    std::vector<short> out(frame / 2);
    while (ring.Read(out.data(), frame) == frame) {
      const char* p = reinterpret_cast<const char*>(out.data());
      got.insert(got.end(), p, p + frame);
    }
  }
  ASSERT_LE(got.size(), expected.size());
  EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin()));
  EXPECT_GT(got.size(), static_cast<size_t>(3 * PcmRingBuffer::kStoreBytes));
}

TEST(PcmRingBuffer, OverflowDropsTheExcessAndAFullRingTakesNothing) {
  PcmRingBuffer ring;
  ring.Init();
  std::vector<char> big = Bytes(200000, 3);
  ring.Write(big.data(), 200000);
  ring.Write(big.data(), 200000);
  ring.Write(big.data(), 200000);  // 600000 offered, the store holds 529200
  EXPECT_LE(ring.Buffered(), PcmRingBuffer::kStoreBytes);
  EXPECT_GE(ring.Buffered(), PcmRingBuffer::kStoreBytes - 1);
  const int pending = ring.PendingWrites();
  if (ring.Buffered() == PcmRingBuffer::kStoreBytes) {
    EXPECT_EQ(ring.Write(big.data(), 10), pending) << "a full ring leaves the count alone";
  }
  std::vector<short> out(4096);
  EXPECT_EQ(ring.Read(out.data(), 8192), 8192);
  EXPECT_EQ(0, std::memcmp(out.data(), big.data(), 8192));
  ring.Write(big.data(), 100);
  EXPECT_LE(ring.Buffered(), PcmRingBuffer::kStoreBytes);
}

TEST(PcmRingBuffer, FadeInRisesFromSilenceThenPassesSamplesUnchanged) {
  PcmRingBuffer ring;
  ring.Init();
  ring.SetFade(true, 0, PcmRingBuffer::kFadeIn);
  std::vector<short> loud(30000, 20000);
  ring.Write(reinterpret_cast<const char*>(loud.data()), 60000);
  std::vector<short> out(30000);
  ASSERT_EQ(ring.Read(out.data(), 60000), 60000);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[11025], static_cast<short>(20000 * 11025 / 22050));
  EXPECT_LT(out[22049], 20000);
  EXPECT_EQ(out[22050], 20000);
  EXPECT_EQ(out[29999], 20000);
}

TEST(PcmRingBuffer, FadeOutEndsInSilence) {
  PcmRingBuffer ring;
  ring.Init();
  ring.SetFade(true, PcmRingBuffer::kFullGain, PcmRingBuffer::kFadeOut);
  std::vector<short> loud(24000, -20000);
  std::vector<short> out(24000);
  ring.Write(reinterpret_cast<const char*>(loud.data()), 48000);
  ASSERT_EQ(ring.Read(out.data(), 48000), 48000);
  EXPECT_EQ(out[0], -20000);
  EXPECT_EQ(out[22050], 0);
  ring.Write(reinterpret_cast<const char*>(loud.data()), 4000);
  ASSERT_EQ(ring.Read(out.data(), 4000), 4000);
  for (int i = 0; i < 2000; ++i) ASSERT_EQ(out[static_cast<size_t>(i)], 0);
}

}  // namespace
