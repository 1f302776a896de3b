// Reading the output sizes the presenter picks or types. Sizes come from
// user_config.xml and from edits, so nothing here trusts its text: a part
// that is not a plain positive decimal number is no size at all.
#pragma once
#include <optional>
#include <string>
#include <string_view>

struct OutputSize {
  int width = 0;
  int height = 0;
};

// "width<separator>height", split at the first separator; both parts digits
// only and above 0.
std::optional<OutputSize> ParseOutputSize(std::string_view text, char separator);
std::optional<OutputSize> ParseOutputSize(const std::wstring& text, char separator);

// A typed width or height: digits only, within minimum..maximum.
std::optional<int> ParseTypedDimension(const std::wstring& text, int minimum, int maximum);
