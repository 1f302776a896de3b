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

// What a typed output width or height may be, in the main window and the
// settings dialog alike: 100..1920 wide, 100..1080 high, and never above the
// account's own largest picture (accountMaximum, of the same dimension).
std::optional<int> ParseTypedOutputDimension(const std::wstring& text, bool isWidth, int accountMaximum);
