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

// A typed output width or height as it is taken: asTyped is false when the
// number typed had to change (capped or made even), so the presenter is told.
struct TypedDimension {
  int value = 0;
  bool asTyped = true;
};

// A typed output width or height, in the main window and the settings
// dialog alike. Refused (nullopt) unless it is digits only and at least 100.
// Above the limit - 1920 wide, 1080 high, and never above the account's own
// largest picture (accountMaximum, of the same dimension) - it becomes the
// limit; an odd value is made even, as the encoder takes even sides only.
std::optional<TypedDimension> TypedOutputDimension(const std::wstring& text, bool isWidth, int accountMaximum);

// "W*H", as OUTRESOLUTION and the output-size list write a size.
std::string OutputSizeText(int width, int height);
