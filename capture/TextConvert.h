// Narrow <-> wide text for the capture code and its callers. Narrow text is
// UTF-8 here (the role of the system code page); wide text is wchar_t holding
// UTF-32. Our own codec: the result never depends on the C locale.
#pragma once
#include <string>

// UTF-8 to wide. A leading U+FEFF is dropped, the result ends at the first NUL,
// invalid sequences become U+FFFD; an empty input gives an empty string.
std::wstring AnsiToWide(const std::string& text);

// Wide to UTF-8 of the text up to its first NUL. Values that are not Unicode
// scalar values (surrogates, above U+10FFFF) become U+FFFD.
std::string WideToAnsi(const std::wstring& text);
