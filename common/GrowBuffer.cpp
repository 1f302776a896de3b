#include "common/GrowBuffer.h"

#include <algorithm>
#include <climits>

GrowBuffer::GrowBuffer(int size) : storage_(static_cast<size_t>(std::max(size, 0))) {
  // vector::data() of an empty vector may be null; keep data always valid.
  if (storage_.empty()) storage_.reserve(1);
  data = storage_.data();
  capacity = static_cast<int32_t>(storage_.size());
  used = 0;
}

bool GrowBuffer::Reserve(int need) {
  if (capacity >= need) return false;
  // In 64 bits: twice a large capacity must not wrap to a small one.
  int64_t grown = std::max<int64_t>({1024, need, int64_t{capacity} * 2});
  grown = std::min<int64_t>(grown, INT32_MAX);
  storage_.resize(static_cast<size_t>(grown), 0);
  capacity = static_cast<int32_t>(grown);
  data = storage_.data();
  return true;
}
