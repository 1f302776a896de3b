// The filter-graph text that draws a logo image over every outgoing picture.
// The image's path travels inside the graph text, so it is escaped for both
// levels at which libavfilter reads it; a path with a single quote cannot be
// carried safely and is refused.
#pragma once
#include <string>

// False (and *text untouched) for a null path or one containing a quote.
// The logo's top-left corner lands at (x, y) of the top-down picture.
bool BuildLogoFilterText(const char* path, int x, int y, std::string* text);
