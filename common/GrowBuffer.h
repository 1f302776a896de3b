// Byte buffer that grows on demand and never shrinks; capture and preview
// code keep their latest frame or sample block in one. `used` is the caller's
// fill count: the buffer itself never changes it.
#pragma once
#include <cstdint>
#include <vector>

class GrowBuffer {
 public:
  explicit GrowBuffer(int size = 0);

  // Makes room for need bytes, keeping the bytes held; true when it grew.
  // Grows to the largest of 1024, need and twice the old capacity.
  bool Reserve(int need);

  uint8_t* data;
  int32_t capacity;
  int32_t used;

 private:
  std::vector<uint8_t> storage_;
};
