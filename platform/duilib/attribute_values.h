// Readers for the values of skin attributes: numbers, number lists, flags and
// colours. Each reports a malformed value instead of guessing.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace duilib_attr {

std::optional<int> ToInt(const std::wstring& text);
// "a,b,..." with exactly count integers.
std::optional<std::vector<int>> ToInts(const std::wstring& text, size_t count);
// "true"/"false" (also "1"/"0").
std::optional<bool> ToBool(const std::wstring& text);
// "#AARRGGBB", "#RRGGBB" (opaque) or "0xAARRGGBB".
std::optional<uint32_t> ToColour(const std::wstring& text);

}  // namespace duilib_attr
