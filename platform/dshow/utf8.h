// UTF-8 <-> wchar_t (UTF-32) codec of our own, independent of the C locale.
// Device names from the back ends and the capture code's text conversions use it.
#pragma once
#include <string>

namespace dshow {
// Invalid or overlong sequences and encoded surrogates become U+FFFD.
std::wstring Utf8ToWide(const std::string& text);
// Surrogates and values above U+10FFFF become U+FFFD.
std::string WideToUtf8(const std::wstring& text);
}  // namespace dshow
