// Text conversions between the program's narrow strings (UTF-8, in the role
// of the system code page) and the wide strings of the window layer (wchar_t
// holding UTF-32). Built on our own codec, so results never depend on the C
// locale. Invalid UTF-8 becomes U+FFFD, except in Utf8ToWideStrict.
#pragma once
#include <optional>
#include <string>

// The text up to its terminator; a null pointer gives an empty string.
std::string WideToMultiByteBuf(const wchar_t* text);
// The string's characters up to the first NUL.
std::string WideToMultiByte(const std::wstring& text);

// Exactly `length` bytes; a non-positive length gives an empty string. A
// leading byte-order mark is dropped and the result ends at the first NUL.
std::wstring MultiByteToWideBuf(const char* text, int length);
// The whole string, as MultiByteToWideBuf; empty in, empty out.
std::wstring MultiByteToWide(const std::string& text);

// The whole text, NULs and a byte-order mark included; nothing when the text
// is not valid UTF-8 (broken or overlong sequences, encoded surrogates).
std::optional<std::wstring> Utf8ToWideStrict(const std::string& text);
