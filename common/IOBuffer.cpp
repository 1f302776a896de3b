#include "common/IOBuffer.h"

#include <cstdlib>
#include <cstring>
#include <limits>

IOBuffer::~IOBuffer() {
  std::free(data);
  data = nullptr;
  capacity = length = readOffset = 0;
}

bool IOBuffer::EnsureSpace(unsigned n) {
  constexpr uint64_t kMax = std::numeric_limits<unsigned>::max();
  if (uint64_t{length} + n <= capacity) return true;
  const unsigned unread = length - readOffset;
  if (unread <= readOffset && readOffset > 0) {
    // Ranges cannot overlap: the unread part is no longer than the consumed part.
    std::memcpy(data, data + readOffset, unread);
    length = unread;
    readOffset = 0;
    if (uint64_t{length} + n <= capacity) return true;
  }
  uint64_t want = n;
  if (uint64_t{length} + n - capacity < capacity / 3) want = uint64_t{capacity} / 3 + capacity - length;
  if (want < minGrowth) want = minGrowth;
  const uint64_t newCapacity = uint64_t{length} + want;
  if (newCapacity > kMax) return false;
  auto* grown = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(newCapacity)));
  if (grown == nullptr) return false;
  if (length > 0) std::memcpy(grown, data, length);
  std::free(data);
  data = grown;
  capacity = static_cast<unsigned>(newCapacity);
  return true;
}

bool IOBuffer::Consume(unsigned n) {
  const unsigned unread = length - readOffset;
  readOffset += n < unread ? n : unread;
  if (readOffset == length) length = readOffset = 0;
  return true;
}

bool IOBuffer::RecvFromSocket(platform::SocketHandle s, unsigned n, unsigned* received) {
  if (received) *received = 0;
  if (uint64_t{capacity} < uint64_t{length} + n && !EnsureSpace(n)) return false;
  const ssize_t got = platform::RecvSome(s, data + length, n);
  if (got <= 0) return false;
  if (received) *received = static_cast<unsigned>(got);
  length += static_cast<unsigned>(got);
  return true;
}
