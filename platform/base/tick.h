// Millisecond clock with the semantics the library's timing code expects from
// a tick count: monotonic, 32 bits wide, wrapping every ~49.7 days. Compare
// ticks by unsigned subtraction (now - then), never with < or >.
#pragma once
#include <cstdint>

namespace platform {

// Milliseconds since an arbitrary start, plus the test offset, modulo 2^32.
uint32_t TickCount();

// Test hook: shift every later TickCount() by offset (e.g. to just before a
// wrap-around). Process-wide.
void SetTickOffsetForTest(uint32_t offset);

void SleepMs(uint32_t ms);

}  // namespace platform
