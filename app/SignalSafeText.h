// Number formatting for code that runs inside a signal handler (the crash
// handler): no allocation, no locale, no stdio. Callers own the buffers.
#pragma once
#include <cstddef>
#include <cstdint>

// Writes value in base 10 or 16 (lower-case, no prefix) into out and ends it
// with '\0'. Returns the number of digits, or 0 when out is too small (out is
// then an empty text).
inline size_t FormatUnsignedSignalSafe(uint64_t value, unsigned base, char* out, size_t capacity) {
  if (capacity == 0) return 0;
  char reversed[64];
  size_t length = 0;
  do {
    reversed[length++] = "0123456789abcdef"[value % base];
    value /= base;
  } while (value != 0);
  if (length + 1 > capacity) {
    out[0] = '\0';
    return 0;
  }
  for (size_t i = 0; i < length; ++i) out[i] = reversed[length - 1 - i];
  out[length] = '\0';
  return length;
}

// Length of a '\0'-terminated text (strlen is not on every signal-safe list).
inline size_t TextLengthSignalSafe(const char* text) {
  size_t length = 0;
  while (text[length] != '\0') ++length;
  return length;
}
