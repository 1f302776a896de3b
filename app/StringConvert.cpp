#include "app/StringConvert.h"

#include "platform/dshow/utf8.h"

namespace {

std::wstring NarrowToWide(const std::string& text) {
  std::wstring wide = dshow::Utf8ToWide(text);
  if (!wide.empty() && wide.front() == L'\xFEFF') wide.erase(0, 1);
  const size_t nul = wide.find(L'\0');
  if (nul != std::wstring::npos) wide.resize(nul);
  return wide;
}

}  // namespace

std::string WideToMultiByteBuf(const wchar_t* text) {
  if (text == nullptr) return std::string();
  return dshow::WideToUtf8(std::wstring(text));
}

std::string WideToMultiByte(const std::wstring& text) { return WideToMultiByteBuf(text.c_str()); }

std::wstring MultiByteToWideBuf(const char* text, int length) {
  if (text == nullptr || length <= 0) return std::wstring();
  return NarrowToWide(std::string(text, static_cast<size_t>(length)));
}

std::wstring MultiByteToWide(const std::string& text) {
  return NarrowToWide(text);
}

std::optional<std::wstring> Utf8ToWideStrict(const std::string& text) {
  std::wstring wide = dshow::Utf8ToWide(text);
  // The codec turns every broken sequence into U+FFFD, whose encoding is
  // valid UTF-8; so the text survives the round trip exactly when it was valid.
  if (dshow::WideToUtf8(wide) != text) return std::nullopt;
  return wide;
}
