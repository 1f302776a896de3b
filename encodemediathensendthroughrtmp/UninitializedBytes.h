// A byte vector whose resize leaves new bytes as they are instead of zeroing
// them. For the picture buffers of the encoder path, which are always written
// before they are read: zeroing megabytes that are overwritten anyway costs a
// pass over memory and makes every page resident at once, used or not.
#pragma once
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

template <typename T>
class DefaultInitAllocator : public std::allocator<T> {
 public:
  template <typename U>
  struct rebind {
    using other = DefaultInitAllocator<U>;
  };
  using std::allocator<T>::allocator;

  // Value-initialisation (what resize asks for) becomes default-initialisation.
  template <typename U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

using UninitializedBytes = std::vector<uint8_t, DefaultInitAllocator<uint8_t>>;
