#include "ui/OutputSizeText.h"

#include <algorithm>

namespace {

// Past this many digits the value is far beyond any picture size and would
// only risk overflowing.
constexpr size_t kMaxDigits = 6;

constexpr int kTypedMinimum = 100;
constexpr int kTypedMaxWidth = 1920;
constexpr int kTypedMaxHeight = 1080;

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

std::optional<int> ParseTypedDimension(const std::wstring& text, int minimum, int maximum) {
  const auto value = ParseDigits(std::wstring_view(text));
  if (!value || *value < minimum || *value > maximum) return std::nullopt;
  return value;
}

std::optional<int> ParseTypedOutputDimension(const std::wstring& text, bool isWidth, int accountMaximum) {
  return ParseTypedDimension(text, kTypedMinimum, std::min(isWidth ? kTypedMaxWidth : kTypedMaxHeight, accountMaximum));
}
