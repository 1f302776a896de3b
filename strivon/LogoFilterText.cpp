#include "strivon/LogoFilterText.h"

#include <cstdio>

namespace {

// The graph parser keeps everything between single quotes as it is; the
// option parser behind it then takes backslash escapes and splits at ':',
// so every character it could read as syntax gets a backslash.
std::string EscapeOptionValue(const std::string& path) {
  static const std::string kSpecial = "\\:='[],; \t\n\r";
  std::string out;
  out.reserve(path.size() * 2);
  for (char c : path) {
    if (kSpecial.find(c) != std::string::npos) out += '\\';
    out += c;
  }
  return out;
}

}  // namespace

bool BuildLogoFilterText(const char* path, int x, int y, std::string* text) {
  if (!path) return false;
  const std::string raw(path);
  if (raw.find('\'') != std::string::npos) return false;
  char position[64];
  std::snprintf(position, sizeof position, "overlay=x=%d:y=%d[out]", x, y);
  *text = "movie='" + EscapeOptionValue(raw) + "'[wm];[in][wm]" + position;
  return true;
}
