#include "platform/duilib/attribute_values.h"

#include <cerrno>
#include <cstdint>
#include <cwchar>

namespace duilib_attr {

namespace {

std::optional<long long> ParseNumber(const std::wstring& text, int base) {
  if (text.empty()) return std::nullopt;
  const wchar_t* begin = text.c_str();
  wchar_t* end = nullptr;
  errno = 0;
  long long value = std::wcstoll(begin, &end, base);
  if (errno != 0 || end == begin) return std::nullopt;
  while (*end == L' ') ++end;
  if (*end != L'\0') return std::nullopt;
  return value;
}

}  // namespace

std::optional<int> ToInt(const std::wstring& text) {
  auto value = ParseNumber(text, 10);
  if (!value || *value < INT32_MIN || *value > INT32_MAX) return std::nullopt;
  return static_cast<int>(*value);
}

std::optional<std::vector<int>> ToInts(const std::wstring& text, size_t count) {
  std::vector<int> values;
  size_t start = 0;
  while (true) {
    size_t comma = text.find(L',', start);
    auto value = ToInt(text.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start));
    if (!value) return std::nullopt;
    values.push_back(*value);
    if (comma == std::wstring::npos) break;
    start = comma + 1;
  }
  if (values.size() != count) return std::nullopt;
  return values;
}

std::optional<bool> ToBool(const std::wstring& text) {
  if (text == L"true" || text == L"1") return true;
  if (text == L"false" || text == L"0") return false;
  return std::nullopt;
}

std::optional<uint32_t> ToColour(const std::wstring& text) {
  std::wstring digits;
  if (text.size() > 1 && text[0] == L'#') {
    digits = text.substr(1);
  } else if (text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) {
    digits = text.substr(2);
  } else {
    return std::nullopt;
  }
  if (digits.size() != 6 && digits.size() != 8) return std::nullopt;
  if (digits.find_first_not_of(L"0123456789abcdefABCDEF") != std::wstring::npos) return std::nullopt;
  auto value = ParseNumber(digits, 16);
  if (!value) return std::nullopt;
  uint32_t colour = static_cast<uint32_t>(*value);
  if (digits.size() == 6) colour |= 0xFF000000u;
  return colour;
}

}  // namespace duilib_attr
