#include "ui/LoginRequest.h"

#include "app/IniFile.h"
#include "app/Md5Hex.h"
#include "app/ProgramFolder.h"

std::string RemoveWhitespace(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') out.push_back(c);
  }
  return out;
}

std::string PercentEncode(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                            c == '.' || c == '_' || c == '~';
    if (unreserved) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0x0F]);
    }
  }
  return out;
}

std::string BuildLoginUrl(const std::string& baseUrl, const std::string& userName, const std::string& password,
                          int32_t timeSeconds) {
  return RemoveWhitespace(baseUrl) + "&a=getStream&id=" + PercentEncode(RemoveWhitespace(userName)) +
         "&pwd=" + Md5Hex(password) + "&type=pc&time=" + std::to_string(timeSeconds);
}

std::string ReadLoginBaseUrl() {
  std::string url = IniGetString(GetProgramFolder() + "/HtmlURL.ini", "PARAMS", "URL", "");
  if (url.size() > 259) url.resize(259);
  return url;
}
