#include "ui/OutputSizeText.h"

#include <algorithm>

namespace {

// Past this many digits the value is far beyond any picture size and would
// only risk overflowing.
constexpr size_t kMaxDigits = 6;

constexpr int kTypedMinimum = 100;
constexpr int kTypedMaxWidth = 1920;
constexpr int kTypedMaxHeight = 1080;
constexpr int kTypedSaturation = 1000000;

template <typename Char>
std::optional<int> ParseDigits(std::basic_string_view<Char> text) {
  if (text.empty() || text.size() > kMaxDigits) return std::nullopt;
  int value = 0;
  for (Char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<int>(c - '0');
  }
  return value;
}

template <typename Char>
std::optional<OutputSize> ParseSize(std::basic_string_view<Char> text, char separator) {
  const size_t split = text.find(static_cast<Char>(separator));
  if (split == std::basic_string_view<Char>::npos) return std::nullopt;
  const auto width = ParseDigits(text.substr(0, split));
  const auto height = ParseDigits(text.substr(split + 1));
  if (!width || !height || *width == 0 || *height == 0) return std::nullopt;
  return OutputSize{*width, *height};
}

}  // namespace

std::optional<OutputSize> ParseOutputSize(std::string_view text, char separator) {
  return ParseSize(text, separator);
}

std::optional<OutputSize> ParseOutputSize(const std::wstring& text, char separator) {
  return ParseSize(std::wstring_view(text), separator);
}

std::optional<TypedDimension> TypedOutputDimension(const std::wstring& text, bool isWidth, int accountMaximum) {
  if (text.empty()) return std::nullopt;
  // However many digits are typed, the value only needs to be known as far
  // as "above the limit".
  int value = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return std::nullopt;
    value = std::min(value * 10 + static_cast<int>(c - L'0'), kTypedSaturation);
  }
  const int limit = std::min(isWidth ? kTypedMaxWidth : kTypedMaxHeight, accountMaximum);
  if (value < kTypedMinimum || limit < kTypedMinimum) return std::nullopt;
  const int capped = std::min(value, limit);
  const int taken = capped - capped % 2;
  return TypedDimension{taken, taken == value};
}

std::string OutputSizeText(int width, int height) { return std::to_string(width) + "*" + std::to_string(height); }
