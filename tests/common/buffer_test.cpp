// GrowBuffer growth and IOBuffer's move-or-grow decisions, including a real
// socket whose peer closes.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <limits>

#include "common/GrowBuffer.h"
#include "common/IOBuffer.h"

namespace {

TEST(GrowBuffer, GrowsByTheLargestOf1024NeedAndDouble) {
  GrowBuffer empty(0);
  EXPECT_NE(empty.data, nullptr);
  EXPECT_TRUE(empty.Reserve(10));
  EXPECT_EQ(empty.capacity, 1024);

  GrowBuffer doubling(1024);
  EXPECT_TRUE(doubling.Reserve(1500));
  EXPECT_EQ(doubling.capacity, 2048);

  GrowBuffer exact(1024);
  EXPECT_TRUE(exact.Reserve(5000));
  EXPECT_EQ(exact.capacity, 5000);
}

TEST(GrowBuffer, KeepsContentsAndUsedCount) {
  GrowBuffer buffer(1024);
  for (int i = 0; i < 1024; ++i) buffer.data[i] = static_cast<uint8_t>(i * 7);
  buffer.used = 1000;
  uint8_t* before = buffer.data;
  EXPECT_FALSE(buffer.Reserve(1024));
  EXPECT_EQ(buffer.data, before);
  ASSERT_TRUE(buffer.Reserve(3000));
  EXPECT_EQ(buffer.used, 1000);
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(buffer.data[i], static_cast<uint8_t>(i * 7));
}

void Fill(IOBuffer& buffer, unsigned n, uint8_t first) {
  ASSERT_TRUE(buffer.EnsureSpace(n));
  for (unsigned i = 0; i < n; ++i) buffer.data[buffer.length + i] = static_cast<uint8_t>(first + i);
  buffer.length += n;
}

TEST(IOBuffer, ConsumingEverythingResetsToTheFront) {
  IOBuffer buffer;
  Fill(buffer, 20, 0);
  EXPECT_TRUE(buffer.Consume(20));
  EXPECT_EQ(buffer.length, 0u);
  EXPECT_EQ(buffer.readOffset, 0u);
}

TEST(IOBuffer, ConsumeIsClampedToTheUnreadBytes) {
  IOBuffer buffer;
  Fill(buffer, 10, 0);
  buffer.Consume(4);
  EXPECT_TRUE(buffer.Consume(1000));
  EXPECT_EQ(buffer.length, 0u);
  EXPECT_EQ(buffer.readOffset, 0u);
}

TEST(IOBuffer, MovesUnreadBytesWhenFewerThanConsumed) {
  IOBuffer buffer;
  Fill(buffer, 15, 0);
  const unsigned capacity = buffer.capacity;
  buffer.Consume(10);  // 10 consumed, 5 unread
  ASSERT_TRUE(buffer.EnsureSpace(capacity - 5));
  EXPECT_EQ(buffer.capacity, capacity);  // moved, not grown
  EXPECT_EQ(buffer.readOffset, 0u);
  EXPECT_EQ(buffer.length, 5u);
  for (unsigned i = 0; i < 5; ++i) EXPECT_EQ(buffer.data[i], 10 + i);
}

TEST(IOBuffer, GrowsWithoutMovingWhenMoreUnreadThanConsumed) {
  IOBuffer buffer;
  Fill(buffer, 15, 0);
  buffer.Consume(5);  // 5 consumed, 10 unread
  ASSERT_TRUE(buffer.EnsureSpace(100));
  EXPECT_EQ(buffer.readOffset, 5u);
  EXPECT_EQ(buffer.length, 15u);
  EXPECT_GE(buffer.capacity, 115u);
  for (unsigned i = 0; i < 10; ++i) EXPECT_EQ(buffer.ReadPointer()[i], 5 + i);
}

TEST(IOBuffer, SmallGrowthTakesAThirdMore) {
  IOBuffer buffer;
  Fill(buffer, 300, 0);
  ASSERT_EQ(buffer.capacity, 300u);
  ASSERT_TRUE(buffer.EnsureSpace(10));
  EXPECT_EQ(buffer.capacity, 400u);
  for (unsigned i = 0; i < 300; ++i) ASSERT_EQ(buffer.data[i], static_cast<uint8_t>(i));
}

TEST(IOBuffer, OversizedRequestIsRefusedUnchanged) {
  IOBuffer buffer;
  Fill(buffer, 16, 0);
  const unsigned capacity = buffer.capacity;
  EXPECT_FALSE(buffer.EnsureSpace(std::numeric_limits<unsigned>::max() - 4));
  EXPECT_EQ(buffer.capacity, capacity);
  EXPECT_EQ(buffer.length, 16u);
}

TEST(IOBuffer, ReceivesFromASocketAndSeesTheClose) {
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  const char text[] = "hello rtmp";
  ASSERT_EQ(write(fds[1], text, 10), 10);
  IOBuffer buffer;
  unsigned got = 0;
  ASSERT_TRUE(buffer.RecvFromSocket(fds[0], 4096, &got));
  EXPECT_EQ(got, 10u);
  EXPECT_EQ(std::memcmp(buffer.ReadPointer(), text, 10), 0);

  close(fds[1]);
  EXPECT_FALSE(buffer.RecvFromSocket(fds[0], 4096, &got));
  EXPECT_EQ(buffer.length, 10u);
  EXPECT_EQ(got, 0u);
  close(fds[0]);
}

}  // namespace
