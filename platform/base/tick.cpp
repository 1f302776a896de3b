#include "platform/base/tick.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace platform {
namespace {
std::atomic<uint32_t> g_offset{0};
}

uint32_t TickCount() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  const uint64_t ms = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
  return static_cast<uint32_t>(ms) + g_offset.load(std::memory_order_relaxed);
}

void SetTickOffsetForTest(uint32_t offset) { g_offset.store(offset, std::memory_order_relaxed); }

void SleepMs(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace platform
