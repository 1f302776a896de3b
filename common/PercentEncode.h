// Percent-encoding (upper-case hex) for texts that become URL parts or file
// names: letters and digits stay as they are, so do the bytes listed in
// `plain`; every other byte becomes %XX.
#pragma once
#include <string>

std::string PercentEncode(const std::string& text, const char* plain);
