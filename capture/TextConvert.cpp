#include "capture/TextConvert.h"

#include "platform/dshow/utf8.h"

std::wstring AnsiToWide(const std::string& text) {
  if (text.empty()) return std::wstring();
  std::wstring wide = dshow::Utf8ToWide(text);
  if (!wide.empty() && wide.front() == L'\xFEFF') wide.erase(0, 1);
  const size_t nul = wide.find(L'\0');
  if (nul != std::wstring::npos) wide.resize(nul);
  return wide;
}

std::string WideToAnsi(const std::wstring& text) {
  const size_t nul = text.find(L'\0');
  return dshow::WideToUtf8(nul == std::wstring::npos ? text : text.substr(0, nul));
}
