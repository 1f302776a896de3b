#include "app/Md5Hex.h"

#include "common/Md5.h"

std::string Md5Hex(const std::string& text) { return MD5(text).HexDigest(); }
