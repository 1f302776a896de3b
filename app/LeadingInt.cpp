#include "app/LeadingInt.h"

#include <climits>

int ParseLeadingInt(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  constexpr long long kBeyond = static_cast<long long>(INT_MAX) + 1;
  long long n = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    n = n * 10 + (text[i] - '0');
    if (n > kBeyond) n = kBeyond;
  }
  if (negative) n = -n;
  if (n > INT_MAX) return INT_MAX;
  return static_cast<int>(n);
}
