// The picture pool between SendRawVideo and the encoder thread.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "encodemediathensendthroughrtmp/RawFramePool.h"

namespace {

TEST(RawFramePool, LendsEightAndTheLastReturnedFirst) {
  RawFramePool pool;
  std::vector<RawFrame*> taken;
  for (int i = 0; i < RawFramePool::kCapacity; ++i) {
    RawFrame* frame = pool.Acquire(101);
    ASSERT_NE(frame, nullptr) << i;
    EXPECT_GE(frame->bytes.size(), 104u) << "rounded up to a multiple of 4";
    taken.push_back(frame);
  }
  EXPECT_EQ(pool.Acquire(101), nullptr);
  EXPECT_EQ(pool.FreeCount(), 0);

  pool.Return(taken[2]);
  pool.Return(taken[5]);
  EXPECT_EQ(pool.Acquire(101), taken[5]) << "the buffer returned last is the one still in cache";
  RawFrame* grown = pool.Acquire(5000);
  ASSERT_EQ(grown, taken[2]);
  ASSERT_GE(grown->bytes.size(), 5000u);
  std::memset(grown->bytes.data(), 7, 5000);  // all of it is writable
  EXPECT_EQ(grown->bytes[4999], 7);
  EXPECT_EQ(pool.Acquire(101), nullptr);
}

}  // namespace
