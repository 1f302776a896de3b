// atoi without its undefined overflow: the number at the start of a text
// (leading white space, an optional sign, decimal digits), 0 when there is
// none, clamped to the int range. Used for numbers read from settings files.
#pragma once
#include <string_view>

int ParseLeadingInt(std::string_view text);
