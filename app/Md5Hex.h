// The digest the login request carries instead of the password: MD5 of the
// text's bytes (UTF-8 here) as 32 lower-case hex digits. Keeps no state.
#pragma once
#include <string>

std::string Md5Hex(const std::string& text);
