// The login request's URL, built from what the presenter typed at the click.
// The base URL is the login service's, read from HtmlURL.ini.
#pragma once
#include <cstdint>
#include <string>

// base + "&a=getStream&id=" + name + "&pwd=" + Md5Hex(password) +
// "&type=pc&time=" + time. Blanks, tabs and line breaks are removed from the
// base and the name; the name is then percent-encoded, so whatever it holds
// stays one query value.
std::string BuildLoginUrl(const std::string& baseUrl, const std::string& userName, const std::string& password,
                          int32_t timeSeconds);

// The text without blanks, tabs, carriage returns and line feeds.
std::string RemoveWhitespace(const std::string& text);

// Every byte outside A-Z, a-z, 0-9 and "-._~" as %XX.
std::string PercentEncode(const std::string& text);

// HtmlURL.ini in the program folder, section PARAMS, key URL; empty when
// missing. At most 259 characters are taken, as the file was designed for.
std::string ReadLoginBaseUrl();
